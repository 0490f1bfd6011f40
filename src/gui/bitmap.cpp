// GUI_DrawBitmap: palette bitmaps of 1, 2, 4 and 8 bits per pixel, RGB565 and the two
// run-length formats, clipped row by row.
#include <cstring>

#include "gui/gui.h"
#include "gui/raster.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "565 bitmap rows are copied as they are into the little-endian frame buffer");

namespace {

enum Format : uint8_t { kPalette = 0, k565 = 1, kRle8 = 2, kRle16 = 3 };

}  // namespace

const GUI_BITMAP_METHODS GUI_BitmapMethods565{k565};
const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE8{kRle8};
const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE16{kRle16};

namespace gui {

namespace {

uint16_t lut[256];

// Pixel values of the palette; a missing palette gives a grey ramp, missing entries black.
void load_palette(const GUI_LOGPALETTE* pal, int bpp) {
    const int entries = 1 << bpp;
    for (int i = 0; i < entries; ++i) {
        if (!pal || !pal->pPalEntries) {
            const uint32_t g = uint32_t(i * 255 / (entries - 1));
            lut[i] = LCD_Color2Index_M565(g | (g << 8) | (g << 16));
        } else {
            lut[i] = i < pal->NumEntries ? LCD_Color2Index_M565(pal->pPalEntries[i]) : 0;
        }
    }
}

struct Visible {
    int c0, c1, r0, r1;  // bitmap columns and rows on screen
};

bool visible(const GUI_BITMAP& bm, int64_t x, int64_t y, const Box& c, Visible& v) {
    if (c.empty() || bm.XSize == 0 || bm.YSize == 0) return false;
    const int64_t c0 = c.x0 - x > 0 ? c.x0 - x : 0;
    const int64_t c1 = c.x1 - x < bm.XSize - 1 ? c.x1 - x : bm.XSize - 1;
    const int64_t r0 = c.y0 - y > 0 ? c.y0 - y : 0;
    const int64_t r1 = c.y1 - y < bm.YSize - 1 ? c.y1 - y : bm.YSize - 1;
    if (c0 > c1 || r0 > r1) return false;
    v = Visible{int(c0), int(c1), int(r0), int(r1)};
    return true;
}

void draw_palette(Painter& painter, const GUI_BITMAP& bm, int64_t x, int64_t y) {
    const int bpp = bm.BitsPerPixel;
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return;
    Visible v;
    if (!visible(bm, x, y, painter.clip(), v)) return;
    load_palette(bm.pPal, bpp);
    const bool trans = bm.pPal && bm.pPal->HasTrans;
    const bool invert = painter.mode() != Painter::Mode::kPaint;
    const unsigned mask = (1u << bpp) - 1;
    const int per_byte = 8 / bpp;
    uint32_t n = 0;
    for (int r = v.r0; r <= v.r1; ++r) {
        const uint8_t* src = bm.pData + size_t(r) * bm.BytesPerLine;
        uint16_t* dst = painter.framebuffer() + (y + r) * painter.stride() + (x + v.c0);
        for (int col = v.c0; col <= v.c1; ++col, ++dst) {
            const int shift = 8 - bpp * (1 + col % per_byte);
            const unsigned index = (src[col / per_byte] >> shift) & mask;
            if (trans && index == 0) continue;
            *dst = invert ? uint16_t(~*dst) : lut[index];
            ++n;
        }
    }
    painter.count(n);
}

void draw_565(Painter& painter, const GUI_BITMAP& bm, int64_t x, int64_t y) {
    Visible v;
    if (!visible(bm, x, y, painter.clip(), v)) return;
    const int n = v.c1 - v.c0 + 1;
    const int rows = v.r1 - v.r0 + 1;
    // A full-width bitmap on a full-width span (a page background) is one block in both places:
    // one copy instead of one call per row, which at these speeds is a third of the cost.
    if (painter.mode() == Painter::Mode::kPaint && n == painter.stride() &&
        bm.BytesPerLine == n * 2) {
        std::memcpy(painter.framebuffer() + (y + v.r0) * painter.stride() + x + v.c0,
                    bm.pData + size_t(v.r0) * bm.BytesPerLine, size_t(n) * 2 * size_t(rows));
        painter.count(uint32_t(n) * uint32_t(rows));
        return;
    }
    for (int r = v.r0; r <= v.r1; ++r) {
        const uint8_t* src = bm.pData + size_t(r) * bm.BytesPerLine + size_t(v.c0) * 2;
        uint16_t* dst = painter.framebuffer() + (y + r) * painter.stride() + x + v.c0;
        if (painter.mode() == Painter::Mode::kPaint) {
            std::memcpy(dst, src, size_t(n) * 2);
        } else {
            invert16(dst, n);
        }
    }
    painter.count(uint32_t(n) * uint32_t(rows));
}

// The run-length stream: a count byte n of 1-255 repeats the following pixel n times; a zero
// byte is followed by a count m (0 meaning 256) and m literal pixels. Pixels fill the bitmap
// row by row and an item may run on into the next row. Pixels are one palette index (RLE8) or
// two bytes of RGB565, low byte first (RLE16).
class RleReader {
  public:
    RleReader(const GUI_BITMAP& bm, int pixel_bytes)
        : p_(bm.pData), end_(bm.NumBytes ? bm.pData + bm.NumBytes : nullptr), size_(pixel_bytes) {}
    bool byte(unsigned& b) {
        if (end_ && p_ >= end_) return false;
        b = *p_++;
        return true;
    }
    bool pixel(unsigned& value) {
        if (end_ && end_ - p_ < size_) return false;
        value = size_ == 1 ? p_[0] : unsigned(p_[0] | (p_[1] << 8));
        p_ += size_;
        return true;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
    int size_;
};

void draw_rle(Painter& painter, const GUI_BITMAP& bm, int64_t x, int64_t y, bool palette) {
    if (bm.XSize == 0 || bm.YSize == 0) return;
    if (palette) load_palette(bm.pPal, 8);
    const bool skip_zero =
        palette ? (bm.pPal && bm.pPal->HasTrans) : (context.DrawMode & GUI_DRAWMODE_TRANS) != 0;
    const Box& c = painter.clip();
    RleReader in(bm, palette ? 1 : 2);
    const int w = bm.XSize;
    int col = 0, row = 0;
    const auto value_of = [&](unsigned raw) { return palette ? lut[raw & 0xFF] : uint16_t(raw); };
    while (row < bm.YSize) {
        unsigned count;
        if (!in.byte(count)) return;
        if (count) {
            unsigned raw;
            if (!in.pixel(raw)) return;
            const bool skip = skip_zero && raw == 0;
            const uint16_t value = value_of(raw);
            // A run becomes one span per row it touches.
            while (count && row < bm.YSize) {
                const int k = int(count) < w - col ? int(count) : w - col;
                if (!skip) painter.span_value(y + row, x + col, x + col + k - 1, value);
                count -= unsigned(k);
                col += k;
                if (col == w) {
                    col = 0;
                    ++row;
                }
            }
        } else {
            unsigned m;
            if (!in.byte(m)) return;
            if (m == 0) m = 256;
            for (; m && row < bm.YSize; --m) {
                unsigned raw;
                if (!in.pixel(raw)) return;
                const int64_t px = x + col, py = y + row;
                if (!(skip_zero && raw == 0) && px >= c.x0 && px <= c.x1 && py >= c.y0 &&
                    py <= c.y1) {
                    painter.pixel_value(int(px), int(py), value_of(raw));
                }
                if (++col == w) {
                    col = 0;
                    ++row;
                }
            }
        }
    }
}

}  // namespace

}  // namespace gui

void GUI_DrawBitmap(const GUI_BITMAP* bitmap, int x, int y) {
    if (!bitmap || !bitmap->pData) return;
    // A bitmap covers each of its pixels once, so XOR mode needs no mask.
    gui::Painter painter(false);
    const uint8_t format = bitmap->pMethods ? bitmap->pMethods->Format : uint8_t(kPalette);
    switch (format) {
        case kPalette:
            gui::draw_palette(painter, *bitmap, x, y);
            break;
        case k565:
            gui::draw_565(painter, *bitmap, x, y);
            break;
        case kRle8:
            gui::draw_rle(painter, *bitmap, x, y, true);
            break;
        case kRle16:
            gui::draw_rle(painter, *bitmap, x, y, false);
            break;
        default:
            break;
    }
}
