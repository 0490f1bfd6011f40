// Run-time fonts: checking font data once, then reading glyph records from it in place.
#include <cstring>

#include "gui/font.h"
#include "gui/sif_format.h"

namespace {

int bitsOfType(int type) {
    switch (type) {
        case GUI_SIF_TYPE_PROP:
            return 1;
        case GUI_SIF_TYPE_PROP_AA2:
            return 2;
        case GUI_SIF_TYPE_PROP_AA4:
            return 4;
        default:
            return 0;
    }
}

// Every glyph of one range: its record and its rows lie inside the data, its ink box inside
// its cell.
bool glyphsValid(const uint8_t* data, uint32_t size, const uint8_t* range, int bpp, uint16_t line) {
    const uint32_t first = sif::u16(range + sif::kRangeFirstOffset);
    const uint32_t last = sif::u16(range + sif::kRangeLastOffset);
    const uint32_t table = sif::u32(range + sif::kRangeGlyphsOffset);
    const uint64_t count = last - first + 1;
    if (table < sif::kHeaderSize || uint64_t(table) + count * sif::kGlyphSize > size) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* g = data + table + i * sif::kGlyphSize;
        const uint32_t advance = g[sif::kGlyphAdvance];
        if (advance == 0) continue;  // no glyph for this code
        const uint32_t x = g[sif::kGlyphX], y = g[sif::kGlyphY];
        const uint32_t width = g[sif::kGlyphWidth], height = g[sif::kGlyphHeight];
        if (x + width > advance || y + height > line) return false;
        if ((width == 0) != (height == 0)) return false;
        if (width == 0) continue;
        const uint32_t bits = sif::u24(g + sif::kGlyphBits);
        const uint64_t rows = uint64_t(height) * ((width * uint32_t(bpp) + 7) / 8);
        if (bits < sif::kHeaderSize || bits + rows > size) return false;
    }
    return true;
}

}  // namespace

int GUI_SIF_CreateFont(const void* pData, uint32_t numBytes, GUI_FONT* font, int type) {
    const uint8_t* data = static_cast<const uint8_t*>(pData);
    if (data == nullptr || font == nullptr || numBytes < sif::kHeaderSize) return 0;
    if (std::memcmp(data, sif::kMagic, sizeof sif::kMagic) != 0) return 0;
    if (data[sif::kVersionOffset] != sif::kVersion) return 0;
    const int bpp = bitsOfType(type);
    if (bpp == 0 || data[sif::kBppOffset] != bpp) return 0;
    const uint16_t line = sif::u16(data + sif::kLineOffset);
    const uint16_t baseline = sif::u16(data + sif::kBaselineOffset);
    const uint16_t cap = sif::u16(data + sif::kCapOffset);
    if (line == 0 || line > sif::kMaxLine || baseline > line || cap > baseline) return 0;
    const uint16_t ranges = sif::u16(data + sif::kRangeCountOffset);
    if (ranges == 0 || ranges > sif::kMaxRanges) return 0;
    if (sif::u16(data + sif::kReservedOffset) != 0) return 0;
    // The size field says where the font ends; the memory given may run on (the rest of the
    // bitmap/macro file), but never the other way round.
    const uint32_t size = sif::u32(data + sif::kSizeOffset);
    if (size > numBytes || size < sif::kHeaderSize + ranges * sif::kRangeSize) return 0;
    uint32_t previousLast = 0;
    for (uint32_t r = 0; r < ranges; ++r) {
        const uint8_t* range = data + sif::kHeaderSize + r * sif::kRangeSize;
        const uint32_t first = sif::u16(range + sif::kRangeFirstOffset);
        const uint32_t last = sif::u16(range + sif::kRangeLastOffset);
        // Ascending and apart: the look-up stops at the first range that lies beyond a code.
        if (last < first || (r > 0 && first <= previousLast)) return 0;
        previousLast = last;
        if (!glyphsValid(data, size, range, bpp, line)) return 0;
    }
    *font =
        GUI_FONT{uint8_t(type), uint8_t(ranges), line, baseline, cap, size, nullptr, data, data};
    return 1;
}

namespace gui {

// The glyph of a validated run-time font.
int sif_glyph(const GUI_FONT* font, uint32_t c, GUI_CHARINFO* glyph) {
    const uint8_t* data = font->sif;
    for (uint32_t r = 0; r < font->numRanges; ++r) {
        const uint8_t* range = data + sif::kHeaderSize + r * sif::kRangeSize;
        const uint32_t first = sif::u16(range + sif::kRangeFirstOffset);
        if (c < first) return 0;
        if (c > sif::u16(range + sif::kRangeLastOffset)) continue;
        const uint8_t* g =
            data + sif::u32(range + sif::kRangeGlyphsOffset) + (c - first) * sif::kGlyphSize;
        if (g[sif::kGlyphAdvance] == 0) return 0;
        const uint32_t bits = sif::u24(g + sif::kGlyphBits);
        *glyph = GUI_CHARINFO{g[sif::kGlyphAdvance], g[sif::kGlyphX],      g[sif::kGlyphY],
                              g[sif::kGlyphWidth],   g[sif::kGlyphHeight], uint8_t(bits >> 16),
                              uint16_t(bits)};
        return 1;
    }
    return 0;
}

}  // namespace gui
