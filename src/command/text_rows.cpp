#include "command/text_rows.h"

#include <cstring>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/main_loop.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "media/fonts.h"

namespace {

constexpr char kQuote = '"';
constexpr int kWordSize = 10;  // a "%9s" word and its NUL

// The box of the box forms of "t"/"ts".
GUI_RECT rect;

int16_t clamp16(int64_t value) {
    return int16_t(value > INT16_MAX ? INT16_MAX : value < INT16_MIN ? INT16_MIN : value);
}

// The cursor, where texts without a position are drawn.
int cursor_x() {
    return GUI_GetDispPosX();
}
int cursor_y() {
    return GUI_GetDispPosY();
}

// ---------------------------------------------------------------------------------------------
// Box text

enum class Layout { kNone, kWordWrap, kCharWrap, kCounterClockwise, kClockwise, kUpsideDown };

// The layout option at the start of word; longer names first where one begins another.
Layout layout_option(const char* word) {
    if (prefix(word, "WW")) return Layout::kWordWrap;
    if (prefix(word, "WC")) return Layout::kCharWrap;
    if (prefix(word, "CCW")) return Layout::kCounterClockwise;
    if (prefix(word, "CW")) return Layout::kClockwise;
    if (prefix(word, "I")) return Layout::kUpsideDown;
    return Layout::kNone;
}

void set_rect(const short box[4]) {
    rect = GUI_RECT{clamp16(int64_t(box[0]) + Origin_X), clamp16(int64_t(box[1]) + Origin_Y),
                    clamp16(int64_t(box[2]) + Origin_X), clamp16(int64_t(box[3]) + Origin_Y)};
}

int box_text(const char* text, const short box[4], const char* word) {
    set_rect(box);
    int length;
    const int mode = setTextModeLength(word, &length);
    const Layout layout = layout_option(word + length);
    if (!mode && layout == Layout::kNone) return kCmdFailed;
    if (!mode) setTextMode("N");
    const int align = GUI_GetTextAlign();
    const int all = int(std::strlen(text));
    switch (layout) {
        case Layout::kWordWrap:
            GUI_DispStringInRectWrap(text, &rect, align, GUI_WRAPMODE_WORD);
            break;
        case Layout::kCharWrap:
            GUI_DispStringInRectWrap(text, &rect, align, GUI_WRAPMODE_CHAR);
            break;
        case Layout::kCounterClockwise:
            GUI_DispStringInRectEx(text, &rect, align, all, GUI_ROTATE_CCW);
            break;
        case Layout::kClockwise:
            GUI_DispStringInRectEx(text, &rect, align, all, GUI_ROTATE_CW);
            break;
        case Layout::kUpsideDown:
            GUI_DispStringInRectEx(text, &rect, align, all, GUI_ROTATE_180);
            break;
        case Layout::kNone:
            GUI_DispStringInRect(text, &rect, align);
            break;
    }
    if (mode) GUI_SetTextMode(GUI_TM_NORMAL);
    return kCmdDone;
}

// The options after the quoted text of "t " and "ts", tried in their order.
int text_with_options(const char* text, const char* rest) {
    short box[4];
    char word[kWordSize];
    if (kv_sscanf(rest, "%hd%hd%hd%hd%9s", &box[0], &box[1], &box[2], &box[3], word) == 5) {
        return box_text(text, box, word);
    }
    if (kv_sscanf(rest, "%hd%hd%hd%hd", &box[0], &box[1], &box[2], &box[3]) == 4) {
        setTextMode("N");
        set_rect(box);
        GUI_DispStringInRect(text, &rect, GUI_GetTextAlign());
        return kCmdDone;
    }
    int x, y, z;
    if (kv_sscanf(rest, "%d%d%d", &x, &y, &z) == 3) return kCmdFailed;
    if (kv_sscanf(rest, "%d%d%9s", &x, &y, word) == 3) {
        GUIDEMO_SetTextBorder(atOriginX(x));
        if (!setTextMode(word)) return kCmdFailed;
        KV_DispStringAt(text, atOriginX(x), atOriginY(y));
        GUI_SetTextMode(GUI_TM_NORMAL);
        return kCmdDone;
    }
    if (kv_sscanf(rest, "%d%d", &x, &y) == 2) {
        GUIDEMO_SetTextBorder(atOriginX(x));
        setTextMode("N");
        KV_DispStringAt(text, atOriginX(x), atOriginY(y));
        return kCmdDone;
    }
    if (kv_sscanf(rest, "%9s", word) == 1) {
        if (!setTextMode(word)) return kCmdFailed;
        KV_DispStringAt(text, cursor_x(), cursor_y());
        GUI_SetTextMode(GUI_TM_NORMAL);
        return kCmdDone;
    }
    GUI_SetTextMode(lastTextMode);
    KV_DispStringAt(text, cursor_x(), cursor_y());
    return kCmdDone;
}

// The mode word of "T": only the library's mode, by the word's first letters.
void inline_mode(const char* word) {
    if (prefix(word, "R")) {
        GUI_SetTextMode(GUI_TM_REV);
    } else if (prefix(word, "TR")) {
        GUI_SetTextMode(GUI_TM_TRANSREV);
    } else if (prefix(word, "T")) {
        GUI_SetTextMode(GUI_TM_TRANS);
    } else if (prefix(word, "X")) {
        GUI_SetTextMode(GUI_TM_XOR);
    } else if (prefix(word, "N")) {
        GUI_SetTextMode(GUI_TM_NORMAL);
    }
}

}  // namespace

int row_text_plain(char* line) {
    if (!prefix(line, "tu ")) return kNoMatch;
    GUI_DispString(line + 3);
    return kCmdDone;
}

int row_text_width(char* line) {
    if (!prefix(line, "t? \"")) return kNoMatch;
    char* text = line + 4;
    if (char* last = std::strrchr(text, kQuote)) *last = 0;
    perr("%d\r", GUI_GetStringDistX(text));
    return kCmdDone;
}

int row_text(char* line) {
    const bool raw = prefix(line, "ts");
    if (!raw && !prefix(line, "t ")) return kNoMatch;
    char* rest = nullptr;
    char* text;
    if (raw) {
        // An empty pair of quotes has no text, whatever follows it.
        const char* quote = std::strchr(line, kQuote);
        if (quote != nullptr && quote[1] == kQuote) return kCmdFailed;
        strtokr(line, kQuote, &rest);
        text = strtokr(rest, kQuote, &rest);
    } else {
        text = escstr(line, kQuote, &rest);
    }
    if (text == nullptr) return kCmdFailed;
    return text_with_options(text, rest);
}

int row_text_inline(char* line) {
    if (!prefix(line, "T \"")) return kNoMatch;
    char* rest = nullptr;
    const char* text = escstr(line, kQuote, &rest);
    if (text == nullptr) return kCmdFailed;
    int x, y;
    char word[kWordSize];
    const int n = kv_sscanf(rest, "%d%d%9s", &x, &y, word);
    if (n >= 2) {
        if (n == 3) inline_mode(word);
        GUIDEMO_SetTextBorder(atOriginX(x));
        GUI_DispStringAt(text, atOriginX(x), atOriginY(y));
        return kCmdDone;
    }
    if (kv_sscanf(rest, "%9s", word) == 1) inline_mode(word);
    GUI_DispString(text);
    return kCmdDone;
}

int row_text_align(char* line) {
    if (!prefix(line, "ta")) return kNoMatch;
    char horizontal, vertical;
    if (kv_sscanf(line, "ta %c%c", &horizontal, &vertical) != 2) {
        const int align = GUI_GetTextAlign();
        pout("%c%c\r", alignLetterH(align), alignLetterV(align));
        return kCmdDone;
    }
    int align;
    switch (horizontal) {
        case 'L':
        case 'l':
            align = GUI_TA_LEFT;
            break;
        case 'R':
        case 'r':
            align = GUI_TA_RIGHT;
            break;
        case 'C':
        case 'c':
            align = GUI_TA_HCENTER;
            break;
        default:
            return kCmdFailed;
    }
    switch (vertical) {
        case 'T':
        case 't':
            align |= GUI_TA_TOP;
            break;
        case 'B':
        case 'b':
            align |= GUI_TA_BOTTOM;
            break;
        case 'L':
        case 'l':
            align |= GUI_TA_BASELINE;
            break;
        case 'C':
        case 'c':
            align |= GUI_TA_VCENTER;
            break;
        default:
            return kCmdFailed;
    }
    GUI_SetTextAlign(align);
    return kCmdDone;
}

int row_text_mode(char* line) {
    if (!prefix(line, "tm")) return kNoMatch;
    if (std::strlen(line) < 4) {
        pout("%s\r", curTextMode);
        return kCmdDone;
    }
    // An argument that does not scan as a word is handed on down the chain.
    char word[kWordSize];
    if (kv_sscanf(line, "tm %9s", word) != 1) return kNoMatch;
    return setTextMode(word) ? kCmdDone : kCmdFailed;
}

int row_font(char* line) {
    if (exact(line, "f")) {
        perr("%s\r", KV_GetCurrentFontName());
        return kCmdDone;
    }
    if (exact(line, "f?")) {
        // The enumeration runs to its end so that the next listing starts at the first name
        // again; the old names from "dummy" on are not shown.
        bool shown = true;
        for (const char* name; (name = KV_FontName()) != nullptr;) {
            if (std::strcmp(name, "dummy") == 0) shown = false;
            if (shown) perr("%s\r", name);
        }
        char name[kFontNameSize];
        for (uint32_t index = 0; KV_UserFontName(&index, name);) perr("%s\r", name);
        return kCmdDone;
    }
    char name[kWordSize];
    if (kv_sscanf(line, "f %9s", name) != 1) return kNoMatch;
    return GUIDEMO_SetFont(name) ? kCmdDone : kCmdFailed;
}

int row_utf8(char* line) {
    if (!prefix(line, "utf8")) return kNoMatch;
    if (std::strstr(line, "on")) {
        GUI_UC_SetEncodeUTF8();
    } else if (std::strstr(line, "off")) {
        GUI_UC_SetEncodeNone();
    } else {
        txString(GUI_UC_GetEncoding() == GUI_ENCODE_UTF8 ? "utf8 on\r" : "utf8 off\r");
    }
    return kCmdDone;
}
