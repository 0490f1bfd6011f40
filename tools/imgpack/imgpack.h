// imgpack: builds and lists the module's bitmap/macro files (.BIN).
//
// A file is a header, a record directory and the records' data. This version writes one record,
// the macro definitions; bitmaps and user fonts are further record types that the image
// assembler (image.cpp) places the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imgpack {

// Values of the file format that the tool, its tests and its listing share.
inline constexpr uint16_t kMagic = 0xFEEC;
inline constexpr uint16_t kOldMagic = 0xFEEB;  // files for the older module, refused by this one
inline constexpr uint16_t kMetaMagic = 0xA5A5;
inline constexpr uint32_t kFlash2Base = 0xC8400000;
inline constexpr uint32_t kFlash2Last = 0xC9FBFFFF;
inline constexpr uint32_t kMaxFileSize = 0x1BC0000;  // the module's RAM area and flash window
inline constexpr uint32_t kHeaderSize = 8;
inline constexpr uint32_t kDirEntrySize = 12;
inline constexpr uint32_t kMacroEntrySize = 8;
inline constexpr uint32_t kMetaHeaderSize = 6;
inline constexpr size_t kMaxMacros = 255;
inline constexpr size_t kMaxLineLength = 128;  // a command line the module accepts
inline constexpr size_t kMaxNameLength = 32;

enum RecordType : uint8_t {
    kBlank = 0,
    kBitmap = 1,
    kCompressedBitmap = 2,
    kMacros = 3,
    kUserFont = 4,
    kTransparentBitmap = 5,
};

struct Macro {
    std::string name;  // empty: no name (callable by number only)
    std::vector<std::string> lines;
    uint8_t shown_number = 0;  // what the module's macro listing prints; 0: the macro's own number
};

struct MacroFile {
    std::vector<Macro> macros;      // macros[k-1] is macro k (1..255)
    bool names = true;              // write the meta table (needed for call by name)
    bool flash2_locations = false;  // locations as flash window addresses instead of offsets
    // Write whatever is given (bad names, NUL bytes in lines, more than 255 macros), for tests
    // that need damaged files. Otherwise build() refuses such content.
    bool unchecked = false;
};

// Where the parts of a built file start (offsets from the file start), and its size. Without a
// meta table, meta equals lines.
struct Layout {
    uint32_t directory = 0, table = 0, meta = 0, lines = 0, size = 0;
};

// Checks that a MacroFile can become a file the module reads correctly. Returns false and sets
// *error (when given) to what is wrong.
bool check(const MacroFile& file, std::string* error);

// Builds the file. Returns an empty vector (and the reason in *error) when check() refuses the
// content and file.unchecked is not set. Lines are written as given, whatever their length.
std::vector<uint8_t> build(const MacroFile& file, Layout* layout = nullptr,
                           std::string* error = nullptr);

// Reads the macro text format (docs/imgpack.md). On failure returns false and sets *error to
// "LINE: message" (LINE counted from 1).
bool parse_text(std::string_view text, MacroFile* out, std::string* error);

// A human-readable listing of any bytes: header, directory and, for the macro record, every
// macro with its lines. What is wrong with the file is said in lines starting with "damaged:";
// *damaged (when given) tells whether there were any.
std::string list(const std::vector<uint8_t>& image, bool* damaged = nullptr);

// A name the module can call: a letter or "_", then letters, digits or "_", at most
// kMaxNameLength characters.
bool valid_name(std::string_view name);

}  // namespace imgpack
