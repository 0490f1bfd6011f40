// Font objects of the graphics library: metrics and glyph bitmaps, read in place.
//
// A font is a line of fixed height divided into character cells. Each glyph stores only the
// bounding box of its ink, placed inside its cell, so a renderer fills the cell (normal text
// mode) and then walks the box row by row. The built-in fonts are generated at build time by
// tools/fontgen; run-time fonts point the same structures at their own data.
//
// Invariants every font object keeps (the built-in fonts are tested for them, a run-time font
// must be checked before use):
//   - x + width <= advance and y + height <= yDist: no glyph leaves its cell, so a cell can be
//     painted without looking at its neighbours;
//   - a glyph's rows are bytesPerRow = (width * bits per pixel + 7) / 8 bytes each, one after
//     the other, starting at a byte; the leftmost pixel is in the most significant bits;
//   - 1-bit pixels are ink (1) or background (0); AA2 and AA4 pixels are the ink coverage,
//     0 (none) to 3 or 15 (full).
#pragma once

#include <cstdint>

// How a font stores its glyph pixels (GUI_FONT::type).
enum : uint8_t {
    GUI_FONTTYPE_PROP = 0,      // proportional, 1 bit per pixel
    GUI_FONTTYPE_PROP_EXT = 1,  // the extended 1-bit form of the large fonts
    GUI_FONTTYPE_PROP_AA2 = 2,  // anti-aliased, 2-bit coverage
    GUI_FONTTYPE_PROP_AA4 = 3,  // anti-aliased, 4-bit coverage
};

// One glyph: its advance and where its ink box lies in the character cell. advance == 0 marks
// a code inside a range that the font has no glyph for.
struct GUI_CHARINFO {
    uint8_t advance;  // pen advance in pixels: the width of the cell
    uint8_t x;        // left column of the ink box within the cell
    uint8_t y;        // top row of the ink box, from the top of the line
    uint8_t width;    // ink box in pixels (0 x 0 for a blank such as the space)
    uint8_t height;
    uint8_t offsetHi;   // bits 23-16 of the offset of the first row in GUI_FONT::bits
    uint16_t offsetLo;  // bits 15-0
};
static_assert(sizeof(GUI_CHARINFO) == 8, "glyph records are packed tables");

// A run of consecutive character codes first..last, one record each.
struct GUI_FONT_RANGE {
    uint16_t first;
    uint16_t last;
    const GUI_CHARINFO* glyphs;
};

struct GUI_FONT {
    uint8_t type;        // GUI_FONTTYPE_*
    uint8_t numRanges;   // ranges in ascending order of code, not overlapping
    uint16_t yDist;      // line height (GUI_GetFontDistY)
    uint16_t baseline;   // rows from the top of the line to the baseline
    uint16_t capHeight;  // height of the capitals above the baseline
    uint32_t bitsSize;   // bytes at bits: every glyph's rows lie inside
    const GUI_FONT_RANGE* ranges;
    const uint8_t* bits;  // glyph rows of the whole font
};

// Bits per pixel of a font type (1, 2 or 4); 0 for an unknown type.
inline int GUI_FontBitsPerPixel(const GUI_FONT* font) {
    switch (font->type) {
        case GUI_FONTTYPE_PROP:
        case GUI_FONTTYPE_PROP_EXT:
            return 1;
        case GUI_FONTTYPE_PROP_AA2:
            return 2;
        case GUI_FONTTYPE_PROP_AA4:
            return 4;
        default:
            return 0;
    }
}

// The glyph of character code c, or null when the font has none (the caller decides whether
// to draw nothing or a replacement). A null font has no glyphs.
const GUI_CHARINFO* GUI_FindGlyph(const GUI_FONT* font, uint32_t c);

// The first row of a glyph's ink box.
inline const uint8_t* GUI_GlyphBits(const GUI_FONT* font, const GUI_CHARINFO* glyph) {
    return font->bits + ((uint32_t(glyph->offsetHi) << 16) | glyph->offsetLo);
}

// Bytes per row of a glyph's ink box.
inline int GUI_GlyphBytesPerRow(const GUI_FONT* font, const GUI_CHARINFO* glyph) {
    return (glyph->width * GUI_FontBitsPerPixel(font) + 7) / 8;
}
