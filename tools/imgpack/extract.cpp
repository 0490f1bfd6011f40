// Taking a file apart into a manifest and the files it names, so that building that manifest
// gives the file again.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "gui/rgb565.h"
#include "gui/sif_format.h"
#include "imgpack.h"

namespace imgpack {

namespace {

class Extractor {
  public:
    Extractor(const std::vector<uint8_t>& image, const std::string& dir)
        : image_(image), dir_(dir) {}

    bool run(std::string* notes, std::string* error) {
        if (!header()) return report(error);
        std::string manifest =
            "# Taken apart by imgpack extract; \"imgpack build\" of this "
            "manifest gives the file again.\n";
        for (uint32_t i = 0; i < count_; ++i) {
            std::string line;
            if (!record(i, &line)) return report(error);
            manifest += line + "\n";
        }
        if (!write("voxa.manifest", std::vector<uint8_t>(manifest.begin(), manifest.end()))) {
            return report(error);
        }
        compare_with_rebuild();
        if (notes) *notes = notes_;
        return true;
    }

    bool flash2() const { return flash2_; }

  private:
    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    bool report(std::string* error) {
        if (error) *error = error_;
        return false;
    }
    void note(const std::string& message) { notes_ += message + "\n"; }

    uint32_t u16(uint64_t at) const { return image_[at] | uint32_t(image_[at + 1]) << 8; }
    uint32_t u32(uint64_t at) const { return u16(at) | u16(at + 2) << 16; }
    // Inside the file, and inside the record being read (its directory size), as the module's
    // readers stop at a record's end.
    bool has(uint64_t at, uint64_t n) const { return at <= end_ && n <= end_ - at; }

    // A location as an offset into the file; false when it points outside.
    bool offset_of(uint32_t location, uint64_t* out) const {
        uint64_t v = location;
        if (v >= kFlash2Base && v <= kFlash2Last) v -= kFlash2Base;
        if (v >= image_.size()) return false;
        *out = v;
        return true;
    }

    bool header() {
        if (!has(0, kHeaderSize)) return fail("the file is shorter than its header");
        if (u16(0) != kMagic) return fail("not a bitmap/macro file (magic)");
        count_ = u16(2);
        if (!has(kHeaderSize, uint64_t(kDirEntrySize) * count_)) {
            return fail("the record directory runs past the end of the file");
        }
        if (count_ > 0) flash2_ = u32(kHeaderSize + 4) >= kFlash2Base;
        return true;
    }

    bool write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path path = std::filesystem::path(dir_) / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) return fail(path.string() + ": cannot write the file");
        return true;
    }

    static std::string two(uint32_t i) {
        std::string s = std::to_string(i);
        return s.size() < 2 ? "0" + s : s;
    }

    // A manifest word: quoted when it holds blanks or could start a comment.
    static std::string word(const std::string& w) {
        if (w.find_first_of(" \t\r#") == std::string::npos && !w.starts_with("//")) return w;
        return "\"" + w + "\"";
    }

    bool record(uint32_t i, std::string* line) {
        const uint64_t entry = kHeaderSize + uint64_t(kDirEntrySize) * i;
        end_ = image_.size();
        const uint8_t type = image_[entry];
        const std::string which = "record " + std::to_string(i) + ": ";
        if (type == kBlank) {
            *line = "blank";
            return true;
        }
        uint64_t at;
        if (!offset_of(u32(entry + 4), &at)) return fail(which + "its location lies outside");
        // The macro record's size field counts macros, not bytes.
        if (type != kMacros) end_ = std::min<uint64_t>(end_, at + uint64_t(u32(entry + 8)));
        switch (type) {
            case kBitmap:
            case kCompressedBitmap:
            case kTransparentBitmap:
                return bitmap(i, type, at, line);
            case kMacros:
                if (i != 0) return fail(which + "macros outside record 0 are never read");
                return macros(at, u32(entry + 8), line);
            case kUserFont:
                return font(i, at, line);
            default:
                return fail(which + "unknown record type " + std::to_string(type));
        }
    }

    bool bitmap(uint32_t i, uint8_t type, uint64_t at, std::string* line) {
        const std::string which = "record " + std::to_string(i) + ": ";
        if (!has(at, kDescriptorSize))
            return fail(which + "the descriptor runs past the record's end");
        const uint32_t w = u16(at), h = u16(at + 2), bpl = u16(at + 4), bpp = u16(at + 6);
        if (w == 0 || h == 0) return fail(which + "a bitmap without pixels");
        if (bpp != 16) return fail(which + std::to_string(bpp) + " bits per pixel, not 16");
        uint64_t data;
        if (!offset_of(u32(at + 8), &data)) return fail(which + "the pixel data lie outside");
        std::vector<uint16_t> pixels(size_t(w) * h);
        if (type == kCompressedBitmap) {
            if (!decode_stream(data, &pixels)) return fail(which + "a damaged run-length stream");
        } else {
            if (bpl < 2 * w || !has(data, uint64_t(bpl) * (h - 1) + 2 * w)) {
                return fail(which + "the pixel rows run past the record's end");
            }
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t x = 0; x < w; ++x) {
                    pixels[size_t(y) * w + x] = uint16_t(u16(data + uint64_t(y) * bpl + 2 * x));
                }
            }
        }
        const uint16_t key = uint16_t(u32(at + 12));
        Picture p;
        p.width = w;
        p.height = h;
        p.rgba.resize(pixels.size() * 4);
        for (size_t k = 0; k < pixels.size(); ++k) {
            const uint16_t v = pixels[k];
            p.rgba[4 * k] = uint8_t(rgb565::expand5(rgb565::red5(v)));
            p.rgba[4 * k + 1] = uint8_t(rgb565::expand6(rgb565::green6(v)));
            p.rgba[4 * k + 2] = uint8_t(rgb565::expand5(rgb565::blue5(v)));
            p.rgba[4 * k + 3] = type == kTransparentBitmap && v == key ? 0 : 0xFF;
        }
        std::vector<uint8_t> png;
        if (!encode_png(p, &png, &error_)) return false;
        const std::string name = "bitmap-" + two(i) + ".png";
        if (!write(name, png)) return false;
        *line = "bitmap " + name;
        if (type == kCompressedBitmap) {
            *line += " rle";
        } else if (type == kTransparentBitmap) {
            char colour[8];
            std::snprintf(colour, sizeof colour, "%02X%02X%02X",
                          unsigned(rgb565::expand5(rgb565::red5(key))),
                          unsigned(rgb565::expand6(rgb565::green6(key))),
                          unsigned(rgb565::expand5(rgb565::blue5(key))));
            *line += std::string(" plain key ") + colour;
        } else {
            *line += " plain";
        }
        return true;
    }

    // The run-length stream, read only inside the file and only until the bitmap is full.
    bool decode_stream(uint64_t at, std::vector<uint16_t>* pixels) {
        size_t filled = 0;
        const size_t total = pixels->size();
        while (filled < total) {
            if (!has(at, 1)) return false;
            uint32_t n = image_[at++];
            const bool literal = n == 0;
            if (literal) {
                if (!has(at, 1)) return false;
                n = image_[at++];
                if (n == 0) n = 256;
            }
            const uint64_t bytes = literal ? 2 * uint64_t(n) : 2;
            if (!has(at, bytes) || filled + n > total) return false;
            for (uint32_t k = 0; k < n; ++k) {
                (*pixels)[filled++] = uint16_t(u16(at + (literal ? 2 * k : 0)));
            }
            at += bytes;
        }
        return true;
    }

    bool string_at(uint64_t at, std::string* out) const {
        const auto begin = image_.begin() + long(at);
        const auto nul = std::find(begin, image_.end(), uint8_t(0));
        if (nul == image_.end()) return false;
        out->assign(begin, nul);
        return true;
    }

    bool macros(uint64_t at, uint32_t n, std::string* line) {
        if (n > kMaxMacros || !has(at, uint64_t(kMacroEntrySize) * n)) {
            return fail("record 0: the macro table runs past the end");
        }
        MacroFile file;
        const uint64_t meta = at + uint64_t(kMacroEntrySize) * n;
        file.names = has(meta, kMetaHeaderSize) && u16(meta) == kMetaMagic;
        std::vector<std::string> names(n);
        if (file.names) {
            uint64_t p = meta + kMetaHeaderSize;
            std::string name;
            for (uint32_t k = 0; k <= n; ++k) {
                if (p >= image_.size() || !string_at(p, &name)) {
                    return fail("record 0: the name table runs past the end");
                }
                if (k > 0) names[k - 1] = name;
                p += name.size() + 1;
            }
        }
        for (uint32_t k = 0; k < n; ++k) {
            const uint64_t e = at + uint64_t(kMacroEntrySize) * k;
            Macro m;
            m.name = names[k];
            const uint32_t lines = u16(e + 4);
            if (image_[e + 6] != k + 1) {
                note("macro " + std::to_string(k + 1) + " is listed as #" +
                     std::to_string(image_[e + 6]) + ", which the macro text cannot say");
            }
            uint64_t p = 0;
            if (lines > 0 && !offset_of(u32(e), &p)) {
                return fail("macro " + std::to_string(k + 1) + ": its lines lie outside");
            }
            for (uint32_t l = 0; l < lines; ++l) {
                std::string text;
                if (p >= image_.size() || !string_at(p, &text)) {
                    return fail("macro " + std::to_string(k + 1) + ": a line runs past the end");
                }
                p += text.size() + 1;
                m.lines.push_back(std::move(text));
            }
            file.macros.push_back(std::move(m));
        }
        std::vector<std::string> lost;
        const std::string text = macro_text(file, &lost);
        for (const std::string& l : lost) note(l + " cannot be written in the macro text as it is");
        if (!write("macros.txt", std::vector<uint8_t>(text.begin(), text.end()))) return false;
        *line = file.names ? "macros macros.txt" : "macros macros.txt nonames";
        return true;
    }

    bool font(uint32_t i, uint64_t at, std::string* line) {
        const std::string which = "record " + std::to_string(i) + ": ";
        if (!has(at, kFontHeaderSize)) return fail(which + "the font record runs past the end");
        std::string name;
        if (!string_at(at + kFontNameField, &name) || name.size() > kMaxFontName) {
            return fail(which + "the font name is not terminated");
        }
        const uint8_t kind = image_[at + kFontKindField];
        uint64_t data;
        if (!offset_of(u32(at + 4), &data) || !has(data, sif::kHeaderSize)) {
            return fail(which + "the font data lie outside");
        }
        const uint32_t size = u32(data + sif::kSizeOffset);
        if (!has(data, size)) return fail(which + "the font data run past the record's end");
        const std::string file = "font-" + two(i) + ".sif";
        const auto begin = image_.begin() + long(data);
        if (!write(file, std::vector<uint8_t>(begin, begin + long(size)))) return false;
        *line = "fontdata " + word(name) + " " + file;
        const uint8_t bpp = image_[data + sif::kBppOffset];
        const uint8_t usual = bpp == 2 ? kFontAA2 : bpp == 4 ? kFontAA4 : kFont1Bit;
        if (kind != usual) *line += " kind " + std::to_string(kind);
        return true;
    }

    void compare_with_rebuild() {
        std::string text, why;
        ImageFile rebuilt;
        read_file((std::filesystem::path(dir_) / "voxa.manifest").string(), &text);
        if (!parse_manifest(text, dir_, &rebuilt, &why)) {
            note("the manifest does not build: " + why);
            return;
        }
        rebuilt.flash2_locations = flash2_;
        const std::vector<uint8_t> again = build(rebuilt, nullptr, &why);
        if (again.empty()) {
            note("the manifest does not build: " + why);
        } else if (again != image_) {
            size_t k = 0;
            while (k < again.size() && k < image_.size() && again[k] == image_[k]) ++k;
            note("building the manifest gives a different file (" + std::to_string(again.size()) +
                 " bytes, not " + std::to_string(image_.size()) + "; first difference at byte " +
                 std::to_string(k) + "): it was not written by this imgpack");
        }
    }

    const std::vector<uint8_t>& image_;
    std::string dir_;
    std::string error_, notes_;
    uint32_t count_ = 0;
    uint64_t end_ = image_.size();
    bool flash2_ = false;
};

}  // namespace

bool extract(const std::vector<uint8_t>& image, const std::string& dir, bool* flash2,
             std::string* notes, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error) *error = dir + ": cannot make the folder";
        return false;
    }
    Extractor x(image, dir);
    if (!x.run(notes, error)) return false;
    if (flash2) *flash2 = x.flash2();
    return true;
}

}  // namespace imgpack
