// The manifest (docs/imgpack.md): one record per line, in the directory's order.
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

// The picture readers by content. PNG only so far; other formats join here.
bool decode_picture(const std::string& bytes, Picture* out, std::string* error) {
    return decode_png(std::vector<uint8_t>(bytes.begin(), bytes.end()), out, error);
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
            if (!decode_picture(bytes, &picture, &why)) return fail(w[1] + ": " + why);
            if (picture.width > kMaxBitmapWidth) {
                return fail(w[1] + ": " + std::to_string(picture.width) +
                            " columns; a bitmap has at most " + std::to_string(kMaxBitmapWidth));
            }
            if (!make_bitmap(picture, transparency, key, &record.bitmap, &why)) {
                return fail(w[1] + ": " + why);
            }
        } else {
            return fail("expected \"blank\", \"bitmap FILE ...\" or \"macros FILE\", not \"" +
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
