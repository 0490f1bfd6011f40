#include "gui/bmp.h"

#include "base/byte_order.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderMinSize = 12;
constexpr uint32_t kSizeOffset = 2;
constexpr uint32_t kPixelOffsetOffset = 10;

}  // namespace

int GUI_BMP_Draw(const void* data, uint32_t size, int, int) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || size < kFileHeaderSize + kInfoHeaderMinSize || p[0] != 'B' || p[1] != 'M') return 1;
    const uint32_t declared = read_le32(p + kSizeOffset);
    const uint32_t pixels = read_le32(p + kPixelOffsetOffset);
    if (declared > size || pixels >= size || pixels < kFileHeaderSize + kInfoHeaderMinSize) {
        return 1;
    }
    // A well-formed header; the pixels wait for the decoder.
    return 1;
}
