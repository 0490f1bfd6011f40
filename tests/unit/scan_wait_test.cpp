// wvr: the wait for the panel's scan, timed from the end-of-frame timer on the in-process board.
#include <gtest/gtest.h>

#include <cstdio>

#include "base/interpreter.h"
#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "core/panel_commands.h"
#include "device/board.h"
#include "device/panel_timing.h"
#include "device/scan_wait.h"
#include "device/timebase.h"
#include "gui/gui.h"
#include "settings/settings.h"

namespace {

// wvr(line) returned just after the scan passed the line, or at once from far before it.
void expect_wvr_follows_timing(int line) {
    const int vlines = int(lcdTiming.vfp + lcdTiming.vpw + 1 + lcdTiming.vbp);
    for (int start_ms = 0; start_ms < int(msPerFrame) + 1; start_ms += 3) {
        KV_Delay(uint32_t(start_ms) + 1);
        const uint32_t before = KV_TimerGetMsCount();
        wvr(line);
        const uint32_t waited = KV_TimerGetMsCount() - before;
        const uint32_t t = KV_TimerGetFrameTime();
        uint32_t want = uint32_t((vlines + line) * msPerLine + 0.0005f) + 1;
        if (want > msPerFrame) want = msPerFrame;
        const bool just_past = t >= want && t - want <= msPerFrame / 4;
        const bool far_before = t < want && want - t > 3 * msPerFrame / 4;
        EXPECT_TRUE(just_past || far_before) << "frame time " << t << ", target " << want;
        EXPECT_LE(waited, 2 * msPerFrame);
    }
}

// The next end of frame as the 1 ms interrupt sees it: the frame timer back at 0.
void next_frame_start() {
    while (KV_TimerGetFrameTime() == 0) board_idle();
    while (KV_TimerGetFrameTime() != 0) board_idle();
}

// Milliseconds that 32 frames of the controller take.
uint32_t ms_per_32_frames() {
    next_frame_start();
    const uint32_t t0 = KV_TimerGetMsCount();
    for (int i = 0; i < 32; ++i) next_frame_start();
    return KV_TimerGetMsCount() - t0;
}

// Frame time in µs of a screen of 800 x 480 with these totals at 26 MHz, times 32, in ms.
double expected_32_frames_ms(uint32_t htotal, uint32_t vtotal) {
    return 32.0 * htotal * vtotal / 26000.0;
}

void command(const char* text) {
    char line[64];
    std::snprintf(line, sizeof line, "%s", text);
    ASSERT_NE(row_panel_timing(line), kNoMatch) << text;
}

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

TEST(ScanWait, FramesAndTheWaitFollowTheProgrammedTiming) {
    sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_TimerInit();
    KV_GUI_Init();
    EXPECT_NEAR(ms_per_32_frames(), expected_32_frames_ms(928, 525), 1);

    // A longer front porch: the controller's frames and the firmware's durations both grow.
    command("*vfp 63");
    EXPECT_EQ(vtot, 480u + 63 + 3 + 29);
    EXPECT_EQ(msPerFrame, 20u);
    EXPECT_NEAR(ms_per_32_frames(), expected_32_frames_ms(928, vtot), 1);
    expect_wvr_follows_timing(0);
    expect_wvr_follows_timing(479);

    // A settings value beyond its field (as config.ini can leave it) runs as the field's
    // largest, and the durations are those of what runs.
    eepromData.hpw = 200;
    setLCDtiming();
    EXPECT_EQ(htot, 800u + 40 + 64 + 40);
    EXPECT_NEAR(ms_per_32_frames(), expected_32_frames_ms(htot, vtot), 1);

    // A timing word written past the firmware is decoded as the controller does.
    register_write32(0x21020, (10u << 26) | (100u << 8) | 50);
    EXPECT_NEAR(ms_per_32_frames(), expected_32_frames_ms(htot, 480 + 10 + 100 + 50), 1);

    KV_EEPROM_SetDefaults();
    KV_GUI_Init();
}

TEST(RegisterWindow, EveryOffsetIsSafeAndOnlyTheControllerKeepsWrites) {
    sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_GUI_Init();
    int kept = 0;
    for (uint32_t offset = 0; offset < kRegisterBlockSize; offset += 4) {
        const uint32_t was = register_read32(offset);
        EXPECT_EQ(register_read16(offset), was & 0xFFFF);
        EXPECT_EQ(register_read16(offset + 2), was >> 16);
        register_write32(offset, 0x5A5A5A5A);
        if (register_read32(offset) == 0x5A5A5A5A) ++kept;
        register_write32(offset, was);
        EXPECT_EQ(register_read32(offset), was);
    }
    EXPECT_EQ(kept, 8);  // the controller's documented words
    for (uint32_t offset : {kRegisterBlockSize, 0x7FFFFFFEu, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
        register_write32(offset, 0xFFFFFFFF);
        EXPECT_EQ(register_read32(offset), 0u);
        EXPECT_EQ(register_read16(offset), 0u);
    }
    KV_EEPROM_SetDefaults();
    KV_GUI_Init();
}

}  // namespace
