#include "sim/script.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/byte_text.h"
#include "sim/path_check.h"
#include "sim/touch_spec.h"

namespace sim {

namespace {

struct Token {
    std::string text;  // unescaped when quoted
    bool quoted = false;
};

bool tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < line.size() && line[j] != '"') j += line[j] == '\\' ? 2 : 1;
            if (j >= line.size()) {
                *error = "unterminated text (missing closing \")";
                return false;
            }
            Token t;
            t.quoted = true;
            std::string why;
            if (!unescape(line.substr(i + 1, j - i - 1), &t.text, &why)) {
                *error = why;
                return false;
            }
            tokens->push_back(std::move(t));
            i = j + 1;
        } else {
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
            tokens->push_back({std::string(line.substr(i, j - i)), false});
            i = j;
        }
    }
    return true;
}

bool parse_ms(const Token& t, uint64_t* ns, std::string* error) {
    errno = 0;
    char* end = nullptr;
    const double ms = t.quoted ? -1 : std::strtod(t.text.c_str(), &end);
    if (t.quoted || t.text.empty() || errno != 0 || *end != '\0' || !std::isfinite(ms) || ms < 0 ||
        ms > 3.2e10) {
        *error = "'" + t.text + "' is not a time in milliseconds";
        return false;
    }
    *ns = uint64_t(std::llround(ms * 1e6));
    return true;
}

bool parse_hex(const std::vector<Token>& args, std::string* out, std::string* error) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (args.empty()) {
        *error = "sendhex needs hex bytes, e.g. sendhex 76 65 72 73 0D";
        return false;
    }
    for (const auto& a : args) {
        if (a.quoted || a.text.size() % 2 != 0) {
            *error = "'" + a.text + "' is not hex bytes (two digits each)";
            return false;
        }
        for (size_t i = 0; i < a.text.size(); i += 2) {
            const int hi = digit(a.text[i]);
            const int lo = digit(a.text[i + 1]);
            if (hi < 0 || lo < 0) {
                *error = "'" + a.text + "' is not hex bytes (two digits each)";
                return false;
            }
            *out += char(hi << 4 | lo);
        }
    }
    return true;
}

bool parse_count(const Token& t, int* v, const char* what, std::string* error) {
    const std::string& s = t.text;
    bool ok = !t.quoted && !s.empty() && s.size() <= 6;
    int n = 0;
    for (size_t i = 0; ok && i < s.size(); ++i) {
        ok = s[i] >= '0' && s[i] <= '9';
        n = n * 10 + (s[i] - '0');
    }
    if (!ok) {
        *error = "'" + s + "' is not " + what;
        return false;
    }
    *v = n;
    return true;
}

// Which commands take the "aux" prefix.
bool port_command(std::string_view word) {
    return word == "send" || word == "sendhex" || word == "expect" || word == "expect-silence" ||
           word == "wait-for" || word == "discard";
}

class LineParser {
  public:
    LineParser(const std::string& base_dir, uint64_t* expect_limit)
        : base_dir_(base_dir), expect_limit_(expect_limit) {}

    // Appends the step of one line (if it has one).
    bool parse(std::string_view line, int number, std::vector<ScriptStep>* steps,
               std::string* error) {
        std::vector<Token> t;
        if (!tokenize(line, &t, error)) return false;
        if (t.empty()) return true;
        ScriptStep step;
        step.line = number;
        size_t k = 0;
        if (!t[0].quoted && t[0].text == "aux") {
            step.port = 1;
            k = 1;
            if (t.size() < 2 || t[1].quoted || !port_command(t[1].text)) {
                *error =
                    "aux goes before send, sendhex, expect, expect-silence, wait-for or "
                    "discard";
                return false;
            }
        }
        if (t[k].quoted) {
            *error = "a line starts with a command, not a text";
            return false;
        }
        const std::string& cmd = t[k].text;
        const std::vector<Token> args(t.begin() + long(k) + 1, t.end());

        auto text_arg = [&](bool allow_limit) -> bool {
            const bool limit =
                allow_limit && args.size() == 3 && !args[1].quoted && args[1].text == "within";
            if (args.empty() || !args[0].quoted || (args.size() != 1 && !limit)) {
                *error = cmd + " needs one text in double quotes" +
                         (allow_limit ? std::string(", optionally followed by within MS") : "");
                return false;
            }
            step.bytes = args[0].text;
            if (allow_limit) {
                step.ns = *expect_limit_;
                if (limit && !parse_ms(args[2], &step.ns, error)) return false;
            }
            return true;
        };
        auto ms_arg = [&]() -> bool {
            if (args.size() != 1) {
                *error = cmd + " needs one time in milliseconds";
                return false;
            }
            return parse_ms(args[0], &step.ns, error);
        };
        auto no_args = [&]() -> bool {
            if (!args.empty()) *error = cmd + " takes nothing after it";
            return args.empty();
        };

        if (cmd == "send") {
            step.kind = StepKind::kSend;
            if (!text_arg(false)) return false;
        } else if (cmd == "sendhex") {
            step.kind = StepKind::kSend;
            if (!parse_hex(args, &step.bytes, error)) return false;
        } else if (cmd == "expect") {
            step.kind = StepKind::kExpect;
            if (!text_arg(true)) return false;
            if (step.bytes.empty()) {
                *error = "expect needs a non-empty text";
                return false;
            }
        } else if (cmd == "wait-for") {
            step.kind = StepKind::kWaitFor;
            if (!text_arg(true)) return false;
            if (step.bytes.empty()) {
                *error = "wait-for needs a non-empty text";
                return false;
            }
        } else if (cmd == "expect-silence") {
            step.kind = StepKind::kExpectSilence;
            if (!ms_arg()) return false;
        } else if (cmd == "discard") {
            step.kind = StepKind::kDiscard;
            if (!no_args()) return false;
        } else if (cmd == "wait") {
            step.kind = StepKind::kWait;
            if (!ms_arg()) return false;
        } else if (cmd == "expect-timeout") {
            // Not a step: the limit for the expect and wait-for lines that follow.
            if (!ms_arg()) return false;
            *expect_limit_ = step.ns;
            return true;
        } else if (cmd == "screenshot") {
            step.kind = StepKind::kScreenshot;
            if (args.size() != 1 || args[0].text.empty()) {
                *error = "screenshot needs one file name";
                return false;
            }
            step.path = args[0].text;
            if (step.path[0] != '/' && !base_dir_.empty()) step.path = base_dir_ + "/" + step.path;
        } else if (cmd == "wav") {
            step.kind = StepKind::kWav;
            if (args.size() != 1 || args[0].text.empty()) {
                *error = "wav needs one file name";
                return false;
            }
            step.path = args[0].text;
            if (step.path[0] != '/' && !base_dir_.empty()) step.path = base_dir_ + "/" + step.path;
        } else if (cmd == "reset" || cmd == "power-cycle" || cmd == "power-off" ||
                   cmd == "power-on") {
            step.kind = cmd == "reset"         ? StepKind::kReset
                        : cmd == "power-cycle" ? StepKind::kPowerCycle
                        : cmd == "power-off"   ? StepKind::kPowerOff
                                               : StepKind::kPowerOn;
            if (!no_args()) return false;
        } else if (cmd == "sd") {
            // sd insert-image FILE | sd insert-folder DIR | sd remove
            const std::string what = args.empty() ? "" : args[0].text;
            if (what == "remove" && args.size() == 1) {
                step.kind = StepKind::kSdRemove;
            } else if ((what == "insert-image" || what == "insert-folder") && args.size() == 2 &&
                       !args[1].text.empty()) {
                step.kind =
                    what == "insert-image" ? StepKind::kSdInsertImage : StepKind::kSdInsertFolder;
                step.path = args[1].text;
                if (step.path[0] != '/' && !base_dir_.empty()) {
                    step.path = base_dir_ + "/" + step.path;
                }
            } else {
                *error = "sd needs 'insert-image FILE', 'insert-folder DIR' or 'remove'";
                return false;
            }
        } else if (cmd == "touch" || cmd == "move" || cmd == "drag" || cmd == "tap") {
            // touch X Y [P] | move X Y | drag X Y MS | tap X Y MS [P]
            const size_t least = cmd == "touch" || cmd == "move" ? 2 : 3;
            const size_t most = cmd == "move" ? 2 : cmd == "drag" ? 3 : least + 1;
            if (args.size() < least || args.size() > most) {
                *error = cmd == "touch"  ? "touch needs X Y and optionally a pressure"
                         : cmd == "move" ? "move needs X Y"
                         : cmd == "drag" ? "drag needs X Y and a time in milliseconds"
                                         : "tap needs X Y, a time in milliseconds and optionally "
                                           "a pressure";
                return false;
            }
            step.kind = cmd == "touch"  ? StepKind::kTouch
                        : cmd == "move" ? StepKind::kMove
                        : cmd == "drag" ? StepKind::kDrag
                                        : StepKind::kTap;
            if (!parse_count(args[0], &step.x, "a screen x position", error) ||
                !parse_count(args[1], &step.y, "a screen y position", error)) {
                return false;
            }
            if (least == 3 && !parse_ms(args[2], &step.ns, error)) return false;
            if (args.size() == most && most > least &&
                !parse_count(args.back(), &step.pressure, "a pressure", error)) {
                return false;
            }
        } else if (cmd == "release") {
            step.kind = StepKind::kRelease;
            if (!no_args()) return false;
        } else if (cmd == "panel") {
            step.kind = StepKind::kPanel;
            for (const auto& a : args) step.bytes += (step.bytes.empty() ? "" : " ") + a.text;
            // Checked against any panel: the words do not depend on its size.
            simlink::TouchPanelConfig probe = simlink::default_touch_panel(800, 480);
            if (!apply_touch_panel_spec(step.bytes, &probe, error)) return false;
        } else {
            *error = "unknown command '" + cmd + "'";
            return false;
        }
        steps->push_back(std::move(step));
        return true;
    }

  private:
    const std::string& base_dir_;
    uint64_t* expect_limit_;
};

}  // namespace

bool parse_script(std::string_view text, const std::string& name, const std::string& base_dir,
                  Script* out, std::string* error) {
    Script script;
    script.name = name;
    uint64_t expect_limit = kDefaultExpectLimitNs;
    LineParser parser(base_dir, &expect_limit);
    int number = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        ++number;
        std::string why;
        if (!parser.parse(text.substr(pos, eol - pos), number, &script.steps, &why)) {
            *error = name + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        pos = eol + 1;
    }
    *out = std::move(script);
    return true;
}

std::string step_path_problem(const ScriptStep& step) {
    std::string why;
    const char* what = "";
    switch (step.kind) {
        case StepKind::kSdInsertImage:
            what = "sd insert-image";
            why = check_card_image(step.path);
            break;
        case StepKind::kSdInsertFolder:
            what = "sd insert-folder";
            why = check_card_folder(step.path);
            break;
        case StepKind::kScreenshot:
            what = "screenshot";
            why = check_writable_file(step.path);
            break;
        case StepKind::kWav:
            what = "wav";
            why = check_writable_file(step.path);
            break;
        default:
            break;
    }
    return why.empty() ? "" : path_problem(what, step.path, why);
}

bool check_script_paths(const Script& script, std::string* error) {
    for (const auto& step : script.steps) {
        if (const std::string why = step_path_problem(step); !why.empty()) {
            *error = script.name + ":" + std::to_string(step.line) + ": " + why;
            return false;
        }
    }
    return true;
}

bool load_script(const std::string& path, Script* out, std::string* error) {
    if (const std::string why = check_readable_file(path); !why.empty()) {
        *error = path_problem("script", path, why);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    Script script;
    if (!parse_script(text.str(), path, dir, &script, error) ||
        !check_script_paths(script, error)) {
        return false;
    }
    *out = std::move(script);
    return true;
}

}  // namespace sim
