// The macro text format (docs/imgpack.md): blocks "macro N [NAME]" ... "end".
#include <map>
#include <vector>

#include "imgpack.h"

namespace imgpack {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool is_comment(std::string_view trimmed) {
    return trimmed.starts_with('#') || trimmed.starts_with("//");
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && blank(s[i])) ++i;
        size_t j = i;
        while (j < s.size() && !blank(s[j])) ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// A block header: "macro" as the first word. Tells apart a header from a macro line that merely
// begins with those letters.
bool is_header(std::string_view trimmed) {
    return trimmed == "macro" || (trimmed.starts_with("macro") && blank(trimmed[5]));
}

// "end", alone or followed by a comment.
bool is_end(std::string_view trimmed) {
    if (!trimmed.starts_with("end")) return false;
    std::string_view rest = trim(trimmed.substr(3));
    return rest.empty() || (trimmed.size() > 3 && blank(trimmed[3]) && is_comment(rest));
}

struct Block {
    size_t line = 0;  // where "macro N" stands
    int number = 0;
    std::string name;
    std::vector<std::string> lines;
};

}  // namespace

bool parse_text(std::string_view text, MacroFile* out, std::string* error) {
    size_t line_no = 0;
    auto fail = [&](size_t at, const std::string& message) {
        if (error) *error = std::to_string(at) + ": " + message;
        return false;
    };

    std::map<int, Block> blocks;
    std::map<std::string, int> names;
    Block current;
    bool inside = false;

    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view raw = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++line_no;
        while (!raw.empty() && (raw.back() == '\r' || raw.back() == '\n')) raw.remove_suffix(1);
        const std::string_view trimmed = trim(raw);

        if (inside) {
            if (is_end(trimmed)) {
                const int number = current.number;
                blocks[number] = std::move(current);
                current = Block{};
                inside = false;
                continue;
            }
            if (is_header(trimmed)) {
                return fail(current.line, "macro " + std::to_string(current.number) +
                                              " has no \"end\" (the next macro starts at line " +
                                              std::to_string(line_no) + ")");
            }
            if (trimmed.starts_with('#')) continue;  // a note in the text, not a macro line
            if (trimmed.find('\0') != std::string_view::npos) {
                return fail(line_no, "the line holds a NUL byte");
            }
            if (trimmed.size() > kMaxLineLength) {
                return fail(line_no, "the line has " + std::to_string(trimmed.size()) +
                                         " characters; the module takes at most " +
                                         std::to_string(kMaxLineLength));
            }
            current.lines.emplace_back(trimmed);
            continue;
        }

        if (trimmed.empty() || is_comment(trimmed)) continue;
        if (!is_header(trimmed)) {
            return fail(line_no, "expected \"macro NUMBER [NAME]\", a comment or a blank line");
        }
        std::vector<std::string_view> w = words(trimmed);
        // A comment may end the header line.
        for (size_t i = 1; i < w.size(); ++i) {
            if (is_comment(w[i])) {
                w.resize(i);
                break;
            }
        }
        if (w.size() < 2) return fail(line_no, "\"macro\" needs a number from 1 to 255");
        const std::string_view num = w[1];
        int number = 0;
        bool digits = !num.empty() && num.size() <= 3;
        for (char c : num) {
            if (c < '0' || c > '9') digits = false;
        }
        if (digits) {
            for (char c : num) number = number * 10 + (c - '0');
        }
        if (!digits || number < 1 || number > int(kMaxMacros)) {
            return fail(line_no,
                        "macro number \"" + std::string(num) + "\" is not a number from 1 to 255");
        }
        if (auto it = blocks.find(number); it != blocks.end()) {
            return fail(line_no, "macro " + std::to_string(number) +
                                     " is already defined at line " +
                                     std::to_string(it->second.line));
        }
        std::string name;
        if (w.size() >= 3) {
            name = std::string(w[2]);
            if (!valid_name(name)) {
                return fail(line_no, "macro name \"" + name +
                                         "\" must start with a letter or \"_\" and hold only "
                                         "letters, digits and \"_\" (at most " +
                                         std::to_string(kMaxNameLength) + " characters)");
            }
            if (auto it = names.find(name); it != names.end()) {
                return fail(line_no, "macro name \"" + name + "\" is already used by macro " +
                                         std::to_string(it->second) + " (line " +
                                         std::to_string(blocks[it->second].line) + ")");
            }
        }
        if (w.size() > 3) {
            return fail(line_no, "unexpected \"" + std::string(w[3]) + "\" after the macro name");
        }
        if (!name.empty()) names[name] = number;
        current = Block{line_no, number, name, {}};
        inside = true;
    }
    if (inside) {
        return fail(current.line, "macro " + std::to_string(current.number) + " has no \"end\"");
    }

    MacroFile result;
    const int highest = blocks.empty() ? 0 : blocks.rbegin()->first;
    result.macros.resize(size_t(highest));
    for (auto& [number, block] : blocks) {
        result.macros[size_t(number - 1)] = Macro{block.name, std::move(block.lines), 0};
    }
    *out = std::move(result);
    return true;
}

}  // namespace imgpack

namespace imgpack {

std::string macro_text(const MacroFile& file, std::vector<std::string>* lost) {
    std::string out;
    const size_t n = file.macros.size();
    for (size_t k = 0; k < n; ++k) {
        const Macro& m = file.macros[k];
        // The reader makes macros without a block empty and nameless, up to the highest number
        // given: only the last one must be written even when it is empty.
        if (m.name.empty() && m.lines.empty() && k + 1 != n) continue;
        const std::string number = std::to_string(k + 1);
        out += "macro " + number;
        if (!m.name.empty()) out += " " + m.name;
        out += "\n";
        for (size_t i = 0; i < m.lines.size(); ++i) {
            const std::string& line = m.lines[i];
            const std::string_view t = trim(line);
            const bool kept = t.size() == line.size() && !t.starts_with('#') && !is_end(t) &&
                              !is_header(t) && t.size() <= kMaxLineLength &&
                              t.find_first_of("\r\n") == std::string_view::npos;
            if (!kept && lost) {
                lost->push_back("macro " + number + " line " + std::to_string(i + 1) + ": '" +
                                line + "'");
            }
            out += line.empty() ? "\n" : "    " + line + "\n";
        }
        out += "end\n";
    }
    return out;
}

}  // namespace imgpack
