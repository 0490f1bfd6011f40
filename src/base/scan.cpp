#include "base/scan.h"

#include <cstdarg>
#include <cstdint>

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

enum class Size { kChar, kShort, kInt, kLong, kLongLong };

struct Number {
    bool ok = false;
    bool negative = false;
    bool overflow = false;
    uint64_t magnitude = 0;
};

// Reads an integer of the given base (0: decimal, octal or hex by prefix) from at most width
// characters, as strtol reads its subject sequence.
Number read_number(const char*& s, int width, int base) {
    Number n;
    const char* p = s;
    int left = width > 0 ? width : 1 << 30;
    if (left && (*p == '+' || *p == '-')) {
        n.negative = *p == '-';
        ++p;
        --left;
    }
    if ((base == 16 || base == 0) && left >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        digit_value(p[2]) < 16 && left >= 3) {
        p += 2;
        left -= 2;
        base = 16;
    } else if (base == 0) {
        base = (left && p[0] == '0') ? 8 : 10;
    }
    const char* digits = p;
    while (left && *p && digit_value(*p) < base) {
        const uint64_t d = uint64_t(digit_value(*p));
        if (n.magnitude > (UINT64_MAX - d) / uint64_t(base))
            n.overflow = true;
        else
            n.magnitude = n.magnitude * uint64_t(base) + d;
        ++p;
        --left;
    }
    if (p == digits) return n;  // no digits: matching failure, nothing consumed
    n.ok = true;
    s = p;
    return n;
}

// strtol with a long of the given bit width: saturates at the type's limits.
int64_t to_signed(const Number& n, int bits) {
    const uint64_t max = (uint64_t(1) << (bits - 1)) - 1;
    if (n.overflow || n.magnitude > max + (n.negative ? 1 : 0)) {
        return n.negative ? -int64_t(max) - 1 : int64_t(max);
    }
    return n.negative ? -int64_t(n.magnitude) : int64_t(n.magnitude);
}

// strtoul: saturates at the maximum, and a minus sign negates in the unsigned type.
uint64_t to_unsigned(const Number& n, int bits) {
    const uint64_t max = bits == 64 ? UINT64_MAX : (uint64_t(1) << bits) - 1;
    if (n.overflow || n.magnitude > max) return max;
    return n.negative ? (uint64_t(0) - n.magnitude) & max : n.magnitude;
}

void store_int(va_list& args, Size size, uint64_t bits) {
    switch (size) {
        case Size::kChar:
            *va_arg(args, signed char*) = static_cast<signed char>(bits);
            break;
        case Size::kShort:
            *va_arg(args, short*) = static_cast<short>(bits);
            break;
        case Size::kInt:
            *va_arg(args, int*) = static_cast<int>(bits);
            break;
        case Size::kLong:
            *va_arg(args, long*) = static_cast<long>(static_cast<int32_t>(bits));
            break;
        case Size::kLongLong:
            *va_arg(args, long long*) = static_cast<long long>(bits);
            break;
    }
}

void store_uint(va_list& args, Size size, uint64_t bits) {
    switch (size) {
        case Size::kChar:
            *va_arg(args, unsigned char*) = static_cast<unsigned char>(bits);
            break;
        case Size::kShort:
            *va_arg(args, unsigned short*) = static_cast<unsigned short>(bits);
            break;
        case Size::kInt:
            *va_arg(args, unsigned*) = static_cast<unsigned>(bits);
            break;
        case Size::kLong:
            *va_arg(args, unsigned long*) = static_cast<unsigned long>(static_cast<uint32_t>(bits));
            break;
        case Size::kLongLong:
            *va_arg(args, unsigned long long*) = static_cast<unsigned long long>(bits);
            break;
    }
}

// Parses a scanset after "[", returning the position after "]"; set[c] tells membership.
const char* parse_set(const char* f, bool set[256]) {
    bool invert = false;
    if (*f == '^') {
        invert = true;
        ++f;
    }
    for (int i = 0; i < 256; ++i) set[i] = false;
    if (*f == ']') {
        set[uint8_t(']')] = true;
        ++f;
    }
    while (*f && *f != ']') {
        if (f[1] == '-' && f[2] && f[2] != ']') {
            for (int c = uint8_t(f[0]); c <= uint8_t(f[2]); ++c) set[c] = true;
            f += 3;
        } else {
            set[uint8_t(*f++)] = true;
        }
    }
    if (*f == ']') ++f;
    if (invert) {
        for (int i = 0; i < 256; ++i) set[i] = !set[i];
    }
    return f;
}

}  // namespace

int kv_sscanf(const char* input, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const char* s = input;
    int assigned = 0;
    bool converted_any = false;  // any conversion (assigned or suppressed) succeeded
    const char* f = fmt;
    while (*f) {
        if (is_space(*f)) {
            while (is_space(*f)) ++f;
            while (is_space(*s)) ++s;
            continue;
        }
        if (*f != '%') {
            if (*s == '\0') goto input_failure;
            if (*s != *f) goto done;
            ++s;
            ++f;
            continue;
        }
        ++f;
        {
            bool suppress = false;
            if (*f == '*') {
                suppress = true;
                ++f;
            }
            int width = 0;
            while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
            Size size = Size::kInt;
            if (*f == 'h') {
                size = Size::kShort;
                if (*++f == 'h') {
                    size = Size::kChar;
                    ++f;
                }
            } else if (*f == 'l') {
                size = Size::kLong;
                if (*++f == 'l') {
                    size = Size::kLongLong;
                    ++f;
                }
            }
            const char conv = *f;
            if (conv == '\0') goto done;
            ++f;
            if (conv != 'c' && conv != '[' && conv != 'n') {
                while (is_space(*s)) ++s;
            }
            switch (conv) {
                case '%':
                    if (*s == '\0') goto input_failure;
                    if (*s != '%') goto done;
                    ++s;
                    break;
                case 'n':
                    if (!suppress) store_int(args, size, uint64_t(s - input));
                    break;
                case 'd':
                case 'i':
                case 'u':
                case 'x':
                case 'X':
                case 'o': {
                    if (*s == '\0') goto input_failure;
                    const int base = conv == 'd' || conv == 'u' ? 10
                                     : conv == 'i'              ? 0
                                     : conv == 'o'              ? 8
                                                                : 16;
                    const Number n = read_number(s, width, base);
                    if (!n.ok) goto done;
                    const int bits = size == Size::kLongLong ? 64 : 32;
                    if (!suppress) {
                        if (conv == 'd' || conv == 'i') {
                            store_int(args, size, uint64_t(to_signed(n, bits)));
                        } else {
                            store_uint(args, size, to_unsigned(n, bits));
                        }
                        ++assigned;
                    }
                    converted_any = true;
                    break;
                }
                case 'c': {
                    const int count = width > 0 ? width : 1;
                    char* dst = suppress ? nullptr : va_arg(args, char*);
                    for (int i = 0; i < count; ++i) {
                        if (*s == '\0') {
                            if (i == 0) goto input_failure;
                            break;
                        }
                        if (dst) dst[i] = *s;
                        ++s;
                    }
                    if (!suppress) ++assigned;
                    converted_any = true;
                    break;
                }
                case 's': {
                    if (*s == '\0') goto input_failure;
                    char* dst = suppress ? nullptr : va_arg(args, char*);
                    int i = 0;
                    while (*s && !is_space(*s) && (width == 0 || i < width)) {
                        if (dst) dst[i] = *s;
                        ++i;
                        ++s;
                    }
                    if (dst) dst[i] = '\0';
                    if (!suppress) ++assigned;
                    converted_any = true;
                    break;
                }
                case '[': {
                    bool set[256];
                    f = parse_set(f, set);
                    if (*s == '\0') goto input_failure;
                    char* dst = suppress ? nullptr : va_arg(args, char*);
                    int i = 0;
                    while (*s && set[uint8_t(*s)] && (width == 0 || i < width)) {
                        if (dst) dst[i] = *s;
                        ++i;
                        ++s;
                    }
                    if (i == 0) goto done;
                    if (dst) dst[i] = '\0';
                    if (!suppress) ++assigned;
                    converted_any = true;
                    break;
                }
                default:
                    goto done;
            }
        }
    }
    goto done;
input_failure:
    if (!converted_any) {
        va_end(args);
        return -1;
    }
done:
    va_end(args);
    return assigned;
}
