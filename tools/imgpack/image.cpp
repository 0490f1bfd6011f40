// Building a bitmap/macro file: the record assembler, the macro record and the bitmap records.
#include <algorithm>
#include <set>

#include "imgpack.h"

namespace imgpack {

namespace {

void put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (size_t i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// One record's data as it will lie in the file. Fields that hold locations are written as
// offsets from the record's start and listed in `locations`; the assembler turns them into
// file locations once it knows where the record lands.
struct RecordData {
    uint8_t type = kBlank;
    uint32_t size_field = 0;  // the directory's size: bytes, or the number of macros
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> locations;  // offsets into bytes of 32-bit location fields
    bool aligned = false;             // start on a kRecordAlign boundary (bitmaps)
};

struct Placed {
    std::vector<uint8_t> image;
    std::vector<uint32_t> starts;  // file offset of every record's data
};

Placed assemble(const std::vector<RecordData>& records, bool flash2) {
    Placed out;
    const size_t count = records.size();
    out.image.assign(kHeaderSize + kDirEntrySize * count, 0);
    for (const RecordData& r : records) {
        if (r.aligned)
            out.image.resize((out.image.size() + kRecordAlign - 1) & ~size_t(kRecordAlign - 1), 0);
        out.starts.push_back(uint32_t(out.image.size()));
        out.image.insert(out.image.end(), r.bytes.begin(), r.bytes.end());
    }
    // Every location must lie inside the file: the module refuses the whole file otherwise. A
    // record that ends the file with a location pointing at its end (a macro without lines)
    // gets one padding byte.
    for (size_t i = 0; i < count; ++i) {
        for (uint32_t field : records[i].locations) {
            const uint8_t* p = records[i].bytes.data() + field;
            const uint32_t target = out.starts[i] + (uint32_t(p[0]) | uint32_t(p[1]) << 8 |
                                                     uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
            if (target >= out.image.size()) out.image.resize(target + 1, 0);
        }
    }
    const uint32_t base = flash2 ? kFlash2Base : 0;
    put16(out.image, 0, kMagic);
    put16(out.image, 2, uint16_t(count));
    put32(out.image, 4, uint32_t(out.image.size()));
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kHeaderSize + kDirEntrySize * i;
        out.image[entry] = records[i].type;
        // A blank record has no data; its location is its own directory entry, a place inside
        // the file that the module's fix-up accepts whatever follows.
        const uint32_t start = records[i].type == kBlank ? uint32_t(entry) : out.starts[i];
        put32(out.image, entry + 4, base + start);
        put32(out.image, entry + 8, records[i].size_field);
        for (uint32_t field : records[i].locations) {
            const size_t at = out.starts[i] + field;
            const uint32_t relative = uint32_t(out.image[at]) | uint32_t(out.image[at + 1]) << 8 |
                                      uint32_t(out.image[at + 2]) << 16 |
                                      uint32_t(out.image[at + 3]) << 24;
            put32(out.image, at, base + out.starts[i] + relative);
        }
    }
    return out;
}

// The macro record: the table, the meta table when names are wanted, then every macro's lines
// one after the other. Offsets in `layout` are relative to the record's start.
RecordData macro_record(const MacroFile& file, Layout* layout) {
    RecordData r;
    r.type = kMacros;
    const size_t n = file.macros.size();
    r.size_field = uint32_t(n);
    r.bytes.assign(kMacroEntrySize * n, 0);
    layout->table = 0;
    layout->meta = uint32_t(r.bytes.size());
    if (file.names) {
        r.bytes.resize(r.bytes.size() + kMetaHeaderSize, 0);
        put16(r.bytes, layout->meta, kMetaMagic);
        r.bytes.push_back(0);  // macro 0 has no name
        for (const Macro& m : file.macros) {
            r.bytes.insert(r.bytes.end(), m.name.begin(), m.name.end());
            r.bytes.push_back(0);
        }
    }
    layout->lines = uint32_t(r.bytes.size());
    for (size_t k = 0; k < n; ++k) {
        const Macro& m = file.macros[k];
        const size_t entry = kMacroEntrySize * k;
        put32(r.bytes, entry, uint32_t(r.bytes.size()));
        put16(r.bytes, entry + 4, uint16_t(m.lines.size()));
        r.bytes[entry + 6] = m.shown_number != 0 ? m.shown_number : uint8_t(k + 1);
        r.locations.push_back(uint32_t(entry));
        for (const std::string& line : m.lines) {
            r.bytes.insert(r.bytes.end(), line.begin(), line.end());
            r.bytes.push_back(0);
        }
    }
    return r;
}

// Descriptor, then the pixel data: plain or transparent rows of 16-bit pixels, or the
// run-length stream.
RecordData bitmap_record(const Bitmap& b, Encoding encoding) {
    std::vector<uint8_t> data;
    uint8_t type = b.transparent ? kTransparentBitmap : kBitmap;
    std::vector<uint8_t> plain(b.pixels.size() * 2);
    for (size_t i = 0; i < b.pixels.size(); ++i) put16(plain, 2 * i, b.pixels[i]);
    data = std::move(plain);
    if (!b.transparent && encoding != Encoding::kPlain) {
        std::vector<uint8_t> rle = rle_encode(b.pixels);
        // Ties go to the plain record: the module's direct blitters draw only those.
        if (encoding == Encoding::kRle || rle.size() < data.size()) {
            data = std::move(rle);
            type = kCompressedBitmap;
        }
    }
    RecordData r;
    r.type = type;
    r.aligned = true;
    r.bytes.assign(kDescriptorSize, 0);
    put16(r.bytes, 0, uint16_t(b.width));
    put16(r.bytes, 2, uint16_t(b.height));
    put16(r.bytes, 4, uint16_t(2 * b.width));  // a decoded row, also for the compressed record
    put16(r.bytes, 6, 16);
    put32(r.bytes, 8, kDescriptorSize);
    r.locations.push_back(8);
    put32(r.bytes, 12, b.transparent ? b.key : 0);
    put32(r.bytes, 16, 0);
    r.bytes.insert(r.bytes.end(), data.begin(), data.end());
    r.size_field = uint32_t(r.bytes.size());
    return r;
}

// Name and location fields first, then the name, the kind and the font data.
RecordData font_record(const Font& f) {
    RecordData r;
    r.type = kUserFont;
    r.bytes.assign(kFontHeaderSize, 0);
    put32(r.bytes, 0, kFontNameField);
    put32(r.bytes, 4, kFontHeaderSize);
    r.locations = {0, 4};
    std::copy(f.name.begin(), f.name.end(), r.bytes.begin() + kFontNameField);
    r.bytes[kFontKindField] = f.kind;
    r.bytes.insert(r.bytes.end(), f.data.begin(), f.data.end());
    r.size_field = uint32_t(r.bytes.size());
    return r;
}

bool check_font(const Font& f, std::string* error) {
    // The font command reads the name as one word.
    if (f.name.empty() || f.name.size() > kMaxFontName ||
        f.name.find_first_of(std::string(" \t\r\n\0", 5)) != std::string::npos) {
        if (error) {
            *error = "font name \"" + f.name + "\": 1 to " + std::to_string(kMaxFontName) +
                     " characters, no blanks";
        }
        return false;
    }
    return check_font_data(f.data, f.kind, error);
}

bool check_bitmap(const Bitmap& b, Encoding encoding, std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return false;
    };
    if (b.width == 0 || b.height == 0) return fail("a bitmap needs at least one pixel");
    if (b.width > kMaxBitmapWidth || b.height > kMaxBitmapSide) {
        return fail(std::to_string(b.width) + "x" + std::to_string(b.height) +
                    " pixels; a bitmap has at most " + std::to_string(kMaxBitmapWidth) +
                    " columns and " + std::to_string(kMaxBitmapSide) + " rows");
    }
    if (b.pixels.size() != size_t(b.width) * b.height) {
        return fail("the bitmap's pixels do not match its size");
    }
    if (uint64_t(b.pixels.size()) * 2 + kDescriptorSize > kMaxFileSize) {
        return fail("a " + std::to_string(b.width) + "x" + std::to_string(b.height) +
                    " bitmap does not fit the module's " + std::to_string(kMaxFileSize) + " bytes");
    }
    if (b.transparent && encoding == Encoding::kRle) {
        return fail("a transparent bitmap is stored uncompressed; use plain or auto");
    }
    return true;
}

}  // namespace

bool valid_name(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!letter(name[0])) return false;
    for (char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    }
    return true;
}

bool check(const MacroFile& file, std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return false;
    };
    if (file.macros.size() > kMaxMacros) {
        return fail(std::to_string(file.macros.size()) + " macros; at most " +
                    std::to_string(kMaxMacros));
    }
    std::set<std::string> names;
    uint64_t size =
        kHeaderSize + kDirEntrySize + kMacroEntrySize * file.macros.size() + kMetaHeaderSize + 1;
    for (size_t k = 0; k < file.macros.size(); ++k) {
        const Macro& m = file.macros[k];
        const std::string which = "macro " + std::to_string(k + 1);
        if (!m.name.empty()) {
            if (!valid_name(m.name)) {
                return fail(which + ": name \"" + m.name +
                            "\" must start with a letter or \"_\" and hold only letters, digits "
                            "and \"_\" (at most " +
                            std::to_string(kMaxNameLength) + " characters)");
            }
            if (!names.insert(m.name).second) {
                return fail(which + ": name \"" + m.name + "\" is used twice");
            }
        }
        if (m.lines.size() > 0xFFFF) return fail(which + ": more than 65535 lines");
        size += m.name.size() + 1;
        for (size_t i = 0; i < m.lines.size(); ++i) {
            if (m.lines[i].find('\0') != std::string::npos) {
                return fail(which + ": line " + std::to_string(i + 1) + " holds a NUL byte");
            }
            size += m.lines[i].size() + 1;
        }
    }
    if (size > kMaxFileSize) {
        return fail("the file would have " + std::to_string(size) + " bytes; at most " +
                    std::to_string(kMaxFileSize));
    }
    return true;
}

std::vector<uint8_t> build(const MacroFile& file, Layout* layout, std::string* error) {
    if (!file.unchecked && !check(file, error)) return {};
    Layout local;
    Layout& l = layout ? *layout : local;
    std::vector<RecordData> records;
    records.push_back(macro_record(file, &l));
    Placed placed = assemble(records, file.flash2_locations);
    l.directory = kHeaderSize;
    l.table += placed.starts[0];
    l.meta += placed.starts[0];
    l.lines += placed.starts[0];
    l.size = uint32_t(placed.image.size());
    return std::move(placed.image);
}

std::vector<uint8_t> build(const ImageFile& file, std::vector<RecordLayout>* layout,
                           std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return std::vector<uint8_t>{};
    };
    if (file.records.size() > 0xFFFF) return fail("more than 65535 records");
    std::vector<RecordData> records;
    uint64_t total = kHeaderSize + uint64_t(kDirEntrySize) * file.records.size();
    for (size_t i = 0; i < file.records.size(); ++i) {
        const Record& r = file.records[i];
        const std::string which = "record " + std::to_string(i) + ": ";
        std::string why;
        switch (r.kind) {
            case Record::Kind::kBlank:
                records.push_back(RecordData{});
                break;
            case Record::Kind::kMacros: {
                if (i != 0) return fail(which + "the module reads macros from record 0 only");
                if (!r.macros.unchecked && !check(r.macros, &why)) return fail(which + why);
                Layout unused;
                records.push_back(macro_record(r.macros, &unused));
                break;
            }
            case Record::Kind::kBitmap:
                if (!check_bitmap(r.bitmap, r.encoding, &why)) return fail(which + why);
                records.push_back(bitmap_record(r.bitmap, r.encoding));
                break;
            case Record::Kind::kFont:
                if (!check_font(r.font, &why)) return fail(which + why);
                records.push_back(font_record(r.font));
                break;
        }
        total += records.back().bytes.size() + kRecordAlign;
        if (total > kMaxFileSize) {
            return fail(which + "the file grows past the module's " + std::to_string(kMaxFileSize) +
                        " bytes");
        }
    }
    Placed placed = assemble(records, file.flash2_locations);
    if (placed.image.size() > kMaxFileSize) {
        return fail("the file would have " + std::to_string(placed.image.size()) +
                    " bytes; at most " + std::to_string(kMaxFileSize));
    }
    if (layout) {
        layout->clear();
        for (size_t i = 0; i < records.size(); ++i) {
            layout->push_back(
                RecordLayout{records[i].type, placed.starts[i], uint32_t(records[i].bytes.size())});
        }
    }
    return std::move(placed.image);
}

}  // namespace imgpack
