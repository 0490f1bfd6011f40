#include "controls/bitmap_wait.h"

#include "device/scan_wait.h"

int KV_DrawBitmapW(const BitmapHandle* h, int x, int y) {
    if (!h) return 0;
    // Widened: a position near INT_MAX from a host line must not wrap to a line above the
    // bitmap (wvr limits the line to the screen anyway).
    const int64_t last = int64_t(y) + KV_BitmapHeight(h);
    wvr(last > INT32_MAX ? INT32_MAX : int(last));
    return KV_DrawBitmap(h, x, y);
}
