// Font objects of the graphics library: metrics and glyph bitmaps, read in place.
//
// A font is a line of fixed height divided into character cells. Each glyph stores only the
// bounding box of its ink, placed inside its cell, so a renderer fills the cell (normal text
// mode) and then walks the box row by row. The built-in fonts are generated at build time by
// tools/fontgen; run-time fonts (GUI_SIF_CreateFont) keep their glyph records in the font
// data itself, which is read byte by byte because it may lie at any address.
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
    // A run-time font: its validated font data (ranges is null, bits points at the same data
    // and glyph offsets count from there). Null for the fonts compiled in.
    const uint8_t* sif = nullptr;
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
// to draw nothing or a replacement). A null font has no glyphs. Only fonts compiled in have
// their records in memory as GUI_CHARINFO: for a run-time font this gives null, use
// GUI_GetGlyph.
const GUI_CHARINFO* GUI_FindGlyph(const GUI_FONT* font, uint32_t c);

// Copies the glyph of character code c of any font into *glyph; returns 1, or 0 when the font
// has none.
int GUI_GetGlyph(const GUI_FONT* font, uint32_t c, GUI_CHARINFO* glyph);

// The first row of a glyph's ink box.
inline const uint8_t* GUI_GlyphBits(const GUI_FONT* font, const GUI_CHARINFO* glyph) {
    return font->bits + ((uint32_t(glyph->offsetHi) << 16) | glyph->offsetLo);
}

// Bytes per row of a glyph's ink box.
inline int GUI_GlyphBytesPerRow(const GUI_FONT* font, const GUI_CHARINFO* glyph) {
    return (glyph->width * GUI_FontBitsPerPixel(font) + 7) / 8;
}

// ---------------------------------------------------------------------------------------------
// Run-time fonts: font data in the system-independent format ("GUIP", docs/sif-font-format.md),
// for instance the user fonts of the bitmap/macro file.

// The kinds a run-time font may have.
constexpr int GUI_SIF_TYPE_PROP = GUI_FONTTYPE_PROP;
constexpr int GUI_SIF_TYPE_PROP_AA2 = GUI_FONTTYPE_PROP_AA2;
constexpr int GUI_SIF_TYPE_PROP_AA4 = GUI_FONTTYPE_PROP_AA4;

// Checks the numBytes of font data at data completely (header, every range and glyph record,
// every glyph's rows) and, when they are a font of the given kind, fills *font so that
// GUI_SetFont can use it; returns 1. Returns 0 and leaves *font untouched for anything else,
// so a font object that is in use stays usable when a bad record is offered. The data may lie
// at any address and must stay in place while the font is used.
int GUI_SIF_CreateFont(const void* data, uint32_t numBytes, GUI_FONT* font, int type);
