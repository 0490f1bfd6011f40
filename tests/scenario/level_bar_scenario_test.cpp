// Level bars as the host defines and feeds them, read back pixel by pixel; and the user LED
// handed between the host and the firmware.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"
#include "imgpack.h"
#include "src/device/board.h"

namespace voxa_test {
namespace {

constexpr uint16_t kRed = 0xF800, kYellow = 0xFFE0, kGreen = 0x07E0, kBlack = 0, kWhite = 0xFFFF;

class LevelBars : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(h.boot(), kBootNoFile);
        ASSERT_EQ(h.command("z"), ">\r");  // no banner under the bars
    }
    // The colour of each pixel of column x from y0 to y1, as one string of colour letters.
    std::string column(int x, int y0, int y1) {
        std::string s;
        for (int y = y0; y <= y1; ++y) s += letter(h.pixel(x, y));
        return s;
    }
    std::string row(int y, int x0, int x1) {
        std::string s;
        for (int x = x0; x <= x1; ++x) s += letter(h.pixel(x, y));
        return s;
    }
    static char letter(uint16_t c) {
        switch (c) {
            case kRed:
                return 'R';
            case kYellow:
                return 'Y';
            case kGreen:
                return 'G';
            case kBlack:
                return 'K';
            case kWhite:
                return 'W';
            default:
                return '?';
        }
    }
    static std::string run(char c, int n) { return std::string(size_t(n), c); }
    Harness h;
};

TEST_F(LevelBars, SegmentsFillFromTheBottomAndTheBackgroundTheRest) {
    ASSERT_EQ(h.command("ld 0 10 10 29 209 0 0 0 000000 100 F00 70 FF0 40 0F0"), ">\r");
    // Defining paints nothing yet.
    EXPECT_EQ(column(10, 10, 209), run('W', 200));
    ASSERT_EQ(h.command("lv 0 50"), ">\r");
    // Offsets 0-80 green, 81-100 yellow, 101-199 black; offset 0 is the bottom row.
    const std::string expected = run('K', 99) + run('Y', 20) + run('G', 81);
    for (int x : {10, 20, 29}) EXPECT_EQ(column(x, 10, 209), expected) << x;
    EXPECT_EQ(column(9, 10, 209), run('W', 200));
    EXPECT_EQ(column(30, 10, 209), run('W', 200));
    EXPECT_EQ(row(9, 10, 29) + row(210, 10, 29), run('W', 40));

    // The whole bar is repainted each time: full, empty, the top and the bottom values.
    ASSERT_EQ(h.command("lv 0 1000"), ">\r");
    EXPECT_EQ(column(15, 10, 209), run('R', 60) + run('Y', 59) + run('G', 81));
    ASSERT_EQ(h.command("lv 0 -5"), ">\r");
    EXPECT_EQ(column(15, 10, 209), run('K', 200));
    ASSERT_EQ(h.command("lv 0 100"), ">\r");
    EXPECT_EQ(column(15, 10, 209), run('R', 60) + run('Y', 59) + run('G', 81));
    ASSERT_EQ(h.command("lv 0 0"), ">\r");
    EXPECT_EQ(column(15, 10, 209), run('K', 199) + "G");
}

TEST_F(LevelBars, TheLastPixelFollowsAValueJustBelowTheTop) {
    // 100 pixels of span for 0..100: 99 fills up to the last offset but one, which must still
    // be repainted with the background after a full bar.
    ASSERT_EQ(h.command("ld 1 0 300 100 303 1 0 0 000 100 F00"), ">\r");
    ASSERT_EQ(h.command("lv 1 100"), ">\r");
    EXPECT_EQ(row(301, 0, 100), run('R', 101));
    ASSERT_EQ(h.command("lv 1 99"), ">\r");
    EXPECT_EQ(row(301, 0, 100), run('R', 100) + "K");
}

TEST_F(LevelBars, OrientationAndInversionChooseTheGrowingEdge) {
    // Inverted vertical grows down from y0; inverted horizontal grows left from x1.
    ASSERT_EQ(h.command("ld 2 100 10 101 19 0 1 0 FFF 9 0F0"), ">\r");
    ASSERT_EQ(h.command("lv 2 3"), ">\r");
    EXPECT_EQ(column(100, 10, 19), run('G', 4) + run('W', 6));
    ASSERT_EQ(h.command("ld 3 200 10 209 11 1 1 0 000 9 F00"), ">\r");
    ASSERT_EQ(h.command("lv 3 3"), ">\r");
    EXPECT_EQ(row(11, 200, 209), run('K', 6) + run('R', 4));
    // Corners given the other way round and the drawing origin.
    ASSERT_EQ(h.command("o 300 0"), ">\r");
    ASSERT_EQ(h.command("ld 4 9 19 0 10 1 0 0 000 9 0F0"), ">\r");
    ASSERT_EQ(h.command("lv 4 4"), ">\r");
    EXPECT_EQ(row(15, 300, 309), run('G', 5) + run('K', 5));
}

TEST_F(LevelBars, RefusedDefinitionsAndValues) {
    EXPECT_EQ(h.command("ld 0 0 0 10 479 0 0 0 000 100 F00"), ">\r");
    EXPECT_EQ(h.command("ld 0 0 0 10 480 0 0 0 000 100 F00"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
    EXPECT_EQ(h.command("ld 0 -1 0 10 10 0 0 0 000 100 F00"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
    EXPECT_EQ(h.command("ld 0 0 0 10 10 0 0 0"), "!\r");       // eight words
    EXPECT_EQ(h.command("ld 0 0 0 10 10 0 0 0 0000"), "!\r");  // four-digit colour
    EXPECT_EQ(h.command("ld 32 0 0 10 10 0 0 0 000 100 F00"), "!\r");
    EXPECT_EQ(h.command("ld -1 0 0 10 10 0 0 0 000 100 F00"), "!\r");
    EXPECT_EQ(h.command("ld 5 0 0 10 10 2 0 0 000 100 F00"), "!\r");  // orientation
    EXPECT_EQ(h.command("lv 5 1"), "!\r");                            // ... left undefined
    EXPECT_EQ(h.command("lv -1 1"), "!\r");
    EXPECT_EQ(h.command("lv 32 1"), "!\r");

    // No pair at all defines a bar that cannot show yet; pairs that fail keep what came before.
    EXPECT_EQ(h.command("ld 6 0 0 9 9 1 0 0 000"), ">\r");
    EXPECT_EQ(h.command("lv 6 1"), "!\r");
    EXPECT_EQ(h.command("ld 6 0 0 9 9 1 0 0 000 9 F00 8 FF0 7 0F0 6 FFF"), "!\r");  // fourth
    ASSERT_EQ(h.command("lv 6 9"), ">\r");
    EXPECT_EQ(row(5, 0, 9), run('G', 8) + run('Y', 1) + run('R', 1));
    EXPECT_EQ(h.command("ld 7 0 20 9 29 1 0 0 000 5 F00 6 0F0"), "!\r");  // above the first
    EXPECT_EQ(h.command("ld 7 0 20 9 29 1 0 2 000 5 F00 1 0F0"), "!\r");  // below the minimum
    EXPECT_EQ(h.command("ld 7 0 20 9 29 1 0 0 000 5 F00 3"), "!\r");      // value, no colour
    EXPECT_EQ(h.command("ld 7 0 20 9 29 1 0 0 000 5 F00 3 XY"), "!\r");
    ASSERT_EQ(h.command("lv 7 5"), ">\r");
    EXPECT_EQ(row(25, 0, 9), run('R', 10));

    // The screen reset forgets every bar.
    EXPECT_EQ(h.command("z"), ">\r");
    EXPECT_EQ(h.command("lv 7 5"), "!\r");
    EXPECT_EQ(row(25, 0, 9), run('W', 10));
}

TEST(UserLed, TheHostOwnsItUntilItGivesItBack) {
    imgpack::MacroFile f;
    f.macros = {{"touch", {"outs \"T\""}}};
    std::string error;
    const auto bytes = imgpack::build(f, nullptr, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    Harness h;
    ASSERT_TRUE(h.flash2(bytes));
    ASSERT_EQ(h.boot(), ":loading 1KB bitmap/macro file from flash2\r>\r");
    ASSERT_EQ(h.command("x 130 100 100 200 200"), ">\r");
    ASSERT_EQ(h.command("xm 130 touch"), ">\r");
    const auto led = [&] { return h.module().board().gpio[int(Gpio::kActivityLed)] != 0; };
    // Times the LED was switched on since t0.
    const auto lit_since = [&](uint64_t t0) {
        int n = 0;
        for (const auto& e : h.module().events()) {
            if (e.kind == simlink::Event::kGpio && (e.value >> 8) == uint32_t(Gpio::kActivityLed) &&
                (e.value & 1) && e.t_ns >= t0) {
                ++n;
            }
        }
        return n;
    };
    const auto touch_macro = [&] {
        EXPECT_TRUE(h.tap(150, 150, 50));
        h.run_ms(200);
        EXPECT_EQ(h.take(), "x130\rT");
    };

    // The firmware's: lit for each host line and each touch-queued macro, dark between.
    uint64_t t0 = h.module().now_ns();
    ASSERT_EQ(h.command("vers").substr(0, 5), "VOXA5");
    touch_macro();
    EXPECT_EQ(lit_since(t0), 2);
    EXPECT_FALSE(led());

    // "on" and "off" take it: no reply, and host lines and macros leave it as set.
    h.send("led on\r");
    h.run_ms(50);
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(led());
    ASSERT_EQ(h.command("vers").substr(0, 5), "VOXA5");
    touch_macro();
    EXPECT_TRUE(led());
    h.send("led off\r");
    h.run_ms(50);
    EXPECT_FALSE(led());
    t0 = h.module().now_ns();
    ASSERT_EQ(h.command("vers").substr(0, 5), "VOXA5");
    touch_macro();
    EXPECT_EQ(lit_since(t0), 0);
    EXPECT_EQ(h.command("led blink"), "!\r");

    // "sys" gives it back.
    h.send("led sys\r");
    h.run_ms(50);
    EXPECT_EQ(h.take(), "");
    t0 = h.module().now_ns();
    ASSERT_EQ(h.command("vers").substr(0, 5), "VOXA5");
    touch_macro();
    EXPECT_EQ(lit_since(t0), 2);
    EXPECT_FALSE(led());
}

}  // namespace
}  // namespace voxa_test
