#include "gui/image_stream.h"

#include <cstring>

namespace gui {

bool ImageStream::refill() {
    const uint8_t* data = nullptr;
    const int got = get_(context_, &data, kGuiImageRequestMax, offset_);
    // A supplier that claims more than was asked for is believed only for what was asked.
    if (got <= 0 || !data) {
        avail_ = 0;
        return false;
    }
    p_ = data;
    avail_ = uint32_t(got) > kGuiImageRequestMax ? kGuiImageRequestMax : uint32_t(got);
    return true;
}

bool ImageStream::read(uint8_t* destination, uint32_t n) {
    while (n) {
        const uint8_t* data;
        const uint32_t got = take(&data, n);
        if (!got) return false;
        std::memcpy(destination, data, got);
        destination += got;
        n -= got;
    }
    return true;
}

bool ImageStream::skip(uint32_t n) {
    if (n <= avail_) {
        p_ += n;
        avail_ -= n;
        offset_ += n;
        return true;
    }
    if (offset_ + n < offset_) return false;
    return seek(offset_ + n);
}

bool ImageStream::seek(uint32_t offset) {
    avail_ = 0;
    offset_ = offset;
    return refill();
}

uint32_t ImageStream::take(const uint8_t** data, uint32_t max) {
    if (avail_ == 0 && !refill()) return 0;
    const uint32_t n = max < avail_ ? max : avail_;
    *data = p_;
    p_ += n;
    avail_ -= n;
    offset_ += n;
    return n;
}

bool ImageStream::le16(uint32_t* value) {
    uint8_t b[2];
    if (!read(b, 2)) return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8;
    return true;
}

bool ImageStream::le32(uint32_t* value) {
    uint8_t b[4];
    if (!read(b, 4)) return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool ImageStream::be16(uint32_t* value) {
    uint8_t b[2];
    if (!read(b, 2)) return false;
    *value = uint32_t(b[0]) << 8 | uint32_t(b[1]);
    return true;
}

}  // namespace gui
