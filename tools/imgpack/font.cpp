// User fonts: TrueType files rendered by fontgen's renderer into run-time font data, and the
// checks a font record must pass before it goes into a file.
#include <cstring>

#include "gui/font.h"
#include "gui/sif_format.h"
#include "imgpack.h"
#include "media/fonts.h"
#include "render.h"

namespace imgpack {

namespace {

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    put16(v, at, x);
    put16(v, at + 2, x >> 16);
}

std::vector<uint8_t> sif_data(const fontgen::RenderedFont& font, int bpp) {
    const size_t ranges = font.ranges.size();
    std::vector<uint8_t> d(sif::kHeaderSize + sif::kRangeSize * ranges, 0);
    std::memcpy(d.data(), sif::kMagic, sizeof sif::kMagic);
    d[sif::kVersionOffset] = sif::kVersion;
    d[sif::kBppOffset] = uint8_t(bpp);
    put16(d, sif::kLineOffset, uint32_t(font.metrics.line));
    put16(d, sif::kBaselineOffset, uint32_t(font.metrics.base));
    put16(d, sif::kCapOffset, uint32_t(font.metrics.cap));
    put16(d, sif::kRangeCountOffset, uint32_t(ranges));
    size_t glyph_count = 0;
    for (const auto& glyphs : font.ranges) glyph_count += glyphs.size();
    const size_t bits_at = d.size() + sif::kGlyphSize * glyph_count;
    size_t table = d.size();
    for (size_t r = 0; r < ranges; ++r) {
        const fontgen::Range& range = fontgen::kLatin1Ranges[r];
        const size_t at = sif::kHeaderSize + sif::kRangeSize * r;
        put16(d, at + sif::kRangeFirstOffset, uint32_t(range.first));
        put16(d, at + sif::kRangeLastOffset, uint32_t(range.last));
        put32(d, at + sif::kRangeGlyphsOffset, uint32_t(table));
        d.resize(table + sif::kGlyphSize * font.ranges[r].size(), 0);
        for (const fontgen::Glyph& g : font.ranges[r]) {
            uint8_t* rec = d.data() + table;
            rec[sif::kGlyphAdvance] = uint8_t(g.advance);
            rec[sif::kGlyphX] = uint8_t(g.x);
            rec[sif::kGlyphY] = uint8_t(g.y);
            rec[sif::kGlyphWidth] = uint8_t(g.width);
            rec[sif::kGlyphHeight] = uint8_t(g.height);
            // A blank cell has no rows; its offset is never read.
            const uint32_t rows = g.width == 0 ? 0 : uint32_t(bits_at) + g.offset;
            rec[sif::kGlyphBits] = uint8_t(rows);
            rec[sif::kGlyphBits + 1] = uint8_t(rows >> 8);
            rec[sif::kGlyphBits + 2] = uint8_t(rows >> 16);
            table += sif::kGlyphSize;
        }
    }
    d.insert(d.end(), font.bits.begin(), font.bits.end());
    put32(d, sif::kSizeOffset, uint32_t(d.size()));
    return d;
}

}  // namespace

int font_bits(uint8_t kind) {
    switch (kind) {
        case kFont1Bit:
        case 0xFF:
            return 1;
        case kFontAA2:
            return 2;
        case kFontAA4:
            return 4;
        default:
            return 0;
    }
}

bool render_font(const FontRequest& request, std::vector<uint8_t>* data, std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return false;
    };
    const int bpp = font_bits(request.kind);
    if (bpp == 0) return fail("unknown font kind " + std::to_string(request.kind));
    if (request.size < 1 || request.size > 200) {
        return fail("a size from 1 to 200 pixels (the height of the capitals)");
    }
    if (request.line != 0 &&
        (request.base < request.size || request.line < request.base || request.line > 255)) {
        return fail(
            "the line must hold the baseline, the baseline the capitals (line at most 255)");
    }
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) return fail("cannot start FreeType");
    FT_Face face;
    if (FT_New_Face(library, request.ttf.c_str(), 0, &face) != 0) {
        FT_Done_FreeType(library);
        return fail(request.ttf + ": not a font file FreeType can open");
    }
    const fontgen::Kind kind = bpp == 1   ? fontgen::Kind::k1Bit
                               : bpp == 2 ? fontgen::Kind::kAA2
                                          : fontgen::Kind::kAA4;
    bool done = false;
    try {
        const fontgen::RenderedFont font = fontgen::render(
            face, fontgen::Metrics{request.mono, kind, request.line, request.base, request.size},
            fontgen::kLatin1Ranges);
        *data = sif_data(font, bpp);
        done = true;
    } catch (const fontgen::Error& e) {
        if (error) *error = request.ttf + ": " + e.what();
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return done;
}

bool check_font_data(const std::vector<uint8_t>& data, uint8_t kind, std::string* error) {
    // The module's own reader decides, so a font the tool accepts is one the module draws.
    const int type = font_bits(kind) == 1   ? GUI_SIF_TYPE_PROP
                     : font_bits(kind) == 2 ? GUI_SIF_TYPE_PROP_AA2
                     : font_bits(kind) == 4 ? GUI_SIF_TYPE_PROP_AA4
                                            : -1;
    GUI_FONT font{};
    if (type < 0 || data.size() > 0xFFFFFFFFu ||
        !GUI_SIF_CreateFont(data.data(), uint32_t(data.size()), &font, type)) {
        if (error) {
            *error = type < 0 ? "unknown font kind " + std::to_string(kind)
                              : "the font data are not a font of kind " + std::to_string(kind) +
                                    " the module can draw";
        }
        return false;
    }
    return true;
}

bool builtin_font_name(std::string_view name) {
    for (const FontEntry* e = fontTable; e->name != nullptr; ++e) {
        if (name == e->name) return true;
    }
    return false;
}

}  // namespace imgpack
