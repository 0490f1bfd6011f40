// Five-point touch calibration driven by a finger on the simulated panel: a panel whose
// channels are exchanged, offset and scaled is calibrated end to end, and the ways out (resting
// finger, missing target, missed circle, pressure faults, power-up calibration).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness/harness.h"
#include "harness/stored_settings.h"
#include "src/base/settings_record.h"

namespace voxa_test {
namespace {

// WVGA targets (centre, top-left, top-right, bottom-right, bottom-left) and circles 1 to 4.
constexpr int kTargetX[5] = {399, 20, 779, 779, 20};
constexpr int kTargetY[5] = {239, 20, 20, 459, 459};
constexpr int kCircleX[4] = {20, 20, 779, 779};
constexpr int kCircleY[4] = {459, 20, 20, 459};

class TouchCalibration : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }

    EepromData stored() { return stored_settings(h.module()); }
    static bool same_table(const EepromData& a, const EepromData& b) {
        return std::memcmp(a.calLogX, b.calLogX, 40) == 0 && a.touchSwap == b.touchSwap;
    }
    void press(int x, int y, double hold = 300, double after = 300, int pressure = -1) {
        h.touch(x, y, pressure);
        h.run_ms(hold);
        h.release();
        h.run_ms(after);
    }
    void start_calibration() {
        h.send("tc\r");
        h.run_ms(300);
    }
    void targets(int count = 5) {
        for (int i = 0; i < count; ++i) press(kTargetX[i], kTargetY[i]);
    }
    void circles(int from = 0, int to = 4) {
        for (int i = from; i < to; ++i) press(kCircleX[i], kCircleY[i], 200, 200);
    }
    // A panel whose X channel follows the screen's y (channels exchanged), not centred on the
    // ADC's range and with its own scale.
    void odd_panel() {
        simlink::TouchPanelConfig c = h.module().touch_panel();
        const int16_t corners[8] = {120, 880, 760, 900, 770, 110, 130, 100};
        std::memcpy(c.corners, corners, sizeof corners);
        c.swap = 1;
        h.module().set_touch_panel(c);
    }
    // Centre of the black cross drawn around (x, y), within the 12 pixels around it.
    bool cross_near(int x, int y, int* cx, int* cy) {
        int x0 = 10000, x1 = -1, y0 = 10000, y1 = -1;
        for (int py = y - 12; py <= y + 12; ++py) {
            for (int px = x - 12; px <= x + 12; ++px) {
                if (h.pixel(px, py) != 0) continue;
                x0 = std::min(x0, px);
                x1 = std::max(x1, px);
                y0 = std::min(y0, py);
                y1 = std::max(y1, py);
            }
        }
        if (x1 < 0) return false;
        *cx = (x0 + x1) / 2;
        *cy = (y0 + y1) / 2;
        return true;
    }

    Harness h;
};

TEST_F(TouchCalibration, OddPanelIsCalibratedSavedAndKeptAcrossARestart) {
    odd_panel();
    EXPECT_EQ(h.command("*touchSwap"), "0\r>\r");
    start_calibration();
    targets();
    // The new calibration is in force: touches anywhere draw a cross where they land.
    const int spots[3][2] = {{300, 120}, {600, 350}, {150, 300}};
    for (const auto& s : spots) {
        press(s[0], s[1], 200, 200);
        int cx = 0, cy = 0;
        ASSERT_TRUE(cross_near(s[0], s[1], &cx, &cy)) << s[0] << "," << s[1];
        EXPECT_LE(std::abs(cx - s[0]), 2) << s[0] << "," << s[1];
        EXPECT_LE(std::abs(cy - s[1]), 2) << s[0] << "," << s[1];
    }
    circles();
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");

    const EepromData saved = stored();
    EXPECT_EQ(saved.touchSwap, 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(saved.calLogX[i], kTargetX[i]) << i;
        EXPECT_EQ(saved.calLogY[i], kTargetY[i]) << i;
    }
    // With the channels exchanged the X channel follows x: 120 at the left, 770 at the right.
    EXPECT_NEAR(saved.calPhyX[1], 120, 3);
    EXPECT_NEAR(saved.calPhyX[3], 770, 3);
    EXPECT_NEAR(saved.calPhyY[1], 880, 3);
    EXPECT_NEAR(saved.calPhyY[3], 110, 3);

    h.module().power_cycle();
    EXPECT_EQ(h.run_until_text(">\r", 5000), kBootNoFile);
    EXPECT_TRUE(same_table(saved, stored()));
    EXPECT_EQ(h.command("*touchSwap"), "1\r>\r");
}

TEST_F(TouchCalibration, FingerRestingAtTheStartEndsIt) {
    const EepromData before = stored();
    h.touch(400, 240);
    h.run_ms(100);
    h.send("tc\r");
    h.run_ms(6500);  // 5 s to lift the finger, then the error shows for 2 s
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.run_until_text(">\r", 1500), ">\r");
    h.release();
    EXPECT_TRUE(same_table(before, stored()));
}

TEST_F(TouchCalibration, MissingTargetOrCircleAbandonsAndRestores) {
    EXPECT_EQ(h.command("*tcTimeout 2"), ">\r");
    const EepromData before = stored();
    start_calibration();
    targets(2);  // the third target is never touched
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_TRUE(same_table(before, stored()));

    // On the exchanged panel the channel swap is decided before the circles; a circle left
    // untouched brings back the swap (and table) that were there.
    odd_panel();
    start_calibration();
    targets();
    circles(0, 2);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_TRUE(same_table(before, stored()));
    EXPECT_EQ(h.command("*touchSwap"), "0\r>\r");
}

TEST_F(TouchCalibration, CircleTouchCountsOnlyWithinTwelvePixels) {
    EXPECT_EQ(h.command("*tcTimeout 2"), ">\r");
    const EepromData before = stored();
    odd_panel();
    start_calibration();
    targets();
    circles(0, 1);
    // 13 pixels below circle 2 (along y, where the panel resolves single pixels): a cross
    // where it landed, but circle 2 still waits, so the touches of circles 3 and 4 do not
    // finish the calibration.
    press(kCircleX[1], kCircleY[1] + 13, 200, 200);
    int cx = 0, cy = 0;
    ASSERT_TRUE(cross_near(kCircleX[1], kCircleY[1] + 24, &cx, &cy));  // clear of the digit
    EXPECT_NEAR(cx, kCircleX[1], 1);
    circles(2, 4);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_TRUE(same_table(before, stored()));

    // 12 pixels off still hits.
    start_calibration();
    targets();
    circles(0, 1);
    press(kCircleX[1], kCircleY[1] + 12, 200, 200);
    circles(2, 4);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_EQ(stored().touchSwap, 1);
}

TEST_F(TouchCalibration, OnlyATouchComingDownCountsOnACircle) {
    EXPECT_EQ(h.command("*tcTimeout 2"), ">\r");
    const EepromData before = stored();
    odd_panel();
    start_calibration();
    targets();
    // A finger that comes down elsewhere and rests: the countdown is not held by it.
    h.touch(200, 300);
    h.run_ms(2500);
    EXPECT_NE(h.take().find(">\r"), std::string::npos);
    h.release();
    EXPECT_TRUE(same_table(before, stored()));

    // Down away from circle 1, then slid onto it: not a hit, so the touches of circles 2 to 4
    // do not finish the calibration.
    start_calibration();
    targets();
    h.touch(200, 300);
    h.run_ms(100);
    h.drag(kCircleX[0], kCircleY[0], 200);
    h.run_ms(300);
    h.release();
    h.run_ms(200);
    circles(1, 4);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_TRUE(same_table(before, stored()));
}

TEST_F(TouchCalibration, PressureFaultsAreReportedAndTheCalibrationSaved) {
    EXPECT_EQ(h.command("*touchMode P"), ">\r");
    start_calibration();
    targets();
    circles(0, 3);
    press(kCircleX[3], kCircleY[3], 200, 200, 900);  // a light touch on circle 4
    std::string out = h.take();
    EXPECT_NE(out.find(":*** CAL PRESSURE MORE THAN CURRENT LIMIT ***\r"), std::string::npos)
        << visible(out);
    EXPECT_NE(out.find(":Measured Pressure Max = "), std::string::npos) << visible(out);
    EXPECT_NE(out.find("; limit 700\r"), std::string::npos) << visible(out);
    EXPECT_EQ(out.find(">\r"), std::string::npos);
    // Saved after the next touch, and the pressure mode is back.
    press(400, 240);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    EXPECT_EQ(stored().calLayout, 0xAA);
    EXPECT_EQ(h.command("*touchMode"), "--P- (2)\r>\r");

    // A firm touch (below tplo) gives the other message; with nobody touching afterwards the
    // calibration is still saved once tcTimeout has passed.
    EXPECT_EQ(h.command("*tcTimeout 2"), ">\r");
    start_calibration();
    targets();
    press(kCircleX[0], kCircleY[0], 200, 200, 100);
    circles(1, 4);
    out = h.run_until_text(">\r", 8000);
    EXPECT_NE(out.find(":*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\r"), std::string::npos)
        << visible(out);
    EXPECT_NE(out.find(":Measured Pressure Min = "), std::string::npos) << visible(out);
    EXPECT_NE(out.find("; limit 250\r"), std::string::npos) << visible(out);
    EXPECT_EQ(out.substr(out.size() - 2), ">\r");
}

TEST_F(TouchCalibration, PowerUpTouchStartsCalibrationWhenArmed) {
    odd_panel();
    // Not armed: a finger at power-up changes nothing.
    h.module().power_off();
    h.touch(400, 240);
    h.module().power_on();
    EXPECT_EQ(h.run_until_text(">\r", 5000), kBootNoFile);
    h.release();
    EXPECT_EQ(h.command("*autoCal 1"), ">\r");
    h.module().power_off();
    h.touch(400, 240);
    h.module().power_on();
    // Start-up, the announcement for 2 s, then the calibration asks for the finger to be lifted
    // (and waits up to 5 s for it).
    h.run_ms(4500);
    EXPECT_EQ(h.take(), ":No .BIN file in flash or on SD card\r");
    h.release();
    h.run_ms(400);
    targets();
    circles();
    EXPECT_EQ(h.run_until_text(">\r", 5000), ">\r");
    EXPECT_EQ(stored().touchSwap, 1);
    EXPECT_EQ(stored().calLogX[1], 20);
}

TEST(TouchCalibrationSvga, TargetsTextsAndCirclesOfTheTallerPanel) {
    Harness h(sim::Panel::kSvga);
    ASSERT_EQ(h.boot(), kBootNoFile);
    const int tx[5] = {399, 20, 779, 779, 20};
    const int ty[5] = {299, 20, 20, 579, 579};
    const auto press = [&](int x, int y) {
        h.touch(x, y);
        h.run_ms(300);
        h.release();
        h.run_ms(300);
    };
    const auto dark_in = [&](int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = 300; x <= 500; ++x) {
                if (h.pixel(x, y) == 0) return true;
            }
        }
        return false;
    };
    h.send("tc\r");
    h.run_ms(300);
    // "CALIBRATING TOUCH SCREEN" centred 60 lines lower than on the 480-line panels.
    EXPECT_TRUE(dark_in(234, 246));
    EXPECT_FALSE(dark_in(174, 186));
    for (int i = 0; i < 5; ++i) press(tx[i], ty[i]);
    // Circles 1 to 4: bottom-left, top-left, top-right, bottom-right.
    for (const int i : {4, 1, 2, 3}) press(tx[i], ty[i]);
    EXPECT_EQ(h.run_until_text(">\r", 3000), ">\r");
    const EepromData d = stored_settings(h.module());
    EXPECT_EQ(d.calLogY[0], 299);
    EXPECT_EQ(d.calLogY[3], 579);
    EXPECT_NEAR(d.calPhyY[3], 850, 3);
    EXPECT_EQ(d.touchSwap, 0);
}

}  // namespace
}  // namespace voxa_test
