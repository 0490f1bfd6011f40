// A bitmap pixel made by imgpack equals the pixel the firmware draws for the same colour: the
// tool takes 0xRRGGBB, the graphics library 0xBBGGRR, and a swap of the two would turn every
// bitmap's reds blue.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "imgpack.h"

TEST(ImgpackColour, EveryColourMatchesTheLibrarysPixel) {
    uint32_t mismatches = 0, first = 0;
    for (uint32_t rgb = 0; rgb < (1u << 24); ++rgb) {
        const GUI_COLOR bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
        if (imgpack::to_rgb565(rgb) != LCD_Color2Index_M565(bgr) && mismatches++ == 0) {
            first = rgb;
        }
    }
    EXPECT_EQ(mismatches, 0u) << std::hex << "first at 0x" << first;
    EXPECT_EQ(imgpack::to_rgb565(0xFF0000), 0xF800);
}
