#include "gui/utf8.h"

#include "gui/gui.h"

namespace gui {

int decode_char(const char* s, const char* end, int encoding, uint32_t* code) {
    const uint8_t b0 = uint8_t(s[0]);
    if (encoding != GUI_ENCODE_UTF8 || b0 < 0x80) {
        *code = b0;
        return 1;
    }
    int need;
    uint32_t cp;
    // The second byte's range rules out overlong forms, surrogates and codes past U+10FFFF.
    uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        *code = kReplacementChar;
        return 1;
    }
    for (int n = 1; n <= need; ++n) {
        if (s + n >= end) {
            *code = kReplacementChar;
            return n;
        }
        const uint8_t b = uint8_t(s[n]);
        if (b < lo || b > hi) {
            *code = kReplacementChar;
            return n;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    *code = cp;
    return need + 1;
}

}  // namespace gui
