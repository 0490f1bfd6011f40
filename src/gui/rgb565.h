// The frame buffer's pixel format, RGB565: red in bits 15-11, green in 10-5, blue in 4-0. Every
// conversion between 8-bit channels and pixels in the firmware goes through these, so that a
// colour read back from the screen is always the one that was drawn.
#pragma once

#include <cstdint>

namespace rgb565 {

// 8-bit channels to a pixel: the low bits are dropped.
constexpr uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// A pixel's fields as they are stored.
constexpr uint32_t red5(uint16_t p) {
    return (p >> 11) & 0x1F;
}
constexpr uint32_t green6(uint16_t p) {
    return (p >> 5) & 0x3F;
}
constexpr uint32_t blue5(uint16_t p) {
    return p & 0x1F;
}

// A field back to 8 bits: value x 255 / max, truncated, so that full scale reads 255 and a
// colour read back is the 565-quantised one (red 0x56 reads back as 0x52).
constexpr uint32_t expand5(uint32_t v) {
    return v * 255 / 31;
}
constexpr uint32_t expand6(uint32_t v) {
    return v * 255 / 63;
}

}  // namespace rgb565
