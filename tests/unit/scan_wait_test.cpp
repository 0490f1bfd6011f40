// wvr: the wait for the panel's scan, timed from the end-of-frame timer on the in-process board.
#include <gtest/gtest.h>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "device/panel_timing.h"
#include "device/scan_wait.h"
#include "device/timebase.h"
#include "gui/gui.h"
#include "settings/settings.h"

namespace {

TEST(ScanWait, ReturnsJustAfterTheScanPassedTheLine) {
    sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_TimerInit();
    KV_GUI_Init();  // programs the build's default timing
    // The WVGA defaults: 928 x 525 clocks at 26 MHz.
    ASSERT_EQ(msPerFrame, 18u);
    const auto target = [](int line) {
        const uint32_t t = uint32_t((13 + 3 + 1 + 29 + line) * msPerLine + 0.0005f) + 1;
        return t > msPerFrame ? msPerFrame : t;
    };
    EXPECT_EQ(target(0), 2u);
    EXPECT_EQ(target(479), 18u);
    for (int line : {0, 100, 240, 479, 5000, -7}) {
        SCOPED_TRACE(line);
        for (int start_ms = 0; start_ms < 19; start_ms += 3) {
            KV_Delay(uint32_t(start_ms) + 1);  // start anywhere in the frame
            const uint32_t before = KV_TimerGetMsCount();
            wvr(line);
            const uint32_t waited = KV_TimerGetMsCount() - before;
            const uint32_t t = KV_TimerGetFrameTime();
            const uint32_t want = target(line < 0 ? 0 : line > 479 ? 479 : line);
            const bool just_past = t >= want && t - want <= msPerFrame / 4;
            const bool far_before = t < want && want - t > 3 * msPerFrame / 4;
            EXPECT_TRUE(just_past || far_before) << "frame time " << t;
            EXPECT_LE(waited, 2 * msPerFrame);
        }
    }
}

}  // namespace
