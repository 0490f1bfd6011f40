#include "controls/screen_area.h"

#include "base/host_text.h"
#include "device/panel_config.h"

bool KV_AreaOnScreen(int x0, int y0, int x1, int y1) {
    if (x0 >= 0 && y0 >= 0 && x1 < panel::kWidth && y1 < panel::kHeight) return true;
    perr("Part of control/bitmap area is out of screen bounds (0,0 -- %d,%d)\r", panel::kWidth - 1,
         panel::kHeight - 1);
    return false;
}
