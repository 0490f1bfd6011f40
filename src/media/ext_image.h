// The current bitmap/macro file ("external memory") and bounded look-ups into it.
//
// The image is a byte range (in the Flash2 window, later also in the RAM area) that nothing here
// ever writes. Locations stored in the file (directory entries, macro text, bitmap pixels) are
// resolved on each use: an offset below the image size, or an address of the window where the
// image lies (kFlash2Address + offset); anything else, or a range that leaves the image, is
// invalid. No look-up reads outside the image, whatever the file holds.
#pragma once

#include <cstdint>

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

// Flash2Init: the image in the Flash2 window is checked and made current; sends
// ":loading %dKB bitmap/macro file from flash2\r". Returns 0 on success, 1 when the window holds
// no acceptable image (the current image is then left as it was).
int Flash2Init();

// Width and height of bitmap record index (types 1, 2, 5) from its descriptor; 0 when there is
// no such bitmap or its descriptor leaves the image.
int KV_GetBitmapSize(int index, int* width, int* height);

// Start-up (and "*LOAD"): makes the bitmap/macro file current (today: the one in the Flash2
// window). Returns 1 when an image is ready.
int KV_Load_ExtMem();
