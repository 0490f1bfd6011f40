// Level bars: a value shown as a coloured length in up to three colour segments, the rest of
// the bar in its background colour.
#pragma once

#include <array>
#include <cstdint>

#include "controls/value_mapping.h"
#include "gui/gui.h"

constexpr int kLevelBarCount = 32;
constexpr int kLevelBarSegments = 3;

struct LevelBar {
    int32_t defined;
    ValueMapping mapping;
    uint8_t segments;
    GUI_COLOR colours[kLevelBarSegments];
    int32_t ends[kLevelBarSegments];  // pixel offset from the bar's start where each one ends
};

extern std::array<LevelBar, kLevelBarCount> LevelBars;

// Every bar undefined (start-up and screen reset).
void KV_LevelBar_Init();
// Defines a bar without segments; its maximum comes with the first segment. Returns 0 (and
// leaves the bar undefined) for a bar outside 0-31 or an orientation other than 0 or 1.
int KV_LevelBar_Setup(int bar, int defined, int orientation, int invert, int x0, int y0, int x1,
                      int y1, int minimum, GUI_COLOR background);
// Adds the segment that ends at value: the first one sets the maximum, the later ones lie
// within minimum..maximum. Returns 0 when refused (also once three segments exist).
int KV_LevelBar_Add_Color(int bar, GUI_COLOR colour, int value);
// Repaints the whole bar for value. Returns 0 for an undefined bar or one without segments.
int KV_LevelBar_Show(int bar, int value);
