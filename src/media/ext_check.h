// Validation of a bitmap/macro file: the header and directory, and each record against the
// file's own size. The same checks serve the loader (which refuses a file, or names the records
// it will never hand out), the look-ups (which refuse such a record whenever it is asked for)
// and the PC tools (which link this file alone: it calls nothing of the board).
//
// Locations are resolved as everywhere else: an address where the image lies, an address of the
// Flash2 window, or an offset. A record is valid when everything read for it lies inside it and
// inside the file, so no decoder ever has to look past its record's end.
#pragma once

#include <cstdint>

// An image as the checks see it: its bytes, the size its header declares (already checked to lie
// within the bytes given) and the address its own locations use for its first byte.
struct ExtView {
    const uint8_t* data;
    uint32_t size;
    uint32_t address;
};

// Header and directory: magic 0xFEEC, size field from the header's end up to the bytes given and
// to the largest image, the directory inside the file. Fills *view and returns null when they
// hold, else the reason.
const char* ExtCheck_Header(const uint8_t* data, uint32_t length, uint32_t address, ExtView* view);

// A location as an offset of the image; false when it lies outside it.
bool ExtCheck_Resolve(const ExtView& view, uint32_t location, uint32_t* offset);

// What a valid record holds, as offsets into the image.
struct ExtRecordInfo {
    uint8_t type;
    uint32_t location;  // as stored
    uint32_t size;      // as stored (macro record: the number of macros)
    uint32_t at;        // offset of the record's data
    // Bitmap records (types 1, 2, 5).
    uint16_t width, height, bytes_per_line, bits_per_pixel;
    uint32_t pixels;       // offset of the pixel data or run-length stream
    uint32_t pixel_bytes;  // from there to the record's end
    uint32_t palette;      // type 5: the key in the low 16 bits
};

// Directory entry index of image v. Null when the record is valid (*r filled), else the
// reason it is never handed out.
const char* ExtCheck_Record(const ExtView& v, int index, ExtRecordInfo* r);

// Macro n (1-based) of the macro table at offset table (count entries, already inside the
// image): the offset of its first line and its line count, all of its lines ending inside the
// image. Null when valid, else the reason.
struct ExtMacroInfo {
    uint32_t first_line;
    uint16_t line_count;
    uint8_t shown_number;
};
const char* ExtCheck_Macro(const ExtView& v, uint32_t table, uint32_t n, ExtMacroInfo* m);

// The whole image: report(ctx, -1, reason) for a refused header or directory (then -1 is
// returned), else report(ctx, index, reason) for each refused record (index 0 also for a
// refused macro, whose number the reason gives) and the number of reports is returned. report
// may be null.
using ExtCheckReport = void (*)(void* ctx, int index, const char* reason);
int ExtMem_CheckImage(const uint8_t* data, uint32_t length, uint32_t address, ExtCheckReport report,
                      void* ctx);

// A file for the Flash2 window is built with window addresses: with more than one record, record
// 1's location lies above the window's start and record 0's inside it. A file built with offsets
// was made for the RAM area; the module does not take it from the window. The header must have
// passed ExtCheck_Header.
bool ExtCheck_WindowLocations(const uint8_t* data);
