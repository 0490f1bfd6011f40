// Listing a bitmap/macro file. Every read is checked against the file's length: the listing is
// also the tool for looking at damaged files.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "imgpack.h"

namespace imgpack {

namespace {

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

class Lister {
  public:
    explicit Lister(const std::vector<uint8_t>& image) : img_(image) {}

    std::string run();
    bool damaged() const { return damaged_; }

  private:
    const std::vector<uint8_t>& img_;
    std::string out_;
    bool damaged_ = false;

    void say(const std::string& line) { out_ += line + "\n"; }
    void damage(const std::string& what) {
        out_ += "damaged: " + what + "\n";
        damaged_ = true;
    }

    bool has(uint64_t at, uint64_t count) const { return at + count <= img_.size(); }
    uint16_t u16(size_t at) const { return uint16_t(img_[at] | img_[at + 1] << 8); }
    uint32_t u32(size_t at) const {
        return uint32_t(img_[at]) | uint32_t(img_[at + 1]) << 8 | uint32_t(img_[at + 2]) << 16 |
               uint32_t(img_[at + 3]) << 24;
    }

    // A location as a file offset: flash window addresses are taken back to offsets. Empty when
    // it points outside the file.
    std::optional<uint32_t> offset_of(uint32_t location) const {
        uint32_t offset = location;
        if (location > kFlash2Base && location <= kFlash2Last) offset = location - kFlash2Base;
        if (offset >= img_.size()) return std::nullopt;
        return offset;
    }

    std::string describe_location(uint32_t location) const {
        if (location > kFlash2Base && location <= kFlash2Last) {
            return format("0x%08X (flash, offset 0x%06X)", location, location - kFlash2Base);
        }
        return format("0x%06X", location);
    }

    // A NUL-terminated string at `at`; empty when it runs past the end of the file.
    std::optional<std::string> string_at(size_t at) const {
        for (size_t i = at; i < img_.size(); ++i) {
            if (img_[i] == 0) return std::string(img_.begin() + long(at), img_.begin() + long(i));
        }
        return std::nullopt;
    }

    static std::string quoted(const std::string& s) {
        std::string q = "'";
        for (unsigned char c : s) {
            if (c >= 0x20 && c < 0x7F) {
                q += char(c);
            } else {
                q += format("\\x%02X", c);
            }
        }
        return q + "'";
    }

    void list_record(uint32_t index);
    void list_bitmap(uint32_t index, uint8_t type, uint32_t location, uint32_t at, uint32_t size);
    static constexpr uint32_t kPixelBytesShown = 16;  // as many as the module's "lsbmp" shows
    void list_macros(uint32_t table, uint32_t count);
    void list_font(uint32_t index, uint32_t at, uint32_t size);
};

std::string Lister::run() {
    say(format("file: %zu bytes", img_.size()));
    if (!has(0, kHeaderSize)) {
        damage(format("too short for the %u-byte header", kHeaderSize));
        return out_;
    }
    const uint16_t magic = u16(0);
    const uint16_t records = u16(2);
    const uint32_t size = u32(4);
    say(format("header: magic 0x%04X, %u record%s, size %u", magic, records,
               records == 1 ? "" : "s", size));
    if (magic == kOldMagic) {
        damage("built for the older module (magic 0xFEEB); this module refuses it");
        return out_;
    }
    if (magic != kMagic) {
        damage(format("not a bitmap/macro file (magic 0x%04X, expected 0x%04X)", magic, kMagic));
        return out_;
    }
    if (size != img_.size()) {
        damage(
            format("the header's size %u differs from the file's length %zu", size, img_.size()));
    }
    if (size > kMaxFileSize) {
        damage(format("the header's size %u is above the module's limit %u", size, kMaxFileSize));
    }
    uint32_t shown = records;
    if (!has(kHeaderSize, uint64_t(kDirEntrySize) * records)) {
        shown = uint32_t((img_.size() - kHeaderSize) / kDirEntrySize);
        damage(format("the directory of %u records runs past the end of the file; %u fit", records,
                      shown));
    }
    say(format("Records: %u", records));
    for (uint32_t i = 0; i < shown; ++i) list_record(i);
    return out_;
}

// The module's "lsbmp" lines for one record, then what imgpack adds: the macros with their
// lines, the checks of the bitmap data.
void Lister::list_record(uint32_t index) {
    const size_t entry = kHeaderSize + size_t(kDirEntrySize) * index;
    const uint8_t type = img_[entry];
    const uint32_t location = u32(entry + 4);
    const uint32_t size = u32(entry + 8);
    say(format("  %02u: type %X @ %06x size %u", index, type & 0x0Fu, location, size));
    switch (type) {
        case kBlank:
            say("    Blank Record");
            return;
        case kMacros:
            say("    Macro Definitions");
            break;
        case kUserFont:
            say("    User Font");
            break;
        case kBitmap:
        case kCompressedBitmap:
        case kTransparentBitmap:
            break;
        default:
            say("    Unknown record type!");
            damage(
                format("record %u: type %u is unknown; the module refuses the file", index, type));
            return;
    }
    if (type == kMacros && index != 0) {
        damage(format("record %u: macros are read from record 0 only", index));
        return;
    }
    const std::optional<uint32_t> at = offset_of(location);
    if (!at) {
        damage(format("record %u: its location lies outside the file", index));
        return;
    }
    if (type == kMacros) {
        list_macros(*at, size);
    } else if (type == kUserFont) {
        list_font(index, *at, size);
    } else {
        list_bitmap(index, type, location, *at, size);
    }
}

// The record's name and kind, the font data's metrics, and whether the module's font reader
// takes them.
void Lister::list_font(uint32_t index, uint32_t at, uint32_t size) {
    if (!has(at, kFontHeaderSize)) {
        damage(format("record %u: the font record runs past the end", index));
        return;
    }
    const std::optional<std::string> name = string_at(at + kFontNameField);
    if (!name || name->size() > kMaxFontName) {
        damage(format("record %u: the font name is not terminated within its field", index));
        return;
    }
    const uint8_t kind = img_[at + kFontKindField];
    const std::optional<uint32_t> data = offset_of(u32(at + 4));
    say(format("    font %s, kind %u, data @ %06x", quoted(*name).c_str(), kind, u32(at + 4)));
    if (!data || !has(*data, 20)) {
        damage(format("record %u: the font data lie outside the file", index));
        return;
    }
    const uint32_t bytes = u32(*data + 16);
    say(format("    %u bpp, line %u, baseline %u, capitals %u, %u bytes", img_[*data + 5],
               u16(*data + 6), u16(*data + 8), u16(*data + 10), bytes));
    const uint64_t end = std::min<uint64_t>(uint64_t(at) + size, img_.size());
    std::string why;
    if (uint64_t(*data) + bytes > end) {
        damage(format("record %u: the font data run past the record's end", index));
    } else if (!check_font_data(std::vector<uint8_t>(img_.begin() + long(*data),
                                                     img_.begin() + long(*data) + long(bytes)),
                                kind, &why)) {
        damage(format("record %u: %s", index, why.c_str()));
    }
}

void Lister::list_bitmap(uint32_t index, uint8_t type, uint32_t location, uint32_t at,
                         uint32_t size) {
    if (!has(at, kDescriptorSize)) {
        damage(format("record %u: the bitmap descriptor runs past the end", index));
        return;
    }
    const uint16_t width = u16(at), height = u16(at + 2), bpl = u16(at + 4), bpp = u16(at + 6);
    const uint32_t pixels = u32(at + 8), palette = u32(at + 12);
    if (type == kBitmap) {
        say(format("    Uncompressed Bitmap: %dx%d", width, height));
    } else if (type == kCompressedBitmap) {
        say(format("    Compressed Bitmap: %dx%d", width, height));
    } else {
        say(format("    Uncompressed Transparent Bitmap: %dx%d (0x%X)", width, height,
                   palette & 0xFFFFu));
    }
    say(format("    %ux%u %ubpp (%u Bpl)", width, height, bpp, bpl));
    say(format("    gBitmap  @ %06x", location));
    say(format("    gPal     @ %06x", palette));
    say(format("    pixels   @ %06x", pixels));
    const std::optional<uint32_t> data = offset_of(pixels);
    if (!data) {
        damage(format("record %u: its pixel data lie outside the file", index));
        return;
    }
    // The first pixel bytes, as far as the record reaches.
    const uint64_t end = std::min<uint64_t>(uint64_t(at) + size, img_.size());
    for (uint32_t i = 0; i < kPixelBytesShown && *data + i < end; ++i) {
        say(format("      %u: 0x%02X", i, img_[*data + i]));
    }
    if (bpp != 16) {
        damage(format("record %u: %u bits per pixel; the module draws 16-bit bitmaps", index, bpp));
    }
    const uint64_t count = uint64_t(width) * height;
    if (type != kCompressedBitmap) {
        if (bpl != 2u * width) {
            damage(format("record %u: %u bytes per line for %u pixels; rows are packed", index, bpl,
                          width));
        }
        if (!has(*data, count * 2)) {
            damage(format("record %u: its %llu pixels run past the end of the file", index,
                          (unsigned long long)count));
        }
        return;
    }
    // The run-length stream must fill the bitmap before the file ends.
    uint64_t filled = 0;
    size_t p = *data;
    while (filled < count) {
        if (!has(p, 1)) break;
        const uint32_t n = img_[p++];
        if (n != 0) {
            if (!has(p, 2)) break;
            p += 2;
            filled += n;
            continue;
        }
        if (!has(p, 1)) break;
        const uint32_t m = img_[p] ? img_[p] : 256;
        ++p;
        if (!has(p, uint64_t(m) * 2)) break;
        p += size_t(m) * 2;
        filled += m;
    }
    if (filled < count) {
        damage(format("record %u: the run-length data end after %llu of %llu pixels", index,
                      (unsigned long long)filled, (unsigned long long)count));
    }
}

void Lister::list_macros(uint32_t table, uint32_t count) {
    if (count > kMaxMacros) {
        damage(format("%u macros; the module calls only 1 to %zu", count, kMaxMacros));
    }
    uint32_t listed = std::min<uint32_t>(count, uint32_t(kMaxMacros));
    if (!has(table, uint64_t(kMacroEntrySize) * listed)) {
        const uint32_t fit = uint32_t((img_.size() - table) / kMacroEntrySize);
        damage(format("the macro table of %u entries runs past the end of the file; %u fit", count,
                      fit));
        listed = fit;
    }

    // Names from the meta table, when there is one right after the whole table.
    std::vector<std::string> names;
    const uint64_t meta = table + uint64_t(kMacroEntrySize) * count;
    if (has(meta, kMetaHeaderSize) && u16(size_t(meta)) == kMetaMagic) {
        size_t at = size_t(meta) + kMetaHeaderSize;
        for (uint64_t k = 0; k <= count && k <= kMaxMacros; ++k) {
            std::optional<std::string> name = string_at(at);
            if (!name) {
                damage(format("the name of macro %llu runs past the end of the file",
                              (unsigned long long)k));
                break;
            }
            at += name->size() + 1;
            names.push_back(*name);
        }
        say(format("macros: %u, with names", count));
    } else {
        say(format("macros: %u, no meta table (no call by name)", count));
    }

    for (uint32_t k = 1; k <= listed; ++k) {
        const size_t entry = table + size_t(kMacroEntrySize) * (k - 1);
        const uint32_t location = u32(entry);
        const uint16_t lines = u16(entry + 4);
        const uint8_t shown_as = img_[entry + 6];
        std::string head = format("  #%u", k);
        if (shown_as != k) head += format(" (shown as #%u)", shown_as);
        if (k < names.size() && !names[k].empty()) head += " " + names[k];
        head += format(": %u line%s", lines, lines == 1 ? "" : "s");
        if (lines == 0) {
            say(head);
            continue;
        }
        say(head + " @ " + describe_location(location));
        std::optional<uint32_t> at = offset_of(location);
        if (!at) {
            damage(format("macro %u: its lines at %s lie outside the file", k,
                          describe_location(location).c_str()));
            continue;
        }
        size_t p = *at;
        for (uint32_t i = 1; i <= lines; ++i) {
            std::optional<std::string> line = p < img_.size() ? string_at(p) : std::nullopt;
            if (!line) {
                damage(
                    format("macro %u: line %u of %u runs past the end of the file", k, i, lines));
                break;
            }
            p += line->size() + 1;
            std::string shown_line = "    " + quoted(*line);
            if (line->size() > kMaxLineLength) {
                shown_line +=
                    format("  (%zu characters, longer than the module takes)", line->size());
            }
            say(shown_line);
        }
    }
}

}  // namespace

std::string list(const std::vector<uint8_t>& image, bool* damaged) {
    Lister lister(image);
    std::string text = lister.run();
    if (damaged) *damaged = lister.damaged();
    return text;
}

}  // namespace imgpack
