#include "controls/level_bar_rows.h"

#include <utility>

#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/level_bars.h"
#include "controls/screen_area.h"
#include "drawing/drawing_state.h"

namespace {

// The next word of a line whose words are separated by spaces, or null at its end.
char* next_word(char** rest) {
    return *rest ? strtokr(*rest, ' ', rest) : nullptr;
}

bool next_number(char** rest, int* value) {
    const char* word = next_word(rest);
    return word && kv_sscanf(word, "%d", value) == 1;
}

// A colour word the host may use here: the three- or six-character forms only.
bool next_colour(char** rest, GUI_COLOR* colour) {
    const char* word = next_word(rest);
    if (!word || atoRGB(word) == -1) return false;
    *colour = atoBGR(word);
    return true;
}

int define_bar(char* args) {
    char* rest = skipLeadingWhitespace(args);
    int bar, x0, y0, x1, y1, orientation, invert, minimum;
    GUI_COLOR background;
    if (!next_number(&rest, &bar) || !next_number(&rest, &x0) || !next_number(&rest, &y0) ||
        !next_number(&rest, &x1) || !next_number(&rest, &y1) || !next_number(&rest, &orientation) ||
        !next_number(&rest, &invert) || !next_number(&rest, &minimum) ||
        !next_colour(&rest, &background)) {
        return kCmdFailed;
    }
    x0 = atOriginX(x0);
    x1 = atOriginX(x1);
    y0 = atOriginY(y0);
    y1 = atOriginY(y1);
    // Corners given the other way round describe the same bar.
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    if (!KV_AreaOnScreen(x0, y0, x1, y1)) return kCmdFailed;
    if (!KV_LevelBar_Setup(bar, 1, orientation, invert, x0, y0, x1, y1, minimum, background)) {
        return kCmdFailed;
    }
    // The bar stays defined with the segments added before a bad pair.
    for (int value; rest && *rest;) {
        GUI_COLOR colour;
        if (!next_number(&rest, &value) || !next_colour(&rest, &colour) ||
            !KV_LevelBar_Add_Color(bar, colour, value)) {
            return kCmdFailed;
        }
    }
    return kCmdDone;
}

}  // namespace

int row_level_bar(char* line) {
    if (prefix(line, "ld")) return define_bar(line + 2);
    int bar, value;
    if (kv_sscanf(line, "lv %d %d", &bar, &value) != 2) return kNoMatch;
    return KV_LevelBar_Show(bar, value) ? kCmdDone : kCmdFailed;
}
