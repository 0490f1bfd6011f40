// Hexadecimal digits as the host writes them. Three readings exist on purpose: checked lines and
// colours take either case, RS-485 addresses are upper case only (a lower-case letter there is
// not an address of this module), and the \x escape of quoted text takes whatever it is given.
#pragma once

#include <cstdint>

// The value 0-15 of '0'-'9', 'a'-'f', 'A'-'F'; -1 for any other character.
constexpr int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value 0-15 of '0'-'9', 'A'-'F'; -1 for any other character, lower-case letters included.
constexpr int hex_digit_upper(char c) {
    return (c >= 'a' && c <= 'f') ? -1 : hex_digit(c);
}

// The digit value the \x escape gives c without checking it: letters from 'a' and from 'A'
// count on from 10, everything else counts from '0'. Validation is the host's business; the
// result only ever becomes one byte.
constexpr int hex_digit_unchecked(char c) {
    if (c >= 'a') return c - 'a' + 10;
    if (c > 0x40) return c - 'A' + 10;
    return c - '0';
}

// The four digits at s (either case) as a 16-bit value: 1 with *value set, 0 when any of them
// is not a digit (*value untouched).
constexpr int hex4(const char* s, uint16_t* value) {
    uint16_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hex_digit(s[i]);
        if (d < 0) return 0;
        v = uint16_t((v << 4) | d);
    }
    *value = v;
    return 1;
}
