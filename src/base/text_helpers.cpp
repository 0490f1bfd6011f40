#include "base/text_helpers.h"

#include "base/hex.h"

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char* decode_quoted(char* s, char delim, char** rest, int* length) {
    if (rest) *rest = nullptr;
    if (!s || !*s) return nullptr;
    char* p = s;
    while (*p && *p != delim) ++p;
    if (!*p) return nullptr;
    ++p;  // past the opening quote
    char* out = s;
    while (*p && *p != delim) {
        char c = *p++;
        if (c == '\\' && *p) c = decodeEscape(p, [](char t) { return t == '\0'; });
        // A backslash as the line's last character stays a backslash.
        *out++ = c;
    }
    if (length) *length = int(out - s);
    *out = '\0';
    if (rest) *rest = *p ? p + 1 : p;
    return s;
}

}  // namespace

char* skipLeadingWhitespace(char* s) {
    if (!s) return nullptr;
    while (is_space(*s)) ++s;
    return s;
}

const char* skipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') ++s;
    return s;
}

bool onlyBlanks(const char* s) {
    return *skipBlanks(s) == 0;
}

int killTrailingComment(char* s) {
    if (!s) return 0;
    bool inside = s[0] == '"';
    for (char* p = inside ? s + 1 : s; *p; ++p) {
        if (*p == '"' && (p == s || p[-1] != '\\')) {
            inside = !inside;
            continue;
        }
        if (!inside && p[0] == '/' && p[1] == '/') {
            char* cut = p;
            while (cut > s && (is_space(cut[-1]) || cut[-1] == '/')) --cut;
            *cut = '\0';
            break;
        }
    }
    return s[0] ? 1 : 0;
}

char* escstr(char* s, char delim, char** rest) {
    return decode_quoted(s, delim, rest, nullptr);
}

char* escstrl(char* s, char delim, char** rest, int* length) {
    if (length) *length = 0;
    return decode_quoted(s, delim, rest, length);
}

char* strtokr(char* s, char delim, char** rest) {
    if (rest) *rest = nullptr;
    if (!s || !*s) return nullptr;
    char* p = s;
    while (*p && *p != delim) ++p;
    if (*p) {
        *p++ = '\0';
        while (*p == delim) ++p;
    }
    if (rest) *rest = p;
    return s;
}

int atoh(char c) {
    const int d = hex_digit(c);
    return d < 0 ? 0 : d;
}

int toHex(char* c) {
    const int v = atoh(*c);
    *c = char(v);
    return v;
}

uint8_t shtoU8(const char* p) {
    return uint8_t(hex_digit_unchecked(p[0]) * 16 + hex_digit_unchecked(p[1]));
}
