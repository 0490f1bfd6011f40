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

// How the panel shows its frame buffer: brightness, and the scan directions the orientation
// lines reverse.
struct ScreenLook {
    double level = 0.0;  // 0 (dark) to 1
    bool flip_x = false;
    bool flip_y = false;
    bool operator==(const ScreenLook&) const = default;
};
ScreenLook screen_look(const Module& module, const ScreenOptions& options);
// The picture a panel with that look shows of an RGB565 frame buffer of width x height pixels,
// as RGB888 rows top to bottom.
std::vector<uint8_t> render_pixels(const uint16_t* framebuffer, int width, int height,
                                   const ScreenLook& look);

// The visible picture as RGB888, width x height x 3 bytes, rows top to bottom.
std::vector<uint8_t> render_screen(const Module& module, const ScreenOptions& options);
// The frame buffer itself as RGB888 (no panel effects), for tests and tools.
std::vector<uint8_t> framebuffer_rgb(const Module& module);

bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               std::string* error);
// The same PNG in memory; empty when encoding failed.
std::string encode_png(int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace sim
