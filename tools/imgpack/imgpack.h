// imgpack: builds and lists the module's bitmap/macro files (.BIN).
//
// A file is a header, a record directory and the records' data: macro definitions, blank
// records, 16-bit bitmaps (plain, transparent and run-length) made from PNG, JPEG and BMP
// pictures, and user fonts rendered from TrueType files (or taken as font data). extract.cpp
// takes a file apart again into what rebuilds it.
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
inline constexpr uint32_t kDescriptorSize = 20;
inline constexpr uint32_t kRecordAlign = 4;  // bitmap records start on a 4-byte boundary
inline constexpr uint32_t kMaxBitmapSide = 0xFFFF;
inline constexpr uint32_t kMaxBitmapWidth = 0x7FFF;  // BytesPerLine, 2 x width, is 16 bits

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

// ---- Bitmaps ----

// A picture as read from a file: 8-bit red, green, blue, alpha per pixel, rows top to bottom.
struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;  // 4 x width x height bytes
};

// Decodes a PNG (any colour type, 1-16 bits per channel): palettes and grey are expanded, a tRNS
// chunk becomes alpha, 16-bit channels are rounded to 8 bits (v x 255 / 65535). Returns false with
// the reason in *error for anything else, or a side above kMaxBitmapSide.
bool decode_png(const std::vector<uint8_t>& bytes, Picture* out, std::string* error);

// Decodes a JPEG (baseline or progressive, colour or greyscale); CMYK is refused.
bool decode_jpeg(const std::vector<uint8_t>& bytes, Picture* out, std::string* error);

// Decodes a BMP: 1, 4 and 8 bits with a palette (also run-length, RLE4 and RLE8), 16 bits (555
// or bit fields), 24 bits, 32 bits (bit fields, with alpha when a mask gives it); bottom-up and
// top-down. Palette indices past a short palette take its first colour.
bool decode_bmp(const std::vector<uint8_t>& bytes, Picture* out, std::string* error);

// Any of the three, told apart by their first bytes.
bool decode_picture(const std::vector<uint8_t>& bytes, Picture* out, std::string* error);

// Writes a picture as an 8-bit RGBA PNG (alpha is left out when every pixel is opaque).
bool encode_png(const Picture& picture, std::vector<uint8_t>* out, std::string* error);

// The module's colour conversion of a 24-bit colour (0xRRGGBB) to the RGB565 pixel that the same
// colour drawn by a command becomes.
uint16_t to_rgb565(uint32_t rrggbb);

enum class Encoding : uint8_t { kPlain, kRle, kAuto };
enum class Transparency : uint8_t { kNone, kKey, kAlpha };

// A bitmap as stored: RGB565 pixels, rows top to bottom, and the key colour of a transparent one.
struct Bitmap {
    uint32_t width = 0, height = 0;
    std::vector<uint16_t> pixels;
    bool transparent = false;
    uint16_t key = 0;
};

// The alpha threshold: a pixel with less alpha is transparent (with Transparency::kAlpha or
// kKey), one with at least this much is drawn as opaque.
inline constexpr uint8_t kAlphaThreshold = 128;

// The key colour chosen for Transparency::kAlpha: magenta (0xF81F) unless an opaque pixel uses it,
// else the lowest RGB565 value no opaque pixel uses.
inline constexpr uint16_t kPreferredKey = 0xF81F;

// Converts a picture. kNone: alpha is ignored. kKey: key_rrggbb converted like any colour is the
// key, and pixels below the alpha threshold take it too. kAlpha: pixels below the threshold take
// a key no opaque pixel uses; fails when the opaque pixels use all 65536 values.
bool make_bitmap(const Picture& picture, Transparency transparency, uint32_t key_rrggbb,
                 Bitmap* out, std::string* error);

// The run-length stream of the compressed bitmap: runs "n pixel" (n 1-255) and literals
// "0 m pixels" (m 1-256, 256 written as 0), pixels little-endian, items running on across rows.
std::vector<uint8_t> rle_encode(const std::vector<uint16_t>& pixels);

// ---- User fonts ----

// The kind byte of a user font record: 1 bit (0; 0xFF means the same), 2 or 4 bits of coverage.
inline constexpr uint8_t kFont1Bit = 0;
inline constexpr uint8_t kFontAA2 = 2;
inline constexpr uint8_t kFontAA4 = 3;
inline constexpr size_t kMaxFontName = 9;
// The record: name location, data location, the 10-byte name field and the kind; the font data
// follow it.
inline constexpr uint32_t kFontNameField = 8;
inline constexpr uint32_t kFontKindField = 18;
inline constexpr uint32_t kFontHeaderSize = 19;

struct Font {
    std::string name;           // at most kMaxFontName characters
    uint8_t kind = kFont1Bit;   // the record's kind byte
    std::vector<uint8_t> data;  // run-time font data ("GUIP", docs/sif-font-format.md)
};

// The bits per pixel a kind byte stands for (1, 2 or 4), 0 for an unknown kind.
int font_bits(uint8_t kind);

// What to render from a TrueType file: `size` is the height of the capitals in pixels, as in the
// built-in names ("24" has 24-pixel capitals); line and baseline come from the face unless given.
struct FontRequest {
    std::string ttf;  // path
    int size = 0;
    uint8_t kind = kFont1Bit;
    bool mono = false;
    int line = 0, base = 0;  // 0: from the face
};

// Renders the characters 0x20-0x7F and 0xA0-0xFF with the built-in fonts' renderer into font
// data the module's reader accepts.
bool render_font(const FontRequest& request, std::vector<uint8_t>* data, std::string* error);

// Checks font data the way the module does before it draws with them, for the given kind byte.
bool check_font_data(const std::vector<uint8_t>& data, uint8_t kind, std::string* error);

// True when the module's built-in font table has this name: a user font of that name is never
// found, because the table is searched first.
bool builtin_font_name(std::string_view name);

// ---- Whole files ----

struct Record {
    enum class Kind : uint8_t { kBlank, kMacros, kBitmap, kFont } kind = Kind::kBlank;
    MacroFile macros;  // kMacros: its names flag counts; flash2_locations comes from ImageFile
    Bitmap bitmap;     // kBitmap
    Encoding encoding = Encoding::kPlain;  // kAuto: whichever of plain and run-length is smaller
    Font font;                             // kFont
};

struct ImageFile {
    std::vector<Record> records;  // in directory order; a macro record only as record 0
    bool flash2_locations = false;
    std::vector<std::string> warnings;  // from parse_manifest: "LINE: message"
};

// Where a built record lies: its type as written and its data's offset and length in the file.
struct RecordLayout {
    uint8_t type = kBlank;
    uint32_t start = 0, length = 0;
};

// Builds a file of any records. Refuses (empty result, reason in *error) macros outside record
// 0, macro content check() refuses, transparent bitmaps asked to be run-length, empty or
// oversized bitmaps, fonts with a bad name or data the module would refuse, and files above
// kMaxFileSize.
std::vector<uint8_t> build(const ImageFile& file, std::vector<RecordLayout>* layout = nullptr,
                           std::string* error = nullptr);

// The whole file (false for a folder or a file that cannot be read).
bool read_file(const std::string& path, std::string* out);

// Reads a manifest (docs/imgpack.md): one record per line in index order, files named relative
// to base_dir and read at once. On failure returns false and sets *error to "LINE: message".
bool parse_manifest(std::string_view text, const std::string& base_dir, ImageFile* out,
                    std::string* error);

// True when a text reads as a macro text rather than a manifest: its first line that is neither
// blank nor a comment starts with the word "macro".
bool looks_like_macro_text(std::string_view text);

// Takes a file apart into dir (made when missing): a manifest "voxa.manifest" with one line per
// record, a PNG per bitmap "bitmap-NN.png" (type 5 with alpha 0 where the key is), the macro
// text "macros.txt" and every font's data "font-NN.sif". Building that manifest (with
// --for-flash2 when *flash2 says the file holds window addresses) gives the file again; when it
// would not (a file written by another tool, with choices the manifest cannot express), *notes
// says how it differs. Refuses a file whose records cannot be read.
bool extract(const std::vector<uint8_t>& image, const std::string& dir, bool* flash2,
             std::string* notes, std::string* error);

// Writes macros in the macro text format that parse_text reads. Lines the format cannot carry
// (blanks at either end, a leading "#", "end", "macro ...") are listed in *lost.
std::string macro_text(const MacroFile& file, std::vector<std::string>* lost);

// A name the module can call: a letter or "_", then letters, digits or "_", at most
// kMaxNameLength characters.
bool valid_name(std::string_view name);

}  // namespace imgpack
