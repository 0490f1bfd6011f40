// The layout of run-time font data (docs/sif-font-format.md): offsets and limits shared by the
// reader in the graphics library and by whatever writes such data. All fields little-endian,
// read byte by byte; nothing in the data is aligned.
#pragma once

#include <cstdint>

namespace sif {

constexpr uint8_t kMagic[4] = {'G', 'U', 'I', 'P'};
constexpr uint8_t kVersion = 1;

// Header.
constexpr uint32_t kVersionOffset = 4;      // 1 byte
constexpr uint32_t kBppOffset = 5;          // 1 byte: 1, 2 or 4
constexpr uint32_t kLineOffset = 6;         // u16: line height
constexpr uint32_t kBaselineOffset = 8;     // u16: rows from the top of the line to the baseline
constexpr uint32_t kCapOffset = 10;         // u16: height of the capitals
constexpr uint32_t kRangeCountOffset = 12;  // u16
constexpr uint32_t kReservedOffset = 14;    // u16, 0
constexpr uint32_t kSizeOffset = 16;        // u32: bytes of font data, header included
constexpr uint32_t kHeaderSize = 20;

// Range records follow the header.
constexpr uint32_t kRangeSize = 8;
constexpr uint32_t kRangeFirstOffset = 0;   // u16: first character code
constexpr uint32_t kRangeLastOffset = 2;    // u16: last character code
constexpr uint32_t kRangeGlyphsOffset = 4;  // u32: offset of the range's glyph records

// Glyph records: one per code of a range.
constexpr uint32_t kGlyphSize = 8;
constexpr uint32_t kGlyphAdvance = 0;  // u8, 0: no glyph for this code
constexpr uint32_t kGlyphX = 1;        // u8: ink box within the cell
constexpr uint32_t kGlyphY = 2;        // u8
constexpr uint32_t kGlyphWidth = 3;    // u8
constexpr uint32_t kGlyphHeight = 4;   // u8
constexpr uint32_t kGlyphBits = 5;     // u24: offset of the first row

constexpr uint16_t kMaxLine = 512;
constexpr uint16_t kMaxRanges = 255;  // GUI_FONT::numRanges is a byte
constexpr uint32_t kMaxBitsOffset = 0xFFFFFF;

inline uint16_t u16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t u24(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}
inline uint32_t u32(const uint8_t* p) {
    return u24(p) | (uint32_t(p[3]) << 24);
}

}  // namespace sif
