// Variable expansion: each backquoted item of a command line becomes its value, optionally in a
// field format. Values are formatted straight into the line (no scratch buffer), so a long macro
// argument that fits the line goes in whole, and nothing is ever written past dst + size.
#include <cstring>

#include "base/settings_record.h"
#include "device/panel_config.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "macro/macro_env.h"
#include "macro/macro_private.h"
#include "macro/variables.h"
#include "media/ext_image.h"

namespace {

using macro_text::format_int32;
using macro_text::kInt32Digits;
using macro_text::read_decimal;

constexpr int kFormatMinLength = 2;    // "%5"
constexpr int kFormatMaxLength = 5;    // "%+080" is too long; "%-8.3" is the longest string form
constexpr int32_t kTempLowest = -300;  // tenths of a degree shown, below "*****"
constexpr int32_t kTempHighest = 999;
constexpr uint32_t kBaudThousands = 1000;

// What a field format asks for. Without one a value is written as it is.
struct Field {
    bool left = false;   // "-"
    bool zero = false;   // "0"
    bool plus = false;   // "+"
    int width = 0;       // 0: none
    int precision = -1;  // texts: at most this many characters; -1: all
};

// The output line: appends only what fits completely.
struct Line {
    char* dst;
    size_t pos;
    size_t limit;  // size - 1

    size_t room() const { return limit - pos; }
    void put_char(char c) {
        if (pos < limit) dst[pos++] = c;
    }
    void fill(char c, size_t n) {
        std::memset(dst + pos, c, n);
        pos += n;
    }
    void copy(const char* s, size_t n) {
        std::memcpy(dst + pos, s, n);
        pos += n;
    }
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits of [p, end) as a field length; 0 when there are none, and the value stops growing past
// what any check accepts, so no run of digits can overflow it.
int read_length(const char*& p, const char* end) {
    int v = 0;
    for (; p < end && is_digit(*p); ++p) {
        if (v <= kMacroFieldWidthMax) v = v * 10 + (*p - '0');
    }
    return v;
}

// Width: first digit 1-9, value 1-80.
bool read_width(const char*& p, const char* end, int* width) {
    if (p >= end || *p < '1' || *p > '9') return false;
    *width = read_length(p, end);
    return *width >= 1 && *width <= kMacroFieldWidthMax;
}

bool parse_number_format(const char* fmt, size_t len, Field* f) {
    const char* p = fmt;
    const char* end = fmt + len;
    if (p >= end || *p++ != '%') return false;
    if (end - p >= 2 && p[0] == '+' && p[1] == '0') {
        f->plus = f->zero = true;
        p += 2;
    } else if (p < end && (*p == '-' || *p == '0' || *p == '+')) {
        f->left = *p == '-';
        f->zero = *p == '0';
        f->plus = *p == '+';
        ++p;
    }
    return read_width(p, end, &f->width) && p == end;
}

bool parse_string_format(const char* fmt, size_t len, Field* f) {
    const char* p = fmt;
    const char* end = fmt + len;
    if (p >= end || *p++ != '%') return false;
    if (p < end && *p == '-') {
        f->left = true;
        ++p;
    }
    if (!read_width(p, end, &f->width)) return false;
    if (p >= end || *p++ != '.') return false;
    const char* digits = p;
    int precision = 0;
    for (; p < end && is_digit(*p); ++p) {
        if (precision < kMacroStringSize) precision = precision * 10 + (*p - '0');
    }
    f->precision = precision;
    return p != digits && p == end && precision >= 1;
}

// A number as "%d" with the field's flags and width would print it; appended only if it fits.
void put_number(Line& out, int32_t v, const Field& f) {
    char digits[kInt32Digits + 1];
    size_t n;
    char sign = 0;
    if (v < 0) {
        sign = '-';
        n = format_int32(v, digits) - 1;
        std::memmove(digits, digits + 1, n);
    } else {
        if (f.plus) sign = '+';
        n = format_int32(v, digits);
    }
    const size_t body = n + (sign ? 1 : 0);
    const size_t total = body < size_t(f.width) ? size_t(f.width) : body;
    if (total > out.room()) return;
    const size_t pad = total - body;
    if (f.left) {
        if (sign) out.put_char(sign);
        out.copy(digits, n);
        out.fill(' ', pad);
    } else if (f.zero) {
        if (sign) out.put_char(sign);
        out.fill('0', pad);
        out.copy(digits, n);
    } else {
        out.fill(' ', pad);
        if (sign) out.put_char(sign);
        out.copy(digits, n);
    }
}

// A text as "%s" (or "%W.Ps") would print it; appended only if it fits.
void put_text(Line& out, const char* s, const Field& f) {
    size_t n = 0;
    if (f.precision < 0) {
        n = std::strlen(s);
    } else {
        while (n < size_t(f.precision) && s[n]) ++n;
    }
    const size_t total = n < size_t(f.width) ? size_t(f.width) : n;
    if (total > out.room()) return;
    if (f.left) {
        out.copy(s, n);
        out.fill(' ', total - n);
    } else {
        out.fill(' ', total - n);
        out.copy(s, n);
    }
}

// "%+05.1f" of a reading in tenths of a degree, or "*****" outside -30.0 .. 99.9.
void format_temperature(int32_t tenths, char* buf) {
    if (tenths < kTempLowest || tenths > kTempHighest) {
        std::memcpy(buf, "*****", 6);
        return;
    }
    const int32_t a = tenths < 0 ? -tenths : tenths;
    buf[0] = tenths < 0 ? '-' : '+';
    buf[1] = char('0' + a / 100);
    buf[2] = char('0' + a / 10 % 10);
    buf[3] = '.';
    buf[4] = char('0' + a % 10);
    buf[5] = '\0';
}

// "115,200" for 115200: the thousands, a comma and the rest without leading zeros.
void format_baud(uint32_t rate, char* buf) {
    size_t n;
    if (rate >= kBaudThousands) {
        n = format_int32(int32_t(rate / kBaudThousands), buf);
        buf[n++] = ',';
        n += format_int32(int32_t(rate % kBaudThousands), buf + n);
    } else {
        n = format_int32(int32_t(rate), buf);
    }
    buf[n] = '\0';
}

// A hexadecimal number as "%x" reads it (optional 0x); false without digits or beyond 32 bits.
bool read_hex(const char*& p, const char* end, uint32_t* value) {
    const char* s = p;
    while (s < end && macro_text::is_space(*s)) ++s;
    if (end - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s += 2;
    uint32_t v = 0;
    const char* digits = s;
    for (; s < end; ++s) {
        int d;
        if (is_digit(*s)) {
            d = *s - '0';
        } else if (*s >= 'a' && *s <= 'f') {
            d = *s - 'a' + 10;
        } else if (*s >= 'A' && *s <= 'F') {
            d = *s - 'A' + 10;
        } else {
            break;
        }
        if (v > 0x0FFFFFFFu) return false;
        v = v << 4 | uint32_t(d);
    }
    if (s == digits) return false;
    *value = v;
    p = s;
    return true;
}

// An index after an item's letter: decimal, in [0, count).
bool read_index(const char*& p, const char* end, int count, int* n) {
    int32_t v;
    if (!read_decimal(p, end, &v) || v < 0 || v >= count) return false;
    *n = int(v);
    return true;
}

// "R a:b": a + (random mod (b + 1 - a)), the span taken in 64 bits so that the full 32-bit range
// works; an empty span gives nothing.
bool random_item(const char* p, const char* end, int32_t* value) {
    int32_t a, b;
    if (!read_decimal(p, end, &a) || p >= end || *p++ != ':' || !read_decimal(p, end, &b)) {
        return false;
    }
    const int64_t span = int64_t(b) - int64_t(a) + 1;
    if (span <= 0) return false;
    *value = int32_t(int64_t(a) + int64_t(uint64_t(macroRandom()) % uint64_t(span)));
    return true;
}

// The "X"/"Y" items: r relative touch, a absolute touch, m last pixel, c centre, o origin,
// s text cursor.
bool axis_item(char axis, char what, int32_t* value) {
    const bool x = axis == 'X';
    switch (what) {
        case 'r':
        case 'a':
            return macroTouchPoint(what, axis, value) != 0;
        case 'm':
            *value = (x ? panel::kWidth : panel::kHeight) - 1;
            return true;
        case 'c':
            *value = (x ? panel::kWidth : panel::kHeight) / 2;
            return true;
        case 'o':
            *value = x ? Origin_X : Origin_Y;
            return true;
        case 's': {
            const int64_t pos = x ? GUI_GetDispPosX() : GUI_GetDispPosY();
            *value = int32_t(pos - (x ? Origin_X : Origin_Y));
            return true;
        }
        default:
            return false;
    }
}

// The numeric items: how many values there are (0, 1, or 2 for a point's pair).
int number_item(const char* p, const char* end, int32_t* value, int32_t* second) {
    const char kind = *p++;
    int n;
    switch (kind) {
        case 'i':
            if (!read_index(p, end, kMacroVarCount, &n)) return false;
            *value = getMacro_iMem(n);
            return true;
        case 'e': {
            uint32_t h;
            if (!read_hex(p, end, &h) || h >= uint32_t(kMacroUserBytes)) return false;
            *value = getMacro_eByte(int(h));
            return true;
        }
        case 'p':
            if (!read_index(p, end, kMacroVarCount, &n)) return false;
            if (end - p >= 2 && p[0] == '.' && (p[1] == 'x' || p[1] == 'y')) {
                *value = p[1] == 'x' ? getMacro_ptX(n) : getMacro_ptY(n);
                return true;
            }
            *value = getMacro_ptX(n);
            *second = getMacro_ptY(n);
            return 2;
        case 'W':
        case 'H': {
            int32_t index;
            int w = 0, h = 0;
            if (!read_decimal(p, end, &index) || !KV_GetBitmapSize(int(index), &w, &h)) {
                return false;
            }
            *value = kind == 'W' ? w : h;
            return true;
        }
        case 'V':
            *value = eepromData.beepVol;
            return true;
        case 'B':
            *value = eepromData.brite;
            return true;
        case 'L': {
            int32_t index;
            return read_decimal(p, end, &index) && macroSliderValue(int(index), value) != 0;
        }
        case 'R':
            return random_item(p, end, value);
        case 'X':
        case 'Y':
            return p < end && axis_item(kind, *p, value);
        default:
            return false;
    }
}

// The text items; null when there is no value. buf holds a value made here.
const char* text_item(const char* p, const char* end, const char* const* args, char* buf) {
    int n;
    switch (*p) {
        case 'M':
            return getMacroString();
        case 's':
            ++p;
            return read_index(p, end, kMacroVarCount, &n) ? getMacroString2(n) : nullptr;
        case 'T': {
            int32_t tenths;
            if (!macroTemperatureTenths(&tenths)) return nullptr;
            format_temperature(tenths, buf);
            return buf;
        }
        case '$': {
            constexpr char kBaud[] = "$BAUD0";
            constexpr size_t kBaudLength = sizeof kBaud - 1;
            if (size_t(end - p) < kBaudLength || std::memcmp(p, kBaud, kBaudLength) != 0) {
                return nullptr;
            }
            format_baud(macroHostBaud(), buf);
            return buf;
        }
        default:
            if (!args || !read_index(p, end, kMacroArgCount, &n)) return nullptr;
            return args[n];
    }
}

bool is_text_item(char c) {
    return is_digit(c) || c == 'M' || c == 's' || c == 'T' || c == '$';
}

bool is_number_item(char c) {
    return c != '\0' && std::strchr("eipLRXYVBHW", c) != nullptr;
}

// One item: the text between the backquotes, [p, end).
void expand_item(Line& out, const char* p, const char* end, const char* const* args) {
    Field f;
    if (*p == '%') {
        const char* space = p;
        while (space < end && *space != ' ') ++space;
        const size_t len = size_t(space - p);
        if (space >= end || len < size_t(kFormatMinLength) || len > size_t(kFormatMaxLength)) {
            return;
        }
        const char* var = space + 1;
        if (var >= end) return;
        const bool ok = is_text_item(*var)     ? parse_string_format(p, len, &f)
                        : is_number_item(*var) ? parse_number_format(p, len, &f)
                                               : false;
        if (!ok) return;
        p = var;
    }
    if (is_text_item(*p)) {
        char buf[kInt32Digits * 2 + 2];
        const char* text = text_item(p, end, args, buf);
        if (text) put_text(out, text, f);
        return;
    }
    if (!is_number_item(*p)) return;
    int32_t value;
    int32_t second;
    const int count = number_item(p, end, &value, &second);
    if (count == 0) return;
    put_number(out, value, f);
    if (count == 2) {
        out.put_char(' ');
        put_number(out, second, f);
    }
}

// The first c in [p, end), or end.
const char* find(const char* p, const char* end, char c) {
    const void* hit = std::memchr(p, c, size_t(end - p));
    return hit ? static_cast<const char*>(hit) : end;
}

}  // namespace

bool isValidNumberFormat(const char* fmt, size_t len) {
    Field f;
    return fmt && parse_number_format(fmt, len, &f);
}

bool isValidStringFormat(const char* fmt, size_t len) {
    Field f;
    return fmt && parse_string_format(fmt, len, &f);
}

bool isValidNumberFormat(const char* fmt) {
    return fmt && isValidNumberFormat(fmt, std::strlen(fmt));
}

bool isValidStringFormat(const char* fmt) {
    return fmt && isValidStringFormat(fmt, std::strlen(fmt));
}

bool isValidFieldLength(const char* text) {
    if (!text) return false;
    const char* p = text;
    const char* end = text + std::strlen(text);
    const char* digits = p;
    const int length = read_length(p, end);
    return p != digits && length >= 1 && length <= kMacroFieldWidthMax;
}

char* expandVariables(char* dst, size_t size, const char* src, const char* const* args) {
    if (!dst || size == 0) return dst;
    Line out{dst, 0, size - 1};
    const char* const begin = src ? src : "";
    const char* const end = begin + std::strlen(begin);
    const char* s = begin;
    // The next backquote and slash, each found again only once the scan has passed it, so a
    // line is searched once whatever it holds.
    const char* tick = find(s, end, '`');
    const char* slash = find(s, end, '/');
    while (out.room() > 0) {
        if (tick < s) tick = find(s, end, '`');
        if (slash < s) slash = find(s, end, '/');
        // A run of plain characters: the whole line when it has no backquote and no slash.
        const char* stop = tick < slash ? tick : slash;
        const size_t run = size_t(stop - s);
        const size_t n = run < out.room() ? run : out.room();
        out.copy(s, n);
        s = stop;
        if (s == end || n < run) break;
        if (*s == '/') {
            if (s[1] == '/' || s[1] == '*') break;
            out.put_char(*s++);
            continue;
        }
        // A backquote that closes an arithmetic expression stays for processMath.
        if (s > begin && s[-1] == ')') {
            out.put_char(*s++);
            continue;
        }
        const char* close = find(s + 1, end, '`');
        if (close == end) {
            ++s;
            continue;
        }
        if (close == s + 1) {
            out.put_char('`');
            s += 2;
            continue;
        }
        if (s[1] == '(') {
            out.put_char('`');
            out.put_char('(');
            s += 2;
            continue;
        }
        expand_item(out, s + 1, close, args);
        s = close + 1;
    }
    dst[out.pos] = '\0';
    return dst;
}
