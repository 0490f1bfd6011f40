// The three panel builds of the firmware. Everything that differs between the WVGA, SVGA and
// VGA modules is in this header; the build selects one with VOXA_PANEL_WVGA, VOXA_PANEL_SVGA or
// VOXA_PANEL_VGA.
#pragma once

#include <cstdint>

namespace panel {

struct Timing {
    uint8_t hfp, hpw, hbp, vfp, vpw, vbp;
};

struct BuildConfig {
    const char* build_name;  // "wvga", "svga", "vga": names the build in tools and files
    uint16_t width;
    uint16_t height;
    const char* panel_name;     // "*panel" reply without a configuration name
    const char* version_word;   // last word of the version text, with its trailing blank
    Timing timing;              // default porches and pulse widths
    uint32_t power_on_wait_ms;  // between panel power and the LCD signals, and back
    const char* progress_font;
    uint32_t sd_image_buffer;
    bool panel_control_line;  // the panel has the extra control line, driven with the LCD lines
    // Settings defaults that depend on the panel.
    int32_t legacy_x_logical_b;
    int32_t legacy_y_logical_a;
    uint8_t max_brite;
    uint8_t min_brite;
    int16_t cal_log_x[5];
    int16_t cal_log_y[5];
};

// One row per panel build, fields in declaration order.
// clang-format off
inline constexpr BuildConfig kWvga{
    "wvga", 800, 480, "WVGA_TYPE2", "WVGA ", {40, 48, 40, 13, 3, 29}, 1010, "m12", 3584, true,
    784, 464, 0xFF, 1, {399, 20, 779, 779, 20}, {239, 20, 20, 459, 459}};
inline constexpr BuildConfig kSvga{
    "svga", 800, 600, "HIT SVGA", "SVGA ", {32, 2, 32, 8, 2, 20}, 10, "m16", 3584, false,
    784, 584, 0, 242, {399, 20, 779, 779, 20}, {299, 20, 20, 579, 579}};
inline constexpr BuildConfig kVga{
    "vga", 640, 480, "NEC_K2766_FUJ", "VGA ", {32, 2, 32, 8, 2, 8}, 10, "m12", 3072, false,
    624, 464, 0, 242, {319, 20, 619, 619, 20}, {239, 20, 20, 459, 459}};
// clang-format on

#if defined(VOXA_PANEL_WVGA)
inline constexpr const BuildConfig& kBuild = kWvga;
#elif defined(VOXA_PANEL_SVGA)
inline constexpr const BuildConfig& kBuild = kSvga;
#elif defined(VOXA_PANEL_VGA)
inline constexpr const BuildConfig& kBuild = kVga;
#else
#error "choose a panel build: VOXA_PANEL_WVGA, VOXA_PANEL_SVGA or VOXA_PANEL_VGA"
#endif

inline constexpr uint16_t kWidth = kBuild.width;
inline constexpr uint16_t kHeight = kBuild.height;
inline constexpr uint32_t kPixels = uint32_t(kWidth) * kHeight;
inline constexpr const char* kBuildName = kBuild.build_name;

}  // namespace panel
