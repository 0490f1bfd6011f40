#include "drawing/screen_scroll.h"

#include <cstring>

#include "base/host_text.h"
#include "device/board.h"
#include "gui/gui.h"

namespace {

void fill_run(uint16_t* p, int n, uint16_t value) {
    for (int i = 0; i < n; ++i) p[i] = value;
}

}  // namespace

int KV_ScrollArea(int x0, int y0, int x1, int y1, int n, char direction, uint16_t fill) {
    // The library draws on the whole frame buffer, so its size is the panel's.
    const int W = LCD_GetXSize(), H = LCD_GetYSize();
    if (!(x0 < x1 && y0 < y1)) return 0;
    if (x0 < 0 || y0 < 0 || x1 >= W || y1 >= H) {
        perr("Part of control/bitmap area is out of screen bounds (0,0 -- %d,%d)\r", W - 1, H - 1);
        return 0;
    }
    // A negative count would move pixels in from outside the area.
    if (n < 0) return 0;
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    uint16_t* top = lcd_framebuffer() + y0 * W + x0;
    switch (direction) {
        case 'l':
        case 'r':
            if (n >= w) return 0;
            for (int r = 0; r < h; ++r) {
                uint16_t* row = top + r * W;
                if (direction == 'l') {
                    std::memmove(row, row + n, size_t(w - n) * 2);
                    fill_run(row + w - n, n, fill);
                } else {
                    std::memmove(row + n, row, size_t(w - n) * 2);
                    fill_run(row, n, fill);
                }
            }
            break;
        case 'u':
            if (n >= h) return 0;
            for (int r = 0; r + n < h; ++r)
                std::memcpy(top + r * W, top + (r + n) * W, size_t(w) * 2);
            for (int r = h - n; r < h; ++r) fill_run(top + r * W, w, fill);
            break;
        case 'd':
            if (n >= h) return 0;
            for (int r = h - 1; r >= n; --r)
                std::memcpy(top + r * W, top + (r - n) * W, size_t(w) * 2);
            for (int r = 0; r < n; ++r) fill_run(top + r * W, w, fill);
            break;
        case 'L':
        case 'R':
            if (n >= w || n > 1) return 0;
            if (n == 0) return 1;
            for (int r = 0; r < h; ++r) {
                uint16_t* row = top + r * W;
                if (direction == 'L') {
                    const uint16_t first = row[0];
                    std::memmove(row, row + 1, size_t(w - 1) * 2);
                    row[w - 1] = first;
                } else {
                    const uint16_t last = row[w - 1];
                    std::memmove(row + 1, row, size_t(w - 1) * 2);
                    row[0] = last;
                }
            }
            break;
        default:
            return 0;
    }
    board_checkpoint(Work::kPixels, uint32_t(w) * uint32_t(h));
    return 1;
}
