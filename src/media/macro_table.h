// The macros of the current bitmap/macro file: record 0, its macro table and the optional table
// of names after it. Every look-up is bounded by the image; a macro whose entry or lines leave
// the image is not valid.
#pragma once

#include <cstdint>

constexpr int kMacroMaxNumber = 255;
constexpr uint16_t kMacroMetaMagic = 0xA5A5;

// Macro n of the current image.
struct MacroEntry {
    uint32_t first_line;  // offset of its first line in the image
    uint16_t line_count;
    uint8_t shown_number;  // the number "lsmac" shows
};

// State of the macro record, worst first.
enum class MacroRecordState {
    kNoImage,   // no image, or its magic is wrong
    kNoMacros,  // record 0 is not the macro record, or it holds no macro
    kPresent,
};
MacroRecordState KV_MacroRecordState();
// Number of macros in record 0 (0 unless present).
int KV_MacroCount();

// Macro n (1..255, at most the count), its entry and all its lines inside the image. Returns 0
// otherwise.
int KV_GetMacro(int n, MacroEntry* out);

// Macro n is valid (KV_GetMacro finds it).
bool KV_MacroExists(int n);

// The meta table of names is present (its magic follows the table).
bool KV_MacroNamesPresent();
// Name k (0 .. count; 0 is a placeholder) from the meta table, or null when there is none or it
// leaves the image. An empty name means the macro has none.
const char* KV_MacroName(int k);
