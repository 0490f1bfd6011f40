#include "media/ext_image.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/format.h"
#include "base/host_text.h"
#include "device/board.h"
#include "media/fonts.h"

namespace {

constexpr uint32_t kSizeFieldOffset = 4;
constexpr uint32_t kCountFieldOffset = 2;
constexpr uint32_t kBitmapDescriptorSize = 20;

// The current image: where its bytes are, how far they may reach, and the address the file's
// own locations use for its first byte.
struct Image {
    const uint8_t* data;
    uint32_t limit;
    uint32_t address;
};
Image image;

// The bytes the image may be read in: its size field, never beyond the place it lies in.
uint32_t image_size() {
    if (!image.data || image.limit < kExtMemHeaderSize) return 0;
    const uint32_t size = read_le32(image.data + kSizeFieldOffset);
    return size < image.limit ? size : image.limit;
}

}  // namespace

void KV_ExtMem_SetImage(const uint8_t* data, uint32_t limit, uint32_t address) {
    image = Image{data, data ? limit : 0, address};
    KV_SetFontImage(data, image_size());
}

void KV_ExtMem_Init() {
    KV_ExtMem_SetImage(nullptr, 0, 0);
}

const uint8_t* ExtMem_Bytes(uint32_t offset, uint32_t length) {
    const uint32_t size = image_size();
    if (offset > size || length > size - offset) return nullptr;
    return image.data + offset;
}

const char* ExtMem_String(uint32_t offset) {
    const uint32_t size = image_size();
    if (offset >= size) return nullptr;
    const void* nul = std::memchr(image.data + offset, 0, size - offset);
    return nul ? reinterpret_cast<const char*>(image.data + offset) : nullptr;
}

bool ExtMem_Resolve(uint32_t location, uint32_t* offset) {
    const uint32_t size = image_size();
    // An address where the image lies (a file fixed up for this place), an address of the
    // Flash2 window (a file fixed up for the flash, wherever it was copied since), else an
    // offset.
    uint32_t value = location;
    if (location >= image.address && location - image.address < size) {
        value = location - image.address;
    } else if (location >= kFlash2Address && location - kFlash2Address < kFlash2Size) {
        value = location - kFlash2Address;
    }
    if (value >= size) return false;
    *offset = value;
    return true;
}

bool ExtMem_Valid() {
    const uint8_t* header = ExtMem_Bytes(0, kExtMemHeaderSize);
    return header && read_le16(header) == kExtMemMagic;
}

int ExtMem_RecordCount() {
    return ExtMem_Valid() ? read_le16(image.data + kCountFieldOffset) : 0;
}

bool ExtMem_Record(int index, ExtRecord* out) {
    if (index < 0 || index >= ExtMem_RecordCount()) return false;
    const uint8_t* entry = ExtMem_Bytes(kExtMemHeaderSize + uint32_t(index) * kExtMemDirEntrySize,
                                        kExtMemDirEntrySize);
    if (!entry) return false;
    out->type = entry[0];
    out->location = read_le32(entry + 4);
    out->size = read_le32(entry + 8);
    return true;
}

int Flash2Init() {
    const uint8_t* flash = flash2_window();
    if (!flash) return 1;
    const uint32_t size = read_le32(flash + kSizeFieldOffset);
    if (read_le16(flash) != kExtMemMagic || size > kFlash2Size) return 1;
    if (read_le16(flash + kCountFieldOffset) > 1) {
        // A half-programmed or foreign image gives itself away in its first two locations.
        const uint32_t record0 = read_le32(flash + kExtMemHeaderSize + 4);
        const uint32_t record1 = read_le32(flash + kExtMemHeaderSize + kExtMemDirEntrySize + 4);
        if (record1 <= kFlash2Address || record0 > kFlash2Address + kFlash2Size - 1) return 1;
    }
    KV_ExtMem_SetImage(flash, kFlash2Size, kFlash2Address);
    const int kb = int(size / 1024);
    pout(":loading %dKB bitmap/macro file from flash2\r", kb ? kb : 1);
    return 0;
}

int KV_GetBitmapSize(int index, int* width, int* height) {
    ExtRecord rec;
    if (index <= 0 || !ExtMem_Record(index, &rec)) return 0;
    if (rec.type != kRecBitmap && rec.type != kRecCompressedBitmap &&
        rec.type != kRecTransparentBitmap) {
        return 0;
    }
    uint32_t offset;
    if (!ExtMem_Resolve(rec.location, &offset)) return 0;
    const uint8_t* d = ExtMem_Bytes(offset, kBitmapDescriptorSize);
    if (!d) return 0;
    *width = read_le16(d);
    *height = read_le16(d + 2);
    return 1;
}

int KV_Load_ExtMem() {
    // The card's own file and splash.bmp, and the messages for a module that has no file at
    // all, come with loading files from the SD card; until then the file in the flash is used
    // whenever it is valid.
    return Flash2Init() == 0 ? 1 : 0;
}
