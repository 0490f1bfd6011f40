#include "controls/screen_area.h"

#include <utility>

#include "base/host_text.h"
#include "device/panel_config.h"
#include "drawing/drawing_state.h"

bool KV_AreaOnScreen(int x0, int y0, int x1, int y1) {
    if (x0 >= 0 && y0 >= 0 && x1 < panel::kWidth && y1 < panel::kHeight) return true;
    perr("Part of control/bitmap area is out of screen bounds (0,0 -- %d,%d)\r", panel::kWidth - 1,
         panel::kHeight - 1);
    return false;
}

bool KV_HostAreaOnScreen(int* x0, int* y0, int* x1, int* y1) {
    *x0 = atOriginX(*x0);
    *x1 = atOriginX(*x1);
    *y0 = atOriginY(*y0);
    *y1 = atOriginY(*y1);
    // Ordered before the check: reversed corners would otherwise pass it with x0 off the screen.
    if (*x1 < *x0) std::swap(*x0, *x1);
    if (*y1 < *y0) std::swap(*y0, *y1);
    return KV_AreaOnScreen(*x0, *y0, *x1, *y1);
}
