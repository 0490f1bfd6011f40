// Drawing state and graphics commands through the host port: replies byte for byte, pixels.
#include <gtest/gtest.h>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kBlack = 0x0000;
constexpr uint16_t kRed = 0xF800;

class Drawing : public ::testing::Test {
  protected:
    // The start-up banner is cleared away: these tests draw on an empty screen.
    void SetUp() override {
        ASSERT_EQ(h.boot(), kBootNoFile);
        ASSERT_EQ(h.command("z"), ">\r");
    }
    // Sends a line and expects the exact reply (prompt included).
    void expect(const char* line, const char* reply) {
        EXPECT_EQ(visible(h.command(line)), visible(reply)) << "line: " << line;
    }
    int count_in(int x0, int y0, int x1, int y1, uint16_t value) {
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) n += h.pixel(x, y) == value;
        }
        return n;
    }
    Harness h;
};

TEST_F(Drawing, ColoursFromThePaletteAndFromHexWords) {
    // Start-up: black on white.
    expect("S", "000000 (0000) FFFFFF (FFFF)\r>\r");
    expect("s 25 1", "Invalid Foreground Color>\r");
    expect("S", "000000 (0000) FFFFFF (FFFF)\r>\r");
    expect("s 5 20", "Invalid Background Color>\r");
    expect("S", "FF0000 (F800) 000000 (0000)\r>\r");
    expect("s 7 16", ">\r");
    expect("S", "A52A2A (A145) FFFF00 (FFE0)\r>\r");
    // Two three-character words are short forms; otherwise both are numbers.
    expect("S 0F0 000", ">\r");
    expect("S", "00FF00 (07E0) 000000 (0000)\r>\r");
    expect("S 00F000 0", ">\r");
    expect("S", "00F000 (0780) 000000 (0000)\r>\r");
    expect("S 1563412 ABC", ">\r");  // masked to 24 bits
    expect("S", "563412 (51A2) 000ABC (0057)\r>\r");
    expect("S 123", "!\r");
    expect("s 1", "!\r");
    // The quantised colour reads back with the low bits empty.
    expect("S 563412 0", ">\r");
    expect("pw 0 0", ">\r");
    expect("prx 0 0", "503410\r>\r");
    expect("pr 0 0", "51A2\r>\r");
}

TEST_F(Drawing, PenAndDrawModeAreSetAndQueried) {
    expect("p", "1\r>\r");
    expect("p 0", "!\r");
    expect("p 481", "!\r");  // taller than the panel
    expect("p 256", "!\r");  // would become a pen of 0 in eight bits
    expect("p -3", "!\r");
    expect("p", "1\r>\r");
    expect("p 255", ">\r");
    expect("p", "255\r>\r");
    expect("d", "n\r>\r");
    expect("d xor", ">\r");
    expect("d", "x\r>\r");
    expect("dx", ">\r");
    expect("d normal", ">\r");
    expect("d", "n\r>\r");
    expect("d q", "!\r");
    expect("d ", "!\r");
}

TEST_F(Drawing, OriginCursorAndStateReport) {
    expect("*STATE",
           "*STATE:0xFFFFFF 0x000000 0xFF 0x00 0x01 0x00 0x00 0x00 N 0x0000 0x0000 0x0000 0x   "
           "0\r>\r");
    expect("o 100 20", ">\r");
    expect("o", "100 20\r>\r");
    expect("o 7", "100 20\r>\r");  // one number queries
    expect("sc", "0 0\r>\r");
    expect("sc 5 6", ">\r");
    expect("sc", "5 6\r>\r");
    expect("s 2 5", ">\r");
    expect("p 3", ">\r");
    expect("d x", ">\r");
    expect("*STATEF",
           "*STATE:Bclr 0x0000FF Fclr 0xFF0000 p 0x03 line 0x00 dm 0x01 ta 0x00 tm N oX 0x0064 "
           "oY 0x0014 X 0x0069 Y 0x001A\r>\r");
    expect("o -10 -1", ">\r");
    expect("*STATE",
           "*STATE:0x0000FF 0xFF0000 0x00 0x1F 0x03 0x00 0x01 0x00 N 0xFFFFFFF6 0xFFFFFFFF "
           "0xFFFFFFF6 0xFFFFFFFF\r>\r");
    // Clearing resets origin and cursor but not colours or pen.
    expect("zs", ">\r");
    expect("o", "0 0\r>\r");
    expect("sc", "0 0\r>\r");
    expect("p", "3\r>\r");
}

TEST_F(Drawing, SaveAndRestoreTheDrawingState) {
    expect("s 5 2", ">\r");
    expect("p 4", ">\r");
    expect("o 30 40", ">\r");
    expect("ss", ">\r");
    expect("s 1 0", ">\r");
    expect("p 1", ">\r");
    expect("o 0 0", ">\r");
    expect("d x", ">\r");
    expect("sr", ">\r");
    expect("S", "FF0000 (F800) 0000FF (001F)\r>\r");
    expect("p", "4\r>\r");
    expect("o", "30 40\r>\r");
    expect("d", "n\r>\r");
    expect("ss 1", "!\r");
}

TEST_F(Drawing, PixelsAreReadAndWrittenRelativeToTheOrigin) {
    expect("o 10 10", ">\r");
    expect("pw 1 1 F800", ">\r");
    EXPECT_EQ(h.pixel(11, 11), kRed);
    expect("pwx 2 1 00FF00", ">\r");
    EXPECT_EQ(h.pixel(12, 11), 0x07E0);
    expect("pr 2 1", "07E0\r>\r");
    expect("prx 1 1", "F80000\r>\r");
    expect("pw 3 1", ">\r");  // two values: the foreground colour
    EXPECT_EQ(h.pixel(13, 11), kBlack);
    // Off the screen: refused, nothing written.
    expect("pw 790 1 1234", "!\r");
    expect("pw -11 0 1234", "!\r");
    expect("pr 0 470", "!\r");
    expect("pr 5", "!\r");
    expect("pw 1 2 3 4", ">\r");  // text after the last value is ignored
    EXPECT_EQ(h.pixel(11, 12), 0x0003);
    expect("pw -100 -100", ">\r");  // the library clips
}

TEST_F(Drawing, LinesPointsCirclesEllipsesAndArcs) {
    expect("l 10 10 20 10", ">\r");
    EXPECT_EQ(count_in(9, 9, 21, 11, kBlack), 11);
    expect("l10 20 30 20 // a remark", ">\r");
    EXPECT_EQ(count_in(9, 19, 31, 21, kBlack), 21);
    expect("p 3", ">\r");
    expect("dp 50 50", ">\r");
    EXPECT_EQ(count_in(45, 45, 55, 55, kBlack), 9);
    expect("p 1", ">\r");
    expect("c 100 100 5", ">\r");
    EXPECT_EQ(h.pixel(100, 100), kWhite);
    EXPECT_EQ(h.pixel(105, 100), kBlack);
    expect("c 200 100 5 0", ">\r");  // any fourth value fills
    EXPECT_EQ(h.pixel(200, 100), kBlack);
    EXPECT_EQ(h.pixel(205, 100), kBlack);
    expect("c300 100 5", ">\r");
    EXPECT_EQ(h.pixel(305, 100), kBlack);
    expect("C 10 20 5", "!\r");
    expect("ef 100 200 181 10", "Radius values over 180\r!\r");
    expect("e 100 200 10 181", ":Radius values over 180\r!\r");
    expect("e 400 240 180 20", ">\r");
    EXPECT_EQ(h.pixel(580, 240), kBlack);
    EXPECT_EQ(h.pixel(400, 240), kWhite);
    expect("ef 100 300 20 10", ">\r");
    EXPECT_EQ(h.pixel(100, 300), kBlack);
    EXPECT_EQ(h.pixel(120, 300), kBlack);
    EXPECT_EQ(h.pixel(121, 300), kWhite);
    expect("a 600 100 40 0 90", ">\r");
    EXPECT_EQ(h.pixel(640, 100), kBlack);
    EXPECT_EQ(h.pixel(600, 60), kBlack);
    EXPECT_EQ(h.pixel(560, 100), kWhite);
    expect("a 600 100 40 0", "!\r");
}

TEST_F(Drawing, RectanglesByType) {
    expect("s 5 1", ">\r");
    expect("r 10 10 20 20", ">\r");  // outline
    EXPECT_EQ(h.pixel(10, 10), kRed);
    EXPECT_EQ(h.pixel(15, 15), kWhite);
    expect("r 30 10 40 20 1", ">\r");
    EXPECT_EQ(count_in(30, 10, 40, 20, kRed), 121);
    // A two-character colour word: type 3 falls back to the foreground, type 1 paints white.
    expect("s 1 0", ">\r");
    expect("r 50 10 60 20 3 12", ">\r");
    EXPECT_EQ(count_in(50, 10, 60, 20, kWhite), 121);
    expect("s 5 0", ">\r");
    expect("r 50 10 60 20 3 12", ">\r");
    EXPECT_EQ(count_in(50, 10, 60, 20, kRed), 121);
    expect("r 70 10 80 20 1 12", ">\r");
    EXPECT_EQ(count_in(70, 10, 80, 20, kWhite), 121);
    expect("r 90 10 100 20 1 00F", ">\r");
    EXPECT_EQ(count_in(90, 10, 100, 20, 0x001F), 121);
    expect("r 90 30 100 40 3 0F0", ">\r");
    EXPECT_EQ(count_in(90, 30, 100, 40, 0x07E0), 121);
    expect("S", "FF0000 (F800) 000000 (0000)\r>\r");  // the word did not stay
    // Dotted outline.
    expect("r 10 30 20 40 2", ">\r");
    EXPECT_EQ(h.pixel(10, 30), kRed);
    EXPECT_EQ(h.pixel(11, 30), kWhite);
    EXPECT_EQ(h.pixel(12, 30), kRed);
    EXPECT_EQ(h.pixel(20, 32), kRed);
    EXPECT_EQ(h.pixel(20, 40), kWhite);
    EXPECT_EQ(count_in(10, 30, 20, 40, kRed), 19);  // the top-left dot once
    expect("r 10 50 20 60 5", "!\r");
    expect("r 10 50 20 60 5 abc", "!\r");
    EXPECT_EQ(count_in(10, 50, 20, 60, kRed), 0);
}

TEST_F(Drawing, PolygonsTrianglesAndRotation) {
    expect("pg 10 10 0 0 5", "!\r");
    expect("pg 10 10 0 0 10 0", ">\r");  // two points
    EXPECT_EQ(count_in(9, 9, 21, 11, kBlack), 11);
    expect("pgr 45 10 10 0 0 10 0 20", "!\r");  // six values with the angle
    expect("pf 100 100 0 0 20 0 20 20 0 20", ">\r");
    EXPECT_EQ(count_in(100, 100, 120, 120, kBlack), 21 * 21);
    // "pl" keeps the filled mark of "pf", so "ppgr" fills the polyline's points.
    expect("pl 200 100 0 0 20 0 20 20", ">\r");
    EXPECT_EQ(h.pixel(205, 110), kWhite);
    expect("ppgr 0", ">\r");
    EXPECT_EQ(h.pixel(215, 110), kBlack);
    EXPECT_EQ(h.pixel(205, 110), kWhite);
    // A rotation by 90 degrees: the point to the right goes up (the angle is taken as 360 - a).
    expect("pgr 90 300 300 0 0 30 0", ">\r");
    EXPECT_EQ(h.pixel(300, 270), kBlack);
    EXPECT_EQ(h.pixel(330, 300), kWhite);
    // The stored points are not rotated: "ppgr 0" draws them as given, as an outline.
    expect("ppgr 0", ">\r");
    EXPECT_EQ(h.pixel(330, 300), kBlack);
    expect("ppgr", "!\r");
    expect("tr 400 100 440 100 420 130", ">\r");
    EXPECT_EQ(h.pixel(420, 100), kBlack);
    EXPECT_EQ(h.pixel(420, 110), kWhite);
    expect("tr 500 100 540 100 520 130 F00", ">\r");
    EXPECT_EQ(h.pixel(520, 110), kRed);
    expect("S", "000000 (0000) FFFFFF (FFFF)\r>\r");
    expect("tr 1 2 3 4 5", "!\r");
}

TEST_F(Drawing, XorDrawingTwiceRestoresTheScreen) {
    expect("s 5 1", ">\r");
    expect("r 0 0 799 479 1", ">\r");
    const uint32_t before = h.framebuffer_crc();
    expect("d x", ">\r");
    expect("p 5", ">\r");
    const char* figures[] = {"l 10 10 300 200",
                             "pg 400 240 0 -60 35 50 -57 -18 57 -18 -35 50",
                             "pf 400 240 0 -60 35 50 -57 -18 57 -18 -35 50",
                             "c 100 300 40",
                             "a 600 300 80 10 300",
                             "r 20 20 200 100",
                             "i 1 700 10"};
    for (const char* f : figures) {
        expect(f, ">\r");
        EXPECT_NE(h.framebuffer_crc(), before) << f;
        expect(f, ">\r");
        EXPECT_EQ(h.framebuffer_crc(), before) << f;
    }
}

TEST_F(Drawing, ButtonFaces) {
    expect("i 1 10 10", ">\r");
    expect("i 2 100 10", ">\r");
    expect("i 3 200 10", "!\r");
    EXPECT_EQ(count_in(200, 10, 263, 73, kWhite), 64 * 64);
    int differ = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) differ += h.pixel(10 + x, 10 + y) != h.pixel(100 + x, 10 + y);
    }
    EXPECT_GT(differ, 64 * 64 / 2);
    // A raised face is lit from the top left, a pressed one from the bottom right.
    EXPECT_GT(h.pixel(12, 30) >> 11, h.pixel(71, 30) >> 11);
    EXPECT_LT(h.pixel(102, 30) >> 11, h.pixel(161, 30) >> 11);
    // Partly off the screen: drawn clipped.
    expect("i 1 770 450", ">\r");
    expect("i 1 -5000 0", ">\r");
}

TEST_F(Drawing, ScreenAreasAreSavedAndRestored) {
    expect("s 5 1", ">\r");
    expect("r 0 0 9 9 1", ">\r");
    expect("ws 0 0 9 9", ">\r");
    expect("ws 0 0 9 9 4", "!\r");
    expect("ws 9 0 0 9", "!\r");        // corners the wrong way round
    expect("ws 795 0 804 9", "!\r");    // past the right edge
    expect("ws 0 0 799 479 1", "!\r");  // more than the slot holds
    expect("wr 0 0 2", ">\r");          // never saved: nothing drawn
    expect("o 50 50", ">\r");
    expect("wr 100 100", ">\r");  // absolute, not moved by the origin
    EXPECT_EQ(count_in(100, 100, 109, 109, kRed), 100);
    EXPECT_EQ(count_in(150, 150, 159, 159, kRed), 0);
    expect("wr 795 475", ">\r");  // clipped at the screen's corner
    EXPECT_EQ(count_in(795, 475, 799, 479, kRed), 25);
    expect("wr -5 -5 256", ">\r");  // the slot is the low byte: 0
    EXPECT_EQ(count_in(0, 0, 4, 4, kRed), 25);
    // A large save in slot 0 leaves slot 1 alone.
    expect("o 0 0", ">\r");
    expect("s 3 1", ">\r");
    expect("r 0 300 19 309 1", ">\r");
    expect("ws 0 300 19 309 1", ">\r");
    expect("ws 0 0 799 270", ">\r");  // 216,800 pixels
    expect("ws 0 0 799 271", "!\r");  // 217,600: more than slot 0 holds
    expect("z", ">\r");
    expect("wr 400 400 1", ">\r");
    EXPECT_EQ(count_in(400, 400, 419, 409, 0x07E0), 200);
}

TEST_F(Drawing, ScrollingAnArea) {
    expect("s 5 1", ">\r");
    expect("l 0 0 0 9", ">\r");  // a red column at the left of a 10 x 10 area
    expect("k 0 0 9 9 2 L", "!\r");
    expect("k 0 0 9 9 10 l", "!\r");
    expect("k 0 0 9 9 -1 l", "!\r");
    expect("k 0 0 9 9 0 L", ">\r");
    EXPECT_EQ(count_in(0, 0, 0, 9, kRed), 10);
    expect("k 0 0 9 9 1 L", ">\r");  // the left column comes back on the right
    EXPECT_EQ(count_in(9, 0, 9, 9, kRed), 10);
    EXPECT_EQ(count_in(0, 0, 8, 9, kRed), 0);
    expect("k 0 0 9 9 1 R", ">\r");
    EXPECT_EQ(count_in(0, 0, 0, 9, kRed), 10);
    expect("k 0 0 9 9 3 r", ">\r");
    EXPECT_EQ(count_in(3, 0, 3, 9, kRed), 10);
    EXPECT_EQ(count_in(0, 0, 2, 9, kWhite), 30);
    expect("k 0 0 9 9 0 d", ">\r");
    expect("k 0 0 9 9 4 d", ">\r");
    EXPECT_EQ(count_in(3, 4, 3, 9, kRed), 6);
    EXPECT_EQ(count_in(0, 0, 9, 3, kWhite), 40);
    expect("k 0 0 9 9 9 u", ">\r");
    EXPECT_EQ(count_in(3, 0, 3, 0, kRed), 1);
    expect("k 0 0 9 9 1 x", "!\r");
    expect("k 0 0 800 9 1 l",
           "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
    expect("k 9 0 0 9 1 l", "!\r");
    expect("o 5 0", ">\r");
    expect("k 0 0 794 9 1 l", ">\r");
    expect("k 0 0 795 9 1 l",
           "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
}

TEST_F(Drawing, ClearingTheScreen) {
    expect("s 5 3", ">\r");
    expect("r 0 0 9 9 1", ">\r");
    expect("o 5 5", ">\r");
    expect("zs", ">\r");
    expect("o", "0 0\r>\r");
    EXPECT_EQ(h.pixel(0, 0), kRed);
    expect("zs 0", ">\r");
    EXPECT_EQ(h.pixel(0, 0), kRed);
    expect("zs 7", ">\r");  // no stored bitmap 7: nothing painted
    EXPECT_EQ(h.pixel(0, 0), kRed);
    expect("zap", ">\r");  // every line starting with z clears
    EXPECT_EQ(count_in(0, 0, 799, 479, 0x07E0), 800 * 480);
}

TEST_F(Drawing, WaitingForTheScan) {
    expect("wvr", ">\r");
    expect("wvr 479", ">\r");
    expect("wvr 100000", ">\r");
    expect("wrf 1", ":Incorrect parameters\r!\r");
    expect("wrf 0 100", ">\r");
}

}  // namespace
}  // namespace voxa_test
