// imgpack's own BMP reader on any bytes: every header field, palette size, bit field and
// run-length escape is the input's to choose. ASan catches a read outside the bytes (they are
// copied into a buffer of exactly their size); an accepted picture must have as many pixels as
// its sides say and fit the module's memory, since the bitmap records are built from it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imgpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    imgpack::Picture picture;
    std::string error;
    if (!imgpack::decode_bmp(bytes, &picture, &error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (picture.width == 0 || picture.height == 0 ||
        picture.rgba.size() != size_t(picture.width) * picture.height * 4 ||
        uint64_t(picture.width) * picture.height * 2 > imgpack::kMaxFileSize) {
        std::abort();
    }
    return 0;
}
