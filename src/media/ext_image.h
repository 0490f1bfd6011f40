// The current bitmap/macro file ("external memory"), its relocation and bounded look-ups into
// it.
//
// The image is a byte range, in the Flash2 window or in the RAM area. Only the relocation of a
// RAM copy (KV_Fixup_ExtMem) ever writes into it; a window image is validated and used as it is.
// Locations stored in the file (directory entries, macro text, bitmap pixels) are resolved on
// each use: an offset below the image size, an address where the image lies, or an address of
// the window (kFlash2Address + offset); anything else, or a range that leaves the image, is
// invalid. No look-up reads outside the image, whatever the file holds, and no look-up hands out
// a record that the validation (ext_check.h) refuses.
#pragma once

#include <cstdint>

struct ExtView;

constexpr uint16_t kExtMemMagic = 0xFEEC;
constexpr uint16_t kExtMemOldMagic = 0xFEEB;  // files built for the older product
constexpr uint32_t kExtMemHeaderSize = 8;
constexpr uint32_t kExtMemDirEntrySize = 12;

// Record types.
constexpr uint8_t kRecBlank = 0;
constexpr uint8_t kRecBitmap = 1;
constexpr uint8_t kRecCompressedBitmap = 2;
constexpr uint8_t kRecMacros = 3;
constexpr uint8_t kRecFont = 4;
constexpr uint8_t kRecTransparentBitmap = 5;

// Makes the bytes at data the current image, as the module addresses it at address (the
// firmware's own view of where it lies); limit bounds the image whatever its header says. A
// null data leaves no image.
void KV_ExtMem_SetImage(const uint8_t* data, uint32_t limit, uint32_t address);
// No image (power-on).
void KV_ExtMem_Init();

// The image's bytes [offset, offset + length), or null when that range leaves the image (or
// there is no image). The image's size is its header's size field, bounded by the limit.
const uint8_t* ExtMem_Bytes(uint32_t offset, uint32_t length);
// The NUL-terminated text at offset, or null when no NUL ends it inside the image.
const char* ExtMem_String(uint32_t offset);
// A location stored in the file as an offset into the image; false when it is neither an offset
// below the image size nor an address inside the image.
bool ExtMem_Resolve(uint32_t location, uint32_t* offset);

// The image is present and carries the magic.
bool ExtMem_Valid();
// Number of records (0 without a valid image).
int ExtMem_RecordCount();
struct ExtRecord {
    uint8_t type;
    uint32_t location;  // as stored
    uint32_t size;      // as stored (for the macro record: the number of macros)
};
// Directory entry index (0 .. count - 1); false outside.
bool ExtMem_Record(int index, ExtRecord* out);

// The current image for the checks of ext_check.h; false without an image whose header and
// directory hold.
bool ExtMem_View(ExtView* view);
// The current image lies in the RAM area (else in the Flash2 window, or there is none).
bool ExtMem_InRam();

// Flash2Init: the image in the Flash2 window is validated whole and made current; sends
// ":loading %dKB bitmap/macro file from flash2\r" and ":record %d invalid\r" for each record that
// will never be handed out. Returns 0 on success, 1 when the window holds no acceptable image
// (refused header or directory; the current image is then left as it was).
int Flash2Init();
// The same without any message (for an image that was just programmed and reported).
int Flash2Select(bool announce);

// Relocation of one location for an image that will lie at base: a window address becomes an
// offset, a value at or above base is already relocated, an offset becomes base + offset.
// Valid only when the result lies inside the image's size bytes; *field is written only then.
bool tryFixup(uint32_t* field, uint32_t base, uint32_t size);
// Relocates the image in the RAM area (ExtMemRamBuffer) for base (kExtMemRamAddress, or
// kFlash2Address before it is programmed there): every record that validates has its locations
// rewritten; one that does not is left as it is, reported as ":record %d invalid\r" and never
// handed out. size bounds the image (its header's size field must fit). Returns 1, or 0 when the
// header or the directory is refused.
int KV_Fixup_ExtMem(uint32_t base, uint32_t size);
// Makes the RAM area's image (relocated for kExtMemRamAddress) current.
void KV_ExtMem_UseRam();
// Bytes used by the current image: the end of its last record relative to its start; 0 without
// a valid image or when the last record's size is 0.
uint32_t ExtMemUsed();
// Copies the Flash2 image into the RAM area, relocates it and makes it current. Messages:
// ":Flash2 memory invalid (saw %04X, expected %04X)\r", ":Flash2 memory invalid size 0x%08X\r",
// ":Internal error - fixup\r". Returns 1 on success.
int KV_LoadFlash2ToRam();

// Width and height of bitmap record index (types 1, 2, 5) from its descriptor; 0 when there is
// no such bitmap or its descriptor leaves the image.
int KV_GetBitmapSize(int index, int* width, int* height);
