#include "macro/variable_commands.h"

#include <cstdint>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "macro/variables.h"

namespace {

constexpr int kByteMax = 0xFF;

bool is_white(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool var_in_range(int n) {
    return n >= 0 && n < kMacroVarCount;
}

int fail(const char* message) {
    pout("%s", message);
    return kCmdFailed;
}

// "set sN": the text after the variable word, quoted (escapes resolved) or, unquoted, from the
// eighth character on (the line is taken as "set s" digit, blank, text).
int set_string(char* line, int n) {
    char* p = line;
    while (*p && !is_white(*p)) ++p;
    while (is_white(*p)) ++p;
    while (*p && !is_white(*p)) ++p;
    while (is_white(*p)) ++p;
    if (*p == '\0') return fail(":err - text argument missing\r");
    const char* text = *p == '"' ? escstr(p, '"', nullptr) : line + 7;
    setMacroString2(text, n);
    return kCmdDone;
}

}  // namespace

int row_set(char* line) {
    if (!prefix(line, "set")) return kNoMatch;
    const bool hex = line[3] == 'x';
    int n, value;
    unsigned h, u;
    const int ints =
        hex ? kv_sscanf(line, "%*s i%d %x", &n, &u) : kv_sscanf(line, "%*s i%d %d", &n, &value);
    if (ints == 2) {
        if (!var_in_range(n)) return fail(":err - arg must be i0 thru i9\r");
        setMacro_iMem(n, hex ? int32_t(u) : int32_t(value));
        return kCmdDone;
    }
    const int bytes =
        hex ? kv_sscanf(line, "%*s e%x %x", &h, &u) : kv_sscanf(line, "%*s e%x %d", &h, &value);
    if (bytes == 2) {
        if (h >= unsigned(kMacroUserBytes)) return fail(":err - arg must be e0 thru eF\r");
        if (hex && u > unsigned(kByteMax)) return fail(":err - value must be 0x00 thru 0xFF\r");
        if (!hex && (value < 0 || value > kByteMax)) {
            return fail(":err - value must be 0 thru 255\r");
        }
        setMacro_eByte(int(h), uint8_t(hex ? u : unsigned(value)));
        return kCmdDone;
    }
    int x, y;
    if (kv_sscanf(line, "set p%d %d %d", &n, &x, &y) == 3) {
        if (!var_in_range(n)) return fail(":err - arg must be p0 thru p9\r");
        setMacro_pt(n, x, y);
        return kCmdDone;
    }
    if (kv_sscanf(line, "set s%d", &n) == 1) {
        if (!var_in_range(n)) return fail(":err - arg must be s0 thru s9\r");
        return set_string(line, n);
    }
    return kCmdFailed;
}

int row_get(char* line) {
    if (!prefix(line, "get")) return kNoMatch;
    const char mode = line[3];
    const bool plain = mode == ' ' || mode == '\t';
    int n;
    unsigned h;
    if (kv_sscanf(line, "%*s i%d", &n) == 1) {
        if (!var_in_range(n)) return fail(":err - arg must be i0 thru i9\r");
        const int32_t v = getMacro_iMem(n);
        if (plain || mode == 'd') {
            perr("%d\r", int(v));
        } else if (mode == 'x') {
            perr("%X\r", unsigned(uint32_t(v)));
        } else {
            return fail(":err - syntax\r");
        }
        return kCmdDone;
    }
    if (kv_sscanf(line, "%*s e%x", &h) == 1) {
        if (h >= unsigned(kMacroUserBytes)) return fail(":err - arg must be e0 thru eF\r");
        const int v = getMacro_eByte(int(h));
        if (plain || mode == 'd') {
            perr("%d\r", v);
        } else if (mode == 'x') {
            perr("%X\r", unsigned(v));
        } else {
            return fail(":err - syntax\r");
        }
        return kCmdDone;
    }
    if (kv_sscanf(line, "%*s p%d", &n) == 1) {
        if (!var_in_range(n)) return fail(":err - arg must be p0 thru p9\r");
        perr("%d %d\r", int(getMacro_ptX(n)), int(getMacro_ptY(n)));
        return kCmdDone;
    }
    if (kv_sscanf(line, "%*s s%d", &n) == 1) {
        if (!var_in_range(n)) return fail(":err - arg must be s0 thru s9\r");
        if (plain) {
            perr("%s\r", getMacroString2(n));
        } else if (mode == 'q') {
            perr("\"%s\"\r", getMacroString2(n));
        } else {
            return fail(":err - syntax\r");
        }
        return kCmdDone;
    }
    return kNoMatch;
}

int row_mstring(char* line) {
    if (prefix(line, "mpush")) {
        int n;
        const bool variable = kv_sscanf(line, "mpush %d", &n) == 1;
        if (variable && !var_in_range(n)) return kCmdFailed;
        char* rest = nullptr;
        const char* text = escstr(line, '"', &rest);
        if (!text) return kCmdFailed;
        int limit = kMacroStringMax;
        if (rest && kv_sscanf(rest, "%d", &limit) == 1 &&
            (limit < 1 || limit > kMacroPushLimitMax)) {
            return kCmdFailed;
        }
        return variable ? pushMacroString2(text, n, limit) : pushMacroString(text, limit);
    }
    if (prefix(line, "mpop")) {
        int a, b;
        const int k = kv_sscanf(line, "mpop %d %d", &a, &b);
        if (k == 1) return popMacroString(a);
        if (k == 2) return var_in_range(a) ? popMacroString2(b, a) : kCmdFailed;
        return kCmdFailed;
    }
    return kNoMatch;
}
