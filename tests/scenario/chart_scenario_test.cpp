// Charts fed by the host: the right edge of each type, the erase ahead of a sweeping chart, the
// commands' refusals, and the binary values of "bcv" on the raw port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr uint16_t kRed = 0xF800, kGreen = 0x07E0, kBlue = 0x001F, kBlack = 0, kWhite = 0xFFFF;
constexpr std::string_view kOffScreen =
    "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r";

// Bitmap 1: 40 x 20, every pixel different from its neighbours and from the pens.
constexpr int kBitmapW = 40, kBitmapH = 20;
uint16_t pattern(int x, int y) {
    return uint16_t(0x0821 * ((x + 3 * y) % 7 + 1));
}
std::vector<uint8_t> file_with_pattern() {
    std::vector<uint16_t> px;
    for (int y = 0; y < kBitmapH; ++y)
        for (int x = 0; x < kBitmapW; ++x) px.push_back(pattern(x, y));
    ImageBuilder b;
    b.add(3, {});
    b.addBitmap(1, kBitmapW, kBitmapH, ImageBuilder::pixels(px));
    return b.build(0xC8400000);
}

class Charts : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(h.boot(), kBootNoFile);
        ASSERT_EQ(h.command("z"), ">\r");
    }
    // Columns x0..x1 of row y whose pixel is c, as a string of '#' and '.'.
    std::string row(int y, int x0, int x1, uint16_t c) {
        std::string s;
        for (int x = x0; x <= x1; ++x) s += h.pixel(x, y) == c ? '#' : '.';
        return s;
    }
    // Whether column x from y0 to y1 holds colour c only.
    bool column_is(int x, int y0, int y1, uint16_t c) {
        for (int y = y0; y <= y1; ++y)
            if (h.pixel(x, y) != c) return false;
        return true;
    }
    void plot(const std::string& line, int times = 1) {
        for (int i = 0; i < times; ++i) ASSERT_EQ(h.command(line), ">\r") << line;
    }
    static std::string n(char c, int count) { return std::string(size_t(count), c); }
    Harness h;
};

TEST_F(Charts, ScrollingChartFillsItsWidthThenScrollsByTheStep) {
    // 101 columns (x1 - x0 = 100), step 10; values 0-99 over 100 rows: value v lands on 199 - v.
    ASSERT_EQ(h.command("cd 0 100 100 200 199 0 10 0 99 000 1 F00"), ">\r");
    EXPECT_TRUE(column_is(100, 100, 199, kBlack) && column_is(200, 100, 199, kBlack));
    EXPECT_TRUE(column_is(99, 100, 199, kWhite) && column_is(201, 100, 199, kWhite));
    plot("cv 0 0");      // a first point is a flat segment: 100..110 on the bottom row
    plot("cv 0 50", 9);  // up to 120, then flat to the right edge
    EXPECT_EQ(row(199, 100, 112, kRed), n('#', 11) + "..");
    EXPECT_EQ(row(149, 100, 200, kRed), n('.', 20) + n('#', 81));
    // The eleventh set moves everything 10 to the left and draws at the right edge.
    plot("cv 0 99");
    EXPECT_EQ(row(199, 100, 102, kRed), "#..");
    EXPECT_EQ(row(149, 100, 200, kRed), n('.', 10) + n('#', 81) + n('.', 10));
    EXPECT_EQ(h.pixel(200, 100), kRed);
    EXPECT_TRUE(column_is(99, 100, 199, kWhite) && column_is(201, 100, 199, kWhite));
    // Out of range values stay on the edges; the chart's pen is back to the host's after it.
    plot("cv 0 1000");
    EXPECT_EQ(h.pixel(200, 100), kRed);
    EXPECT_EQ(h.pixel(190, 100), kRed);
    ASSERT_EQ(h.command("l 300 10 310 10"), ">\r");
    EXPECT_EQ(row(10, 300, 310, kBlack), n('#', 11));
}

TEST_F(Charts, ThickPensOnAnUnevenWidthGetTheRestClearedAfterAScroll) {
    // x1 - x0 = 95 is no multiple of 10: the last plot before the scroll ends at column 90,
    // where a 5-pixel pen reaches past it, outside the area the scroll moves.
    ASSERT_EQ(h.command("cd 0 0 0 95 49 0 10 0 49 000 5 FFF"), ">\r");
    plot("cv 0 25", 9);
    ASSERT_EQ(row(24, 91, 92, kWhite), "##");
    plot("cv 0 0");  // scrolls, then goes down from column 80: nothing of it reaches 91
    EXPECT_EQ(row(24, 91, 95, kWhite), ".....");
}

TEST_F(Charts, TypeThreeStartsAtTheRightEdge) {
    ASSERT_EQ(h.command("cd 4 0 200 99 299 3 10 0 99 000 1 00F"), ">\r");
    plot("cv 4 50");
    EXPECT_EQ(row(249, 85, 99, kBlue), n('.', 4) + n('#', 11));
    plot("cv 4 50");
    EXPECT_EQ(row(249, 75, 99, kBlue), n('.', 4) + n('#', 21));
    // "cr" starts at the right edge again and "cc" also clears.
    ASSERT_EQ(h.command("cc 4"), ">\r");
    EXPECT_TRUE(column_is(95, 200, 299, kBlack));
    plot("cv 4 10");
    EXPECT_EQ(row(289, 85, 99, kBlue), n('.', 4) + n('#', 11));
}

TEST_F(Charts, SweepingChartErasesAheadAndWrapsItsSecondBand) {
    // 40 columns, step 10: plots at 0, 10 and 20, then back to 0.
    ASSERT_EQ(h.command("cd 3 0 0 39 19 1 10 0 19 000 1 0F0"), ">\r");
    plot("cv 3 5", 2);
    EXPECT_EQ(row(14, 0, 39, kGreen), n('#', 21) + n('.', 19));
    // Plotting at 20 clears 21..31 and, the next band not fitting, 0..10 where the pen goes next.
    plot("cv 3 5");
    EXPECT_EQ(row(14, 0, 39, kGreen), n('.', 11) + n('#', 20) + n('.', 9));
    // Back at 0: this time the bands ahead are 1..11 and 12..22.
    plot("cv 3 5");
    EXPECT_EQ(row(14, 0, 39, kGreen), n('#', 11) + n('.', 12) + n('#', 8) + n('.', 9));

    // Without erase ahead the old lines stay.
    ASSERT_EQ(h.command("cddm 3 off"), ">\r");
    plot("cv 3 5");
    EXPECT_EQ(row(14, 23, 30, kGreen), n('#', 8));

    // Retrace off: the chart fills up, says so and draws nothing until its cursor is reset.
    ASSERT_EQ(h.command("cdrm 3 off"), ">\r");
    plot("cv 3 0");
    const uint32_t full = h.framebuffer_crc();
    EXPECT_EQ(h.command("cv 3 0"), ":chart FULL and retrace is OFF\r>\r");
    EXPECT_EQ(h.command("cv 3 0"), ":chart FULL and retrace is OFF\r>\r");
    EXPECT_EQ(h.framebuffer_crc(), full);
    ASSERT_EQ(h.command("cr 3"), ">\r");
    plot("cv 3 19");
    EXPECT_EQ(row(0, 0, 10, kGreen), n('#', 11));
    // The modes belong to the sweeping types.
    ASSERT_EQ(h.command("cd 0 100 0 139 19 0 10 0 19 000 1 0F0"), ">\r");
    EXPECT_EQ(h.command("cddm 0 on"), "!\r");
    EXPECT_EQ(h.command("cdrm 0 off"), "!\r");
    EXPECT_EQ(h.command("cddm 3 yes"), "!\r");
}

TEST_F(Charts, BitmapChartRestoresItsBitmapAhead) {
    ASSERT_TRUE(h.flash2(file_with_pattern()));
    h.module().power_cycle();
    h.run_until_text(">\r", 3000);
    auto shows_bitmap = [&](int x0, int x1) {
        for (int x = x0; x <= x1; ++x)
            for (int y = 0; y < kBitmapH; ++y)
                if (h.pixel(300 + x, 300 + y) != pattern(x, y)) return false;
        return true;
    };
    EXPECT_EQ(h.command("cdb 5 300 300 10 0 19 7 1 F00"), ":Bitmap not present /r!\r");
    EXPECT_EQ(h.command("cdb 5 770 300 10 0 19 1 1 F00"), kOffScreen);
    // At the end of the int range the far corner must not wrap round onto the screen.
    EXPECT_EQ(h.command("cdb 5 2147483647 2147483647 10 0 19 1 1 F00"), kOffScreen);
    ASSERT_EQ(h.command("cdb 5 300 300 10 0 19 1 3 F00"), ">\r");
    EXPECT_TRUE(shows_bitmap(0, kBitmapW - 1));
    plot("cv 5 10", 2);
    EXPECT_FALSE(shows_bitmap(0, 20));
    EXPECT_TRUE(shows_bitmap(22, 39));
    plot("cv 5 10");  // the wrapped band restores 0..10
    EXPECT_TRUE(shows_bitmap(0, 10));
    EXPECT_FALSE(shows_bitmap(11, 31));
    ASSERT_EQ(h.command("cc 5"), ">\r");
    EXPECT_TRUE(shows_bitmap(0, kBitmapW - 1));
    EXPECT_EQ(h.command("cdbc 5 000"), "!\r");  // a bitmap chart has no background colour
    EXPECT_EQ(h.command("cdbb 5 2"), "!\r");
    EXPECT_EQ(h.command("cdbb 5 1"), ">\r");
}

TEST_F(Charts, PensBreakTheirLinesAndAreNumberedFromOneInCdp) {
    ASSERT_EQ(h.command("cd 0 0 0 99 99 0 10 0 99 000 1 F00 1 0F0"), ">\r");
    plot("cv 0 10 90");
    plot("cv 0 10 -");   // pen 2 has no value: its line breaks
    plot("cv 0 10 50");  // ... and starts again flat, not from 90
    EXPECT_EQ(row(9, 0, 30, kGreen), n('#', 11) + n('.', 20));
    EXPECT_EQ(row(49, 0, 30, kGreen), n('.', 20) + n('#', 11));
    ASSERT_EQ(h.command("cdp 0 2 1 00F"), ">\r");
    plot("cv 0 20 50");
    EXPECT_EQ(row(49, 30, 40, kBlue), n('#', 11));
    EXPECT_EQ(h.command("cdp 0 0 2 FFF"), "!\r");
    EXPECT_EQ(h.command("cdp 0 9 2 FFF"), "!\r");
    EXPECT_EQ(h.command("cdp 0 1 2 12"), "!\r");  // a colour of two characters
}

TEST_F(Charts, RefusedDefinitionsAndNumbers) {
    EXPECT_EQ(h.command("cd 0 0 0 99 99 0 0 0 9 000"), "!\r");    // step 0
    EXPECT_EQ(h.command("cd 0 0 0 99 99 0 256 0 9 000"), "!\r");  // step 256
    EXPECT_EQ(h.command("cd 0 0 0 99 99 4 10 0 9 000"), "!\r");   // type 4
    EXPECT_EQ(h.command("cd 10 0 0 99 99 0 10 0 9 000"), "!\r");
    EXPECT_EQ(h.command("cd -1 0 0 99 99 0 10 0 9 000"), "!\r");
    EXPECT_EQ(h.command("cd 0 0 0 99 99 0 10 0 9"), "!\r");
    EXPECT_EQ(h.command("cd 0 0 0 99 99 0 10 0 9 0000"), "!\r");
    // Corners are ordered before the screen check.
    EXPECT_EQ(h.command("cd 0 900 0 10 10 0 10 0 9 000"), kOffScreen);
    EXPECT_EQ(h.command("cd 0 0 0 99 480 0 10 0 9 000"), kOffScreen);
    EXPECT_EQ(h.command("cv 0 1"), "!\r");  // none of these defined the chart
    // The origin moves the chart; reversed corners describe the same one.
    ASSERT_EQ(h.command("o 700 400"), ">\r");
    EXPECT_EQ(h.command("cd 0 99 79 0 0 0 255 0 9 000 1 F00"), ">\r");
    EXPECT_TRUE(column_is(700, 400, 479, kBlack) && column_is(799, 400, 479, kBlack));
    EXPECT_EQ(h.command("cd 1 0 0 99 80 0 10 0 9 000"), kOffScreen);
    // A pair that is not whole fails the command; the chart stays with the pens before it.
    EXPECT_EQ(h.command("cd 2 0 0 9 9 1 1 0 9 000 1 F00 1"), "!\r");
    EXPECT_EQ(h.command("cv 2 1"), ">\r");
    EXPECT_EQ(h.command("cd 2 0 0 9 9 1 1 0 9 000 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00 1 "
                        "F00 1 F00"),
              "!\r");  // a ninth pen
    for (const char* line : {"cv -1 5", "cc -1", "cr -1", "cdp -1 1 1 F00", "cdbc -1 000",
                             "cddm -1 on", "cdrm -1 on", "cdbb -1 1", "cv 10 5", "cc", "cv"}) {
        EXPECT_EQ(h.command(line), "!\r") << line;
    }
    // The screen reset forgets every chart.
    ASSERT_EQ(h.command("z"), ">\r");
    EXPECT_EQ(h.command("cv 0 5"), "!\r");
    EXPECT_EQ(h.command("cc 2"), "!\r");
}

// The raw values of a three-pen chart for the sets given (0xFFFF: no value).
std::string binary_sets(const std::vector<std::vector<uint16_t>>& sets) {
    std::string s;
    for (const auto& set : sets)
        for (const uint16_t v : set) {
            s += char(v & 0xFF);
            s += char(v >> 8);
        }
    return s;
}

const char* const kThreePens = "cd 0 10 10 209 109 0 10 0 99 000 1 F00 2 0F0 3 00F";

TEST_F(Charts, BinaryValuesDrawWhatTheTextValuesDraw) {
    const std::vector<std::string> text = {"cv 0 10 20 30", "cv 0 50 - 99", "cv 0 99 40 0",
                                           "cv 0 0 60 -", "cv 0 70 80 90"};
    const std::vector<std::vector<uint16_t>> sets = {
        {10, 20, 30}, {50, 0xFFFF, 99}, {99, 40, 0}, {0, 60, 0xFFFF}, {70, 80, 90}};
    ASSERT_EQ(h.command(kThreePens), ">\r");
    for (const auto& line : text) plot(line);
    const uint32_t by_text = h.framebuffer_crc();

    Harness b;
    ASSERT_EQ(b.boot(), kBootNoFile);
    ASSERT_EQ(b.command("z"), ">\r");
    ASSERT_EQ(b.command(kThreePens), ">\r");
    ASSERT_EQ(b.command("bcv 0 5"), ">\r");
    b.send(binary_sets(sets));
    EXPECT_EQ(b.run_until_text(">\r", 100), ">\r");
    EXPECT_EQ(b.framebuffer_crc(), by_text);
}

TEST_F(Charts, BinaryTransferTakesExactlyItsSetsAndEnds) {
    ASSERT_EQ(h.command(kThreePens), ">\r");
    const std::string two = binary_sets({{10, 20, 30}, {40, 50, 60}});
    ASSERT_EQ(two.size(), 12u);
    ASSERT_EQ(h.command("bcv 0 2"), ">\r");
    h.send(two.substr(0, 11));
    h.run_ms(100);
    EXPECT_EQ(h.take(), "");
    h.send(two.substr(11) + "cv 0 1 2 3\r");
    EXPECT_EQ(h.run_until_text(">\r>\r", 100), ">\r>\r");  // the transfer, then the text line
    EXPECT_EQ(h.pixel(40, 109 - 3), kBlue);

    // No sets: done at once after the go-ahead.
    h.send("bcv 0 0\r");
    EXPECT_EQ(h.run_until_text(">\r>\r", 100), ">\r>\r");
    // No pens, no chart, a negative count or missing words: refused before any go-ahead, and
    // what follows is read as commands.
    ASSERT_EQ(h.command("cd 1 300 10 309 19 0 1 0 9 000"), ">\r");
    for (const char* line : {"bcv 1 2", "bcv 5 2", "bcv -1 2", "bcv 0 -1", "bcv 0", "bcv"}) {
        EXPECT_EQ(h.command(line), "!\r") << line;
    }
    EXPECT_EQ(h.command("cr 0"), ">\r");
}

TEST_F(Charts, SilentHostTimesOutFromItsLastSet) {
    ASSERT_EQ(h.command(kThreePens), ">\r");
    ASSERT_EQ(h.command("bcv 0 3"), ">\r");
    h.run_ms(3000);
    h.send(binary_sets({{10, 20, 30}}) + "\x01");
    h.run_ms(4900);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.run_until_text("!\r", 300), "!\r");
    // The byte of the broken set went with the transfer.
    EXPECT_EQ(h.command("cv 0 1 2 3"), ">\r");
}

TEST_F(Charts, HotspotReportsDuringATransfer) {
    ASSERT_EQ(h.command(kThreePens), ">\r");
    ASSERT_EQ(h.command("xs 130 400 100 500 200"), ">\r");
    ASSERT_EQ(h.command("bcv 0 2"), ">\r");
    h.send(binary_sets({{10, 20, 30}}));
    h.run_ms(30);
    ASSERT_TRUE(h.touch(450, 150));
    h.run_ms(100);
    EXPECT_EQ(h.take(), "x130\r");
    h.release();
    h.run_ms(100);
    h.take();
    h.send(binary_sets({{40, 50, 60}}));
    EXPECT_EQ(h.run_until_text(">\r", 200), ">\r");
}

TEST_F(Charts, FastSenderIsPausedAndReleased) {
    // A whole-screen chart of type 3 scrolls the screen for every set, so a host sending at
    // full speed gets ahead of the plotting: past 384 waiting bytes the module sends XOFF, and
    // XON once it has caught up. This host obeys them, and every set arrives.
    ASSERT_EQ(h.command("cd 0 0 0 799 479 3 1 0 999 000 1 F00"), ">\r");
    constexpr int kSets = 1000;
    ASSERT_EQ(h.command("bcv 0 1000"), ">\r");
    std::string replies;
    int xoffs = 0, xons = 0;
    bool paused = false;
    auto watch = [&] {
        for (const char c : h.take()) {
            if (c == '\x13') {
                ++xoffs;
                paused = true;
            } else if (c == '\x11') {
                ++xons;
                paused = false;
            } else {
                replies += c;
            }
        }
    };
    for (int i = 0; i < kSets; ++i) {
        h.send(binary_sets({{uint16_t(i == kSets - 1 ? 999 : i % 500)}}));
        h.run_ms(0.2);  // about a set's time on the line
        watch();
        for (int wait = 0; paused && wait < 10000; ++wait) {
            h.run_ms(1);
            watch();
        }
        ASSERT_FALSE(paused) << "never released after set " << i;
    }
    for (int wait = 0; replies.empty() && wait < 10000; ++wait) {
        h.run_ms(1);
        watch();
    }
    EXPECT_EQ(replies, ">\r");
    EXPECT_GT(xoffs, 0);
    EXPECT_EQ(xons, xoffs);
    EXPECT_EQ(h.pixel(799, 0), kRed);  // the last set, at the top of the right edge
}

}  // namespace
}  // namespace voxa_test
