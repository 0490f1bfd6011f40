// The fonts compiled into the firmware. tools/fontgen renders them at build time from
// tools/fontgen/fonts.def, which gives each its kind, line height, baseline and cap height.
#pragma once

#include "gui/font.h"

// Proportional sans-serif, 1 bit per pixel.
extern const GUI_FONT GUI_FontArial8, GUI_FontArial8B;
extern const GUI_FONT GUI_FontArial10, GUI_FontArial10B;

// Proportional sans-serif, 4-bit anti-aliased.
extern const GUI_FONT GUI_FontArial10AA4, GUI_FontArial10BAA4;
extern const GUI_FONT GUI_FontArial12AA4, GUI_FontArial12BAA4;
extern const GUI_FONT GUI_FontArial14AA4, GUI_FontArial14BAA4;
extern const GUI_FONT GUI_FontArial16AA4, GUI_FontArial16BAA4;
extern const GUI_FONT GUI_FontArial20AA4, GUI_FontArial20BAA4;
extern const GUI_FONT GUI_FontArial24AA4, GUI_FontArial24BAA4;
extern const GUI_FONT GUI_FontArial32AA4, GUI_FontArial32BAA4;

// Monospaced, 4-bit anti-aliased.
extern const GUI_FONT GUI_FontMono8AA4, GUI_FontMono8BAA4;
extern const GUI_FONT GUI_FontMono10AA4, GUI_FontMono10BAA4;
extern const GUI_FONT GUI_FontMono12AA4, GUI_FontMono12BAA4;
extern const GUI_FONT GUI_FontMono14AA4, GUI_FontMono14BAA4;
extern const GUI_FONT GUI_FontMono16AA4, GUI_FontMono16BAA4;
extern const GUI_FONT GUI_FontMono20AA4, GUI_FontMono20BAA4;
extern const GUI_FONT GUI_FontMono24AA4, GUI_FontMono24BAA4;
extern const GUI_FONT GUI_FontMono32AA4, GUI_FontMono32BAA4;

// Monospaced, extended 1 bit per pixel: the two largest sizes.
extern const GUI_FONT GUI_FontMono48, GUI_FontMono64;

// The fonts of older displays (calibration and diagnostics screens).
extern const GUI_FONT GUI_Font16_1, GUI_Font16B_1;
