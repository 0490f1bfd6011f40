// fontgen's renderer as a library: TrueType glyphs at the size whose capitals have a given
// height, trimmed to their ink and fitted into character cells. fontgen writes the built-in
// fonts from it; imgpack makes the user fonts of the bitmap/macro file with the same code, so
// that a user font looks like a built-in one of the same size.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fontgen {

// Anything the face cannot give (no H, no size with the wanted capitals, ...).
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class Kind { k1Bit, kExt1Bit, kAA2, kAA4 };

int bitsPerPixel(Kind kind);
// The highest pixel value: 1 for the 1-bit kinds, else full ink coverage.
int maxValue(Kind kind);

struct Range {
    int first, last;
};
// Printable ISO 8859-1: what every built-in font holds.
inline const std::vector<Range> kLatin1Ranges = {{0x20, 0x7F}, {0xA0, 0xFF}};

// What a font must look like. line == 0 asks render() to take line and baseline from the
// face's ascender and descender at the size it finds.
struct Metrics {
    bool mono = false;
    Kind kind = Kind::kAA4;
    int line = 0, base = 0, cap = 0;
};

struct Glyph {
    int advance = 0, x = 0, y = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;  // width x height quantised values, row by row
    uint32_t offset = 0;          // of its packed rows in RenderedFont::bits
};

struct FitStats {
    int shiftedX = 0, shiftedY = 0, cropped = 0, widened = 0;
    int squeezed = 0;    // blank rows removed under accents
    int maxShift = 0;    // pixels
    int maxCropped = 0;  // strongest pixel value lost to cropping
    std::vector<int> missing;
};

struct RenderedFont {
    Metrics metrics;      // as given, line and baseline filled in when they were 0
    FT_F26Dot6 size = 0;  // 26.6 pixels per em
    bool hinted = true;
    std::vector<std::vector<Glyph>> ranges;  // one glyph per code of every range
    std::vector<uint8_t> bits;               // packed rows of all glyphs, identical ones once
    FitStats stats;
};

// Renders the codes of `ranges` (ascending, apart). Codes the face has no outline for get a
// blank cell of the space's width. Throws Error.
RenderedFont render(FT_Face face, const Metrics& metrics, const std::vector<Range>& ranges);

// A glyph's rows packed at bpp bits per pixel, leftmost pixel in the high bits.
std::vector<uint8_t> pack(const Glyph& g, int bpp);

}  // namespace fontgen
