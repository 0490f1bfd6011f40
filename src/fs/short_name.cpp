#include "fs/short_name.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kBaseLength = 8;
constexpr size_t kExtLength = 3;
constexpr unsigned char kDeletedMark = 0xE5;  // stored as 0x05 when it is a name's first byte
constexpr unsigned char kDeletedEscape = 0x05;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool valid_char(unsigned char c) {
    if (c >= 0x80) return true;  // code-page characters of names written on a PC
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

}  // namespace

bool fs_parse_short_name(const char* text, size_t len, char out[kShortNameLength]) {
    if (!text || len == 0) return false;
    std::memset(out, ' ', kShortNameLength);
    if ((len == 1 || len == 2) && std::strncmp(text, "..", len) == 0) {
        std::memset(out, '.', len);
        return true;
    }
    size_t dot = len;
    for (size_t i = 0; i < len; ++i) {
        if (text[i] != '.') continue;
        if (dot != len) return false;
        dot = i;
    }
    const size_t base = dot;
    const size_t ext = dot == len ? 0 : len - dot - 1;
    if (base == 0 || base > kBaseLength || ext > kExtLength) return false;
    for (size_t i = 0; i < base; ++i) {
        if (!valid_char(uint8_t(text[i]))) return false;
        out[i] = upper(text[i]);
    }
    for (size_t i = 0; i < ext; ++i) {
        if (!valid_char(uint8_t(text[dot + 1 + i]))) return false;
        out[kBaseLength + i] = upper(text[dot + 1 + i]);
    }
    if (uint8_t(out[0]) == kDeletedMark) out[0] = char(kDeletedEscape);
    return true;
}

void fs_short_name_text(const char raw[kShortNameLength], char out[kShortNameTextSize]) {
    size_t n = 0;
    for (size_t i = 0; i < kBaseLength && raw[i] != ' '; ++i) {
        out[n++] = (i == 0 && uint8_t(raw[0]) == kDeletedEscape) ? char(kDeletedMark) : raw[i];
    }
    if (raw[kBaseLength] != ' ') {
        out[n++] = '.';
        for (size_t i = kBaseLength; i < kShortNameLength && raw[i] != ' '; ++i) out[n++] = raw[i];
    }
    out[n] = 0;
}

bool fs_short_name_equal(const char* a, const char* b) {
    for (size_t i = 0; i < kShortNameLength; ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}
