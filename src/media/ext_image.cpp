#include "media/ext_image.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/format.h"
#include "base/host_text.h"
#include "device/board.h"
#include "media/ext_check.h"
#include "media/ext_mem_area.h"
#include "media/fonts.h"
#include "media/macro_table.h"

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
    KV_SetFontImage(data, image_size(), address);
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

namespace {

// Sends one message per record the checks refuse.
void report_record(void*, int index, const char*) {
    if (index >= 0) pout(":record %d invalid\r", index);
}

}  // namespace

bool ExtMem_View(ExtView* view) {
    return image.data && ExtCheck_Header(image.data, image.limit, image.address, view) == nullptr;
}

bool ExtMem_InRam() {
    return image.data == ExtMemRamBuffer;
}

int Flash2Init() {
    return Flash2Select(true);
}

int Flash2Select(bool announce) {
    const uint8_t* flash = flash2_window();
    if (!flash) return 1;
    // A host-programmed image, or a copy cut short by a power loss, is checked whole before it
    // is used: the header alone says nothing about the records behind it.
    ExtView view;
    if (ExtCheck_Header(flash, kFlash2Size, kFlash2Address, &view)) return 1;
    if (!ExtCheck_WindowLocations(flash)) return 1;
    KV_ExtMem_SetImage(flash, kFlash2Size, kFlash2Address);
    if (!announce) return 0;
    const int kb = int(view.size / 1024);
    pout(":loading %dKB bitmap/macro file from flash2\r", kb ? kb : 1);
    ExtMem_CheckImage(flash, kFlash2Size, kFlash2Address, report_record, nullptr);
    return 0;
}

bool tryFixup(uint32_t* field, uint32_t base, uint32_t size) {
    uint32_t value = *field;
    if (value >= kFlash2Address && value - kFlash2Address < kFlash2Size) value -= kFlash2Address;
    if (value >= base) return value - base < size;  // already relocated
    if (value >= size) return false;
    *field = base + value;
    return true;
}

namespace {

void fixup_at(uint8_t* image_data, uint32_t offset, uint32_t base, uint32_t size) {
    uint8_t* p = image_data + offset;
    uint32_t value = read_le32(p);
    if (!tryFixup(&value, base, size)) return;
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

constexpr uint32_t kPixelLocationOffset = 8;
constexpr uint32_t kFontDataOffset = 4;
constexpr uint32_t kMacroEntrySize = 8;
constexpr uint32_t kDirLocationOffset = 4;

}  // namespace

int KV_Fixup_ExtMem(uint32_t base, uint32_t size) {
    uint8_t* data = ExtMemRamBuffer;
    ExtView view;
    if (ExtCheck_Header(data, size < kExtMemSize ? size : kExtMemSize, base, &view)) return 0;
    const int count = read_le16(data + kCountFieldOffset);
    for (int i = 0; i < count; ++i) {
        ExtRecordInfo r;
        const char* reason = ExtCheck_Record(view, i, &r);
        if (reason) {
            report_record(nullptr, i, reason);
            continue;
        }
        // Each field is checked before it is rewritten, so a value that was already relocated
        // (a record two entries share) is left alone.
        fixup_at(data, kExtMemHeaderSize + uint32_t(i) * kExtMemDirEntrySize + kDirLocationOffset,
                 base, view.size);
        switch (r.type) {
            case kRecBitmap:
            case kRecCompressedBitmap:
            case kRecTransparentBitmap:
                fixup_at(data, r.at + kPixelLocationOffset, base, view.size);
                break;
            case kRecFont:
                fixup_at(data, r.at + kFontDataOffset, base, view.size);
                fixup_at(data, r.at, base, view.size);
                break;
            case kRecMacros: {
                bool bad = false;
                for (uint32_t n = 1; n <= r.size; ++n) {
                    ExtMacroInfo m;
                    if (n <= uint32_t(kMacroMaxNumber) && ExtCheck_Macro(view, r.at, n, &m)) {
                        bad = true;
                        continue;
                    }
                    fixup_at(data, r.at + (n - 1) * kMacroEntrySize, base, view.size);
                }
                if (bad) report_record(nullptr, i, nullptr);
                break;
            }
            default:
                break;
        }
    }
    return 1;
}

void KV_ExtMem_UseRam() {
    KV_ExtMem_SetImage(ExtMemRamBuffer, kExtMemSize, kExtMemRamAddress);
}

uint32_t ExtMemUsed() {
    ExtView view;
    if (!ExtMem_View(&view)) return 0;
    const int count = ExtMem_RecordCount();
    ExtRecord last;
    if (count == 0 || !ExtMem_Record(count - 1, &last) || last.size == 0) return 0;
    uint32_t at;
    if (!ExtCheck_Resolve(view, last.location, &at)) return 0;
    const uint64_t end = uint64_t(at) + last.size;
    return end > view.size ? view.size : uint32_t(end);
}

int KV_LoadFlash2ToRam() {
    const uint8_t* flash = flash2_window();
    if (!flash) return 0;
    const uint16_t magic = read_le16(flash);
    if (magic != kExtMemMagic) {
        pout(":Flash2 memory invalid (saw %04X, expected %04X)\r", magic, kExtMemMagic);
        return 0;
    }
    const uint32_t size = read_le32(flash + kSizeFieldOffset);
    if (size == 0 || size == 0xFF || size > kExtMemSize) {
        pout(":Flash2 memory invalid size 0x%08X\r", unsigned(size));
        return 0;
    }
    // Every byte: a size that is not a multiple of 4 still ends with data.
    std::memcpy(ExtMemRamBuffer, flash, size);
    if (!KV_Fixup_ExtMem(kExtMemRamAddress, size)) {
        pout(":Internal error - fixup\r");
        return 0;
    }
    KV_ExtMem_UseRam();
    return 1;
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
