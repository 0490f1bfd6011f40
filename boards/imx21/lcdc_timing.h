// The i.MX21 LCD controller's horizontal and vertical configuration words, from the sync widths
// and porches of the board contract. Each field's offset and width is the controller's; the
// firmware keeps the values in the ranges the panels take, so no field can borrow from or carry
// into its neighbour. The simulated board shows the same words in its register block.
#pragma once

#include <cstdint>

namespace imx21 {

constexpr uint32_t lcdc_horizontal_word(uint32_t hsync_width, uint32_t front, uint32_t back) {
    return ((hsync_width - 1) << 26) | ((front - 1) << 8) | (back - 3);
}

constexpr uint32_t lcdc_vertical_word(uint32_t vsync_width, uint32_t front, uint32_t back) {
    return (vsync_width << 26) | (front << 8) | back;
}

}  // namespace imx21
