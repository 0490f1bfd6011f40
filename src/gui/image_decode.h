// Image files drawn by the graphics library: BMP, GIF and JPEG decoders that pull the file in
// pieces through the caller's get-data function, so that no buffer ever holds a whole file, and
// the BMP serialiser that writes the screen as a file one byte at a time.
//
// Every decoder draws the image with its top-left corner at (x, y), clipped to the clip
// rectangle, in the context's draw mode (XOR inverts the pixels the image covers), each pixel
// converted to RGB565 by dropping the low bits of its 8-bit channels. A decoder reads nothing
// but what the get-data function hands out, checks every length, count and index taken from the
// file before it uses it, and stops at the first inconsistency: what it decoded until then stays
// on the screen, and GUI_X_Warn says why.
#pragma once

#include <cstdint>

// Makes count bytes of the file from offset on available: sets *data to them and returns how
// many there are (fewer near the end of the file or when the supplier hands out smaller pieces;
// 0 at the end of the file or on a read error). The bytes stay valid until the next call.
using GUI_GET_DATA_FUNC = int(void* context, const uint8_t** data, unsigned count, uint32_t offset);

// The largest piece the decoders ask for at once.
constexpr unsigned kGuiImageRequestMax = 2400;

// 0 when the image was drawn whole; non-zero when the data are not a valid image of that kind
// (or one this library cannot draw), in which case part of it may have been drawn. user is
// handed to getData as its context.
int GUI_BMP_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y);
int GUI_GIF_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y);
int GUI_JPEG_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y);

// Memory for the coefficients of a progressive JPEG image, which must be held whole before any
// pixel can be drawn (baseline images need none). The library has no heap: the firmware hands it
// a work area here (null: none, and progressive images are refused).
void GUI_JPEG_SetWorkArea(void* area, uint32_t size);

// Receives the serialised file one byte at a time; returns false when the byte could not be
// written, which ends the serialisation.
using GUI_WRITE_BYTE_FUNC = bool(uint8_t byte, void* context);

// Writes the whole screen as a 16-bit (5 bits per colour) Windows BMP file, bottom row first.
// 0 when every byte was written, non-zero when the writer refused one.
int GUI_BMP_Serialize(GUI_WRITE_BYTE_FUNC* writeByte, void* context);

// Warnings of the library, supplied by the firmware (the host sees them).
void GUI_X_Warn(const char* s);
