#include "media/ext_listing.h"

#include "base/byte_order.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "media/ext_check.h"
#include "media/ext_image.h"

namespace {

constexpr uint32_t kDescriptorSize = 20;
constexpr uint8_t kListedTypeMask = 0x0F;

struct Descriptor {
    uint16_t width = 0, height = 0, bytes_per_line = 0, bits_per_pixel = 0;
    uint32_t pixels = 0, palette = 0;
};

// The descriptor of a bitmap record as stored, when its 20 bytes lie inside the image.
bool read_descriptor(const ExtRecord& rec, Descriptor* d) {
    uint32_t at;
    if (!ExtMem_Resolve(rec.location, &at)) return false;
    const uint8_t* p = ExtMem_Bytes(at, kDescriptorSize);
    if (!p) return false;
    d->width = read_le16(p);
    d->height = read_le16(p + 2);
    d->bytes_per_line = read_le16(p + 4);
    d->bits_per_pixel = read_le16(p + 6);
    d->pixels = read_le32(p + 8);
    d->palette = read_le32(p + 12);
    return true;
}

// The descriptor dump. The palette field is shown as it is stored: the bitmaps this firmware
// draws have no palette (a type-5 field holds the key colour), so no palette is ever dumped.
// The pixel bytes are shown only for a record the checks accept.
void dump_descriptor(int index, const ExtRecord& rec, const Descriptor& d) {
    perr("    %ux%u %ubpp (%u Bpl)\r", d.width, d.height, d.bits_per_pixel, d.bytes_per_line);
    perr("    gBitmap  @ %06lx\r", (unsigned long)rec.location);
    perr("    gPal     @ %06lx\r", (unsigned long)d.palette);
    perr("    pixels   @ %06lx\r", (unsigned long)d.pixels);
    ExtView view;
    ExtRecordInfo info;
    if (!ExtMem_View(&view) || ExtCheck_Record(view, index, &info)) return;
    const uint32_t shown =
        info.pixel_bytes < uint32_t(kListedPixelBytes) ? info.pixel_bytes : kListedPixelBytes;
    for (uint32_t i = 0; i < shown; ++i) {
        perr("      %d: 0x%02X\r", int(i), view.data[info.pixels + i]);
    }
}

void list_record(int index, bool dumps) {
    ExtRecord rec;
    if (!ExtMem_Record(index, &rec)) return;
    perr("  %02d: type %0X @ %06lx size %lu\r", index, rec.type & kListedTypeMask,
         (unsigned long)rec.location, (unsigned long)rec.size);
    Descriptor d;
    const bool bitmap = (rec.type == kRecBitmap || rec.type == kRecCompressedBitmap ||
                         rec.type == kRecTransparentBitmap);
    const bool have = bitmap && read_descriptor(rec, &d);
    switch (rec.type) {
        case kRecBlank:
            txString("    Blank Record\r");
            break;
        case kRecBitmap:
            perr("    Uncompressed Bitmap: %dx%d\r", d.width, d.height);
            break;
        case kRecCompressedBitmap:
            perr("    Compressed Bitmap: %dx%d\r", d.width, d.height);
            break;
        case kRecMacros:
            txString("    Macro Definitions\r");
            break;
        case kRecFont:
            txString("    User Font\r");
            break;
        case kRecTransparentBitmap:
            perr("    Uncompressed Transparent Bitmap: %dx%d (0x%X)\r", d.width, d.height,
                 unsigned(d.palette & 0xFFFF));
            break;
        default:
            txString("    Unknown record type!\r");
            break;
    }
    if (dumps && have) dump_descriptor(index, rec, d);
}

}  // namespace

int KV_ListRecords(const char* line) {
    if (!ExtMem_Valid()) {
        txString(":External Memory not valid\r");
        return kCmdFailed;
    }
    const int count = ExtMem_RecordCount();
    const bool lsbmp = prefix(line, "lsbmp");
    int index;
    if (lsbmp && kv_sscanf(line, "lsbmp %d", &index) == 1) {
        if (index < 0 || index >= count) {
            txString(":index outside valid range\r");
            return kCmdFailed;
        }
        list_record(index, true);
        return kCmdDone;
    }
    perr("Records: %d\r", count);
    for (int i = 0; i < count; ++i) list_record(i, lsbmp);
    txString("\r");
    const int kb = int(ExtMemUsed() / 1024);
    perr("Total Used %dKB (%s)\r", kb ? kb : 1, ExtMem_InRam() ? "DRAM" : "FLASH");
    return kCmdDone;
}
