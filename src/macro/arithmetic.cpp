// Arithmetic in command lines: a backquoted "(a op b)" becomes its 32-bit result. Every
// operation wraps at 32 bits, on any build, and nothing in it can overflow: the operands are
// read with a range check and the operators work on unsigned values.
#include <cstring>

#include "macro/macro_private.h"
#include "macro/variables.h"

namespace {

using macro_text::read_decimal;

struct Line {
    char* dst;
    size_t pos;
    size_t limit;  // size - 1

    size_t room() const { return limit - pos; }
    // Plain characters stop at the buffer's end.
    void copy_bounded(const char* s, size_t n) {
        if (n > room()) n = room();
        std::memcpy(dst + pos, s, n);
        pos += n;
    }
};

// a op b; false when op is no operator or the division has no value.
bool evaluate(int32_t a, char op, int32_t b, int32_t* result) {
    const uint32_t ua = uint32_t(a);
    const uint32_t ub = uint32_t(b);
    switch (op) {
        case '+':
            *result = int32_t(ua + ub);
            return true;
        case '-':
            *result = int32_t(ua - ub);
            return true;
        case '*':
            *result = int32_t(ua * ub);
            return true;
        case '/':
            if (b == 0) return false;
            // The one quotient that leaves 32 bits wraps to itself.
            *result = (b == -1) ? int32_t(0u - ua) : a / b;
            return true;
        case '%':
            if (b == 0) {
                *result = a;
            } else {
                *result = (b == -1) ? 0 : a % b;
            }
            return true;
        default:
            return false;
    }
}

// The expression from "(" to its ")" (close points at the ")"), read as "(%ld%c%ld)": the
// operator follows the first number at once; text after the second number is ignored.
bool read_expression(const char* open, const char* close, int32_t* result) {
    const char* p = open + 1;
    int32_t a, b;
    if (!read_decimal(p, close, &a) || p >= close) return false;
    const char op = *p++;
    if (!read_decimal(p, close, &b)) return false;
    return evaluate(a, op, b, result);
}

}  // namespace

char* processMath(char* dst, size_t size, const char* src) {
    if (!dst || size == 0) return dst;
    Line out{dst, 0, size - 1};
    const char* s = src ? src : "";
    const char* const end = s + std::strlen(s);
    // Once no ")`" follows, none follows any later position either.
    bool closes = true;
    while (out.room() > 0) {
        const void* hit = std::memchr(s, '`', size_t(end - s));
        const char* tick = hit ? static_cast<const char*>(hit) : end;
        out.copy_bounded(s, size_t(tick - s));
        s = tick;
        if (s == end || out.room() == 0) break;
        if (s[1] != '(') {
            out.copy_bounded(s++, 1);
            continue;
        }
        const char* close = closes ? std::strstr(s + 2, ")`") : nullptr;
        if (!close) {
            closes = false;
            s += 2;
            continue;
        }
        int32_t result;
        if (read_expression(s + 1, close, &result)) {
            char digits[macro_text::kInt32Digits];
            const size_t n = macro_text::format_int32(result, digits);
            if (n <= out.room()) out.copy_bounded(digits, n);
        } else {
            out.copy_bounded(s + 1, size_t(close + 1 - (s + 1)));
        }
        s = close + 2;
    }
    dst[out.pos] = '\0';
    return dst;
}
