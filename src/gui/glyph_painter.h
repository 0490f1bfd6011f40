// Internals of text output: the painter that puts glyph cells into the frame buffer in the
// context's text mode and colours. Not for use outside src/gui.
#pragma once

#include <cstdint>

#include "gui/font.h"
#include "gui/raster.h"

namespace gui {

// Where one text output goes. Text is laid out in its own coordinates (u to the right along the
// line, v down the lines); the frame-buffer index of text pixel (u, v) is base + u * du + v * dv,
// which makes rotated text the same work as upright text. Only pixels inside clip (text
// coordinates, already cut to the screen and the clip rectangle) are ever addressed.
struct TextSpace {
    int64_t base;
    int64_t du;
    int64_t dv;
    Box clip;
};

// Upright text in screen coordinates, clipped to the clip rectangle.
TextSpace screen_space();

// Draws character cells of one font. The text mode decides what a cell paints:
//   normal (and reverse): the whole cell, ink in the foreground, the rest in the background,
//     anti-aliased pixels blended between the two;
//   transparent (and transparent reverse): only ink, anti-aliased pixels blended with what the
//     screen shows;
//   XOR: the ink pixels of at least half coverage are inverted, nothing else is touched.
// Reverse exchanges foreground and background.
//
// The anti-aliased blend of coverage a out of the font's maximum m (3 or 15) works per channel
// on 8-bit values: out = (fg * a + bg * (m - a) + m / 2) / m, rounded to the nearest, then cut
// to RGB565 as every colour is (the low bits dropped). Coverage 0 is the background and m the
// foreground exactly. In transparent mode bg is the screen pixel expanded to 8 bits as
// LCD_Index2Color reads it, so text over a plain area of a 565-exact colour comes out the same
// in both modes.
class GlyphPainter {
  public:
    GlyphPainter(const GUI_FONT* font, const TextSpace& space);
    ~GlyphPainter();
    GlyphPainter(const GlyphPainter&) = delete;
    GlyphPainter& operator=(const GlyphPainter&) = delete;

    // True when cells have a background to paint (normal and reverse mode).
    bool opaque() const { return kind_ == Kind::kOpaque; }
    // The background of the cells of a run of characters: columns u0..u1 of the line whose top
    // row is v. Consecutive cells leave no gaps, so a run is painted in long spans at once and
    // draw() adds only the ink; does nothing unless opaque().
    void background(int64_t u0, int64_t u1, int64_t v);
    // The ink of glyph g whose cell has its top-left corner at (u, v); in opaque modes the
    // cell's background must have been painted.
    void draw(const GUI_CHARINFO& g, int64_t u, int64_t v);

  private:
    enum class Kind : uint8_t { kOpaque, kTransparent, kXor };
    template <int Bpp, Kind K, bool Upright>
    void draw_ink(const GUI_CHARINFO& g, int64_t u, int64_t v);

    const GUI_FONT* font_;
    TextSpace space_;
    Kind kind_;
    bool upright_;
    int bpp_;
    uint16_t fg_;
    uint16_t colors_[16];  // opaque: the pixel of each coverage
    uint32_t pixels_ = 0;
};

}  // namespace gui
