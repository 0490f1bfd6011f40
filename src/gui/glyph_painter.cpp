#include "gui/glyph_painter.h"

namespace gui {

namespace {

// RGB565 fields back to 8 bits, exactly as LCD_Index2Color does.
struct Expand {
    uint8_t five[32];
    uint8_t six[64];
};
constexpr Expand make_expand() {
    Expand e{};
    for (int i = 0; i < 32; ++i) e.five[i] = uint8_t(i * 255 / 31);
    for (int i = 0; i < 64; ++i) e.six[i] = uint8_t(i * 255 / 63);
    return e;
}
constexpr Expand kExpand = make_expand();

inline uint16_t pack565(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Coverage of pixel k of a glyph row: the leftmost pixel in the most significant bits.
template <int Bpp>
inline uint32_t coverage(const uint8_t* row, int k) {
    if constexpr (Bpp == 4) return (row[k >> 1] >> ((~k & 1) << 2)) & 0xF;
    if constexpr (Bpp == 2) return (row[k >> 2] >> ((3 - (k & 3)) << 1)) & 0x3;
    return (row[k >> 3] >> (7 - (k & 7))) & 0x1;
}

inline int64_t max64(int64_t a, int64_t b) {
    return a > b ? a : b;
}
inline int64_t min64(int64_t a, int64_t b) {
    return a < b ? a : b;
}

}  // namespace

TextSpace screen_space() {
    return TextSpace{0, 1, kWidth, clipBox};
}

GlyphPainter::GlyphPainter(const GUI_FONT* font, const TextSpace& space)
    : font_(font), space_(space), upright_(space.du == 1 && space.dv == kWidth) {
    const int mode = context.TextMode;
    kind_ = (mode & GUI_TM_XOR)     ? Kind::kXor
            : (mode & GUI_TM_TRANS) ? Kind::kTransparent
                                    : Kind::kOpaque;
    GUI_COLOR fg = context.Color, bk = context.BkColor;
    if (mode & GUI_TM_REV) {
        const GUI_COLOR t = fg;
        fg = bk;
        bk = t;
    }
    bpp_ = font ? GUI_FontBitsPerPixel(font) : 0;
    const uint32_t m = bpp_ ? (1u << bpp_) - 1 : 1;
    const uint32_t f[3] = {fg & 0xFF, (fg >> 8) & 0xFF, (fg >> 16) & 0xFF};
    const uint32_t b[3] = {bk & 0xFF, (bk >> 8) & 0xFF, (bk >> 16) & 0xFF};
    for (uint32_t a = 0; a <= m; ++a) {
        uint32_t mixed[3];
        for (int c = 0; c < 3; ++c) {
            fgParts_[a][c] = uint16_t(f[c] * a + m / 2);
            mixed[c] = (f[c] * a + b[c] * (m - a) + m / 2) / m;
        }
        colors_[a] = pack565(mixed[0], mixed[1], mixed[2]);
    }
    fg_ = colors_[m];
}

GlyphPainter::~GlyphPainter() {
    report_pixels(pixels_);
}

template <bool Upright>
void GlyphPainter::fill(int64_t index, int n, uint16_t value) {
    if constexpr (Upright) {
        fill16(frameBuffer + index, n, value);
    } else {
        uint16_t* const fb = frameBuffer;
        for (int i = 0; i < n; ++i, index += space_.du) fb[index] = value;
    }
}

template <int Bpp, GlyphPainter::Kind K, bool Upright>
void GlyphPainter::draw_cell(const GUI_CHARINFO& g, int64_t u, int64_t v) {
    constexpr uint32_t M = (1u << Bpp) - 1;
    const Box& c = space_.clip;
    // The visible part of the cell.
    const int64_t cu0 = max64(u, c.x0), cu1 = min64(u + g.advance - 1, c.x1);
    const int64_t cv0 = max64(v, c.y0), cv1 = min64(v + font_->yDist - 1, c.y1);
    if (cu0 > cu1 || cv0 > cv1) return;
    // The ink box, and its visible columns.
    const int64_t iu0 = u + g.x, iv0 = v + g.y;
    const int64_t iu1 = iu0 + g.width - 1, iv1 = iv0 + g.height - 1;
    const int64_t au = max64(cu0, iu0), bu = min64(cu1, iu1);
    const uint8_t* const bits = GUI_GlyphBits(font_, &g);
    const int bytesPerRow = GUI_GlyphBytesPerRow(font_, &g);
    const int64_t du = Upright ? 1 : space_.du;
    const int64_t dv = Upright ? kWidth : space_.dv;
    uint16_t* const fb = frameBuffer;
    const uint16_t background = colors_[0];
    const uint16_t foreground = fg_;
    uint32_t written = 0;

    for (int64_t vv = cv0; vv <= cv1; ++vv) {
        const int64_t rowIndex = space_.base + vv * dv;
        const bool inkRow = vv >= iv0 && vv <= iv1 && au <= bu;
        if constexpr (K == Kind::kOpaque) {
            written += uint32_t(cu1 - cu0 + 1);
            if (!inkRow) {
                fill<Upright>(rowIndex + cu0 * du, int(cu1 - cu0 + 1), background);
                continue;
            }
            if (cu0 < au) fill<Upright>(rowIndex + cu0 * du, int(au - cu0), background);
            if (bu < cu1) fill<Upright>(rowIndex + (bu + 1) * du, int(cu1 - bu), background);
        } else {
            if (!inkRow) continue;
            written += uint32_t(bu - au + 1);
        }
        const uint8_t* row = bits + (vv - iv0) * bytesPerRow;
        int64_t index = rowIndex + au * du;
        const int last = int(bu - iu0);
        for (int k = int(au - iu0); k <= last; ++k, index += du) {
            const uint32_t a = coverage<Bpp>(row, k);
            if constexpr (K == Kind::kOpaque) {
                fb[index] = colors_[a];
            } else if constexpr (K == Kind::kXor) {
                if (2 * a > M) fb[index] = uint16_t(~fb[index]);
            } else {
                if (a == 0) continue;
                if (a == M) {
                    fb[index] = foreground;
                    continue;
                }
                const uint16_t px = fb[index];
                const uint32_t inv = M - a;
                const uint16_t* parts = fgParts_[a];
                const uint32_t r = (parts[0] + kExpand.five[px >> 11] * inv) / M;
                const uint32_t gr = (parts[1] + kExpand.six[(px >> 5) & 0x3F] * inv) / M;
                const uint32_t b = (parts[2] + kExpand.five[px & 0x1F] * inv) / M;
                fb[index] = pack565(r, gr, b);
            }
        }
    }
    pixels_ += written;
}

void GlyphPainter::draw(const GUI_CHARINFO& g, int64_t u, int64_t v) {
    // One instance per depth, mode and orientation keeps every test out of the pixel loops.
#define VOXA_GLYPH_KIND(BPP, UPRIGHT)                                        \
    switch (kind_) {                                                         \
        case Kind::kOpaque:                                                  \
            return draw_cell<BPP, Kind::kOpaque, UPRIGHT>(g, u, v);          \
        case Kind::kTransparent:                                             \
            return draw_cell<BPP, Kind::kTransparent, UPRIGHT>(g, u, v);     \
        case Kind::kXor:                                                     \
            return draw_cell<BPP, Kind::kXor, UPRIGHT>(g, u, v);             \
    }                                                                        \
    return
#define VOXA_GLYPH_DEPTH(UPRIGHT)        \
    switch (bpp_) {                      \
        case 1:                          \
            VOXA_GLYPH_KIND(1, UPRIGHT); \
        case 2:                          \
            VOXA_GLYPH_KIND(2, UPRIGHT); \
        case 4:                          \
            VOXA_GLYPH_KIND(4, UPRIGHT); \
        default:                         \
            return;                      \
    }
    if (upright_) {
        VOXA_GLYPH_DEPTH(true)
    } else {
        VOXA_GLYPH_DEPTH(false)
    }
#undef VOXA_GLYPH_DEPTH
#undef VOXA_GLYPH_KIND
}

}  // namespace gui
