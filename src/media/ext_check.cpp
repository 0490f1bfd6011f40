#include "media/ext_check.h"

#include <cstring>

#include "base/byte_order.h"
#include "device/board.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"

namespace {

constexpr uint32_t kCountFieldOffset = 2;
constexpr uint32_t kSizeFieldOffset = 4;
constexpr uint32_t kDescriptorSize = 20;
constexpr uint32_t kPixelBitsSupported = 16;
constexpr uint32_t kMacroEntrySize = 8;
constexpr uint32_t kMacroMaxCount = 255;
constexpr uint32_t kFontFixedSize = 19;
constexpr uint32_t kFontNameOffset = 8;
constexpr uint32_t kFontNameSize = 10;
constexpr uint32_t kFontDataOffset = 4;
constexpr uint8_t kLastType = kRecTransparentBitmap;

// [offset, offset + length) lies inside the image.
bool inside(const ExtView& v, uint64_t offset, uint64_t length) {
    return offset <= v.size && length <= v.size - offset;
}

// A location that must point into the record [at, at + size).
bool resolve_in_record(const ExtView& v, uint32_t location, const ExtRecordInfo& r,
                       uint32_t* offset) {
    return ExtCheck_Resolve(v, location, offset) && *offset >= r.at && *offset - r.at < r.size;
}

const char* check_bitmap(const ExtView& v, ExtRecordInfo* r) {
    if (r->size < kDescriptorSize) return "bitmap record shorter than its descriptor";
    const uint8_t* d = v.data + r->at;
    r->width = read_le16(d);
    r->height = read_le16(d + 2);
    r->bytes_per_line = read_le16(d + 4);
    r->bits_per_pixel = read_le16(d + 6);
    r->palette = read_le32(d + 12);
    if (r->bits_per_pixel != kPixelBitsSupported) return "bitmap not 16 bits per pixel";
    if (r->type != kRecTransparentBitmap && r->palette != 0) return "bitmap with a palette";
    if (!resolve_in_record(v, read_le32(d + 8), *r, &r->pixels)) {
        return "pixel location outside the record";
    }
    r->pixel_bytes = r->size - (r->pixels - r->at);
    // A run-length stream is bounded by the record's end when it is drawn; plain pixels must
    // all be there.
    if (r->type == kRecCompressedBitmap) return nullptr;
    if (uint32_t(r->bytes_per_line) < 2u * r->width) return "bytes per line below the width";
    if (uint64_t(r->bytes_per_line) * r->height > r->pixel_bytes) return "pixels leave the record";
    return nullptr;
}

const char* check_font(const ExtView& v, const ExtRecordInfo& r) {
    if (r.size < kFontFixedSize) return "font record too short";
    const uint8_t* f = v.data + r.at;
    if (!std::memchr(f + kFontNameOffset, 0, kFontNameSize)) return "font name not terminated";
    uint32_t offset;
    if (!resolve_in_record(v, read_le32(f), r, &offset) ||
        !resolve_in_record(v, read_le32(f + kFontDataOffset), r, &offset)) {
        return "font location outside the record";
    }
    return nullptr;
}

}  // namespace

const char* ExtCheck_Header(const uint8_t* data, uint32_t length, uint32_t address, ExtView* view) {
    if (!data || length < kExtMemHeaderSize) return "file too short for its header";
    if (read_le16(data) != kExtMemMagic) return "wrong magic";
    const uint32_t size = read_le32(data + kSizeFieldOffset);
    if (size < kExtMemHeaderSize || size > length || size > kExtMemSize) {
        return "size field does not fit";
    }
    const uint32_t count = read_le16(data + kCountFieldOffset);
    if (kExtMemHeaderSize + uint64_t(count) * kExtMemDirEntrySize > size) {
        return "directory leaves the file";
    }
    *view = ExtView{data, size, address};
    return nullptr;
}

bool ExtCheck_Resolve(const ExtView& v, uint32_t location, uint32_t* offset) {
    uint32_t value = location;
    if (location >= v.address && location - v.address < v.size) {
        value = location - v.address;
    } else if (location >= kFlash2Address && location - kFlash2Address < kFlash2Size) {
        value = location - kFlash2Address;
    }
    if (value >= v.size) return false;
    *offset = value;
    return true;
}

const char* ExtCheck_Record(const ExtView& v, int index, ExtRecordInfo* r) {
    const uint32_t count = read_le16(v.data + kCountFieldOffset);
    if (index < 0 || uint32_t(index) >= count) return "no such record";
    const uint8_t* entry = v.data + kExtMemHeaderSize + uint32_t(index) * kExtMemDirEntrySize;
    *r = ExtRecordInfo{};
    r->type = entry[0];
    r->location = read_le32(entry + 4);
    r->size = read_le32(entry + 8);
    if (r->type > kLastType) return "unknown record type";
    if (!ExtCheck_Resolve(v, r->location, &r->at)) return "location outside the file";
    if (r->type == kRecMacros) {
        if (index != 0) return "macro record not at index 0";
        if (!inside(v, r->at, uint64_t(r->size) * kMacroEntrySize)) {
            return "macro table leaves the file";
        }
        return nullptr;
    }
    if (!inside(v, r->at, r->size)) return "record leaves the file";
    switch (r->type) {
        case kRecBitmap:
        case kRecCompressedBitmap:
        case kRecTransparentBitmap:
            return check_bitmap(v, r);
        case kRecFont:
            return check_font(v, *r);
        default:
            return nullptr;
    }
}

const char* ExtCheck_Macro(const ExtView& v, uint32_t table, uint32_t n, ExtMacroInfo* m) {
    const uint8_t* entry = v.data + table + (n - 1) * kMacroEntrySize;
    m->line_count = read_le16(entry + 4);
    m->shown_number = entry[6];
    if (!ExtCheck_Resolve(v, read_le32(entry), &m->first_line)) {
        // A macro without lines may point anywhere: nothing of it is ever read.
        if (m->line_count != 0) return "macro lines outside the file";
        m->first_line = 0;
        return nullptr;
    }
    uint32_t at = m->first_line;
    for (uint32_t i = 0; i < m->line_count; ++i) {
        const void* nul = std::memchr(v.data + at, 0, v.size - at);
        if (!nul) return "macro line not terminated in the file";
        at = uint32_t(static_cast<const uint8_t*>(nul) - v.data) + 1;
    }
    return nullptr;
}

int ExtMem_CheckImage(const uint8_t* data, uint32_t length, uint32_t address, ExtCheckReport report,
                      void* ctx) {
    ExtView v;
    if (const char* reason = ExtCheck_Header(data, length, address, &v)) {
        if (report) report(ctx, -1, reason);
        return -1;
    }
    const int count = read_le16(data + kCountFieldOffset);
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        ExtRecordInfo r;
        const char* reason = ExtCheck_Record(v, i, &r);
        if (!reason && r.type == kRecMacros) {
            ExtMacroInfo m;
            // Only macros 1-255 can ever be asked for.
            const uint32_t macros = r.size < kMacroMaxCount ? r.size : kMacroMaxCount;
            for (uint32_t n = 1; n <= macros && !reason; ++n) {
                reason = ExtCheck_Macro(v, r.at, n, &m);
            }
        }
        if (!reason) continue;
        ++refused;
        if (report) report(ctx, i, reason);
    }
    return refused;
}

bool ExtCheck_WindowLocations(const uint8_t* data) {
    if (read_le16(data + kCountFieldOffset) <= 1) return true;
    const uint32_t record0 = read_le32(data + kExtMemHeaderSize + 4);
    const uint32_t record1 = read_le32(data + kExtMemHeaderSize + kExtMemDirEntrySize + 4);
    return record1 > kFlash2Address && record0 <= kFlash2Address + kFlash2Size - 1;
}
