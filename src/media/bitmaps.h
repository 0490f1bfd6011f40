// Stored bitmaps of the current bitmap/macro file and their drawing: the graphics library for
// plain and run-length records, the firmware's own blitters for transparency, cut-outs and
// clipped copies. Every blit is clipped to the panel on all sides and reads only inside its
// record.
#pragma once

#include <cstdint>

// A bitmap record as the drawing functions use it; taken from the file by KV_GetExtBitmap, which
// checks that the descriptor and the pixels lie inside the record and the file.
struct BitmapHandle {
    uint8_t type;  // kRecBitmap, kRecCompressedBitmap or kRecTransparentBitmap
    uint16_t width;
    uint16_t height;
    uint16_t stride;        // types 1 and 5: bytes from one row to the next (at least 2 x width)
    const uint8_t* pixels;  // types 1 and 5: height rows of width RGB565 pixels, little-endian
    uint32_t bytes;         // bytes of pixel data there (type 2: up to the record's end)
    uint16_t key;           // type 5: the colour not drawn
};

// Bitmap record index (1 .. count - 1) of the current file; 0 when there is none (index 0 or
// below, no file, not a bitmap type, descriptor or pixels outside the record or the file).
int KV_GetExtBitmap(int index, BitmapHandle* out);
// XSize / YSize, 0 for a null handle.
int KV_BitmapWidth(const BitmapHandle* h);
int KV_BitmapHeight(const BitmapHandle* h);

// Draws with the top-left corner at (x, y) (screen coordinates): run-length through the
// library (its clip rectangle applies), transparent with the record's key, plain through the
// library. Returns 1, or 0 for a null handle.
int KV_DrawBitmap(const BitmapHandle* h, int x, int y);
// Copies every pixel that is not trans.
void KV_DrawBitmapTr(const BitmapHandle* h, int x, int y, uint16_t trans);
// Copies the pixels of the bitmap placed at (x, y) that lie in the absolute rectangle (corners
// included). Returns 0 without drawing when x0 < x, y0 < y, x1 < x0 or y1 < y0, else 1.
int KV_DrawBitmapClipAbs(const BitmapHandle* h, int x, int y, int x0, int y0, int x1, int y1);
int KV_DrawBitmapTrClipAbs(const BitmapHandle* h, int x, int y, int x0, int y0, int x1, int y1,
                           uint16_t trans);
// Copies the source rectangle (corners included, limited to the bitmap) so that its top-left
// pixel lands at (x, y).
void KV_DrawBitmapCutOff(const BitmapHandle* h, int x, int y, int sx0, int sy0, int sx1, int sy1);
// 1 for a bitmap that is not run-length; else sends ":bitmap must be uncompressed\r", 0.
int screenCompressedBitmap(const BitmapHandle* h);
