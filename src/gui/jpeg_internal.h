// Internals of the JPEG decoder: the inverse DCT and the colour conversion of one MCU, kept apart
// from the entropy decoder so each can be read (and measured) on its own. Not for use outside
// src/gui.
#pragma once

#include <cstdint>

namespace gui::jpeg {

// Natural (row-major) index of the k-th coefficient in zig-zag order.
extern const uint8_t kZigZag[64];

// One 8x8 block of coefficients in natural order to 8-bit samples, rows `stride` bytes apart.
// The coefficients are multiplied by `quant` (natural order) first, unless it is null (they
// are dequantised already). Bit c of `columns` is set when column c holds a non-zero
// coefficient; a clear bit is trusted (the column is not read).
void idct_block(const int16_t* coef, const uint16_t* quant, uint32_t columns, uint8_t* out,
                int stride);

// The samples of one MCU, as the inverse DCT left them: luma up to 16x16 (rows 16 apart), the
// two chroma blocks 8x8 (rows 8 apart).
struct McuPlanes {
    uint8_t y[16 * 16];
    uint8_t cb[8 * 8];
    uint8_t cr[8 * 8];
};

// The MCU's pixels, rows 16 apart. h2/v2: luma has twice the chroma's columns/rows (each chroma
// sample is replicated over 2 or 4 pixels).
void ycc_to_565(const McuPlanes& planes, bool h2, bool v2, uint16_t* out);
void grey_to_565(const uint8_t* y, uint16_t* out);

}  // namespace gui::jpeg
