#include "gui/glyph_painter.h"

#include "gui/rgb565.h"

namespace gui {

namespace {

// RGB565 fields back to 8 bits, exactly as LCD_Index2Color does.
struct Expand {
    uint8_t five[32];
    uint8_t six[64];
};
constexpr Expand make_expand() {
    Expand e{};
    for (uint32_t i = 0; i < 32; ++i) e.five[i] = uint8_t(rgb565::expand5(i));
    for (uint32_t i = 0; i < 64; ++i) e.six[i] = uint8_t(rgb565::expand6(i));
    return e;
}
constexpr Expand kExpand = make_expand();

// Per-pixel helpers are forced inline: the size-optimised firmware build would otherwise make
// them calls.
#define VOXA_PIXEL_INLINE inline __attribute__((always_inline))

// Coverage of pixel k of a glyph row: the leftmost pixel in the most significant bits.
template <int Bpp>
VOXA_PIXEL_INLINE uint32_t coverage(const uint8_t* row, int k) {
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

// Transparent blends of the foreground over every value a screen channel can have, one row of
// tables per partial coverage, the result already in its place in the pixel: a pixel is three
// look-ups. The tables are kept while the colour and depth stay, which is the usual case of many
// texts in one colour; another colour costs about as much as one line of text to set up.
struct BlendTables {
    GUI_COLOR fg = 0;
    uint32_t max = 0;  // 0: nothing made yet
    uint16_t red[16][32];
    uint16_t green[16][64];
    uint16_t blue[16][32];
};
BlendTables blend;

// out = (fg * a + screen * (m - a) + m / 2) / m per 8-bit channel, as the README says.
template <uint32_t M>
void make_blend(GUI_COLOR fg) {
    for (uint32_t a = 1; a < M; ++a) {
        const uint32_t inv = M - a;
        const uint32_t r = (fg & 0xFF) * a + M / 2;
        const uint32_t g = ((fg >> 8) & 0xFF) * a + M / 2;
        const uint32_t b = ((fg >> 16) & 0xFF) * a + M / 2;
        for (int i = 0; i < 32; ++i) {
            blend.red[a][i] = rgb565::pack((r + kExpand.five[i] * inv) / M, 0, 0);
            blend.blue[a][i] = rgb565::pack(0, 0, (b + kExpand.five[i] * inv) / M);
        }
        for (int i = 0; i < 64; ++i) {
            blend.green[a][i] = rgb565::pack(0, (g + kExpand.six[i] * inv) / M, 0);
        }
    }
}

void use_blend(GUI_COLOR fg, uint32_t max) {
    if (blend.fg == fg && blend.max == max) return;
    if (max == 15) make_blend<15>(fg);
    if (max == 3) make_blend<3>(fg);
    blend.fg = fg;
    blend.max = max;
}

// What one pixel of coverage a (of M) becomes in each kind of text mode.
struct Pixel {
    const uint16_t* colors;
    uint16_t foreground;
};

template <uint32_t M, int Kind>
VOXA_PIXEL_INLINE void put(uint16_t* p, uint32_t a, const Pixel& px) {
    if constexpr (Kind == 0) {  // opaque
        *p = px.colors[a];
    } else if constexpr (Kind == 2) {  // XOR
        if (2 * a > M) *p = uint16_t(~*p);
    } else {  // transparent
        if (a == 0) return;
        if (a == M) {
            *p = px.foreground;
            return;
        }
        const uint16_t s = *p;
        *p = uint16_t(blend.red[a][rgb565::red5(s)] | blend.green[a][rgb565::green6(s)] |
                      blend.blue[a][rgb565::blue5(s)]);
    }
}

}  // namespace

TextSpace screen_space() {
    return TextSpace{0, 1, surface.stride, clipBox};
}

GlyphPainter::GlyphPainter(const GUI_FONT* font, const TextSpace& space)
    : font_(font), space_(space), upright_(space.du == 1 && space.dv == surface.stride) {
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
        for (int c = 0; c < 3; ++c) mixed[c] = (f[c] * a + b[c] * (m - a) + m / 2) / m;
        colors_[a] = rgb565::pack(mixed[0], mixed[1], mixed[2]);
    }
    fg_ = colors_[m];
    if (kind_ == Kind::kTransparent && m > 1) use_blend(fg, m);
}

GlyphPainter::~GlyphPainter() {
    report_pixels(pixels_);
}

void GlyphPainter::background(int64_t u0, int64_t u1, int64_t v) {
    if (kind_ != Kind::kOpaque || font_ == nullptr) return;
    const Box& c = space_.clip;
    const int64_t cu0 = max64(u0, c.x0), cu1 = min64(u1, c.x1);
    const int64_t cv0 = max64(v, c.y0), cv1 = min64(v + font_->yDist - 1, c.y1);
    if (cu0 > cu1 || cv0 > cv1) return;
    const int n = int(cu1 - cu0 + 1);
    uint16_t* const fb = surface.pixels;
    for (int64_t vv = cv0; vv <= cv1; ++vv) {
        int64_t index = space_.base + vv * space_.dv + cu0 * space_.du;
        if (upright_) {
            fill16(fb + index, n, colors_[0]);
        } else {
            for (int i = 0; i < n; ++i, index += space_.du) fb[index] = colors_[0];
        }
    }
    pixels_ += uint32_t(n) * uint32_t(cv1 - cv0 + 1);
}

template <int Bpp, GlyphPainter::Kind K, bool Upright>
void GlyphPainter::draw_ink(const GUI_CHARINFO& g, int64_t u, int64_t v) {
    constexpr uint32_t M = (1u << Bpp) - 1;
    constexpr int KindIndex = K == Kind::kOpaque ? 0 : K == Kind::kTransparent ? 1 : 2;
    const Box& c = space_.clip;
    // The visible part of the ink box.
    const int64_t iu0 = u + g.x, iv0 = v + g.y;
    const int64_t au = max64(iu0, c.x0), bu = min64(iu0 + g.width - 1, c.x1);
    const int64_t av = max64(iv0, c.y0), bv = min64(iv0 + g.height - 1, c.y1);
    if (au > bu || av > bv) return;
    const uint8_t* const bits = GUI_GlyphBits(font_, &g);
    const int bytesPerRow = GUI_GlyphBytesPerRow(font_, &g);
    const int64_t du = Upright ? 1 : space_.du;
    const int64_t dv = space_.dv;
    uint16_t* const fb = surface.pixels;
    const Pixel px{colors_, fg_};
    const int k0 = int(au - iu0), k1 = int(bu - iu0);

    for (int64_t vv = av; vv <= bv; ++vv) {
        const uint8_t* row = bits + (vv - iv0) * bytesPerRow;
        uint16_t* p = fb + (space_.base + vv * dv + au * du);
        if constexpr (Bpp == 4 && Upright) {
            // Two pixels a byte: no shifts by position, and whole bytes of nothing (or of full
            // ink) settled at once where only ink is drawn.
            int k = k0;
            if (k & 1) {
                put<M, KindIndex>(p++, row[k >> 1] & 0xF, px);
                ++k;
            }
            for (; k < k1; k += 2, p += 2) {
                const uint32_t b = row[k >> 1];
                if constexpr (KindIndex != 0) {
                    if (b == 0) continue;
                }
                put<M, KindIndex>(p, b >> 4, px);
                put<M, KindIndex>(p + 1, b & 0xF, px);
            }
            if (k == k1) put<M, KindIndex>(p, row[k >> 1] >> 4, px);
        } else {
            for (int k = k0; k <= k1; ++k) {
                put<M, KindIndex>(p, coverage<Bpp>(row, k), px);
                // The step after the last pixel is never taken, so p stays inside the buffer.
                if (k < k1) p += du;
            }
        }
    }
    pixels_ += uint32_t(bu - au + 1) * uint32_t(bv - av + 1);
}

void GlyphPainter::draw(const GUI_CHARINFO& g, int64_t u, int64_t v) {
    // One instance per depth, mode and orientation keeps every test out of the pixel loops.
#define VOXA_GLYPH_KIND(BPP, UPRIGHT)                                   \
    switch (kind_) {                                                    \
        case Kind::kOpaque:                                             \
            return draw_ink<BPP, Kind::kOpaque, UPRIGHT>(g, u, v);      \
        case Kind::kTransparent:                                        \
            return draw_ink<BPP, Kind::kTransparent, UPRIGHT>(g, u, v); \
        case Kind::kXor:                                                \
            return draw_ink<BPP, Kind::kXor, UPRIGHT>(g, u, v);         \
    }                                                                   \
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
