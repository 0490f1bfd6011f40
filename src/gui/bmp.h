// Windows BMP files held whole in memory.
//
// This build checks the file header only: it never draws, and returns non-zero for every file
// (the picture decoder is not part of this build yet). Callers treat non-zero as "not shown".
#pragma once

#include <cstdint>

// Draws the BMP file data (size bytes) with its top-left corner at (x, y). 0 when drawn,
// non-zero when the data are not a BMP file this build can draw.
int GUI_BMP_Draw(const void* data, uint32_t size, int x, int y);
