// The screen as a 16-bit Windows BMP file (5 bits per colour), the format every PC viewer reads.
#include <cstdint>

#include "device/board.h"
#include "gui/image_decode.h"
#include "gui/raster.h"
#include "gui/rgb565.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;
// 72 dots per inch, as PC programs write it when they know no better.
constexpr uint32_t kPixelsPerMetre = 2835;

// A row of the largest screen, padded to 4 bytes.
constexpr uint32_t kMaxRowBytes = (kGuiMaxWidth * 2 + 3) & ~3u;

// The file keeps the colour a program reading the screen gets (the 565 fields expanded to 8
// bits), brought to 5 bits with rounding; one table per field width saves the per-pixel
// arithmetic.
struct FiveBitTables {
    uint8_t from5[32];
    uint8_t from6[64];
};

constexpr uint8_t to5(uint32_t c) {
    return uint8_t((31 * c + 127) / 255);
}

constexpr FiveBitTables make_tables() {
    FiveBitTables t{};
    for (uint32_t v = 0; v < 32; ++v) t.from5[v] = to5(rgb565::expand5(v));
    for (uint32_t v = 0; v < 64; ++v) t.from6[v] = to5(rgb565::expand6(v));
    return t;
}

constexpr FiveBitTables kTables = make_tables();

uint8_t rowBuffer[kMaxRowBytes];

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool send(GUI_WRITE_BYTE_FUNC* writeByte, void* context, const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (!writeByte(p[i], context)) return false;
    }
    return true;
}

}  // namespace

int GUI_BMP_Serialize(GUI_WRITE_BYTE_FUNC* writeByte, void* context) {
    if (!writeByte) return 1;
    const gui::Surface& s = gui::surface;
    if (!s.pixels || s.width <= 0 || s.height <= 0) return 1;
    const uint32_t width = uint32_t(s.width);
    const uint32_t height = uint32_t(s.height);
    const uint32_t rowBytes = (width * 2 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * height;

    uint8_t header[kPixelOffset] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, kPixelOffset + imageBytes);
    put32(header + 10, kPixelOffset);
    uint8_t* info = header + kFileHeaderSize;
    put32(info + 0, kInfoHeaderSize);
    put32(info + 4, width);
    put32(info + 8, height);  // positive: the bottom row comes first
    put16(info + 12, 1);      // planes
    put16(info + 14, 16);     // bits per pixel; compression 0 (none) follows
    put32(info + 20, imageBytes);
    put32(info + 24, kPixelsPerMetre);
    put32(info + 28, kPixelsPerMetre);
    if (!send(writeByte, context, header, sizeof header)) return 1;

    for (uint32_t i = width * 2; i < rowBytes; ++i) rowBuffer[i] = 0;
    for (uint32_t y = height; y-- > 0;) {
        const uint16_t* row = s.pixels + size_t(y) * uint32_t(s.stride);
        uint8_t* out = rowBuffer;
        for (uint32_t x = 0; x < width; ++x) {
            const uint16_t p = row[x];
            const uint32_t v = (uint32_t(kTables.from5[rgb565::red5(p)]) << 10) |
                               (uint32_t(kTables.from6[rgb565::green6(p)]) << 5) |
                               kTables.from5[rgb565::blue5(p)];
            out[0] = uint8_t(v);
            out[1] = uint8_t(v >> 8);
            out += 2;
        }
        // Reading and converting a pixel costs about what writing one does.
        board_checkpoint(Work::kPixels, width);
        if (!send(writeByte, context, rowBuffer, rowBytes)) return 1;
    }
    return 0;
}
