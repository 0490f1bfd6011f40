// The manifest (docs/imgpack.md): one record per line, in the directory's order.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "imgpack.h"

namespace imgpack {

namespace {

bool blank_char(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool comment_start(std::string_view w) {
    return w.starts_with('#') || w.starts_with("//");
}

// Words of a line; a word in double quotes may hold blanks; a word starting a comment ends the
// line. Returns false for a quote left open.
bool split(std::string_view line, std::vector<std::string>* out) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && blank_char(line[i])) ++i;
        if (i == line.size()) return true;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            out->emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t j = i;
        while (j < line.size() && !blank_char(line[j])) ++j;
        const std::string_view w = line.substr(i, j - i);
        if (comment_start(w)) return true;
        out->emplace_back(w);
        i = j;
    }
}

bool parse_number(std::string_view w, int* out) {
    if (w.empty() || w.size() > 4) return false;
    int v = 0;
    for (char c : w) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

bool parse_key(std::string_view w, uint32_t* key) {
    if (w.size() != 6) return false;
    uint32_t v = 0;
    for (char c : w) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return false;
        }
        v = v << 4 | uint32_t(d);
    }
    *key = v;
    return true;
}

}  // namespace

bool decode_picture(const std::vector<uint8_t>& bytes, Picture* out, std::string* error) {
    auto starts = [&](std::initializer_list<uint8_t> sig) {
        return bytes.size() >= sig.size() && std::equal(sig.begin(), sig.end(), bytes.begin());
    };
    if (starts({0x89, 'P', 'N', 'G'})) return decode_png(bytes, out, error);
    if (starts({0xFF, 0xD8, 0xFF})) return decode_jpeg(bytes, out, error);
    if (starts({'B', 'M'})) return decode_bmp(bytes, out, error);
    if (error) *error = "not a PNG, JPEG or BMP file";
    return false;
}

bool looks_like_macro_text(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::vector<std::string> w;
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        size_t i = 0;
        while (i < line.size() && blank_char(line[i])) ++i;
        const std::string_view rest = line.substr(i);
        if (rest.empty() || comment_start(rest)) continue;
        return rest == "macro" || (rest.starts_with("macro") && blank_char(rest[5]));
    }
    return false;
}

bool read_file(const std::string& path, std::string* out) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return false;
    *out = s.str();
    return true;
}

bool parse_manifest(std::string_view text, const std::string& base_dir, ImageFile* out,
                    std::string* error) {
    size_t line_no = 0;
    auto fail = [&](const std::string& message) {
        if (error) *error = std::to_string(line_no) + ": " + message;
        return false;
    };
    auto path_of = [&](const std::string& name) {
        const std::filesystem::path p(name);
        return p.is_absolute() ? p : std::filesystem::path(base_dir) / p;
    };

    ImageFile result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++line_no;
        std::vector<std::string> w;
        if (!split(line, &w)) return fail("a quote is not closed");
        if (w.empty()) continue;
        const std::string& what = w[0];
        const size_t index = result.records.size();
        Record record;
        if (what == "blank") {
            if (w.size() > 1) return fail("unexpected \"" + w[1] + "\" after \"blank\"");
        } else if (what == "macros") {
            if (w.size() < 2) return fail("\"macros\" needs a macro text file");
            if (index != 0) {
                return fail(
                    "macros must be the first record: the module reads them from "
                    "record 0 only");
            }
            record.kind = Record::Kind::kMacros;
            for (size_t i = 2; i < w.size(); ++i) {
                if (w[i] != "nonames") return fail("unexpected \"" + w[i] + "\" after the file");
                record.macros.names = false;
            }
            std::string bytes, why;
            if (!read_file(path_of(w[1]).string(), &bytes))
                return fail(w[1] + ": cannot read the file");
            const bool names = record.macros.names;
            if (!parse_text(bytes, &record.macros, &why)) return fail(w[1] + ":" + why);
            record.macros.names = names;
            if (!check(record.macros, &why)) return fail(w[1] + ": " + why);
        } else if (what == "bitmap") {
            if (w.size() < 2) return fail("\"bitmap\" needs a picture file");
            if (index == 0) {
                return fail(
                    "record 0 is the macro record and never drawn: start with "
                    "\"macros FILE\" or \"blank\"");
            }
            record.kind = Record::Kind::kBitmap;
            bool have_encoding = false, have_transparency = false;
            Transparency transparency = Transparency::kNone;
            uint32_t key = 0;
            for (size_t i = 2; i < w.size(); ++i) {
                const std::string& o = w[i];
                if (o == "plain" || o == "rle" || o == "auto") {
                    if (have_encoding) return fail("more than one of plain, rle and auto");
                    have_encoding = true;
                    record.encoding = o == "plain" ? Encoding::kPlain
                                      : o == "rle" ? Encoding::kRle
                                                   : Encoding::kAuto;
                } else if (o == "key" || o == "alpha") {
                    if (have_transparency) return fail("more than one of key and alpha");
                    have_transparency = true;
                    if (o == "alpha") {
                        transparency = Transparency::kAlpha;
                    } else {
                        if (i + 1 >= w.size() || !parse_key(w[i + 1], &key)) {
                            return fail("\"key\" needs a colour as six hex digits RRGGBB");
                        }
                        transparency = Transparency::kKey;
                        ++i;
                    }
                } else {
                    return fail("unexpected \"" + o +
                                "\"; a bitmap takes plain, rle or auto and key RRGGBB or alpha");
                }
            }
            if (transparency != Transparency::kNone && record.encoding == Encoding::kRle) {
                return fail("a transparent bitmap is stored uncompressed; use plain or auto");
            }
            std::string bytes, why;
            if (!read_file(path_of(w[1]).string(), &bytes))
                return fail(w[1] + ": cannot read the file");
            Picture picture;
            if (!decode_picture(std::vector<uint8_t>(bytes.begin(), bytes.end()), &picture, &why)) {
                return fail(w[1] + ": " + why);
            }
            if (picture.width > kMaxBitmapWidth) {
                return fail(w[1] + ": " + std::to_string(picture.width) +
                            " columns; a bitmap has at most " + std::to_string(kMaxBitmapWidth));
            }
            if (!make_bitmap(picture, transparency, key, &record.bitmap, &why)) {
                return fail(w[1] + ": " + why);
            }
        } else if (what == "font" || what == "fontdata") {
            const bool data = what == "fontdata";
            if (w.size() < (data ? 3u : 4u)) {
                return fail(data ? "\"fontdata\" needs a name and a font data file"
                                 : "\"font\" needs a name, a TrueType file and a size");
            }
            record.kind = Record::Kind::kFont;
            Font& font = record.font;
            font.name = w[1];
            if (font.name.empty() || font.name.size() > kMaxFontName ||
                font.name.find_first_of(" \t") != std::string::npos) {
                return fail("font name \"" + font.name + "\": 1 to " +
                            std::to_string(kMaxFontName) + " characters, no blanks");
            }
            if (builtin_font_name(font.name)) {
                result.warnings.push_back(std::to_string(line_no) + ": font name \"" + font.name +
                                          "\" is a built-in font's: the module finds the "
                                          "built-in one first, never this record");
            }
            FontRequest request;
            request.ttf = path_of(w[2]).string();
            bool have_kind = false;
            size_t i = 3;
            if (!data) {
                if (!parse_number(w[3], &request.size)) {
                    return fail("the size \"" + w[3] + "\" is not a number of pixels");
                }
                request.kind = kFontAA4;
                i = 4;
            }
            for (; i < w.size(); ++i) {
                const std::string& o = w[i];
                auto value = [&](int* out) {
                    return i + 1 < w.size() && parse_number(w[i + 1], out);
                };
                int n = 0;
                if (!data && (o == "1bit" || o == "aa2" || o == "aa4")) {
                    if (have_kind) return fail("more than one of 1bit, aa2 and aa4");
                    have_kind = true;
                    request.kind = o == "1bit" ? kFont1Bit : o == "aa2" ? kFontAA2 : kFontAA4;
                } else if (!data && o == "mono") {
                    request.mono = true;
                } else if (!data && (o == "line" || o == "base")) {
                    if (!value(&n) || n < 1 || n > 255) return fail("\"" + o + "\" needs 1-255");
                    (o == "line" ? request.line : request.base) = n;
                    ++i;
                } else if (data && o == "kind") {
                    if (!value(&n) || n > 255 || font_bits(uint8_t(n)) == 0) {
                        return fail("\"kind\" needs 0, 2, 3 or 255");
                    }
                    request.kind = uint8_t(n);
                    have_kind = true;
                    ++i;
                } else {
                    return fail("unexpected \"" + o + "\"" +
                                (data ? "; font data take kind N"
                                      : "; a font takes 1bit, aa2 or aa4, mono, line N, base N"));
                }
            }
            if ((request.line == 0) != (request.base == 0)) {
                return fail("\"line\" and \"base\" go together");
            }
            std::string why;
            if (data) {
                std::string bytes;
                if (!read_file(request.ttf, &bytes)) return fail(w[2] + ": cannot read the file");
                font.data.assign(bytes.begin(), bytes.end());
                if (!have_kind) {
                    const int bpp = font.data.size() > 5 ? font.data[5] : 0;
                    request.kind = bpp == 2 ? kFontAA2 : bpp == 4 ? kFontAA4 : kFont1Bit;
                }
                font.kind = request.kind;
                if (!check_font_data(font.data, font.kind, &why)) return fail(w[2] + ": " + why);
            } else {
                font.kind = request.kind;
                if (!render_font(request, &font.data, &why)) return fail(why);
            }
        } else {
            return fail(
                "expected \"blank\", \"macros FILE\", \"bitmap FILE ...\", \"font NAME FILE "
                "SIZE ...\" or \"fontdata NAME FILE\", not \"" +
                what + "\"");
        }
        if (index >= 0xFFFF) return fail("more than 65535 records");
        result.records.push_back(std::move(record));
    }
    if (result.records.empty()) {
        ++line_no;
        return fail("the manifest names no records");
    }
    *out = std::move(result);
    return true;
}

}  // namespace imgpack
