// Linear sliders: a background bitmap with a thumb bitmap dragged along it, each on a hotspot of
// 128-255. The thumb position is turned into a value between a minimum and a maximum through
// the value mapping; the hotspot layer reports changes and runs the macro.
//
// Everything here runs in the main loop except isXYinSlider, which the touch sampler calls from
// the 1 ms interrupt: it only reads the table, and an entry's hotspot field is written last when
// an entry is taken and cleared first when it is freed, so it never sees half an entry.
#pragma once

#include "controls/value_mapping.h"

constexpr int kSliderCount = 8;

// Frees every entry and installs the sliders' functions in the touch module's hook table.
void KV_Slider_Init();
// Frees entry i (0-7; others are ignored). The picture stays as it is.
void KV_Slider_Unset(int i);
// The entry that owns a hotspot of 128-255, or -1 (also for any other number).
int KV_Slider_Find(int hotspot);
// The value of entry i (0 for a free entry or a number outside 0-7).
int KV_Slider_GetValue(int i);

// Defines a slider on a hotspot (the hotspot is redefined; an older slider of it goes). x and y
// are screen coordinates. Sends the definition's messages; returns 1 or 0.
int KV_Slider_Setup(int hotspot, int orientation, int optionT, int x, int y, int offset, int invert,
                    int max, int min, int background, int thumb);
// Moves the thumb of entry i to the point (only the coordinate along the slider counts) and
// returns the value there; 0 when the thumb cannot be placed.
int KV_Slider_Touched(int i, int x, int y);
// "sv": the slider of a hotspot to a value within its limits, rounded to the pixel grid, no
// report. Returns 1 or 0.
int KV_Slider_Value(int hotspot, int value);

// Whether a screen point lies on any slider's background (interrupt-safe).
int isXYinSlider(int x, int y);

// Circular sliders cannot be defined: no hotspot has one.
int CircSliderFind(int hotspot);
int CircSliderTouched(int i, int x, int y);
