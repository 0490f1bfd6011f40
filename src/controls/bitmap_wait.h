// Bitmap draws that wait for the panel's scan, so that a face changing under the raster (a
// button's press, "ssb") never shows half old and half new.
#pragma once

#include "media/bitmaps.h"

// Waits until the scan has passed line y + height, then KV_DrawBitmap. 0 for a null handle
// (without waiting).
int KV_DrawBitmapW(const BitmapHandle* h, int x, int y);
