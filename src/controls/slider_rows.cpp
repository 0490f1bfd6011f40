#include "controls/slider_rows.h"

#include "base/interpreter.h"
#include "base/scan.h"
#include "controls/sliders.h"
#include "drawing/drawing_state.h"
#include "touch/hotspots.h"

int row_slider(char* line) {
    int spot, background, x, y, thumb, offset, orientation, invert, optionT, max, min;
    if (kv_sscanf(line, "sl %d %d %d %d %d %d %d %d %d %d%d", &spot, &background, &x, &y, &thumb,
                  &offset, &orientation, &invert, &optionT, &max, &min) == 11) {
        if (!KV_Slider_Setup(spot, orientation, optionT, atOriginX(x), atOriginY(y), offset, invert,
                             max, min, background, thumb)) {
            return kCmdFailed;
        }
        handle_spotNotReleasedWhenDefined(spot);
        return kCmdDone;
    }
    int value;
    if (kv_sscanf(line, "sv %d %d", &spot, &value) == 2) {
        return KV_Slider_Value(spot, value) ? kCmdDone : kCmdFailed;
    }
    return kNoMatch;
}

int row_circular_slider(char* line) {
    int n[15];
    if (kv_sscanf(line, "slc %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d", &n[0], &n[1], &n[2],
                  &n[3], &n[4], &n[5], &n[6], &n[7], &n[8], &n[9], &n[10], &n[11], &n[12], &n[13],
                  &n[14]) == 15) {
        return kCmdFailed;
    }
    return kv_sscanf(line, "svc %d %d", &n[0], &n[1]) == 2 ? kCmdFailed : kNoMatch;
}
