#include "sim/screen.h"

#include <png.h>

#include <cstdio>

#include "src/device/board.h"

namespace sim {

namespace {

uint8_t expand5(uint16_t v) {
    return uint8_t((v << 3) | (v >> 2));
}
uint8_t expand6(uint16_t v) {
    return uint8_t((v << 2) | (v >> 4));
}

bool line(const Module& m, Gpio g) {
    return m.board().gpio[int(g)] != 0;
}

}  // namespace

bool panel_scanning(const Module& m) {
    const auto& b = m.board();
    const bool powered = !line(m, Gpio::kPanelPower);  // low = on
    return m.status() == Module::Status::kRunning && powered && b.lcd_signals && b.lcd_clock &&
           b.lcd_width != 0;
}

double backlight_level(const Module& m, const ScreenOptions& o) {
    if (!panel_scanning(m)) return 0.0;
    const bool enable_high = line(m, Gpio::kInverterEnable);
    if (enable_high != o.inverter_active_high) return 0.0;
    const auto& b = m.board();
    if (!b.pwm_enable) return 1.0;
    // The WVGA panel's inverter brightens as the pulse width falls; the SVGA and VGA panels'
    // as it rises.
    const double width = b.pwm_width / 255.0;
    return m.panel() == Panel::kWvga ? 1.0 - width : width;
}

std::vector<uint8_t> framebuffer_rgb(const Module& m) {
    const int w = m.width(), h = m.height();
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    const uint16_t* fb = m.framebuffer();
    for (int i = 0; i < w * h; ++i) {
        const uint16_t p = fb[i];
        rgb[i * 3 + 0] = expand5(p >> 11);
        rgb[i * 3 + 1] = expand6((p >> 5) & 0x3F);
        rgb[i * 3 + 2] = expand5(p & 0x1F);
    }
    return rgb;
}

std::vector<uint8_t> render_screen(const Module& m, const ScreenOptions& o) {
    const int w = m.width(), h = m.height();
    const double level = backlight_level(m, o);
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 0);
    if (level <= 0.0) return rgb;
    const auto src = framebuffer_rgb(m);
    // The two orientation lines reverse the panel's horizontal and vertical scan.
    const bool flip_x = line(m, Gpio::kOrient0);
    const bool flip_y = line(m, Gpio::kOrient1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int sx = flip_x ? w - 1 - x : x;
            const int sy = flip_y ? h - 1 - y : y;
            for (int c = 0; c < 3; ++c) {
                const double v = src[(size_t(sy) * w + sx) * 3 + c] * level;
                rgb[(size_t(y) * w + x) * 3 + c] = uint8_t(v + 0.5);
            }
        }
    }
    return rgb;
}

bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        if (error) *error = "PNG encoding failed for " + path;
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(rgb.data() + size_t(y) * width * 3));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace sim
