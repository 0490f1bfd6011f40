// What the panel shows: the frame buffer as the LCD controller scans it, lit by the backlight.
// A panel without power, signals or clock is black; so is one whose backlight is off, and the
// brightness PWM dims the picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/module.h"

namespace sim {

struct ScreenOptions {
    // The inverter fitted to the simulated module: true when its enable input is active high
    // (matches invEnaHiTrue 0, the default setting).
    bool inverter_active_high = true;
};

// 0 (dark) to 1 (full brightness).
double backlight_level(const Module& module, const ScreenOptions& options);
bool panel_scanning(const Module& module);

// The visible picture as RGB888, width x height x 3 bytes, rows top to bottom.
std::vector<uint8_t> render_screen(const Module& module, const ScreenOptions& options);
// The frame buffer itself as RGB888 (no panel effects), for tests and tools.
std::vector<uint8_t> framebuffer_rgb(const Module& module);

bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               std::string* error);

}  // namespace sim
