#include "command/bitmap_rows.h"

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "device/scan_wait.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"
#include "media/sd_image.h"

namespace {

// Coordinates far beyond any panel behave alike; keeping them within this range lets sums of a
// few of them stay inside an int.
constexpr int kCoordLimit = 1 << 24;

int coord(long long value) {
    return int(value < -kCoordLimit ? -kCoordLimit : value > kCoordLimit ? kCoordLimit : value);
}

// A position of a command, offset by the drawing origin.
int at_x(int v) {
    return coord(coord(v) + coord(Origin_X));
}
int at_y(int v) {
    return coord(coord(v) + coord(Origin_Y));
}

int16_t clamp16(int value) {
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

int fail(const char* message) {
    txString(message);
    return kCmdFailed;
}

// "xim": the bitmap's centre at (x, y); a corner left of or above the screen is refused.
int centred(int index, int x, int y) {
    BitmapHandle b;
    if (!KV_GetExtBitmap(index, &b)) return kCmdFailed;
    const int cx = at_x(x) - b.width / 2;
    const int cy = at_y(y) - b.height / 2;
    if (cx < 0 || cy < 0) return fail(":argument error\r");
    KV_DrawBitmap(&b, cx, cy);
    return kCmdDone;
}

// "xic": only the rectangle (x + x0, y + y0) - (x + x1, y + y1) of the bitmap at (x, y).
int clipped(const int v[7]) {
    BitmapHandle b;
    if (!KV_GetExtBitmap(v[0], &b)) return kCmdFailed;
    const int x = at_x(v[1]), y = at_y(v[2]);
    const int x0 = coord(x + coord(v[3])), y0 = coord(y + coord(v[4]));
    const int x1 = coord(x + coord(v[5])), y1 = coord(y + coord(v[6]));
    switch (b.type) {
        case kRecBitmap:
            KV_DrawBitmapClipAbs(&b, x, y, x0, y0, x1, y1);
            return kCmdDone;
        case kRecTransparentBitmap:
            KV_DrawBitmapTrClipAbs(&b, x, y, x0, y0, x1, y1, b.key);
            return kCmdDone;
        case kRecCompressedBitmap: {
            const GUI_RECT rect{clamp16(x0), clamp16(y0), clamp16(x1), clamp16(y1)};
            const GUI_RECT old = GUI_SetClipRect(&rect);
            KV_DrawBitmap(&b, x, y);
            GUI_SetClipRect(&old);
            return kCmdDone;
        }
        default:
            return kCmdFailed;
    }
}

// "xio": a band of rows (d = 0) or columns of the bitmap, limited to the screen, drawn once the
// scan has passed it.
int band(const int v[6]) {
    BitmapHandle b;
    if (!KV_GetExtBitmap(v[0], &b)) return fail(":invalid bitmap\r");
    if (!screenCompressedBitmap(&b)) return kCmdFailed;
    if (b.type == kRecTransparentBitmap) {
        txString(":transparency not supported\r");
        return fail(":invalid bitmap\r");
    }
    const int x = at_x(v[1]), y = at_y(v[2]);
    const int d = v[3], s = coord(v[5]);
    int n = coord(v[4]);
    const int screenW = LCD_GetXSize(), screenH = LCD_GetYSize();
    int sx0, sy0, sx1, sy1;
    if (d == 0) {
        if (y + n > screenH) n = screenH - y;
        sx0 = 0;
        sx1 = b.width - 1;
        if (sx1 > screenW - 1 - x) sx1 = screenW - 1 - x;
        sy0 = s;
        sy1 = s + n - 1;
    } else {
        if (x + n > screenW) n = screenW - x;
        sx0 = s;
        sx1 = s + n - 1;
        sy0 = 0;
        sy1 = b.height - 1;
        if (sy1 > screenH - 1 - y) sy1 = screenH - 1 - y;
    }
    wvr(y + (sy1 - sy0));
    KV_DrawBitmapCutOff(&b, x, y, sx0, sy0, sx1, sy1);
    return kCmdDone;
}

}  // namespace

int row_bitmap(char* line) {
    int index, x, y;
    if (kv_sscanf(line, "xi %d%d%d", &index, &x, &y) != 3) return kNoMatch;
    BitmapHandle b;
    // An index without a bitmap leaves the line to the rows after this one.
    if (!KV_GetExtBitmap(index, &b)) return kNoMatch;
    KV_DrawBitmap(&b, at_x(x), at_y(y));
    return kCmdDone;
}

int row_image_file(char* line) {
    if (!prefix(line, "xif ")) return kNoMatch;
    char name[17];
    int x, y;
    if (kv_sscanf(line, "xif %16s %d%d", name, &x, &y) != 3) return kCmdFailed;
    return KV_Draw_SdImageFile(name, at_x(x), at_y(y)) ? kCmdDone : kCmdFailed;
}

int row_bitmap_forms(char* line) {
    int a[7];
    unsigned key;
    if (kv_sscanf(line, "xit %d%d%d%x", &a[0], &a[1], &a[2], &key) == 4) {
        BitmapHandle b;
        if (!KV_GetExtBitmap(a[0], &b)) return kNoMatch;
        KV_DrawBitmapTr(&b, at_x(a[1]), at_y(a[2]), uint16_t(key));
        return kCmdDone;
    }
    if (kv_sscanf(line, "xim %d%d%d", &a[0], &a[1], &a[2]) == 3) return centred(a[0], a[1], a[2]);
    if (kv_sscanf(line, "xic %d%d%d%d%d%d%d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6]) ==
        7) {
        return clipped(a);
    }
    if (kv_sscanf(line, "xio %d%d%d%d%d%d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) == 6) {
        return band(a);
    }
    return kNoMatch;
}
