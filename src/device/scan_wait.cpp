#include "device/scan_wait.h"

#include "device/board.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "device/timebase.h"

void wvr(int line) {
    if (line > panel::kHeight - 1) line = panel::kHeight - 1;
    if (line < 0) line = 0;
    const PanelTiming& timing = lcdTiming;
    const float lines = float(timing.vfp + timing.vpw + 1 + timing.vbp + line);
    uint32_t target = uint32_t(lines * msPerLine + 0.0005f) + 1;
    if (target > msPerFrame) target = msPerFrame;
    // Ms since the last end of frame: returns in the first quarter frame after the target, or
    // at once when the scan is so far before the target that it is nearly a frame away.
    wvrTimer = 2 * msPerFrame;
    while (wvrTimer) {
        const uint32_t t = KV_TimerGetFrameTime();
        if (t >= target && t - target <= msPerFrame / 4) return;
        if (t < target && target - t > 3 * msPerFrame / 4) return;
        board_idle();
    }
}
