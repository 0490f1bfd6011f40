// The value mapping that charts, sliders and level bars share: a rectangle, the axis the values
// run along, and the conversions between a value and a pixel offset on that axis.
#pragma once

#include <cstdint>

#include "gui/gui.h"

// Flag bits.
constexpr uint8_t kMapInvert = 0x01;            // the maximum lies at the start coordinate
constexpr uint8_t kMapClearAfterScroll = 0x02;  // charts: clear the rest after a scroll
constexpr uint8_t kMapRetrace = 0x04;
constexpr uint8_t kMapFull = 0x08;
constexpr uint8_t kMapEraseAhead = 0x10;

constexpr int kMapAlongY = 0;  // values run along y (vertical)
constexpr int kMapAlongX = 1;

// What ValueToPixel gives for a value outside the limits (or limits that make no scale).
constexpr int32_t kMapBelowMinimum = -1;
constexpr int32_t kMapAboveMaximum = -2;

struct ValueMapping {
    int32_t x0, y0, x1, y1;  // inclusive
    int32_t orientation;
    uint8_t flags;
    int32_t span;  // pixels between the two ends
    int32_t maximum;
    int32_t minimum;
    GUI_COLOR background;  // -1 for bitmap charts
};

// Sets a mapping up. An orientation other than along y or along x leaves it as it was and
// returns 0.
int KV_Chart_Common(ValueMapping* m, int x0, int y0, int x1, int y1, int orientation, int invert,
                    int maximum, int minimum, GUI_COLOR background);

// The pixel offset of a value from the start of the axis, rounded to the nearest pixel:
// kMapBelowMinimum below the minimum (and for limits with no range), kMapAboveMaximum above the
// maximum. A value within the limits lands within 0..span.
int32_t KV_ValueToPixel(const ValueMapping& m, int32_t value);

// The value of a coordinate on the mapping's axis (absolute, clamped to the axis's ends first):
// halves round up, the result stays within the limits; a span of 0 gives the value at the start.
int32_t KV_PixelToValue(const ValueMapping& m, int32_t coordinate);
