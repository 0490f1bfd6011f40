// Windows BMP files held whole in memory (the splash picture read from the card at start-up).
#pragma once

#include <cstdint>

// Draws the BMP file data (size bytes) with its top-left corner at (x, y), as GUI_BMP_DrawEx
// does: 0 when drawn whole, non-zero when the data are not a BMP file this library can draw
// (part of it may have been drawn).
int GUI_BMP_Draw(const void* data, uint32_t size, int x, int y);
