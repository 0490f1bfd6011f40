// The graphics library: the only code that writes pixels into the frame buffer.
#pragma once

#include <cstdint>

#include "gui/font.h"

// Colour value 0x00BBGGRR.
using GUI_COLOR = uint32_t;

// Sets the context defaults, initialises the LCD driver and sets the origin to (0, 0).
// Returns 0 on success.
int GUI_Init();
int LCD_GetXSize();
int LCD_GetYSize();

uint16_t LCD_Color2Index_M565(GUI_COLOR color);
GUI_COLOR LCD_Index2Color_M565(uint16_t index);

GUI_COLOR GUI_SetColor(GUI_COLOR color);
GUI_COLOR GUI_GetColor();
GUI_COLOR GUI_SetBkColor(GUI_COLOR color);
GUI_COLOR GUI_GetBkColor();

// Fills the whole screen with the background colour; the display position goes to (0, 0).
void GUI_Clear();

// The font of text output; GUI_Init selects GUI_FontArial10. A null font is ignored. Returns
// the previous font.
const GUI_FONT* GUI_SetFont(const GUI_FONT* font);
const GUI_FONT* GUI_GetFont();
