// fontgen: renders the firmware's built-in fonts from TrueType files into C++ tables.
//
//   fontgen --manifest fonts.def --face sans=FILE --face sans-bold=FILE --face mono=FILE
//           --face mono-bold=FILE --out DIR
//
// For every font of the manifest it looks for the rendering size at which the capital H is
// exactly the requested cap height, renders the characters 0x20-0x7F and 0xA0-0xFF (hinted;
// monochrome for the 1-bit kinds, 4-bit coverage for the anti-aliased one), places every ink
// box inside its character cell (line height x advance) and writes DIR/<object>.cpp in the
// format of src/gui/font.h, plus DIR/fonts_summary.txt with the sizes.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Range {
    int first, last;
};
constexpr Range kRanges[] = {{0x20, 0x7F}, {0xA0, 0xFF}};

// Size of the firmware's structures (src/gui/font.h), for the size report.
constexpr size_t kGlyphRecordSize = 8;
constexpr size_t kRangeRecordSize = 8;  // on the 32-bit target
constexpr size_t kFontRecordSize = 20;  // on the 32-bit target
constexpr uint32_t kMaxBitsOffset = 0xFFFFFF;

enum class Kind { k1Bit, kExt1Bit, kAA4 };

struct FontSpec {
    std::string object;
    std::string face;
    bool mono = false;
    Kind kind = Kind::kAA4;
    int line = 0, base = 0, cap = 0;
    std::vector<std::string> aliases;  // further objects sharing this font's data
};

struct Glyph {
    int advance = 0, x = 0, y = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;  // width x height quantised values, row by row
    uint32_t offset = 0;
};

struct FitStats {
    int shiftedX = 0, shiftedY = 0, cropped = 0, widened = 0;
    int squeezed = 0;    // blank rows removed under accents
    int maxShift = 0;    // pixels
    int maxCropped = 0;  // strongest pixel value lost to cropping
    std::vector<int> missing;
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "fontgen: %s\n", message.c_str());
    std::exit(1);
}

int bitsPerPixel(Kind kind) {
    return kind == Kind::kAA4 ? 4 : 1;
}

const char* typeName(Kind kind) {
    switch (kind) {
        case Kind::k1Bit:
            return "GUI_FONTTYPE_PROP";
        case Kind::kExt1Bit:
            return "GUI_FONTTYPE_PROP_EXT";
        case Kind::kAA4:
            return "GUI_FONTTYPE_PROP_AA4";
    }
    return "";
}

std::vector<FontSpec> readManifest(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("cannot read " + path);
    std::vector<FontSpec> fonts;
    std::string text;
    for (int lineNo = 1; std::getline(in, text); ++lineNo) {
        const auto hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        std::istringstream words(text);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        const std::string where = path + ":" + std::to_string(lineNo) + ": ";
        if (w.size() == 3 && w[1] == "=") {
            auto it = std::find_if(fonts.begin(), fonts.end(),
                                   [&](const FontSpec& f) { return f.object == w[2]; });
            if (it == fonts.end()) fail(where + "alias of an unknown font " + w[2]);
            it->aliases.push_back(w[0]);
            continue;
        }
        if (w.size() != 7) fail(where + "expected: object face spacing kind line base cap");
        FontSpec f;
        f.object = w[0];
        f.face = w[1];
        if (w[2] != "prop" && w[2] != "mono") fail(where + "spacing is prop or mono");
        f.mono = w[2] == "mono";
        if (w[3] == "1bit") {
            f.kind = Kind::k1Bit;
        } else if (w[3] == "ext1bit") {
            f.kind = Kind::kExt1Bit;
        } else if (w[3] == "aa4") {
            f.kind = Kind::kAA4;
        } else {
            fail(where + "kind is 1bit, ext1bit or aa4");
        }
        f.line = std::atoi(w[4].c_str());
        f.base = std::atoi(w[5].c_str());
        f.cap = std::atoi(w[6].c_str());
        if (f.line <= 0 || f.line > 255 || f.base <= 0 || f.base > f.line || f.cap <= 0 ||
            f.cap > f.base) {
            fail(where + "metrics out of range");
        }
        fonts.push_back(f);
    }
    return fonts;
}

// One FreeType face set up for one font of the manifest.
class Renderer {
  public:
    Renderer(FT_Face face, Kind kind) : face_(face) {
        loadFlags_ = kind == Kind::kAA4 ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO;
        renderMode_ = kind == Kind::kAA4 ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
    }

    // Hinting snaps heights to whole pixels, but some cap heights fall between two hinted
    // sizes; those are rendered unhinted at the size that puts the capitals on whole pixels.
    void setHinted(bool hinted) { hinted_ = hinted; }
    bool hinted() const { return hinted_; }

    void setSize(FT_F26Dot6 size) {
        if (FT_Set_Char_Size(face_, 0, size, 72, 72) != 0) fail("cannot set a size");
    }

    // Renders code c; false when the face has no glyph for it. origin* is the position of the
    // bitmap's top-left pixel relative to the pen on the baseline (y upwards).
    bool render(int c, int* advance, int* originX, int* originY, int* width, int* height,
                std::vector<uint8_t>* values) {
        const FT_UInt index = FT_Get_Char_Index(face_, FT_ULong(c));
        if (index == 0) return false;
        const FT_Int32 flags = hinted_ ? FT_LOAD_DEFAULT | loadFlags_ : FT_LOAD_NO_HINTING;
        if (FT_Load_Glyph(face_, index, flags) != 0 ||
            FT_Render_Glyph(face_->glyph, renderMode_) != 0) {
            fail("cannot render character " + std::to_string(c));
        }
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        *advance = int((slot->advance.x + 32) >> 6);
        *originX = slot->bitmap_left;
        *originY = slot->bitmap_top;
        *width = int(bm.width);
        *height = int(bm.rows);
        values->assign(size_t(*width) * size_t(*height), 0);
        if (bm.pitch < 0) fail("bottom-up bitmap from FreeType");
        for (int row = 0; row < *height; ++row) {
            const uint8_t* src = bm.buffer + row * bm.pitch;
            for (int col = 0; col < *width; ++col) {
                uint8_t v;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                    v = (src[col >> 3] >> (7 - (col & 7))) & 1;
                } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    v = uint8_t((src[col] * 15 + 127) / 255);
                } else {
                    fail("unexpected pixel mode from FreeType");
                }
                (*values)[size_t(row) * size_t(*width) + size_t(col)] = v;
            }
        }
        return true;
    }

    // Rows of ink of the capital H above the baseline, or -1 when H does not sit on it.
    int capHeight() {
        int advance, ox, oy, w, h;
        std::vector<uint8_t> v;
        if (!render('H', &advance, &ox, &oy, &w, &h, &v)) fail("the face has no H");
        int top = -1, bottom = -1;
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                if (v[size_t(row) * size_t(w) + size_t(col)] != 0) {
                    if (top < 0) top = row;
                    bottom = row;
                }
            }
        }
        if (top < 0 || oy - bottom != 1) return -1;
        return oy - top;
    }

  private:
    FT_Face face_;
    bool hinted_ = true;
    FT_Int32 loadFlags_;
    FT_Render_Mode renderMode_;
};

// The size (26.6 pixels per em) at which H is exactly cap pixels high: hinted, the middle of
// the first run of sizes that give it, so that rounding elsewhere in the glyphs is least
// extreme; unhinted, the largest size that keeps H within cap rows.
FT_F26Dot6 findSize(Renderer& r, FT_Face face, int cap) {
    if (FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE) != 0) fail("the face has no H");
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    if (box.yMax <= 0) fail("the H of the face has no height");
    const double exact = 64.0 * cap * face->units_per_EM / double(box.yMax);

    constexpr int kStep = 4;  // 1/16 pixel
    r.setHinted(true);
    FT_F26Dot6 runStart = -1, runEnd = -1;
    for (FT_F26Dot6 size = FT_F26Dot6(exact * 0.85) / kStep * kStep; size <= exact * 1.15;
         size += kStep) {
        r.setSize(size);
        if (r.capHeight() == cap) {
            if (runStart < 0) runStart = size;
            runEnd = size;
        } else if (runStart >= 0) {
            break;
        }
    }
    if (runStart >= 0) return (runStart + runEnd) / 2 / kStep * kStep;

    r.setHinted(false);
    for (FT_F26Dot6 size = FT_F26Dot6(exact + 1); size > exact * 0.95; --size) {
        r.setSize(size);
        if (r.capHeight() == cap) return size;
    }
    fail("no size gives a cap height of " + std::to_string(cap));
}

// An accent that rises above the line loses blank rows between itself and the letter, so
// that the letter can stay on the baseline.
void closeAccentGap(Glyph& g, const FontSpec& spec, FitStats& stats) {
    int excess = -g.y;
    const int capRow = spec.base - spec.cap - g.y;  // first row of the capitals in the box
    for (int row = std::min(capRow, g.height) - 1; row > 0 && excess > 0; --row) {
        const auto first = g.pixels.begin() + row * g.width;
        if (std::any_of(first, first + g.width, [](uint8_t v) { return v != 0; })) continue;
        g.pixels.erase(first, first + g.width);
        --g.height;
        ++g.y;
        --excess;
        ++stats.squeezed;
    }
}

// Keeps the ink box inside the cell: a glyph wider than a proportional cell widens the cell;
// in a monospaced font the outer columns are cropped instead, since every cell must keep the
// same width. Boxes that stick out are shifted in; a box taller than the line is cropped.
void fitIntoCell(Glyph& g, const FontSpec& spec, FitStats& stats) {
    if (g.y < 0) closeAccentGap(g, spec, stats);
    if (g.width > g.advance) {
        if (spec.mono) {
            const int cut = g.width - g.advance, left = cut / 2;
            std::vector<uint8_t> kept;
            for (int row = 0; row < g.height; ++row) {
                for (int col = 0; col < g.width; ++col) {
                    const uint8_t v = g.pixels[size_t(row) * size_t(g.width) + size_t(col)];
                    if (col >= left && col < left + g.advance) {
                        kept.push_back(v);
                    } else {
                        stats.maxCropped = std::max(stats.maxCropped, int(v));
                    }
                }
            }
            g.pixels = kept;
            g.x += left;
            g.width = g.advance;
            ++stats.cropped;
        } else {
            g.advance = g.width;
            ++stats.widened;
        }
    }
    if (g.height > spec.line) {
        const int top = (g.height - spec.line) / 2;
        g.pixels.erase(g.pixels.begin(), g.pixels.begin() + top * g.width);
        g.pixels.resize(size_t(spec.line) * size_t(g.width));
        g.y += top;
        g.height = spec.line;
        ++stats.cropped;
    }
    const int x = std::clamp(g.x, 0, g.advance - g.width);
    const int y = std::clamp(g.y, 0, spec.line - g.height);
    if (x != g.x) ++stats.shiftedX;
    if (y != g.y) ++stats.shiftedY;
    stats.maxShift = std::max({stats.maxShift, std::abs(x - g.x), std::abs(y - g.y)});
    g.x = x;
    g.y = y;
}

// Cuts the rows and columns without ink from the box.
void trim(Glyph& g) {
    int top = g.height, bottom = -1, left = g.width, right = -1;
    for (int row = 0; row < g.height; ++row) {
        for (int col = 0; col < g.width; ++col) {
            if (g.pixels[size_t(row) * size_t(g.width) + size_t(col)] == 0) continue;
            top = std::min(top, row);
            bottom = std::max(bottom, row);
            left = std::min(left, col);
            right = std::max(right, col);
        }
    }
    if (bottom < 0) {
        g.width = g.height = 0;
        g.pixels.clear();
        return;
    }
    std::vector<uint8_t> kept;
    for (int row = top; row <= bottom; ++row) {
        for (int col = left; col <= right; ++col) {
            kept.push_back(g.pixels[size_t(row) * size_t(g.width) + size_t(col)]);
        }
    }
    g.x += left;
    g.y += top;
    g.width = right - left + 1;
    g.height = bottom - top + 1;
    g.pixels = kept;
}

std::vector<uint8_t> pack(const Glyph& g, int bpp) {
    std::vector<uint8_t> out;
    const int perByte = 8 / bpp;
    for (int row = 0; row < g.height; ++row) {
        for (int col = 0; col < g.width; col += perByte) {
            uint8_t byte = 0;
            for (int i = 0; i < perByte; ++i) {
                const int c = col + i;
                const uint8_t v =
                    c < g.width ? g.pixels[size_t(row) * size_t(g.width) + size_t(c)] : 0;
                byte = uint8_t(byte | (v << (8 - bpp * (i + 1))));
            }
            out.push_back(byte);
        }
    }
    return out;
}

struct Output {
    std::string text;
    std::string report;  // one line for the summary
    size_t bitsBytes = 0, tableBytes = 0;
    std::vector<std::vector<Glyph>> ranges;
};

// A grey image of sample lines in every font, cells shaded alternately, for looking at the
// glyphs without the firmware.
class Preview {
  public:
    static constexpr int kWidth = 1400;
    static constexpr int kMargin = 4;
    static constexpr const char* kSample =
        "Hamburgefonts 0123456789 ({[jgpqy]}) \xc4\xd6\xdc\xe4\xf6\xfc\xdf\xc5\xe7\xf1"
        " @#%&*?!";

    void addLine(const FontSpec& spec, const std::vector<std::vector<Glyph>>& ranges) {
        const int top = height_;
        height_ += spec.line + kMargin;
        pixels_.resize(size_t(kWidth) * size_t(height_), 255);
        int penX = kMargin, cell = 0;
        for (const char* p = kSample; *p != 0; ++p, ++cell) {
            const int c = uint8_t(*p);
            const Glyph* g = nullptr;
            for (size_t ri = 0; ri < ranges.size(); ++ri) {
                if (c >= kRanges[ri].first && c <= kRanges[ri].last) {
                    g = &ranges[ri][size_t(c - kRanges[ri].first)];
                }
            }
            if (g == nullptr || penX + g->advance > kWidth) continue;
            const int maxValue = spec.kind == Kind::kAA4 ? 15 : 1;
            for (int row = 0; row < spec.line; ++row) {
                for (int col = 0; col < g->advance; ++col) {
                    int v = 0;
                    if (row >= g->y && row < g->y + g->height && col >= g->x &&
                        col < g->x + g->width) {
                        v = g->pixels[size_t(row - g->y) * size_t(g->width) + size_t(col - g->x)];
                    }
                    const int paper = (cell & 1) ? 225 : 250;
                    pixels_[size_t(top + row) * kWidth + size_t(penX + col)] =
                        uint8_t(paper - paper * v / maxValue);
                }
            }
            penX += g->advance;
        }
    }

    void write(const std::string& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "P5\n" << kWidth << " " << height_ << "\n255\n";
        out.write(reinterpret_cast<const char*>(pixels_.data()), std::streamsize(pixels_.size()));
        if (!out) fail("cannot write " + path);
    }

  private:
    int height_ = 0;
    std::vector<uint8_t> pixels_;
};

Output generate(FT_Face face, const std::string& faceFile, const FontSpec& spec) {
    Renderer r(face, spec.kind);
    const FT_F26Dot6 size = findSize(r, face, spec.cap);
    r.setSize(size);

    FitStats stats;
    std::vector<std::vector<Glyph>> ranges;
    int spaceAdvance = 0, monoAdvance = 0;
    {
        int ox, oy, w, h;
        std::vector<uint8_t> v;
        if (!r.render(' ', &spaceAdvance, &ox, &oy, &w, &h, &v)) fail("the face has no space");
        if (!r.render('0', &monoAdvance, &ox, &oy, &w, &h, &v)) fail("the face has no 0");
    }
    for (const Range& range : kRanges) {
        std::vector<Glyph> glyphs;
        for (int c = range.first; c <= range.last; ++c) {
            Glyph g;
            int originX, originY;
            if (!r.render(c, &g.advance, &originX, &originY, &g.width, &g.height, &g.pixels)) {
                // Control codes such as DEL have no outline: they occupy a blank cell.
                stats.missing.push_back(c);
                g.advance = spaceAdvance;
                g.width = g.height = 0;
                g.pixels.clear();
            } else {
                g.x = originX;
                g.y = spec.base - originY;
            }
            if (spec.mono) g.advance = monoAdvance;
            trim(g);
            g.advance = std::max(g.advance, 1);
            fitIntoCell(g, spec, stats);
            if (g.advance > 255) fail("advance too wide");
            glyphs.push_back(std::move(g));
        }
        ranges.push_back(std::move(glyphs));
    }

    // Lay the bitmaps out one after the other; identical bitmaps are stored once.
    std::vector<uint8_t> bits;
    std::map<std::string, uint32_t> stored;
    for (auto& glyphs : ranges) {
        for (Glyph& g : glyphs) {
            const std::vector<uint8_t> packed = pack(g, bitsPerPixel(spec.kind));
            if (packed.empty()) continue;
            auto [it, added] =
                stored.emplace(std::string(packed.begin(), packed.end()), uint32_t(bits.size()));
            if (added) bits.insert(bits.end(), packed.begin(), packed.end());
            g.offset = it->second;
            if (g.offset > kMaxBitsOffset) fail("glyph data too large");
        }
    }
    if (bits.empty()) bits.push_back(0);

    Output out;
    out.bitsBytes = bits.size();
    out.tableBytes = (1 + spec.aliases.size()) * kFontRecordSize + ranges.size() * kRangeRecordSize;
    for (const auto& glyphs : ranges) out.tableBytes += glyphs.size() * kGlyphRecordSize;

    std::ostringstream s;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.4g", double(size) / 64);
    s << "// Generated by fontgen from " << faceFile << " (" << face->family_name << " "
      << face->style_name << ") at " << buf << " pixels per em. Do not edit.\n";
    s << "#include \"gui/builtin_fonts.h\"\n\nnamespace {\n\n";
    s << "const uint8_t kBits[" << bits.size() << "] = {\n";
    for (size_t i = 0; i < bits.size(); ++i) {
        std::snprintf(buf, sizeof buf, "0x%02x,", bits[i]);
        s << buf << ((i % 16 == 15 || i + 1 == bits.size()) ? "\n" : "");
    }
    s << "};\n";
    for (size_t ri = 0; ri < ranges.size(); ++ri) {
        s << "\nconst GUI_CHARINFO kGlyphs" << ri << "[" << ranges[ri].size() << "] = {\n";
        for (size_t gi = 0; gi < ranges[ri].size(); ++gi) {
            const Glyph& g = ranges[ri][gi];
            std::snprintf(buf, sizeof buf, "    {%d, %d, %d, %d, %d, %u, %u},  // 0x%02X\n",
                          g.advance, g.x, g.y, g.width, g.height, unsigned(g.offset >> 16),
                          unsigned(g.offset & 0xFFFF), unsigned(kRanges[ri].first + int(gi)));
            s << buf;
        }
        s << "};\n";
    }
    s << "\nconst GUI_FONT_RANGE kRanges[" << ranges.size() << "] = {\n";
    for (size_t ri = 0; ri < ranges.size(); ++ri) {
        std::snprintf(buf, sizeof buf, "    {0x%02X, 0x%02X, kGlyphs%zu},\n", kRanges[ri].first,
                      kRanges[ri].last, ri);
        s << buf;
    }
    s << "};\n\n}  // namespace\n\n";
    std::vector<std::string> objects{spec.object};
    objects.insert(objects.end(), spec.aliases.begin(), spec.aliases.end());
    for (const std::string& object : objects) {
        s << "const GUI_FONT " << object << " = {" << typeName(spec.kind) << ", " << ranges.size()
          << ", " << spec.line << ", " << spec.base << ", " << spec.cap << ", " << bits.size()
          << ", kRanges, kBits};\n";
    }
    out.text = s.str();

    std::snprintf(buf, sizeof buf,
                  "%-20s %6.2f px/em %-8s  bitmaps %6zu  tables %5zu  shifted x %d y %d "
                  "(max %d px)  squeezed %d  cropped %d (max value %d)  widened %d  blank %zu",
                  spec.object.c_str(), double(size) / 64, r.hinted() ? "hinted" : "unhinted",
                  out.bitsBytes, out.tableBytes, stats.shiftedX, stats.shiftedY, stats.maxShift,
                  stats.squeezed, stats.cropped, stats.maxCropped, stats.widened,
                  stats.missing.size());
    out.report = buf;
    out.ranges = std::move(ranges);
    return out;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    std::string manifest, outDir, previewFile;
    std::map<std::string, std::string> faces;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) fail("option " + arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--manifest") {
            manifest = value;
        } else if (arg == "--out") {
            outDir = value;
        } else if (arg == "--preview") {
            previewFile = value;
        } else if (arg == "--face") {
            const auto eq = value.find('=');
            if (eq == std::string::npos) fail("--face wants KEY=FILE");
            faces[value.substr(0, eq)] = value.substr(eq + 1);
        } else {
            fail("unknown option " + arg);
        }
    }
    if (manifest.empty() || outDir.empty()) {
        fail("usage: fontgen --manifest FILE --face KEY=FILE... --out DIR [--preview FILE.pgm]");
    }

    const std::vector<FontSpec> fonts = readManifest(manifest);
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) fail("cannot start FreeType");

    std::ostringstream summary;
    Preview preview;
    size_t total = 0;
    for (const FontSpec& spec : fonts) {
        const auto file = faces.find(spec.face);
        if (file == faces.end()) fail("no --face given for " + spec.face);
        FT_Face face;
        if (FT_New_Face(library, file->second.c_str(), 0, &face) != 0) {
            fail("cannot open " + file->second);
        }
        const std::string base = file->second.substr(file->second.find_last_of('/') + 1);
        const Output out = generate(face, base, spec);
        FT_Done_Face(face);
        writeFile(outDir + "/" + spec.object + ".cpp", out.text);
        summary << out.report << "\n";
        preview.addLine(spec, out.ranges);
        total += out.bitsBytes + out.tableBytes;
    }
    FT_Done_FreeType(library);
    summary << "total " << total << " bytes\n";
    writeFile(outDir + "/fonts_summary.txt", summary.str());
    if (!previewFile.empty()) preview.write(previewFile);
    std::fprintf(stderr, "fontgen: %zu fonts, %zu bytes of font data\n", fonts.size(), total);
    return 0;
}
