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
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "render.h"

namespace {

using fontgen::Glyph;
using fontgen::Kind;
const std::vector<fontgen::Range>& kRanges = fontgen::kLatin1Ranges;

// Size of the firmware's structures (src/gui/font.h), for the size report.
constexpr size_t kGlyphRecordSize = 8;
constexpr size_t kRangeRecordSize = 8;  // on the 32-bit target
constexpr size_t kFontRecordSize = 20;  // on the 32-bit target

struct FontSpec {
    std::string object;
    std::string face;
    bool mono = false;
    Kind kind = Kind::kAA4;
    int line = 0, base = 0, cap = 0;
    std::vector<std::string> aliases;  // further objects sharing this font's data
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "fontgen: %s\n", message.c_str());
    std::exit(1);
}

const char* typeName(Kind kind) {
    switch (kind) {
        case Kind::k1Bit:
            return "GUI_FONTTYPE_PROP";
        case Kind::kExt1Bit:
            return "GUI_FONTTYPE_PROP_EXT";
        case Kind::kAA2:
            return "GUI_FONTTYPE_PROP_AA2";
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
    const fontgen::RenderedFont font = fontgen::render(
        face, fontgen::Metrics{spec.mono, spec.kind, spec.line, spec.base, spec.cap}, kRanges);
    const fontgen::FitStats& stats = font.stats;
    const FT_F26Dot6 size = font.size;
    const std::vector<std::vector<Glyph>>& ranges = font.ranges;
    const std::vector<uint8_t>& bits = font.bits;

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
                  spec.object.c_str(), double(size) / 64, font.hinted ? "hinted" : "unhinted",
                  out.bitsBytes, out.tableBytes, stats.shiftedX, stats.shiftedY, stats.maxShift,
                  stats.squeezed, stats.cropped, stats.maxCropped, stats.widened,
                  stats.missing.size());
    out.report = buf;
    out.ranges = ranges;
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
        Output out;
        try {
            out = generate(face, base, spec);
        } catch (const fontgen::Error& e) {
            fail(spec.object + ": " + e.what());
        }
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
