// Hotspots as the host sees them: a finger on the simulated panel, in virtual time, and the
// reports, prompts and pixels that come back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr double kSettleMs = 60;  // a touch or a lift is seen within one burst
constexpr double kLiftMs = 250;   // a lifted finger is seen after at most one hold-off
constexpr double kNsPerMs = 1e6;

class HotspotScenario : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }

    std::string touch_for(int x, int y, double ms) {
        EXPECT_TRUE(h.touch(x, y));
        h.run_ms(ms);
        return h.take();
    }
    std::string lift() {
        h.release();
        h.run_ms(kLiftMs);
        return h.take();
    }
    // CRC-like digest of a screen rectangle (corners included).
    uint32_t region(int x0, int y0, int x1, int y1) const {
        uint32_t sum = 2166136261u;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) sum = (sum ^ h.pixel(x, y)) * 16777619u;
        }
        return sum;
    }

    Harness h;
};

TEST_F(HotspotScenario, TapReportsThePressOnceAndOverlapsGoToTheLowestIndex) {
    ASSERT_EQ(h.command("xs 140 0 0 300 300"), ">\r");
    ASSERT_EQ(h.command("xs 130 100 100 400 400"), ">\r");
    // Held for several bursts: still one report.
    EXPECT_EQ(touch_for(150, 150, 500), "x130\r");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(50, 50, 200), "x140\r");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(350, 350, 200), "x130\r");
    EXPECT_EQ(lift(), "");
}

TEST_F(HotspotScenario, SlidingMovesThePressAndSlidingOffKeepsItUntilTheLift) {
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xs 131 200 100 299 149"), ">\r");
    ASSERT_EQ(h.command("xset 130 +r"), ">\r");
    ASSERT_EQ(h.command("xset 131 +r"), ">\r");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    ASSERT_TRUE(h.drag(250, 120, 50));
    h.run_ms(200);
    EXPECT_EQ(h.take(), "r130\rx131\r");
    // Off every hotspot: 131 stays pressed until the finger lifts.
    ASSERT_TRUE(h.drag(500, 300, 50));
    h.run_ms(500);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(lift(), "r131\r");
}

TEST_F(HotspotScenario, AutoRepeatReleasesAndPressesAfterTheDelayThenAtTheRepeatRate) {
    ASSERT_EQ(h.command("xt 150 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xset 150 +r"), ">\r");
    h.take_timed();
    ASSERT_TRUE(h.touch(150, 120));
    h.run_ms(1000);
    std::vector<sim::TimedByte> bytes = h.take_timed();
    // Each report's time is that of its first byte.
    std::vector<std::pair<std::string, double>> reports;
    std::string text, all;
    for (const sim::TimedByte& b : bytes) {
        all += char(b.byte);
        if (text.empty()) reports.push_back({"", double(b.t_ns) / kNsPerMs});
        text += char(b.byte);
        if (b.byte == '\r') {
            reports.back().first = text;
            text.clear();
        }
    }
    ASSERT_EQ(reports.size(), 5u) << visible(all);
    const std::string want[] = {"x150\r", "r150\r", "x150\r", "r150\r", "x150\r"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(reports[i].first, want[i]) << i;
    const double t0 = reports[0].second;
    EXPECT_NEAR(reports[1].second - t0, 750, 15);
    EXPECT_NEAR(reports[2].second - t0, 750, 15);
    EXPECT_NEAR(reports[3].second - t0, 950, 15);
    EXPECT_NEAR(reports[4].second - t0, 950, 15);
    EXPECT_EQ(lift(), "r150\r");
}

TEST_F(HotspotScenario, PositionReportsAndBinaryForms) {
    // The default calibration spreads 700 raw steps over 760 pixels, so not every pixel can be
    // touched exactly: a finger at (110, 120) is read within a pixel of it. The report's
    // arithmetic is checked exactly in the unit tests.
    ASSERT_EQ(h.command("xxy 200 100 100 199 149"), ">\r");
    const std::string report = touch_for(110, 120, kSettleMs);
    EXPECT_TRUE(report == "x200 10 20\r" || report == "x200 9 20\r" || report == "x200 11 20\r")
        << visible(report);
    EXPECT_EQ(lift(), "");
    ASSERT_EQ(h.command("xs 129 300 300 349 349"), ">\r");
    ASSERT_EQ(h.command("*binr 1"), "on\r>\r");
    EXPECT_EQ(touch_for(310, 310, kSettleMs), std::string("X\x81", 2));
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(110, 120, kSettleMs), std::string("Y\xC8", 2) +
                                                  char(std::stoi(report.substr(5))) +
                                                  std::string("\x00\x14\x00", 3))
        << "the same position in binary";
    EXPECT_EQ(lift(), "");
}

TEST_F(HotspotScenario, InvertingHotspotInvertsWhilePressedAndRestoresTheScreen) {
    ASSERT_EQ(h.command("r 100 100 150 149 1"), ">\r");
    ASSERT_EQ(h.command("x 130 100 100 199 149"), ">\r");
    const uint32_t before = region(100, 100, 199, 149);
    const uint32_t around = region(90, 90, 99, 160);
    const uint16_t filled = h.pixel(120, 120), paper = h.pixel(180, 120);
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_EQ(h.pixel(120, 120), uint16_t(~filled));
    EXPECT_EQ(h.pixel(180, 120), uint16_t(~paper));
    EXPECT_EQ(h.pixel(199, 149), uint16_t(~paper));
    EXPECT_EQ(h.pixel(200, 150), paper);
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(region(100, 100, 199, 149), before);
    EXPECT_EQ(region(90, 90, 99, 160), around);
}

TEST_F(HotspotScenario, HotspotDefinedUnderTheFingerWaitsForANewTouchUnlessApt) {
    ASSERT_TRUE(h.touch(150, 120));
    h.run_ms(200);
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    h.run_ms(500);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_EQ(lift(), "");

    ASSERT_EQ(h.command("*apt"), ">\r");
    ASSERT_TRUE(h.touch(150, 320));
    h.run_ms(200);
    // The touch presses it on the dispatch right after the prompt.
    std::string got = h.command("xs 131 100 300 199 349");
    h.run_ms(kSettleMs);
    got += h.take();
    EXPECT_EQ(got, ">\rx131\r");
    EXPECT_EQ(lift(), "");
}

TEST_F(HotspotScenario, AHeldHotspotKeepsItsReleaseAndScreenWhenAnotherIsDefined) {
    ASSERT_EQ(h.command("x 130 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xset 130 +r"), ">\r");
    const uint32_t screen = region(100, 100, 199, 149);
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    // The finger slides off onto empty screen, where a new hotspot appears under it.
    ASSERT_TRUE(h.drag(500, 300, 50));
    h.run_ms(200);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.command("xs 140 450 250 549 349"), "r130\r>\r");
    EXPECT_EQ(region(100, 100, 199, 149), screen);
    EXPECT_EQ(lift(), "");

    // With *apt: a hotspot defined elsewhere leaves the held one alone; one defined under the
    // finger takes the touch, and the held one gets its release and its screen back.
    ASSERT_EQ(h.command("*apt"), ">\r");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_EQ(h.command("xs 141 600 0 699 49"), ">\r");
    h.run_ms(200);
    EXPECT_EQ(h.take(), "");
    ASSERT_TRUE(h.drag(650, 20, 50));
    h.run_ms(200);
    EXPECT_EQ(h.take(), "r130\rx141\r");
    EXPECT_EQ(region(100, 100, 199, 149), screen);
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    ASSERT_TRUE(h.drag(300, 400, 50));
    h.run_ms(200);
    EXPECT_EQ(h.take(), "");
    std::string got = h.command("xs 142 250 350 349 449");
    h.run_ms(kSettleMs);
    got += h.take();
    EXPECT_EQ(got, "r130\r>\rx142\r");
    EXPECT_EQ(region(100, 100, 199, 149), screen);
    EXPECT_EQ(lift(), "");
}

TEST_F(HotspotScenario, AHeldHotspotThatIsDisabledGetsItsReleaseAndScreenBack) {
    ASSERT_EQ(h.command("r 100 100 150 149 1"), ">\r");
    ASSERT_EQ(h.command("x 130 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xset 130 +r"), ">\r");
    const uint32_t screen = region(100, 100, 199, 149);
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_NE(region(100, 100, 199, 149), screen);
    EXPECT_EQ(h.command("xd 130"), "r130\r>\r");
    EXPECT_EQ(region(100, 100, 199, 149), screen);
    // Disabled, it answers neither the lift nor a new touch; enabled again, it does.
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "");
    EXPECT_EQ(lift(), "");
    ASSERT_EQ(h.command("xe 130"), ">\r");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_EQ(lift(), "r130\r");
    EXPECT_EQ(region(100, 100, 199, 149), screen);
}

TEST_F(HotspotScenario, IndexChecksOfTheCommands) {
    EXPECT_EQ(h.command("xc 5"), ":touch index must be 128 to 255\r!\r");
    EXPECT_EQ(h.command("xd -1"), "!\r");
    EXPECT_EQ(h.command("xe -1"), "!\r");
    EXPECT_EQ(h.command("xd 0 256"), "!\r");
    // Enabling every index creates no hotspot: touches anywhere stay silent.
    EXPECT_EQ(h.command("xe 0 255"), ">\r");
    EXPECT_EQ(touch_for(0, 0, 200), "");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(400, 240, 200), "");
    EXPECT_EQ(lift(), "");
    // A disabled hotspot is silent and comes back with its type.
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xd 130"), ">\r");
    EXPECT_EQ(touch_for(150, 120, 200), "");
    EXPECT_EQ(lift(), "");
    ASSERT_EQ(h.command("xe 0 255"), ">\r");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    EXPECT_EQ(lift(), "");
}

TEST_F(HotspotScenario, TouchOffAndOnWithAFingerDown) {
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    ASSERT_EQ(h.command("xset 130 +r"), ">\r");
    ASSERT_EQ(h.command("touch off"), ">\r");
    EXPECT_EQ(touch_for(150, 120, 300), "");
    // On again while the finger rests: that touch stays ignored until it lifts.
    ASSERT_EQ(h.command("touch on"), ">\r");
    h.run_ms(300);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(touch_for(150, 120, kSettleMs), "x130\r");
    // Off while held: the release comes once touches count again and the finger is up.
    ASSERT_EQ(h.command("touch off"), ">\r");
    EXPECT_EQ(lift(), "");
    ASSERT_EQ(h.command("touch on"), ">\r");
    h.run_ms(kSettleMs);
    EXPECT_EQ(h.take(), "r130\r");
    EXPECT_EQ(h.command("touch"), "touch on\r>\r");
}

TEST_F(HotspotScenario, DisableAllStopsConversionsAndEnableAllRestartsThem) {
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    h.module().record_touch_adc(true);
    ASSERT_EQ(h.command("xd all"), ">\r");
    h.module().take_touch_adc_log();
    EXPECT_EQ(touch_for(150, 120, 300), "");
    EXPECT_TRUE(h.module().take_touch_adc_log().empty());
    ASSERT_EQ(h.command("xe all"), ">\r");
    h.run_ms(kSettleMs);
    EXPECT_EQ(h.take(), "x130\r");
    EXPECT_FALSE(h.module().take_touch_adc_log().empty());
    EXPECT_EQ(lift(), "");
}

}  // namespace
}  // namespace voxa_test
