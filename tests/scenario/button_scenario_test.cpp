// Bitmap buttons as the host sees them: the faces and texts they draw, the finger on them, their
// reports, macros, states and removal, on the simulated panel in virtual time.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "imgpack.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr double kSettleMs = 60;  // a touch is seen within one burst
constexpr double kLiftMs = 250;   // a lift is seen after at most one hold-off
constexpr int kFace = 64;         // the built-in faces
constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kRed = 0xF800;
constexpr uint16_t kBlue = 0x001F;
constexpr uint16_t kKey = 0x07E0;  // the see-through colour of the transparent face

class ButtonScenario : public ::testing::Test {
  protected:
    void boot() { ASSERT_EQ(h.boot(), kBootNoFile); }
    void boot_with(const std::vector<uint8_t>& file) {
        ASSERT_TRUE(h.flash2(file));
        const std::string kb = std::to_string(file.size() / 1024 ? file.size() / 1024 : 1);
        ASSERT_EQ(h.boot(), ":loading " + kb + "KB bitmap/macro file from flash2\r>\r");
    }

    std::string touch_for(int x, int y, double ms = kSettleMs) {
        EXPECT_TRUE(h.touch(x, y));
        h.run_ms(ms);
        return h.take();
    }
    std::string lift() {
        h.release();
        h.run_ms(kLiftMs);
        return h.take();
    }
    std::string tap(int x, int y) {
        std::string out = touch_for(x, y);
        return out + lift();
    }
    // Digest of a screen rectangle (corners included).
    uint32_t region(int x0, int y0, int x1, int y1) const {
        uint32_t sum = 2166136261u;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) sum = (sum ^ h.pixel(x, y)) * 16777619u;
        }
        return sum;
    }
    uint32_t square(int x, int y, int side = kFace) const {
        return region(x, y, x + side - 1, y + side - 1);
    }
    // The built-in face n (1 up, 2 down) as "i" draws it, at a free place of the screen.
    uint32_t builtin_face(int n) {
        EXPECT_EQ(h.command("i " + std::to_string(n) + " 700 400"), ">\r");
        const uint32_t d = square(700, 400);
        EXPECT_EQ(h.command("r 700 400 763 463 1 FFFFFF"), ">\r");
        return d;
    }

    Harness h;
};

// Two 16 x 16 faces: red up, and a down face that is blue with its left half see-through, so
// that what lies under the down face shows whether the up face was drawn just before it.
std::vector<uint8_t> file_with_faces() {
    ImageBuilder b;
    b.add(3, {});
    b.addBitmap(1, 16, 16, ImageBuilder::pixels(std::vector<uint16_t>(256, kRed)));
    std::vector<uint16_t> down(256, kBlue);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) down[size_t(y * 16 + x)] = kKey;
    b.addBitmap(5, 16, 16, ImageBuilder::pixels(down), kKey);
    b.addBitmap(1, 20, 16, ImageBuilder::pixels(std::vector<uint16_t>(320, kBlue)));
    b.addBitmap(1, 16, 20, ImageBuilder::pixels(std::vector<uint16_t>(320, kBlue)));
    return b.build(0xC8400000);
}

TEST_F(ButtonScenario, DefinitionDrawsTheFaceWithItsTextAtTheOffsets) {
    boot();
    const uint32_t up = builtin_face(1);
    ASSERT_EQ(h.command("bd 1 100 100 1 \"UP\" 15 25"), ">\r");
    ASSERT_EQ(h.command("i 1 300 100"), ">\r");
    // The face is the built-in one, with ink only from the text's corner (115, 125) on.
    bool ink = false;
    for (int y = 0; y < kFace; ++y) {
        for (int x = 0; x < kFace; ++x) {
            const bool same = h.pixel(100 + x, 100 + y) == h.pixel(300 + x, 100 + y);
            if (x < 15 || y < 25) {
                ASSERT_TRUE(same) << x << "," << y;
            } else {
                ink = ink || !same;
            }
        }
    }
    EXPECT_TRUE(ink);
    EXPECT_EQ(h.pixel(164, 120), kWhite);  // nothing beside the face
    EXPECT_EQ(h.pixel(120, 164), kWhite);

    // With the origin moved, an empty text and "bdc": the face is the bare built-in face.
    ASSERT_EQ(h.command("o 400 0"), ">\r");
    ASSERT_EQ(h.command("bdc 2 0 200 1 \"\""), ">\r");
    ASSERT_EQ(h.command("o 0 0"), ">\r");
    EXPECT_EQ(square(400, 200), up);
    EXPECT_EQ(tap(401, 201), "x2\r");

    // A press draws in the button's colour and gives the host its own back.
    ASSERT_EQ(h.command("bd 3 500 300 1 \"AAA\" 2 2"), ">\r");
    ASSERT_EQ(h.command("S 0000FF FFFFFF"), ">\r");
    EXPECT_EQ(tap(530, 330), "x3\r");
    ASSERT_EQ(h.command("t \"M\" 10 400"), ">\r");
    bool blue = false;
    for (int y = 400; y < 420; ++y)
        for (int x = 10; x < 30; ++x) blue = blue || h.pixel(x, y) == kBlue;
    EXPECT_TRUE(blue);
    for (int y = 300; y < 300 + kFace; ++y)
        for (int x = 500; x < 500 + kFace; ++x) ASSERT_NE(h.pixel(x, y), kBlue) << x << "," << y;
}

TEST_F(ButtonScenario, TextsAreDecodedAndCutAt79Characters) {
    boot();
    // Narrow characters, so that the whole text stays on the screen.
    const std::string d79(79, '.');
    ASSERT_EQ(h.command("bd 1 0 100 1 \"" + d79 + "W\" 0 20"), ">\r");
    const uint32_t cut = region(0, 100, 799, 160);
    ASSERT_EQ(h.command("z"), ">\r");
    ASSERT_EQ(h.command("bd 1 0 100 1 \"" + d79 + "\" 0 20"), ">\r");
    EXPECT_EQ(region(0, 100, 799, 160), cut);
    ASSERT_EQ(h.command("z"), ">\r");
    // The escapes give the same text; a changed last character shows in the band.
    ASSERT_EQ(h.command("bd 1 0 100 1 \"" + std::string(78, '.') + "\\x2E\" 0 20"), ">\r");
    EXPECT_EQ(region(0, 100, 799, 160), cut);
    ASSERT_EQ(h.command("z"), ">\r");
    ASSERT_EQ(h.command("bd 1 0 100 1 \"" + std::string(78, '.') + "W\" 0 20"), ">\r");
    EXPECT_NE(region(0, 100, 799, 160), cut);

    // A two-state button's texts: an escaped quote stays inside the first.
    ASSERT_EQ(h.command("z"), ">\r");
    ASSERT_EQ(h.command("bd 2 100 100 21 \"a\\\"b\" \"c\" 5 5 5 5"), ">\r");
    const uint32_t off = square(100, 100);
    ASSERT_EQ(h.command("z"), ">\r");
    ASSERT_EQ(h.command("bd 2 100 100 21 \"a\\x22b\" \"x\" 5 5 5 5"), ">\r");
    EXPECT_EQ(square(100, 100), off);
}

TEST_F(ButtonScenario, FontColourAndEncodingOfTheDefinitionStayWithTheButton) {
    boot();
    ASSERT_EQ(h.command("f 32B"), ">\r");
    ASSERT_EQ(h.command("S FF0000 FFFFFF"), ">\r");
    ASSERT_EQ(h.command("bd 1 100 100 5 \"Wg\" 4 10"), ">\r");
    const uint32_t defined = square(100, 100);
    ASSERT_EQ(h.command("f 10s"), ">\r");
    ASSERT_EQ(h.command("S 0000FF FFFFFF"), ">\r");
    const std::string width = h.command("t? \"WWW\"");
    EXPECT_EQ(tap(120, 120), "x1\rr1\r");
    EXPECT_EQ(square(100, 100), defined);
    ASSERT_EQ(h.command("xe 1"), ">\r");
    EXPECT_EQ(square(100, 100), defined);
    // The host's font is still its own.
    EXPECT_EQ(h.command("f"), "10s\r>\r");
    EXPECT_EQ(h.command("t? \"WWW\""), width);

    // A text starting with ESC is UTF-8 whatever the setting, which stays as it was.
    ASSERT_EQ(h.command("utf8 off"), ">\r");
    ASSERT_EQ(h.command("bd 2 300 100 1 \"\\x1b\\xC3\\x84\" 4 10"), ">\r");
    const uint32_t utf8 = square(300, 100);
    ASSERT_EQ(h.command("bd 2 300 100 1 \"\\xC3\\x84\" 4 10"), ">\r");
    EXPECT_NE(square(300, 100), utf8);
    ASSERT_EQ(h.command("bd 2 300 100 1 \"\\x1b\\xC3\\x84\" 4 10"), ">\r");
    EXPECT_EQ(square(300, 100), utf8);
    EXPECT_EQ(h.command("utf8"), "utf8 off\r>\r");
}

TEST_F(ButtonScenario, DefinitionFailuresAnswerWithTheirMessages) {
    boot_with(file_with_faces());
    EXPECT_EQ(h.command("bdc 1 100 100 1 \"A\" 1"), ": missing argument(s)\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 1 \"A\" 15"), ": missing argument(s)\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 21 \"A\" \"B\" 1 2 3"), ": missing argument(s)\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 1 15 25"), ": missing text argument\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 2 \"A\" 15 25"), ": missing text argument(s)\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 1 \"A\" 0 0 1 3"), ": bitmaps have different width\r!\r");
    EXPECT_EQ(h.command("bd 1 100 100 1 \"A\" 0 0 1 4"), ": bitmaps have different height\r!\r");
    // A number naming no bitmap takes the 64 x 64 built-in face.
    EXPECT_EQ(h.command("bd 1 100 100 1 \"A\" 0 0 1 9"), ": bitmaps have different width\r!\r");
    for (const char* type : {"0", "6", "7", "31", "-31", "2147483647"}) {
        EXPECT_EQ(h.command(std::string("bd 1 100 100 ") + type + " \"A\" 0 0"),
                  std::string(": invalid ") + type + "\r!\r");
    }
    // Its negation does not fit an int: no type, not a wrap to itself.
    EXPECT_EQ(h.command("bd 1 100 100 -2147483648 \"A\" 0 0"), ": invalid -2147483648\r!\r");
    // Outside 0-127 fails quietly and leaves the hotspot of that number alone.
    ASSERT_EQ(h.command("xs 200 0 0 50 50"), ">\r");
    EXPECT_EQ(h.command("bd 128 100 100 1 \"A\" 0 0"), "!\r");
    EXPECT_EQ(h.command("bd -1 100 100 1 \"A\" 0 0"), "!\r");
    EXPECT_EQ(h.command("bd 200 100 100 1 \"A\" 0 0"), "!\r");
    EXPECT_EQ(h.command("bdc -56 100 100 1 \"A\""), "!\r");
    EXPECT_EQ(tap(10, 10), "x200\r");
    // Nothing was drawn by any of them.
    for (int y = 90; y < 180; y += 3)
        for (int x = 90; x < 180; x += 3) ASSERT_EQ(h.pixel(x, y), kWhite) << x << "," << y;

    // A redefinition that fails has already removed the old button.
    ASSERT_EQ(h.command("bd 1 100 100 1 \"A\" 0 0 1 2"), ">\r");
    EXPECT_EQ(tap(105, 105), "x1\r");
    EXPECT_EQ(h.command("bd 1 100 100 9 \"A\" 0 0"), ": invalid 9\r!\r");
    EXPECT_EQ(tap(105, 105), "");

    // Positions and offsets at the ends of the int range are taken, the face where it fits.
    EXPECT_EQ(h.command("bd 4 790 470 1 \"A\" 2147483647 -2147483648"), ">\r");
    EXPECT_EQ(tap(799, 479), "x4\r");
    EXPECT_EQ(h.command("bd 5 2147483647 -2147483648 5 \"A\" 2147483647 2147483647"), ">\r");
    EXPECT_EQ(h.command("o 2147483647 2147483647"), ">\r");
    EXPECT_EQ(h.command("bd 6 2147483647 2147483647 21 \"A\" \"B\" 1 1 1 1"), ">\r");
    EXPECT_EQ(h.command("ssb 6 1"), ">\r");
}

TEST_F(ButtonScenario, OneStateButtonsShowDownWhileTouchedAndReportByType) {
    boot();
    const uint32_t up = builtin_face(1), down = builtin_face(2);
    ASSERT_EQ(h.command("bd 1 100 100 1 \"\" 0 0"), ">\r");
    ASSERT_EQ(h.command("bd 2 200 100 4 \"\" 0 0"), ">\r");
    ASSERT_EQ(h.command("bd 3 300 100 5 \"\" 0 0"), ">\r");
    EXPECT_EQ(square(100, 100), up);

    EXPECT_EQ(touch_for(130, 130, 500), "x1\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(square(100, 100), up);

    EXPECT_EQ(touch_for(230, 130), "");
    EXPECT_EQ(square(200, 100), down);
    EXPECT_EQ(lift(), "r2\r");
    EXPECT_EQ(square(200, 100), up);

    EXPECT_EQ(tap(330, 130), "x3\rr3\r");
    EXPECT_EQ(square(300, 100), up);

    ASSERT_EQ(h.command("*binr 1"), "on\r>\r");
    EXPECT_EQ(tap(330, 130), std::string("X\x03R\x03", 4));
    ASSERT_EQ(h.command("*binr 0"), "off\r>\r");

    // Sliding from one button onto its neighbour releases the first (face up again).
    ASSERT_TRUE(h.touch(130, 130));
    h.run_ms(kSettleMs);
    ASSERT_TRUE(h.drag(330, 130, 50));
    h.run_ms(200);
    EXPECT_EQ(h.take(), "x1\rx3\r");
    EXPECT_EQ(square(100, 100), up);
    EXPECT_EQ(square(300, 100), down);
    EXPECT_EQ(lift(), "r3\r");
}

TEST_F(ButtonScenario, ButtonsSideBySideMeetWithoutOverlapping) {
    boot();
    const uint32_t up = builtin_face(1), down = builtin_face(2);
    ASSERT_EQ(h.command("bd 1 100 100 1 \"\" 0 0"), ">\r");
    ASSERT_EQ(h.command("bd 2 164 100 1 \"\" 0 0"), ">\r");
    ASSERT_EQ(h.command("bd 3 100 164 1 \"\" 0 0"), ">\r");
    EXPECT_EQ(tap(163, 163), "x1\r");
    EXPECT_EQ(tap(164, 120), "x2\r");
    EXPECT_EQ(tap(120, 164), "x3\r");
    // The right neighbour's press leaves the left face whole.
    EXPECT_EQ(touch_for(164, 120), "x2\r");
    EXPECT_EQ(square(100, 100), up);
    EXPECT_EQ(square(164, 100), down);
    lift();
}

TEST_F(ButtonScenario, TwoStateButtonsFlipReportAndDrawTheirStateText) {
    boot();
    const uint32_t up = builtin_face(1), down = builtin_face(2);
    ASSERT_EQ(h.command("bd 5 100 100 21 \"OFF\" \"ON\" 5 5 20 30"), ">\r");
    ASSERT_EQ(h.command("bd 6 200 100 20 \"\" \"\" 0 0 0 0"), ">\r");
    ASSERT_EQ(h.command("bdc 7 300 100 2 \"\" \"\""), ">\r");
    const uint32_t off = square(100, 100);
    EXPECT_NE(off, up);                 // its text is on it
    EXPECT_EQ(square(200, 100), down);  // 20 and 2 start on
    EXPECT_EQ(square(300, 100), down);

    EXPECT_EQ(touch_for(120, 120, 500), "s5 1\r");
    const uint32_t on = square(100, 100);
    EXPECT_NE(on, off);
    EXPECT_NE(on, down);
    // The text of state 1 lies at its own offsets: nothing of it above y = 130.
    ASSERT_EQ(h.command("i 2 400 300"), ">\r");
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < kFace; ++x)
            ASSERT_EQ(h.pixel(100 + x, 100 + y), h.pixel(400 + x, 300 + y)) << x << "," << y;
    EXPECT_EQ(lift(), "");  // release does nothing
    EXPECT_EQ(square(100, 100), on);
    EXPECT_EQ(tap(120, 120), "s5 0\r");
    EXPECT_EQ(square(100, 100), off);

    EXPECT_EQ(tap(220, 120), "s6 0\r");
    EXPECT_EQ(square(200, 100), up);
    ASSERT_EQ(h.command("*binr 1"), "on\r>\r");
    EXPECT_EQ(tap(220, 120), std::string("S\x06\x01", 3));
    EXPECT_EQ(tap(320, 120), std::string("S\x07\x00", 3));
    ASSERT_EQ(h.command("*binr 0"), "off\r>\r");
    EXPECT_EQ(square(200, 100), down);
    EXPECT_EQ(square(300, 100), up);
}

TEST_F(ButtonScenario, TwoStateMacroRunsAtTheLabelOfTheNewState) {
    imgpack::MacroFile f;
    f.macros = {{"tog", {"outs \"P\"", ":s2_1", "outs \"ON\""}}};
    std::string error;
    const auto bytes = imgpack::build(f, nullptr, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    boot_with(bytes);
    ASSERT_EQ(h.command("bd 2 100 100 21 \"\" \"\" 0 0 0 0"), ">\r");
    EXPECT_EQ(h.command("xm 2 tog:s2_0"), ":xm label should be :s2_1\r!\r");
    ASSERT_EQ(h.command("xm 2 tog:s2_1 tog"), ">\r");
    EXPECT_EQ(tap(120, 120), "s2 1\rPON");
    EXPECT_EQ(tap(120, 120), "s2 0\rP");
    // "ssb" does what a press to that state does, without the report.
    h.send("ssb 2 1\r");
    h.run_ms(200);
    EXPECT_EQ(h.take(), ">\rPON");
    h.send("ssb 2 0\r");
    h.run_ms(200);
    EXPECT_EQ(h.take(), ">\rP");
}

TEST_F(ButtonScenario, TypematicButtonRedrawsUpThenDownOnEachRepeat) {
    boot_with(file_with_faces());
    ASSERT_EQ(h.command("bd 1 100 100 3 \"\" 0 0 1 2"), ">\r");
    ASSERT_EQ(h.command("bd 2 200 100 30 \"\" 0 0 1 2"), ">\r");
    for (const int x0 : {100, 200}) {
        const uint64_t start = h.module().now_ns();
        const auto run_to = [&](double ms) {
            const double now = double(h.module().now_ns() - start) / 1e6;
            ASSERT_LT(now, ms);
            h.run_ms(ms - now);
        };
        ASSERT_TRUE(h.touch(x0 + 12, 108));
        h.run_ms(kSettleMs);
        // Down: blue on the right, the up face (red) showing through on the left.
        EXPECT_EQ(h.pixel(x0 + 2, 102), kRed);
        EXPECT_EQ(h.pixel(x0 + 12, 102), kBlue);
        std::string reports = h.take();
        // Between repeats the face is painted over; each repeat paints the up face and then
        // the down face again (after the 750 ms delay, then every 200 ms; the press was seen
        // within the first 60 ms).
        for (const double at : {850.0, 1050.0}) {
            // A report still on its way may come before the prompt.
            const std::string out = h.command("i 1 " + std::to_string(x0) + " 100");
            ASSERT_GE(out.size(), 2u);
            ASSERT_EQ(out.substr(out.size() - 2), ">\r");
            reports += out.substr(0, out.size() - 2);
            ASSERT_NE(h.pixel(x0 + 2, 102), kRed);
            ASSERT_NE(h.pixel(x0 + 12, 102), kBlue);
            reports += h.take();
            run_to(at);
            EXPECT_EQ(h.pixel(x0 + 2, 102), kRed) << at;
            EXPECT_EQ(h.pixel(x0 + 12, 102), kBlue) << at;
        }
        reports += lift();
        const std::string press = "x" + std::to_string(x0 / 100) + "\r";
        EXPECT_EQ(reports, press + press + press) << visible(reports);
        EXPECT_EQ(h.pixel(x0 + 2, 102), kRed);  // up after the lift
        EXPECT_EQ(h.pixel(x0 + 12, 102), kRed);
    }
}

TEST_F(ButtonScenario, StatesOfEnabledAndDisabledButtonsAndReEnabling) {
    boot();
    const uint32_t up = builtin_face(1), down = builtin_face(2);
    // -21: two-state, starting off, disabled, drawn.
    ASSERT_EQ(h.command("bd 3 100 100 -21 \"\" \"\" 0 0 0 0"), ">\r");
    EXPECT_EQ(square(100, 100), up);
    EXPECT_EQ(tap(120, 120), "");
    EXPECT_EQ(square(100, 100), up);
    // Disabled: the state changes, the face does not.
    EXPECT_EQ(h.command("ssb 3 1"), ">\r");
    EXPECT_EQ(square(100, 100), up);
    // "xes" enables without drawing; the stored state decides the next flip.
    EXPECT_EQ(h.command("xes 3"), ">\r");
    EXPECT_EQ(square(100, 100), up);
    EXPECT_EQ(tap(120, 120), "s3 0\r");
    // "xe" draws the state stored while disabled.
    ASSERT_EQ(h.command("xd 3"), ">\r");
    EXPECT_EQ(h.command("ssb 3 1"), ">\r");
    EXPECT_EQ(square(100, 100), up);
    EXPECT_EQ(h.command("xe 3"), ">\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(tap(120, 120), "s3 0\r");

    // Enabled one-state: "ssb" shows the pressed face, reports nothing.
    ASSERT_EQ(h.command("bd 1 200 100 1 \"\" 0 0"), ">\r");
    EXPECT_EQ(h.command("ssb 1 0"), ">\r");
    EXPECT_EQ(square(200, 100), down);
    // "xe" on an enabled one-state button shows it up.
    EXPECT_EQ(h.command("xe 1"), ">\r");
    EXPECT_EQ(square(200, 100), up);
    // Enabled two-state: drawn in the state given, no report.
    EXPECT_EQ(h.command("ssb 3 1"), ">\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(h.command("ssb 3 1"), ">\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(tap(120, 120), "s3 0\r");

    // Out of range, either side.
    for (const char* line : {"ssb 128 0", "ssb -1 0", "ssb 1 2", "ssb 1 -1", "ssb -2147483648 1"})
        EXPECT_EQ(h.command(line), "!\r") << line;
    EXPECT_EQ(h.command("ssb 50 1"), ">\r");  // no button there: nothing to do
    // A range of "xd"/"xe" handles several buttons.
    ASSERT_EQ(h.command("xd 0 10"), ">\r");
    EXPECT_EQ(tap(220, 120), "");
    ASSERT_EQ(h.command("ssb 1 1"), ">\r");
    ASSERT_EQ(h.command("xe 0 10"), ">\r");
    EXPECT_EQ(square(200, 100), up);
    EXPECT_EQ(tap(220, 120), "x1\r");
}

TEST_F(ButtonScenario, RemovedButtonsStayPaintedAndNeverAnswer) {
    boot();
    const uint32_t down = builtin_face(2);
    ASSERT_EQ(h.command("bd 1 100 100 5 \"\" 0 0"), ">\r");
    ASSERT_EQ(h.command("xs 130 300 100 363 163"), ">\r");
    EXPECT_EQ(h.command("bc 1"), ">\r");
    EXPECT_EQ(tap(120, 120), "");
    // Re-enabling a removed button neither paints it back nor brings it to life.
    ASSERT_EQ(h.command("i 2 100 100"), ">\r");
    EXPECT_EQ(h.command("xe 1"), ">\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(h.command("ssb 1 1"), ">\r");
    EXPECT_EQ(square(100, 100), down);
    EXPECT_EQ(tap(120, 120), "");
    // "bc" only removes buttons.
    EXPECT_EQ(h.command("bc 130"), "!\r");
    EXPECT_EQ(h.command("bc -1"), "!\r");
    EXPECT_EQ(tap(320, 120), "x130\r");

    // The screen resets take every button with them.
    for (const char* reset : {"z", "zs"}) {
        ASSERT_EQ(h.command("bd 1 100 100 5 \"\" 0 0"), ">\r");
        ASSERT_EQ(h.command("bd 2 200 100 21 \"\" \"\" 0 0 0 0"), ">\r");
        ASSERT_EQ(h.command(reset), ">\r");
        ASSERT_EQ(h.command("r 0 0 799 479 1 FFFFFF"), ">\r");
        EXPECT_EQ(tap(120, 120), "") << reset;
        EXPECT_EQ(tap(220, 120), "") << reset;
        EXPECT_EQ(h.command("xe 1 2"), ">\r");
        EXPECT_EQ(h.command("ssb 2 1"), ">\r");
        EXPECT_EQ(h.pixel(120, 120), kWhite) << reset;
        EXPECT_EQ(h.pixel(220, 120), kWhite) << reset;
        EXPECT_EQ(tap(220, 120), "") << reset;
    }
}

TEST_F(ButtonScenario, ButtonDefinedUnderTheFingerWaitsForANewTouch) {
    boot();
    ASSERT_TRUE(h.touch(120, 120));
    h.run_ms(kSettleMs);
    ASSERT_EQ(h.command("bd 1 100 100 5 \"\" 0 0"), ">\r");
    h.run_ms(200);
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(tap(120, 120), "x1\rr1\r");
}

}  // namespace
}  // namespace voxa_test
