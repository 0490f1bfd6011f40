// Needle meters as a host drives them: definitions and their refusals, where the needle stands
// for a value, what a move leaves behind on the dial and on a band meter's arcs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr uint16_t kBlue = 0x001F;    // the needle ("S 00F FFF")
constexpr uint16_t kRed = 0xF800;     // band colour F00
constexpr uint16_t kGreen = 0x07E0;   // rest colour 0F0
constexpr uint16_t kYellow = 0xFFE0;  // band colour FF0

// The dial: 200 x 200 at (100, 100), pivot in its middle. Every pixel carries its position, so a
// dial put back one pixel off changes the picture; none equals a needle or arc colour.
constexpr int kDialX = 100, kDialY = 100, kDialSize = 200;
constexpr int kPivotX = kDialX + 100, kPivotY = kDialY + 100;

uint16_t dial_pixel(int x, int y) {
    return uint16_t(0x0800 | ((x * 7 + y * 3) & 0x3F) << 5 | (x + y) % 17);
}

// Record 1 the dial, record 2 a run-length bitmap.
std::vector<uint8_t> meter_file() {
    std::vector<uint16_t> dial;
    for (int y = 0; y < kDialSize; ++y)
        for (int x = 0; x < kDialSize; ++x) dial.push_back(dial_pixel(x, y));
    ImageBuilder b;
    b.add(3, {});
    b.addBitmap(1, kDialSize, kDialSize, ImageBuilder::pixels(dial));
    b.addBitmap(2, 2, 2, {4, 0x00, 0xF8});
    return b.build(0xC8400000);
}

// A needle 90 long pointing down at the initial value, over the arcs of radius 70.
const std::string kNeedle = " 100 100 -4 0 4 0 0 90";
// Scale from the bottom (0) clockwise to the right (270), values 0 to 100.
const std::string kPlainMeter = "md 0 1 100 100 0 0 100 0 0 270" + kNeedle;
const std::string kBandMeter = "mdb 1 1 100 100 0 0 100 0 0 270 60 100 70 5 F00 0F0" + kNeedle;

struct Point {
    int x, y;
};

// Where a value of the 0..100, 270-degree scale lies at distance r from the pivot: 2.7 degrees
// per unit clockwise from straight down.
Point on_scale(double value, double r) {
    const double a = 2.7 * value * 3.14159265358979 / 180;
    return {int(std::lround(kPivotX - r * std::sin(a))),
            int(std::lround(kPivotY + r * std::cos(a)))};
}

class MeterScenario : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(h.flash2(meter_file()));
        h.boot();
        ASSERT_EQ(h.command("S 00F FFF"), ">\r");
    }
    uint16_t at(Point p) const { return h.pixel(p.x, p.y); }
    uint16_t dial_at(Point p) const { return dial_pixel(p.x - kDialX, p.y - kDialY); }

    Harness h;
};

TEST_F(MeterScenario, DefinitionsRefusedWithTheirMessages) {
    const std::string tail = " 0 0 270" + kNeedle;
    EXPECT_EQ(h.command("md 0 1 100 100 0 0 100 0 0 270 100 100 -4 0 4 0 0"),
              ":missing argument(s)!\r");  // 17 numbers
    EXPECT_EQ(h.command("mdb 1 1 100 100 0 0 100 0 0 270 60 100 70 5 F00 0F0 100 100 -4 0 4 0 0"),
              ":missing argument(s)!\r");  // 23 items
    EXPECT_EQ(h.command("md 8 1 100 100 0 0 100" + tail), ":index 8 > max 8\r!\r");
    EXPECT_EQ(h.command("md -1 1 100 100 0 0 100" + tail), ":index -1 > max 8\r!\r");
    EXPECT_EQ(h.command("md 0 9 100 100 0 0 100" + tail), ":bitmap 9 invalid\r!\r");
    EXPECT_EQ(h.command("md 0 0 100 100 0 0 100" + tail), ":bitmap 0 invalid\r!\r");
    EXPECT_EQ(h.command("md 0 2 100 100 0 0 100" + tail), ":bitmap must be uncompressed\r!\r");
    EXPECT_EQ(h.command("md 0 1 100 100 0 0 100 101 0 270" + kNeedle),
              ":Initial value out of range!\r");
    EXPECT_EQ(h.command("md 0 1 100 100 0 100 0 50 0 270" + kNeedle),
              ":Initial value out of range!\r");
    // An empty range would put every angle at a division by zero.
    EXPECT_EQ(h.command("md 0 1 100 100 0 5 5 5 0 270" + kNeedle),
              ":Initial value out of range!\r");
    // Nothing was defined: there is no meter 0 to move.
    EXPECT_EQ(h.command("mv 0 0"), "!\r");

    // Pen widths 1 to the screen's height (480) only; a refused one leaves no meter behind.
    const std::string head = "mdb 1 1 100 100 0 0 100 0 0 270 60 100 70 ";
    EXPECT_EQ(h.command(head + "0 F00 0F0" + kNeedle), ":pen width out of range!\r");
    EXPECT_EQ(h.command("mv 1 10"), "!\r");
    EXPECT_EQ(h.command(head + "481 F00 0F0" + kNeedle), ":pen width out of range!\r");
    EXPECT_EQ(h.command(head + "480 F00 0F0" + kNeedle), ">\r");
    EXPECT_EQ(h.command(kBandMeter), ">\r");
    EXPECT_EQ(h.command("mvb 1 50 60 100 70 0 F00 00F"), ":pen width out of range!\r");
    EXPECT_EQ(h.command("mvb 1 50 60 100 70 481 F00 00F"), ":pen width out of range!\r");
}

TEST_F(MeterScenario, NeedleStandsWhereTheScalePutsTheValue) {
    ASSERT_EQ(h.command(kPlainMeter), ">\r");
    // Angles 0 and 270 mirrored: a 270-degree scale, 2.7 degrees per unit.
    for (const int value : {0, 50, 100, 37, 1}) {
        ASSERT_EQ(h.command("mv 0 " + std::to_string(value)), ">\r");
        // Along the needle where it is wider than a pixel, and its tip (a corner is always
        // filled).
        for (const double r : {20.0, 60.0, 90.0})
            EXPECT_EQ(at(on_scale(value, r)), kBlue) << value << " at " << r;
        // Past the tip the dial shows.
        EXPECT_EQ(at(on_scale(value, 93)), dial_at(on_scale(value, 93))) << value;
    }
    // The needle of 1 is not where 0's was: 2.7 degrees away, 4 pixels at the tip.
    EXPECT_EQ(at(on_scale(0, 90)), dial_at(on_scale(0, 90)));
    // The same value again draws nothing: a pixel painted over the needle stays.
    const Point p = on_scale(1, 60);
    ASSERT_EQ(h.command("pw " + std::to_string(p.x) + " " + std::to_string(p.y) + " 0"), ">\r");
    EXPECT_EQ(h.command("mv 0 1"), ">\r");
    EXPECT_EQ(at(p), 0);
    // Outside the range, or a meter that is not there.
    for (const char* line : {"mv 0 101", "mv 0 -1", "mv -1 5", "mv 8 5", "mv 2147483647 5",
                             "mv -2147483648 5", "mv 3 0", "mvb 3 0", "mvb -1 0"})
        EXPECT_EQ(h.command(line), "!\r") << line;
}

TEST_F(MeterScenario, MovingAwayAndBackGivesTheDefinedPicture) {
    ASSERT_EQ(h.command(kPlainMeter), ">\r");
    const uint32_t defined = h.framebuffer_crc();
    for (const char* value : {"30", "77", "100", "12", "0"})
        ASSERT_EQ(h.command(std::string("mv 0 ") + value), ">\r");
    EXPECT_EQ(h.framebuffer_crc(), defined);
    // Under an origin the dial and needle move with it (dial at 310, 220, pivot at 410, 320),
    // and still come back whole.
    ASSERT_EQ(h.command("o 10 20"), ">\r");
    ASSERT_EQ(h.command("md 2 1 300 200 0 -10 10 0 0 0 100 100 -3 0 3 0 0 -80"), ">\r");
    EXPECT_EQ(h.pixel(310, 220), dial_pixel(0, 0));
    EXPECT_EQ(h.pixel(410, 320 - 50), kBlue);
    const uint32_t both = h.framebuffer_crc();
    // Equal angles: a whole turn over the range, so -5 turns a quarter one way, 5 the other.
    ASSERT_EQ(h.command("mv 2 -5"), ">\r");
    EXPECT_EQ(h.pixel(410 - 50, 320), kBlue);
    EXPECT_EQ(h.pixel(410, 320 - 50), dial_pixel(100, 50));
    ASSERT_EQ(h.command("mv 2 5"), ">\r");
    EXPECT_EQ(h.pixel(410 + 50, 320), kBlue);
    ASSERT_EQ(h.command("mv 2 0"), ">\r");
    EXPECT_EQ(h.framebuffer_crc(), both);
}

TEST_F(MeterScenario, BandMeterKeepsItsArcsUnderTheNeedle) {
    ASSERT_EQ(h.command(kBandMeter), ">\r");
    // The rest arc over the scale, the band over 60..100, nothing beyond the scale's end.
    EXPECT_EQ(at(on_scale(30, 70)), kGreen);
    EXPECT_EQ(at(on_scale(97, 70)), kRed);
    EXPECT_EQ(at(on_scale(80, 70)), kRed);
    EXPECT_EQ(at(on_scale(50, 70)), kGreen);
    EXPECT_EQ(at(on_scale(111, 70)), dial_at(on_scale(111, 70)));
    const uint32_t defined = h.framebuffer_crc();

    // The needle crosses its arc where the value lies on it.
    ASSERT_EQ(h.command("mv 1 97"), ">\r");
    EXPECT_EQ(at(on_scale(97, 70)), kBlue);
    EXPECT_EQ(at(on_scale(0, 70)), kGreen);  // the old needle's cut in the arc is mended
    ASSERT_EQ(h.command("mv 1 50"), ">\r");
    EXPECT_EQ(at(on_scale(97, 70)), kRed);
    ASSERT_EQ(h.command("mv 1 0"), ">\r");
    EXPECT_EQ(h.framebuffer_crc(), defined);

    // "mvb" with the band it has moves the needle only; a count between 2 and 8 is "mv".
    ASSERT_EQ(h.command("mvb 1 50 60 100 70 5 F00 00F"), ">\r");
    EXPECT_EQ(at(on_scale(50, 40)), kBlue);
    EXPECT_EQ(h.command("mvb 1 20 60"), ":Incorrect number of parameters>\r");
    EXPECT_EQ(at(on_scale(20, 40)), kBlue);
    EXPECT_EQ(at(on_scale(50, 40)), dial_at(on_scale(50, 40)));
    EXPECT_EQ(h.command("mvb 1 0 1 2 3 4 F00"), ":Incorrect number of parameters>\r");
    EXPECT_EQ(h.framebuffer_crc(), defined);

    // A new band of another radius and pen: the old arcs go, the new ones and the needle in
    // its new colour are drawn.
    ASSERT_EQ(h.command("mvb 1 0 20 40 50 9 FF0 F00"), ">\r");
    EXPECT_EQ(at(on_scale(30, 50)), kYellow);
    EXPECT_EQ(at(on_scale(70, 50)), kGreen);
    EXPECT_EQ(at(on_scale(30, 70)), dial_at(on_scale(30, 70)));
    EXPECT_EQ(at(on_scale(80, 70)), dial_at(on_scale(80, 70)));
    EXPECT_EQ(at(on_scale(0, 30)), kRed);
    // The needle keeps its colour for "mv" and two-number "mvb".
    ASSERT_EQ(h.command("mv 1 10"), ">\r");
    EXPECT_EQ(at(on_scale(10, 30)), kRed);
    ASSERT_EQ(h.command("mvb 1 0"), ">\r");
    EXPECT_EQ(at(on_scale(0, 30)), kRed);
    // The needle colour alone changes at the same value.
    ASSERT_EQ(h.command("mvb 1 0 20 40 50 9 FF0 00F"), ">\r");
    EXPECT_EQ(at(on_scale(0, 30)), kBlue);
    // Back to the band of the definition: the picture of the definition.
    ASSERT_EQ(h.command("mvb 1 0 60 100 70 5 F00 00F"), ">\r");
    EXPECT_EQ(h.framebuffer_crc(), defined);
}

TEST_F(MeterScenario, ExtremeNumbersStayInRangeAndOnTheScale) {
    // The whole int range: (initial - value) and maximum - minimum overflow 32 bits.
    ASSERT_EQ(h.command("md 0 1 100 100 0 -2147483648 2147483647 -2147483648 0 270" + kNeedle),
              ">\r");
    const uint32_t defined = h.framebuffer_crc();
    ASSERT_EQ(h.command("mv 0 2147483647"), ">\r");
    EXPECT_EQ(at(on_scale(100, 60)), kBlue);
    ASSERT_EQ(h.command("mv 0 0"), ">\r");
    EXPECT_EQ(at(on_scale(50, 60)), kBlue);
    ASSERT_EQ(h.command("mv 0 -2147483648"), ">\r");
    EXPECT_EQ(h.framebuffer_crc(), defined);
    // A band far outside the scale and huge radii and pens are drawn clipped, not wrapped.
    EXPECT_EQ(h.command("mdb 1 1 100 100 0 0 100 0 -2147483648 2147483647 -2147483648 2147483647 "
                        "2147483647 1 F00 0F0" +
                        kNeedle),
              ">\r");
    EXPECT_EQ(h.command("mvb 1 100 -2147483648 2147483647 -5 480 F00 00F"), ">\r");
    EXPECT_EQ(h.command("mvb 1 3 2147483647 -2147483648 100000 200 FF0 00F"), ">\r");
    // Needle points and pivot at the ends of 16 bits, and a far origin.
    EXPECT_EQ(h.command("md 2 1 100 100 0 0 10 0 0 0 32767 -32768 32767 32767 -32768 -32768 0 0"),
              ">\r");
    EXPECT_EQ(h.command("mv 2 5"), ">\r");
    ASSERT_EQ(h.command("o 2147483647 -2147483648"), ">\r");
    EXPECT_EQ(h.command("md 3 1 2147483647 2147483647 0 0 10 0 0 90" + kNeedle), ">\r");
    EXPECT_EQ(h.command("mv 3 10"), ">\r");
}

TEST_F(MeterScenario, ScreenResetRemovesEveryMeter) {
    for (const char* reset : {"z", "zs"}) {
        ASSERT_EQ(h.command(kPlainMeter), ">\r");
        ASSERT_EQ(h.command(kBandMeter), ">\r");
        ASSERT_EQ(h.command("mv 0 40"), ">\r");
        ASSERT_EQ(h.command(reset), ">\r");
        for (const char* line :
             {"mv 0 0", "mv 0 50", "mv 1 50", "mvb 1 50", "mvb 1 50 60 100 70 5 F00 00F"})
            EXPECT_EQ(h.command(line), "!\r") << reset << ": " << line;
    }
}

}  // namespace
}  // namespace voxa_test
