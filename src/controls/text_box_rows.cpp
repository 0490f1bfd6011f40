#include "controls/text_box_rows.h"

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/text_boxes.h"

namespace {

int result(int ok) {
    return ok ? kCmdDone : kCmdFailed;
}

}  // namespace

int row_stb_dump(char* line) {
    if (!prefix(line, "stdump")) return kNoMatch;
    int box;
    if (kv_sscanf(line, "stdump %d", &box) != 1) return kCmdFailed;
    return result(STB_Dump(box));
}

int row_stb_define(char* line) {
    if (!prefix(line, "std")) return kNoMatch;
    int box, type, x0, y0, x1, y1;
    const int n = kv_sscanf(line, "std %d %d %d %d %d %d", &box, &type, &x0, &y0, &x1, &y1);
    if (n == 6) return result(STB_DefineScrollTB(box, type, x0, y0, x1, y1));
    if (n != 1) return kCmdFailed;
    int lines, chars, bufLines, bufChars;
    if (!STB_QueryScrollTB(box, &lines, &chars, &bufLines, &bufChars)) return kCmdFailed;
    pout("%d %d %d %d\r", lines, chars, bufLines, bufChars);
    return kCmdDone;
}

int row_stb_text(char* line) {
    int box;
    if (prefix(line, "stc"))
        return result(kv_sscanf(line, "stc %d", &box) == 1 && STB_ClearScrollTB(box));
    const bool append = prefix(line, "sta");
    if (!append && !prefix(line, "stp")) return kNoMatch;
    if (kv_sscanf(line + 3, "%d", &box) != 1) return kCmdFailed;
    // The decoded text is written over the start of the line, after the number was read.
    const char* text = escstr(line, '"', nullptr);
    if (text == nullptr) return kCmdFailed;
    return result(append ? STB_AppendScrollTB(box, text) : STB_PrependScrollTB(box, text));
}

int row_stb_scroll(char* line) {
    if (!prefix(line, "sts")) return kNoMatch;
    int box, count = 0;
    char direction;
    const int n = kv_sscanf(line, "sts %d %c %d", &box, &direction, &count);
    if (n < 2) return kCmdFailed;
    return result(STB_ScrollDisplay(box, direction, n == 3 ? count : 0));
}

int row_stb_show(char* line) {
    if (!prefix(line, "stg")) return kNoMatch;
    int box, lineNumber, column = 1;
    const int n = kv_sscanf(line, "stg %d %d %d", &box, &lineNumber, &column);
    if (n < 2) return kCmdFailed;
    return result(STB_DisplayFromLineChar(box, lineNumber, n == 3 ? column : 1));
}
