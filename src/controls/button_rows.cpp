#include "controls/button_rows.h"

#include "base/interpreter.h"
#include "base/scan.h"
#include "controls/buttons.h"
#include "drawing/drawing_state.h"

int row_button_state(char* line) {
    int n, s;
    if (kv_sscanf(line, "ssb %d %d", &n, &s) != 2) return kNoMatch;
    return KV_Button_SetState(n, s) ? kCmdDone : kCmdFailed;
}

int row_button(char* line) {
    int index, x, y, type;
    int centred = 0;
    if (kv_sscanf(line, "bd %d%d%d%d", &index, &x, &y, &type) != 4) {
        if (kv_sscanf(line, "bdc %d%d%d%d", &index, &x, &y, &type) == 4) {
            centred = 1;
        } else {
            if (kv_sscanf(line, "bc %d", &index) != 1) return kNoMatch;
            return KV_Button_Remove(index) ? kCmdDone : kCmdFailed;
        }
    }
    return cmd_ButtonDefine(line, index, atOriginX(x), atOriginY(y), type, centred) ? kCmdDone
                                                                                    : kCmdFailed;
}
