#include "drawing/text_state.h"

#include <climits>
#include <cstring>

#include "drawing/drawing_state.h"
#include "gui/gui.h"

uint8_t lastTextMode;

namespace {

constexpr char kEsc = 0x1B;

struct ModeName {
    const char* name;
    uint8_t mode;
};
// Tried in this order: "TR" must come before "T".
constexpr ModeName kModes[] = {
    {"N", GUI_TM_NORMAL}, {"R", GUI_TM_REV}, {"TR", GUI_TM_TRANSREV},
    {"T", GUI_TM_TRANS},  {"X", GUI_TM_XOR},
};

int saturate(int64_t value) {
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : int(value);
}

// Skips the ESC of a text that asks for UTF-8, switching the encoding; returns the text to
// draw. The caller puts the encoding back.
const char* take_escape(const char* s) {
    if (s[0] != kEsc) return s;
    GUI_UC_SetEncodeUTF8();
    return s + 1;
}

void set_encoding(int encoding) {
    if (encoding == GUI_ENCODE_UTF8) {
        GUI_UC_SetEncodeUTF8();
    } else {
        GUI_UC_SetEncodeNone();
    }
}

}  // namespace

void KV_Text_Init() {
    lastTextMode = GUI_TM_NORMAL;
}

int setTextModeLength(const char* word, int* length) {
    if (length) *length = 0;
    if (word == nullptr) return 0;
    for (const ModeName& m : kModes) {
        const size_t n = std::strlen(m.name);
        if (std::strncmp(word, m.name, n) != 0) continue;
        lastTextMode = m.mode;
        GUI_SetTextMode(m.mode);
        curTextMode = m.name;
        if (length) *length = int(n);
        return 1;
    }
    return 0;
}

int setTextMode(const char* word) {
    return setTextModeLength(word, nullptr);
}

int getTextMode() {
    return lastTextMode;
}

void KV_DispStringAt(const char* s, int x, int y) {
    if (s == nullptr) return;
    const int encoding = GUI_UC_GetEncoding();
    const int align = GUI_GetTextAlign();
    s = take_escape(s);
    GUI_DispStringAt(s, x, y);
    const int width = GUI_GetStringDistX(s);
    set_encoding(encoding);
    GUI_SetTextAlign(align);
    if ((align & GUI_TA_HORIZONTAL) == GUI_TA_RIGHT) {
        setCursor(saturate(int64_t(x) - Origin_X - width), saturate(int64_t(y) - Origin_Y));
    }
}

void KV_DispStringCenter(const char* s, int x0, int y0, int x1, int y1) {
    if (s == nullptr) return;
    const auto clamp16 = [](int value) {
        return int16_t(value > INT16_MAX ? INT16_MAX : value < INT16_MIN ? INT16_MIN : value);
    };
    const GUI_RECT r{clamp16(x0), clamp16(y0), clamp16(x1), clamp16(y1)};
    const int encoding = GUI_UC_GetEncoding();
    s = take_escape(s);
    GUI_DispStringInRect(s, &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
    set_encoding(encoding);
}

char alignLetterH(int align) {
    switch (align & GUI_TA_HORIZONTAL) {
        case GUI_TA_LEFT:
            return 'L';
        case GUI_TA_HCENTER:
            return 'C';
        case GUI_TA_RIGHT:
            return 'R';
    }
    return 'X';
}

char alignLetterV(int align) {
    switch (align & GUI_TA_VERTICAL) {
        case GUI_TA_TOP:
            return 'T';
        case GUI_TA_BOTTOM:
            return 'B';
        case GUI_TA_BASELINE:
            return 'L';
        case GUI_TA_VCENTER:
            return 'C';
    }
    return 'X';
}
