#include "media/bitmaps.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/host_text.h"
#include "device/board.h"
#include "gui/gui.h"
#include "media/ext_check.h"
#include "media/ext_image.h"

namespace {

constexpr uint32_t kPixelBytes = 2;

bool is_bitmap_type(uint8_t type) {
    return type == kRecBitmap || type == kRecCompressedBitmap || type == kRecTransparentBitmap;
}

// A rectangle of the bitmap (source) and where its top-left pixel goes on the screen. Wide
// enough that no sum of the callers' coordinates can overflow while it is cut.
struct Blit {
    int64_t sx, sy;  // source corner
    int64_t w, h;    // size
    int64_t dx, dy;  // destination corner
};

// Cuts the blit to the bitmap and to the panel; false when nothing is left.
bool clip(const BitmapHandle& b, Blit& r) {
    const int64_t screenW = LCD_GetXSize(), screenH = LCD_GetYSize();
    if (r.sx < 0) {
        r.dx -= r.sx;
        r.w += r.sx;
        r.sx = 0;
    }
    if (r.sy < 0) {
        r.dy -= r.sy;
        r.h += r.sy;
        r.sy = 0;
    }
    if (r.sx + r.w > b.width) r.w = b.width - r.sx;
    if (r.sy + r.h > b.height) r.h = b.height - r.sy;
    if (r.dx < 0) {
        r.sx -= r.dx;
        r.w += r.dx;
        r.dx = 0;
    }
    if (r.dy < 0) {
        r.sy -= r.dy;
        r.h += r.dy;
        r.dy = 0;
    }
    if (r.dx + r.w > screenW) r.w = screenW - r.dx;
    if (r.dy + r.h > screenH) r.h = screenH - r.dy;
    return r.w > 0 && r.h > 0;
}

// Copies n pixels, leaving those equal to key as dst has them. Eight pixels at a time through
// the compiler's generic vectors (plain integer code where the processor has no vector unit):
// the key pixels of a picture are scattered, and a branch per pixel mispredicts on each one.
void keyed_copy(uint16_t* dst, const uint8_t* src, size_t n, uint16_t key) {
    using Pixels8 = uint16_t __attribute__((vector_size(16)));
    const Pixels8 keys = Pixels8{} + key;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        Pixels8 s, d;
        std::memcpy(&s, src + i * kPixelBytes, sizeof s);  // unaligned, little-endian
        std::memcpy(&d, dst + i, sizeof d);
        const Pixels8 keep = reinterpret_cast<Pixels8>(s == keys);
        d = (d & keep) | (s & ~keep);
        std::memcpy(dst + i, &d, sizeof d);
    }
    for (; i < n; ++i) {
        const uint16_t p = read_le16(src + i * kPixelBytes);
        if (p != key) dst[i] = p;
    }
}

// Copies the rectangle straight into the frame buffer (the stored pixels are frame-buffer
// pixels); with a key, pixels equal to it are left as they are.
void blit(const BitmapHandle& b, Blit r, bool keyed, uint16_t key) {
    if (b.type == kRecCompressedBitmap || !clip(b, r)) return;
    uint16_t* fb = lcd_framebuffer();
    const int stride = LCD_GetXSize();
    for (int64_t row = 0; row < r.h; ++row) {
        const uint8_t* src = b.pixels + size_t(r.sy + row) * b.stride + size_t(r.sx) * kPixelBytes;
        uint16_t* dst = fb + size_t(r.dy + row) * size_t(stride) + size_t(r.dx);
        if (!keyed) {
            std::memcpy(dst, src, size_t(r.w) * kPixelBytes);
            continue;
        }
        keyed_copy(dst, src, size_t(r.w), key);
    }
    board_checkpoint(Work::kPixels, uint32_t(r.w) * uint32_t(r.h));
}

int clip_abs(const BitmapHandle* h, int x, int y, int x0, int y0, int x1, int y1, bool keyed,
             uint16_t key) {
    if (!h || x0 < x || y0 < y || x1 < x0 || y1 < y0) return 0;
    blit(*h,
         Blit{int64_t(x0) - x, int64_t(y0) - y, int64_t(x1) - x0 + 1, int64_t(y1) - y0 + 1, x0, y0},
         keyed, key);
    return 1;
}

}  // namespace

int KV_GetExtBitmap(int index, BitmapHandle* out) {
    ExtView view;
    ExtRecordInfo r;
    if (index <= 0 || !ExtMem_View(&view) || ExtCheck_Record(view, index, &r) != nullptr ||
        !is_bitmap_type(r.type)) {
        return 0;
    }
    BitmapHandle b;
    b.type = r.type;
    b.width = r.width;
    b.height = r.height;
    b.stride = r.bytes_per_line;
    b.key = uint16_t(r.palette);
    b.pixels = view.data + r.pixels;
    b.bytes = r.pixel_bytes;
    *out = b;
    return 1;
}

int KV_BitmapWidth(const BitmapHandle* h) {
    return h ? h->width : 0;
}
int KV_BitmapHeight(const BitmapHandle* h) {
    return h ? h->height : 0;
}

int KV_DrawBitmap(const BitmapHandle* h, int x, int y) {
    if (!h) return 0;
    if (h->type == kRecTransparentBitmap) {
        KV_DrawBitmapTr(h, x, y, h->key);
        return 1;
    }
    const bool rle = h->type == kRecCompressedBitmap;
    const GUI_BITMAP bm{h->width,
                        h->height,
                        rle ? uint16_t(h->width * kPixelBytes) : h->stride,
                        16,
                        h->pixels,
                        nullptr,
                        rle ? GUI_DRAW_RLE16 : GUI_DRAW_BMP565,
                        rle ? h->bytes : uint32_t(0)};
    GUI_DrawBitmap(&bm, x, y);
    return 1;
}

void KV_DrawBitmapTr(const BitmapHandle* h, int x, int y, uint16_t trans) {
    if (h) blit(*h, Blit{0, 0, h->width, h->height, x, y}, true, trans);
}

int KV_DrawBitmapClipAbs(const BitmapHandle* h, int x, int y, int x0, int y0, int x1, int y1) {
    return clip_abs(h, x, y, x0, y0, x1, y1, false, 0);
}

int KV_DrawBitmapTrClipAbs(const BitmapHandle* h, int x, int y, int x0, int y0, int x1, int y1,
                           uint16_t trans) {
    return clip_abs(h, x, y, x0, y0, x1, y1, true, trans);
}

void KV_DrawBitmapCutOff(const BitmapHandle* h, int x, int y, int sx0, int sy0, int sx1, int sy1) {
    if (!h || sx1 < sx0 || sy1 < sy0) return;
    blit(*h, Blit{sx0, sy0, int64_t(sx1) - sx0 + 1, int64_t(sy1) - sy0 + 1, x, y}, false, 0);
}

int screenCompressedBitmap(const BitmapHandle* h) {
    if (h && h->type == kRecCompressedBitmap) {
        txNotify(":bitmap must be uncompressed\r");
        return 0;
    }
    return 1;
}
