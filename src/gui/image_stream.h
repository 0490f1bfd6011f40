// Internals of the image decoders: the file seen as a stream of bytes pulled through the
// caller's get-data function in pieces. Not for use outside src/gui.
#pragma once

#include <cstdint>

#include "gui/image_decode.h"

namespace gui {

class ImageStream {
  public:
    ImageStream(GUI_GET_DATA_FUNC* getData, void* user) : get_(getData), context_(user) {}

    // Offset in the file of the next byte.
    uint32_t offset() const { return offset_; }
    // The next byte, or -1 at the end of the data.
    int byte() {
        if (avail_ == 0 && !refill()) return -1;
        --avail_;
        ++offset_;
        return *p_++;
    }
    // Copies n bytes; false (and the stream at its end) when fewer are left.
    bool read(uint8_t* destination, uint32_t n);
    // Skips n bytes; false when fewer are left (or, beyond the piece at hand, when nothing
    // follows them).
    bool skip(uint32_t n);
    // Continues at a file offset (forward or back); false when nothing is there.
    bool seek(uint32_t offset);
    // The next bytes as they lie in the supplier's piece, without copying: up to max of them
    // (at least 1 unless at the end); returns how many and moves past them.
    uint32_t take(const uint8_t** data, uint32_t max);
    // Little-endian fields; false at the end of the data.
    bool le16(uint32_t* value);
    bool le32(uint32_t* value);
    bool be16(uint32_t* value);

  private:
    bool refill();

    GUI_GET_DATA_FUNC* get_;
    void* context_;
    const uint8_t* p_ = nullptr;
    uint32_t avail_ = 0;
    uint32_t offset_ = 0;
};

}  // namespace gui
