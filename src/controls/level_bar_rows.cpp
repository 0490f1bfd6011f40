#include "controls/level_bar_rows.h"

#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/command_words.h"
#include "controls/level_bars.h"
#include "controls/screen_area.h"

namespace {

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
    if (!KV_HostAreaOnScreen(&x0, &y0, &x1, &y1)) return kCmdFailed;
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
