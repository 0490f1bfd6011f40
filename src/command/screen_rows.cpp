#include "command/screen_rows.h"

#include <cstring>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/animation.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/scan_wait.h"
#include "drawing/drawing_state.h"
#include "drawing/screen_scroll.h"
#include "gui/gui.h"
#include "gui/rgb565.h"

AreaSlot areaSlots[kAreaSlots];

namespace {

constexpr int W = panel::kWidth;
constexpr int H = panel::kHeight;

// Each slot has storage of its full capacity, so a large save in slot 0 cannot run into the
// block saved in slot 1. The store lies outside the frame buffer.
constexpr uint32_t kAreaOffset[kAreaSlots] = {
    0, kAreaCapacity[0], kAreaCapacity[0] + kAreaCapacity[1],
    kAreaCapacity[0] + kAreaCapacity[1] + kAreaCapacity[2]};
constexpr uint32_t kAreaStorePixels = kAreaOffset[3] + kAreaCapacity[3];
uint16_t areaStore[kAreaStorePixels];

bool on_screen(int64_t x, int64_t y) {
    return x >= 0 && x < W && y >= 0 && y < H;
}

int save_area(int x0, int y0, int x1, int y1, int slot) {
    const uint16_t ux0 = uint16_t(x0), uy0 = uint16_t(y0);
    const uint16_t ux1 = uint16_t(x1), uy1 = uint16_t(y1);
    if (ux1 < ux0 || uy1 < uy0) return kCmdFailed;
    const uint32_t w = uint32_t(ux1 - ux0) + 1, h = uint32_t(uy1 - uy0) + 1;
    if (w * h > kAreaCapacity[slot]) return kCmdFailed;
    // Only what is on the screen can be saved; reading past a row would take pixels from
    // elsewhere, past the last row from outside the frame buffer.
    if (ux1 >= W || uy1 >= H) return kCmdFailed;
    areaSlots[slot] = AreaSlot{uint16_t(w), uint16_t(h)};
    const uint16_t* fb = lcd_framebuffer();
    uint16_t* store = areaStore + kAreaOffset[slot];
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(store + r * w, fb + (uy0 + r) * W + ux0, w * 2);
    }
    board_checkpoint(Work::kPixels, w * h);
    return kCmdDone;
}

// Back to the screen with the top-left corner at (x, y); what falls off the screen is dropped.
int restore_area(int x, int y, int slot) {
    const AreaSlot s = areaSlots[slot];
    if (s.width == 0 || s.height == 0) return kCmdDone;
    const int64_t c0 = x < 0 ? -int64_t(x) : 0, r0 = y < 0 ? -int64_t(y) : 0;
    const int64_t c1 = int64_t(W) - 1 - x < s.width - 1 ? int64_t(W) - 1 - x : s.width - 1;
    const int64_t r1 = int64_t(H) - 1 - y < s.height - 1 ? int64_t(H) - 1 - y : s.height - 1;
    if (c0 > c1 || r0 > r1) return kCmdDone;
    uint16_t* fb = lcd_framebuffer();
    const uint16_t* store = areaStore + kAreaOffset[slot];
    const size_t n = size_t(c1 - c0 + 1);
    for (int64_t r = r0; r <= r1; ++r) {
        std::memcpy(fb + (y + r) * W + (x + c0), store + r * s.width + c0, n * 2);
    }
    board_checkpoint(Work::kPixels, uint32_t(n * size_t(r1 - r0 + 1)));
    return kCmdDone;
}

}  // namespace

int row_pixel_read(char* line) {
    if (!prefix(line, "pr")) return kNoMatch;
    int x, y;
    if (kv_sscanf(line, "%*s %d %d", &x, &y) < 2) return kCmdFailed;
    const int64_t ax = int64_t(x) + Origin_X, ay = int64_t(y) + Origin_Y;
    if (!on_screen(ax, ay)) return kCmdFailed;
    const uint16_t p = lcd_framebuffer()[ay * W + ax];
    if (line[2] == 'x') {
        // The fields shifted up, not expanded: "prx" reports the bits the pixel holds.
        pout("%02X%02X%02X\r", unsigned(rgb565::red5(p) << 3), unsigned(rgb565::green6(p) << 2),
             unsigned(rgb565::blue5(p) << 3));
    } else {
        pout("%04X\r", p);
    }
    return kCmdDone;
}

int row_pixel_write(char* line) {
    if (!prefix(line, "pw")) return kNoMatch;
    int x, y;
    unsigned value;
    const int n = kv_sscanf(line, "%*s %d %d %x", &x, &y, &value);
    if (n == 2) {
        GUI_DrawPixel(atOriginX(x), atOriginY(y));
        return kCmdDone;
    }
    if (n != 3) return kCmdFailed;
    const int64_t ax = int64_t(x) + Origin_X, ay = int64_t(y) + Origin_Y;
    if (!on_screen(ax, ay)) return kCmdFailed;
    const uint16_t pixel =
        line[2] == 'x' ? rgb565::pack((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)
                       : uint16_t(value);
    lcd_framebuffer()[ay * W + ax] = pixel;
    return kCmdDone;
}

int row_clear_keep(char* line) {
    if (!prefix(line, "zs")) return kNoMatch;
    int n = 0;
    if (kv_sscanf(line, "zs %d", &n) != 1) n = 0;
    GUIDEMO_Clear(n == 0 ? -1 : n);
    return kCmdDone;
}

int row_clear(char* line) {
    if (line[0] != 'z') return kNoMatch;
    init_animation();
    GUIDEMO_Clear(0);
    return kCmdDone;
}

int row_area(char* line) {
    int a[5];
    if (prefix(line, "ws")) {
        const int n = kv_sscanf(line, "ws %d%d%d%d%d", &a[0], &a[1], &a[2], &a[3], &a[4]);
        if (n < 4) return kNoMatch;
        const int slot = n == 5 ? (a[4] & 0xFF) : 0;
        if (slot >= kAreaSlots) return kCmdFailed;
        return save_area(a[0], a[1], a[2], a[3], slot);
    }
    if (prefix(line, "wr")) {
        const int n = kv_sscanf(line, "wr %d%d%d", &a[0], &a[1], &a[2]);
        if (n < 2) return kNoMatch;
        const int slot = n == 3 ? (a[2] & 0xFF) : 0;
        if (slot >= kAreaSlots) return kCmdFailed;
        return restore_area(a[0], a[1], slot);
    }
    return kNoMatch;
}

int row_wait_scan(char* line) {
    if (prefix(line, "wvr")) {
        int scan_line = 0;
        if (kv_sscanf(line + 3, "%d", &scan_line) != 1) scan_line = 0;
        wvr(scan_line);
        return kCmdDone;
    }
    if (prefix(line, "wrf")) {
        int x, y;
        if (kv_sscanf(line + 3, "%d %d", &x, &y) < 2) {
            txNotify(":Incorrect parameters\r");
            return kCmdFailed;
        }
        wvr(atOriginY(y));
        return kCmdDone;
    }
    return kNoMatch;
}

int row_scroll(char* line) {
    int x0, y0, x1, y1, n;
    char word[10];
    if (kv_sscanf(line, "k %d%d%d%d %d%9s", &x0, &y0, &x1, &y1, &n, word) != 6) return kNoMatch;
    // The corners wrap as 16-bit numbers, so an area moved past 65535 comes back from 0.
    const uint16_t ux0 = uint16_t(unsigned(x0) + unsigned(Origin_X));
    const uint16_t ux1 = uint16_t(unsigned(x1) + unsigned(Origin_X));
    const uint16_t uy0 = uint16_t(unsigned(y0) + unsigned(Origin_Y));
    const uint16_t uy1 = uint16_t(unsigned(y1) + unsigned(Origin_Y));
    return KV_ScrollArea(ux0, uy0, ux1, uy1, n, word[0], GUI_GetBkColorIndex()) ? kCmdDone
                                                                                : kCmdFailed;
}
