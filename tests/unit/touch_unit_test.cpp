// Touch arithmetic: the five-point mapping, the pressure and temperature formulas, the trace.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/settings_record.h"
#include "device/panel_config.h"
#include "in_process.h"
#include "touch/touch.h"
#include "touch/touch_commands.h"
#include "touch/touch_map.h"
#include "touch/touch_trace.h"

namespace {

class TouchMapping : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_swap_ = eepromData.touchSwap;
        KV_Touch_Calibrate_Default();
    }
    void TearDown() override {
        eepromData.touchSwap = saved_swap_;
        KV_Touch_Calibrate_Default();
    }
    uint8_t saved_swap_ = 0;
};

TEST_F(TouchMapping, DefaultTableMapsItsRawCornersToItsScreenPoints) {
    // The raw table is shared by every build; the screen points are this build's.
    for (int i = 1; i < kCalPoints; ++i) {
        EXPECT_EQ(ADC2X(kDefaultPhyX[i], kDefaultPhyY[i]), panel::kBuild.cal_log_x[i])
            << "point " << i;
        EXPECT_EQ(ADC2Y(kDefaultPhyX[i], kDefaultPhyY[i]), panel::kBuild.cal_log_y[i])
            << "point " << i;
    }
    // Raw x falls as screen x rises on this panel: the midpoint of the raw span is the middle
    // of the screen span.
    EXPECT_EQ(ADC2X(500, 500), (panel::kBuild.cal_log_x[1] + panel::kBuild.cal_log_x[2]) / 2);
    EXPECT_EQ(ADC2Y(500, 500), (panel::kBuild.cal_log_y[1] + panel::kBuild.cal_log_y[4]) / 2);
}

TEST_F(TouchMapping, SkewedTableFollowsTheEdgesBetweenCorners) {
    // A quadrilateral whose left and right edges lean: the corners still map exactly, and the
    // midpoint of each edge maps onto the screen edge between the corners.
    const short logX[5] = {400, 20, 779, 779, 20};
    const short logY[5] = {240, 20, 20, 459, 459};
    const short phyX[5] = {500, 860, 140, 160, 840};
    const short phyY[5] = {500, 150, 150, 850, 850};
    KV_Touch_Calibrate(logX, logY, phyX, phyY);
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(ADC2X(phyX[i], phyY[i]), logX[i]) << i;
        EXPECT_EQ(ADC2Y(phyX[i], phyY[i]), logY[i]) << i;
    }
    EXPECT_EQ(ADC2X(850, 500), 20);   // left edge half way down
    EXPECT_EQ(ADC2X(150, 500), 779);  // right edge half way down
}

TEST_F(TouchMapping, DegenerateTablesNeverDivideByZero) {
    // All four corners equal: every divisor of the mapping is 0.
    const short same[5] = {7, 7, 7, 7, 7};
    KV_Touch_Calibrate(same, same, same, same);
    EXPECT_EQ(ADC2X(100, 200), 7);
    EXPECT_EQ(ADC2Y(100, 200), 7);
    // Extreme 16-bit values from a corrupt EEPROM: no overflow trap, results stay in int range.
    const short wild[5] = {SHRT_MIN, SHRT_MAX, SHRT_MIN, SHRT_MAX, SHRT_MIN};
    const short wild2[5] = {SHRT_MAX, SHRT_MIN, SHRT_MIN, SHRT_MAX, SHRT_MAX};
    KV_Touch_Calibrate(wild, wild2, wild2, wild);
    for (const int u : {0, 1023, 65535, -65535}) {
        for (const int v : {0, 1023, 65535, -65535}) {
            (void)ADC2X(u, v);
            (void)ADC2Y(u, v);
        }
    }
    // Equal raw x on the top corners only: the top edge's slope division is skipped.
    const short logX[5] = {400, 20, 779, 779, 20};
    const short logY[5] = {240, 20, 20, 459, 459};
    const short phyX[5] = {500, 850, 850, 150, 850};
    const short phyY[5] = {500, 150, 150, 850, 850};
    KV_Touch_Calibrate(logX, logY, phyX, phyY);
    EXPECT_EQ(ADC2Y(850, 150), 20);
}

TEST_F(TouchMapping, ConversionHonoursTheChannelSwap) {
    int x = 850, y = 150;  // X channel 850, Y channel 150
    eepromData.touchSwap = 1;
    convToScreenXY(&x, &y);
    EXPECT_EQ(x, panel::kBuild.cal_log_x[1]);
    EXPECT_EQ(y, panel::kBuild.cal_log_y[1]);
    x = 150;  // Y channel carries the screen's x without the swap
    y = 850;
    eepromData.touchSwap = 0;
    convToScreenXY(&x, &y);
    EXPECT_EQ(x, panel::kBuild.cal_log_x[1]);
    EXPECT_EQ(y, panel::kBuild.cal_log_y[1]);
}

TEST_F(TouchMapping, LocationAtAnEdgeStaysOnThePanel) {
    // A reading just beyond the calibrated area maps to -1 (or far beyond the panel); the
    // hotspot layer must see a touch at the edge, not "released".
    const int first = 875;   // left of the left targets (raw x falls to the right)
    const int second = 100;  // above the top targets
    ASSERT_LT(ADC2X(first, second), 0);
    ASSERT_LT(ADC2Y(first, second), 0);
    State.first = first;
    State.second = second;
    State.pressed = 1;
    int x = -5, y = -5;
    KV_GetLocation(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    State.first = 100;  // beyond the right and bottom
    State.second = 1000;
    KV_GetLocation(&x, &y);
    EXPECT_EQ(x, panel::kWidth - 1);
    EXPECT_EQ(y, panel::kHeight - 1);
    State.first = -1;
    State.second = -1;
    State.pressed = 0;
    KV_GetLocation(&x, &y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
}

TEST(TouchPressure, FormulaAndItsFaultyInputs) {
    int p = 0;
    // ((y * 130) >> 10) + ((x * (((Z2 << 8) / Z1) - 256)) >> 10)
    ASSERT_TRUE(touch_pressure(500, 400, 100, 300, &p));
    EXPECT_EQ(p, ((400 * 130) >> 10) + ((500 * ((300 * 256) / 100 - 256)) >> 10));
    EXPECT_EQ(p, 50 + 250);
    // No contact on Z1: no pressure at all, never a division by zero.
    p = 12345;
    EXPECT_FALSE(touch_pressure(500, 400, 0, 300, &p));
    EXPECT_EQ(p, 12345);
    // Z2 below Z1 is a firm press: a small (here negative) value, not a wrapped 32-bit one.
    ASSERT_TRUE(touch_pressure(1023, 0, 400, 100, &p));
    EXPECT_EQ(p, (1023 * (64 - 256)) >> 10);
    EXPECT_LT(p, 0);
    // The largest readings stay in range.
    ASSERT_TRUE(touch_pressure(1023, 1023, 1, 1023, &p));
    EXPECT_GT(p, 0);
}

TEST(TouchTemperature, FormulaStepsAndReplyFormat) {
    // ((t1 - t0) * 25000 / 4095) * 2573 / 1000 - 2730, each step truncating.
    EXPECT_EQ(touch_temperature(1000, 1000), -2730);
    EXPECT_EQ(touch_temperature(0, 491), (491 * 25000 / 4095) * 2573 / 1000 - 2730);
    EXPECT_EQ(touch_temperature(0, 491), 4981);  // 49.8 degrees
    char buf[16];
    touch_format_temperature(999, buf, sizeof buf);
    EXPECT_STREQ(buf, "+99.9\r");
    touch_format_temperature(1000, buf, sizeof buf);
    EXPECT_STREQ(buf, "*****");
    touch_format_temperature(53, buf, sizeof buf);
    EXPECT_STREQ(buf, "+05.3\r");
    touch_format_temperature(-300, buf, sizeof buf);
    EXPECT_STREQ(buf, "-30.0\r");
    touch_format_temperature(-301, buf, sizeof buf);
    EXPECT_STREQ(buf, "*****");
    touch_format_temperature(-5, buf, sizeof buf);
    EXPECT_STREQ(buf, "-00.5\r");
}

TEST(TouchTrace, ShowsNonZeroEntriesOnceAndStopsWhenFull) {
    voxa_test::start_firmware_in_process();
    ClearTtrace();
    (void)voxa_test::host_output();
    ttrace(1, 2, 3);
    ttrace(0, 0, 0);  // recorded, but an all-zero entry is not shown
    ttrace(512, 498, -7);
    EXPECT_EQ(TouchTraceCount(), 3);
    TouchShowTtrace();
    EXPECT_EQ(voxa_test::host_output(), "t   1   2 3\rt 512 498 -7\r");
    EXPECT_EQ(TouchTraceCount(), 0);
    TouchShowTtrace();
    EXPECT_EQ(voxa_test::host_output(), "");
    for (int i = 0; i < kTouchTraceSize + 5; ++i) ttrace(i + 1, 0, 0);
    EXPECT_EQ(TouchTraceCount(), kTouchTraceSize);
    ClearTtrace();
    EXPECT_EQ(TouchTraceCount(), 0);
    TouchShowTtrace();
    EXPECT_EQ(voxa_test::host_output(), "");
}

}  // namespace
