// Private to the macro module: the pieces the variable store, the expansion, the arithmetic and
// the variable commands share.
#pragma once

#include <cstddef>
#include <cstdint>

// The next number of the "R" items' generator (uniform over 1 .. 2^32 - 1; reproducible from
// start-up).
uint32_t macroRandom();

namespace macro_text {

constexpr size_t kInt32Digits = 11;  // "-2147483648"

// White space as scanf skips it.
inline bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A signed decimal as "%ld" reads it on the board (white space, sign, digits), without reading
// past end. false when there is no digit or the value leaves 32 bits; p is moved past what was
// read only on success.
inline bool read_decimal(const char*& p, const char* end, int32_t* value) {
    const char* s = p;
    while (s < end && is_space(*s)) ++s;
    bool negative = false;
    if (s < end && (*s == '-' || *s == '+')) negative = *s++ == '-';
    if (s >= end || *s < '0' || *s > '9') return false;
    const uint32_t bound = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint32_t v = 0;
    for (; s < end && *s >= '0' && *s <= '9'; ++s) {
        const uint32_t d = uint32_t(*s - '0');
        if (v > (bound - d) / 10) return false;
        v = v * 10 + d;
    }
    *value = negative ? int32_t(0u - v) : int32_t(v);
    p = s;
    return true;
}

// The decimal text of v into buf (at least kInt32Digits bytes, no NUL); returns its length.
inline size_t format_int32(int32_t v, char* buf) {
    char rev[kInt32Digits];
    uint32_t u = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
    size_t n = 0;
    do {
        rev[n++] = char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    size_t len = 0;
    if (v < 0) buf[len++] = '-';
    while (n > 0) buf[len++] = rev[--n];
    return len;
}

}  // namespace macro_text
