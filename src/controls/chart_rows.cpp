#include "controls/chart_rows.h"

#include <climits>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/charts.h"
#include "controls/command_words.h"
#include "controls/screen_area.h"
#include "drawing/drawing_state.h"
#include "media/bitmaps.h"

namespace {

int result(int ok) {
    return ok ? kCmdDone : kCmdFailed;
}

// The words after the keyword.
char* arguments(char* line) {
    char* rest = line;
    while (*rest && *rest != ' ') ++rest;
    return *rest ? rest + 1 : nullptr;
}

// Width and colour pairs for pens 0, 1, ... until the words run out; a pair that is incomplete
// or refused fails the command, keeping the chart and the pens before it. widest: the widest
// pen given.
bool add_pens(int index, char** rest, int* widest) {
    *widest = 0;
    for (int pen = 0; *rest && **rest; ++pen) {
        int width;
        GUI_COLOR colour;
        if (!next_number(rest, &width) || !next_colour(rest, &colour) ||
            !KV_Chart_Set_Pen(index, pen, colour, width)) {
            return false;
        }
        if (width > *widest) *widest = width;
    }
    return true;
}

int define(char* rest) {
    int index, x0, y0, x1, y1, type, step, minimum, maximum;
    GUI_COLOR background;
    if (!next_number(&rest, &index) || !next_number(&rest, &x0) || !next_number(&rest, &y0) ||
        !next_number(&rest, &x1) || !next_number(&rest, &y1) || !next_number(&rest, &type) ||
        !next_number(&rest, &step) || !next_number(&rest, &minimum) ||
        !next_number(&rest, &maximum) || !next_colour(&rest, &background)) {
        return kCmdFailed;
    }
    if (!KV_HostAreaOnScreen(&x0, &y0, &x1, &y1)) return kCmdFailed;
    if (!KV_Chart_Setup(index, type, step, x0, y0, x1, y1, minimum, maximum, background)) {
        return kCmdFailed;
    }
    int widest;
    const bool pens = add_pens(index, &rest, &widest);
    KV_Chart_FinishSetup(index, widest);
    return result(pens);
}

int define_over_bitmap(char* rest) {
    int index, x, y, step, minimum, maximum, bitmap;
    if (!next_number(&rest, &index) || !next_number(&rest, &x) || !next_number(&rest, &y) ||
        !next_number(&rest, &step) || !next_number(&rest, &minimum) ||
        !next_number(&rest, &maximum) || !next_number(&rest, &bitmap)) {
        return kCmdFailed;
    }
    BitmapHandle b;
    if (!KV_GetExtBitmap(bitmap, &b)) {
        txString(":Bitmap not present /r");
        return kCmdFailed;
    }
    x = atOriginX(x);
    y = atOriginY(y);
    // Far corner saturated: a position near the end of the int range must fail the check, not
    // wrap round onto the screen.
    const int x1 = x > INT_MAX - int(b.width) ? INT_MAX : x + int(b.width);
    const int y1 = y > INT_MAX - int(b.height) ? INT_MAX : y + int(b.height);
    if (!KV_AreaOnScreen(x, y, x1, y1)) return kCmdFailed;
    if (!KV_BitmapChart_Setup(index, step, x, y, minimum, maximum, bitmap)) return kCmdFailed;
    int widest;
    return result(add_pens(index, &rest, &widest));
}

int change_pen(char* rest) {
    int index, pen, width;
    GUI_COLOR colour;
    if (!next_number(&rest, &index) || !next_number(&rest, &pen) || !next_number(&rest, &width) ||
        !next_colour(&rest, &colour)) {
        return kCmdFailed;
    }
    // The host counts pens from 1.
    return result(pen >= 1 && KV_ChangeChartPen(index, pen - 1, width, colour));
}

int set_background(char* rest) {
    int index;
    GUI_COLOR colour;
    if (!next_number(&rest, &index) || !next_colour(&rest, &colour)) return kCmdFailed;
    return result(KV_SetChartBackgroundColor(index, colour));
}

// "on" or "off" for one of the sweeping charts' modes.
int set_mode(char* rest, int (*set)(int, int)) {
    int index;
    if (!next_number(&rest, &index)) return kCmdFailed;
    const char* word = next_word(&rest);
    if (!word) return kCmdFailed;
    if (exact(word, "on")) return result(set(index, 1));
    if (exact(word, "off")) return result(set(index, 0));
    return kCmdFailed;
}

int plot(char* rest) {
    int index;
    if (!next_number(&rest, &index)) return kCmdFailed;
    int32_t values[kChartPens];
    for (int32_t& value : values) value = kChartNoValue;
    int count = 0;
    // A word starting with "-" is a pen without a value, so the host can break one line while
    // the others go on; negative values cannot be sent this way.
    for (const char* word; count < kChartPens && (word = next_word(&rest)) != nullptr; ++count) {
        if (word[0] == '-') continue;
        int value;
        if (kv_sscanf(word, "%d", &value) != 1) return kCmdFailed;
        values[count] = value;
    }
    return result(KV_Chart_Show(index, count, values));
}

}  // namespace

int row_chart(char* line) {
    // Longest keyword first: each shorter one is a prefix of a longer one.
    int index, number;
    if (prefix(line, "cdbb")) {
        if (kv_sscanf(line, "%*s %d %d", &index, &number) != 2) return kCmdFailed;
        return result(KV_SetChartBitmap(index, number));
    }
    if (prefix(line, "cdbc")) return set_background(arguments(line));
    if (prefix(line, "cdp")) return change_pen(arguments(line));
    if (prefix(line, "cddm")) return set_mode(arguments(line), KV_SetChartDrawMode);
    if (prefix(line, "cdrm")) return set_mode(arguments(line), KV_SetChartRetraceMode);
    if (prefix(line, "cdb")) return define_over_bitmap(arguments(line));
    if (prefix(line, "cd")) return define(arguments(line));
    if (prefix(line, "cc")) {
        if (kv_sscanf(line, "%*s %d", &index) != 1) return kCmdFailed;
        return result(KV_ClearAndResetChartDisplay(index));
    }
    if (prefix(line, "cr")) {
        if (kv_sscanf(line, "%*s %d", &index) != 1) return kCmdFailed;
        return result(KV_ResetChartCursor(index));
    }
    if (prefix(line, "cv")) return plot(arguments(line));
    return kNoMatch;
}
