// Text in the graphics library: blending, text modes, placement, wrapping, rotation, UTF-8,
// clipping against the board's guard zones, and every built-in font on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "media/fonts.h"
#include "reference_image.h"
#include "sif_builder.h"
#include "test_screen.h"

namespace voxa_test {
namespace {

constexpr int W = kWvgaScreen.width;
constexpr int H = kWvgaScreen.height;
constexpr uint16_t kWhite565 = 0xFFFF;
constexpr uint16_t kBlack565 = 0x0000;
constexpr uint16_t kRed565 = 0xF800;
constexpr uint16_t kScreen = 0x39E7;  // a grey no test colour produces

// Library colours (0x00BBGGRR).
constexpr GUI_COLOR kWhite = 0xFFFFFF;
constexpr GUI_COLOR kBlack = 0x000000;
constexpr GUI_COLOR kRed = 0x0000FF;
constexpr GUI_COLOR kBlue = 0xFF0000;
constexpr GUI_COLOR kGreen = 0x00FF00;

// The test font: line 10, baseline 8, capitals 6.
//   'A' advance 4, a 2 x 2 box at (1, 1) with coverage 0, 5 / 10, 15 (of the depth's maximum)
//   'B' advance 5, ink over the whole cell
//   'L' advance 3, one full pixel at the cell's top-left corner
//   ' ' advance 2, no ink;  0xE9 advance 3;  0x20AC (a second range) advance 7
//   0x43 'C' is a hole inside the first range
std::vector<uint8_t> test_font_data(int bpp) {
    const int m = (1 << bpp) - 1;
    const uint8_t third = uint8_t(m / 3), twoThirds = uint8_t(2 * m / 3);
    SifBuilder b(bpp, 10, 8, 6);
    b.glyph(' ', 2, 0, 0, 0, 0);
    b.glyph('A', 4, 1, 1, 2, 2, {0, third, twoThirds, uint8_t(m)});
    b.glyph('B', 5, 0, 0, 5, 10, std::vector<uint8_t>(50, uint8_t(m)));
    b.glyph('C', 0, 0, 0, 0, 0);
    b.glyph('D', 4, 0, 2, 4, 6, std::vector<uint8_t>(24, uint8_t(m)));
    b.glyph('L', 3, 0, 0, 1, 1, {uint8_t(m)});
    b.glyph(0xE9, 3, 0, 0, 3, 3, std::vector<uint8_t>(9, uint8_t(m)));
    b.glyph(0x20AC, 7, 0, 0, 7, 7, std::vector<uint8_t>(49, uint8_t(m)));
    return b.build();
}

class Text : public ::testing::Test {
  protected:
    void SetUp() override {
        screen_.open(kWvgaScreen, kScreen);
        KV_GUI_Init();
        fb_ = lcd_framebuffer();
        for (const int bpp : {1, 2, 4}) {
            data_[bpp] = test_font_data(bpp);
            const int type = bpp == 1   ? GUI_SIF_TYPE_PROP
                             : bpp == 2 ? GUI_SIF_TYPE_PROP_AA2
                                        : GUI_SIF_TYPE_PROP_AA4;
            ASSERT_EQ(GUI_SIF_CreateFont(data_[bpp].data(), uint32_t(data_[bpp].size()),
                                         &font_[bpp], type),
                      1);
        }
        GUI_SetFont(&font_[4]);
    }
    void TearDown() override { EXPECT_TRUE(screen_.untouched_outside()); }

    void fill(uint16_t v) { screen_.fill(v); }
    uint16_t px(int x, int y) const { return screen_.px(x, y); }
    std::vector<uint16_t> snap() const { return screen_.snap(); }
    void colors(GUI_COLOR fg, GUI_COLOR bg) {
        GUI_SetColor(fg);
        GUI_SetBkColor(bg);
    }
    // Bounding box x0, y0, x1, y1 of the pixels that are no longer kScreen.
    std::array<int, 4> painted() const { return screen_.painted(kScreen); }
    int changed_outside(const std::vector<uint16_t>& before, const GUI_RECT& r) const {
        int n = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const bool inside = x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
                n += !inside && px(x, y) != before[size_t(y) * W + x];
            }
        }
        return n;
    }

    TestScreen screen_;
    uint16_t* fb_;  // rows W pixels apart
    std::vector<uint8_t> data_[5];
    GUI_FONT font_[5];
};

using Box = std::array<int, 4>;

// ---------------------------------------------------------------------------------------------
// Blending

TEST_F(Text, NormalModeBlendsTheForegroundWithTheBackgroundPerChannel) {
    // 4-bit coverage 5 and 10 of 15: 255 * 5 / 15 = 85 and 170, cut to 565.
    colors(kWhite, kBlack);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(101, 101), kBlack565);  // coverage 0 is the background
    EXPECT_EQ(px(102, 101), 0x52AA);
    EXPECT_EQ(px(101, 102), 0xAD55);
    EXPECT_EQ(px(102, 102), kWhite565);
    EXPECT_EQ(px(100, 100), kBlack565);  // the rest of the cell
    EXPECT_EQ(px(103, 109), kBlack565);
    EXPECT_EQ(px(104, 100), kScreen);  // the next cell is not this one's

    // Each channel on its own: red over blue.
    colors(kRed, kBlue);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(102, 101), (10 << 11) | 21);  // red 85, blue 170
    EXPECT_EQ(px(101, 102), (21 << 11) | 10);
    // Rounded to the nearest before the cut: green 251 * 5 / 15 = 83.67 gives 84, six bits 21
    // (83 would give 20).
    colors(0x00FB00, kBlack);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(102, 101), 21 << 5);

    // 2-bit coverage 1 and 2 of 3 give the same thirds.
    GUI_SetFont(&font_[2]);
    colors(kWhite, kBlack);
    GUI_DispStringAt("A", 200, 100);
    EXPECT_EQ(px(202, 101), 0x52AA);
    EXPECT_EQ(px(201, 102), 0xAD55);
    EXPECT_EQ(px(202, 102), kWhite565);
    EXPECT_EQ(px(201, 101), kBlack565);
}

TEST_F(Text, TransparentModeBlendsWithTheScreenAndLeavesTheCellAlone) {
    fill(kRed565);
    colors(kWhite, kBlack);
    GUI_SetTextMode(GUI_TM_TRANS);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(101, 101), kRed565);                      // coverage 0
    EXPECT_EQ(px(102, 101), (31 << 11) | (21 << 5) | 10);  // green and blue 85 of white
    EXPECT_EQ(px(101, 102), (31 << 11) | (42 << 5) | 21);
    EXPECT_EQ(px(102, 102), kWhite565);
    EXPECT_EQ(px(100, 100), kRed565);
    // The screen pixel is read back as the library reads colours (x 255 / 31): white is 255,
    // and a third of black over it leaves 170 (from 248, a plain shift, it would be 165).
    fill(kWhite565);
    colors(kBlack, kWhite);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(102, 101), 0xAD55);
}

TEST_F(Text, NormalOverAPlainColourEqualsTransparentOverThatColour) {
    const GUI_COLOR backgrounds[] = {kBlack, kWhite, kRed, 0x00FFFF, 0x084010};
    const GUI_COLOR foregrounds[] = {kWhite, kBlack, kBlue, 0x10C0F8};
    for (const int bpp : {2, 4}) {
        GUI_SetFont(&font_[bpp]);
        for (const GUI_COLOR bg : backgrounds) {
            for (const GUI_COLOR fg : foregrounds) {
                colors(fg, bg);
                GUI_SetTextMode(GUI_TM_NORMAL);
                GUI_DispStringAt("A", 100, 100);
                const std::vector<uint16_t> normal = snap();
                fill(LCD_Color2Index_M565(bg));
                GUI_SetTextMode(GUI_TM_TRANS);
                GUI_DispStringAt("A", 100, 100);
                for (int y = 100; y < 110; ++y) {
                    for (int x = 100; x < 104; ++x) {
                        ASSERT_EQ(px(x, y), normal[size_t(y) * W + x])
                            << bpp << " bpp, fg " << std::hex << fg << " bg " << bg;
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Text modes

TEST_F(Text, XorInvertsInkOfAtLeastHalfCoverageAndTwiceRestores) {
    uint32_t s = 99;
    for (int i = 0; i < W * H; ++i) fb_[i] = uint16_t((s = s * 1103515245 + 12345) >> 16);
    const std::vector<uint16_t> before = snap();
    GUI_SetTextMode(GUI_TM_XOR);
    for (const int bpp : {1, 2, 4}) {
        GUI_SetFont(&font_[bpp]);
        GUI_DispStringAt("AAB", 300, 200);
        // 'A': coverage 0 and a third stay, two thirds and full are inverted (one bit has no
        // thirds: its 'A' is the single full pixel).
        EXPECT_EQ(px(301, 201), before[201 * W + 301]);
        EXPECT_EQ(px(302, 201), before[201 * W + 302]) << bpp;
        const uint16_t twoThirds = before[202 * W + 301];
        EXPECT_EQ(px(301, 202), bpp == 1 ? twoThirds : uint16_t(~twoThirds)) << bpp;
        EXPECT_EQ(px(302, 202), uint16_t(~before[202 * W + 302]));
        EXPECT_EQ(px(300, 200), before[200 * W + 300]);  // no cell background in XOR mode
        EXPECT_EQ(px(312, 209), uint16_t(~before[209 * W + 312]));
        GUI_DispStringAt("AAB", 300, 200);
        ASSERT_EQ(snap(), before) << bpp;
    }
}

TEST_F(Text, ReverseExchangesTheColoursAndTransparentReverseDrawsOnlyTheInk) {
    colors(kWhite, kBlack);
    GUI_SetTextMode(GUI_TM_REV);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(100, 100), kWhite565);  // the cell in the foreground colour
    EXPECT_EQ(px(102, 102), kBlack565);  // full ink in the background colour
    EXPECT_EQ(px(102, 101), 0xAD55);     // a third of black over white

    fill(kRed565);
    GUI_SetTextMode(GUI_TM_TRANSREV);
    GUI_DispStringAt("A", 100, 100);
    EXPECT_EQ(px(100, 100), kRed565);
    EXPECT_EQ(px(101, 101), kRed565);
    EXPECT_EQ(px(102, 102), kBlack565);
    EXPECT_EQ(px(102, 101), (21 << 11));  // two thirds of the red remain
}

TEST_F(Text, OneBitGlyphsHaveNoShadesInAnyMode) {
    for (const GUI_FONT* font :
         {static_cast<const GUI_FONT*>(&font_[1]), &GUI_FontArial8, &GUI_FontMono48}) {
        GUI_SetFont(font);
        fill(kScreen);
        colors(kGreen, kBlue);
        GUI_SetTextMode(GUI_TM_NORMAL);
        GUI_DispStringAt("AB", 100, 100);
        std::set<uint16_t> normal, transparent;
        for (int y = 100; y < 100 + font->yDist; ++y) {
            for (int x = 100; x < 100 + GUI_GetStringDistX("AB"); ++x) normal.insert(px(x, y));
        }
        EXPECT_EQ(normal, (std::set<uint16_t>{0x07E0, 0x001F}));
        fill(kScreen);
        GUI_SetTextMode(GUI_TM_TRANS);
        GUI_DispStringAt("AB", 100, 100);
        for (int y = 100; y < 100 + font->yDist; ++y) {
            for (int x = 100; x < 100 + GUI_GetStringDistX("AB"); ++x) {
                transparent.insert(px(x, y));
            }
        }
        EXPECT_EQ(transparent, (std::set<uint16_t>{0x07E0, kScreen}));
    }
}

// ---------------------------------------------------------------------------------------------
// Placement

TEST_F(Text, AlignmentPlacesTheLineAroundTheReferencePoint) {
    // "BB": 10 x 10 pixels, baseline 8.
    const struct {
        int align;
        Box box;
    } cases[] = {
        {GUI_TA_LEFT | GUI_TA_TOP, {400, 200, 409, 209}},
        {GUI_TA_RIGHT | GUI_TA_TOP, {390, 200, 399, 209}},
        {GUI_TA_HCENTER | GUI_TA_TOP, {395, 200, 404, 209}},
        {GUI_TA_LEFT | GUI_TA_BOTTOM, {400, 191, 409, 200}},
        {GUI_TA_LEFT | GUI_TA_BASELINE, {400, 192, 409, 201}},
        {GUI_TA_RIGHT | GUI_TA_VCENTER, {390, 195, 399, 204}},
        {GUI_TA_HCENTER | GUI_TA_VCENTER, {395, 195, 404, 204}},
    };
    for (const auto& c : cases) {
        fill(kScreen);
        GUI_SetTextAlign(c.align);
        GUI_DispStringAt("BB", 400, 200);
        EXPECT_EQ(painted(), c.box) << "align " << c.align;
        // The display position ends at the line's right end, on the reference row.
        EXPECT_EQ(GUI_GetDispPosX(), c.box[2] + 1) << c.align;
        EXPECT_EQ(GUI_GetDispPosY(), 200);
    }
    // The capitals stand on the reference row: their lowest ink is just above it.
    GUI_SetTextAlign(GUI_TA_LEFT | GUI_TA_BASELINE);
    colors(kWhite, kBlack);
    fill(kScreen);
    GUI_DispStringAt("D", 400, 200);
    EXPECT_EQ(px(400, 199), kWhite565);
    EXPECT_EQ(px(400, 200), kBlack565);
    EXPECT_EQ(px(400, 194), kWhite565);  // 6 rows of capital
    EXPECT_EQ(px(400, 193), kBlack565);
}

TEST_F(Text, LinesStartAtTheLeftBorderAndTheDisplayPositionAdvances) {
    GUI_SetLBorder(50);
    GUI_DispStringAt("B\nBB", 100, 100);
    EXPECT_NE(px(104, 109), kScreen);
    EXPECT_EQ(px(105, 100), kScreen);
    EXPECT_NE(px(50, 110), kScreen);
    EXPECT_NE(px(59, 119), kScreen);
    EXPECT_EQ(px(60, 110), kScreen);
    EXPECT_EQ(GUI_GetDispPosX(), 60);
    EXPECT_EQ(GUI_GetDispPosY(), 110);
    GUI_DispString("L");  // carries on where the last text ended
    EXPECT_NE(px(60, 110), kScreen);
    EXPECT_EQ(GUI_GetDispPosX(), 63);
    GUI_DispNextLine();
    EXPECT_EQ(GUI_GetDispPosX(), 50);
    EXPECT_EQ(GUI_GetDispPosY(), 120);
    GUI_DispString("\n");
    EXPECT_EQ(GUI_GetDispPosY(), 130);
    // Right-aligned text leaves the position where it began: its right end.
    GUI_SetTextAlign(GUI_TA_RIGHT);
    GUI_DispStringAt("BBB", 700, 300);
    EXPECT_EQ(GUI_GetDispPosX(), 700);
}

TEST_F(Text, WidthsAndLineHeight) {
    EXPECT_EQ(GUI_GetStringDistX("AB"), 9);
    EXPECT_EQ(GUI_GetStringDistX("B\nBBB\nA"), 15);  // the widest line
    EXPECT_EQ(GUI_GetStringDistX(""), 0);
    EXPECT_EQ(GUI_GetStringDistX(nullptr), 0);
    EXPECT_EQ(GUI_GetStringDistX("ACB"), 9);  // a code the font lacks takes no room
    EXPECT_EQ(GUI_GetCharDistX('A'), 4);
    EXPECT_EQ(GUI_GetCharDistX('C'), 0);
    EXPECT_EQ(GUI_GetCharDistX(0x20AC), 7);
    EXPECT_EQ(GUI_GetFontDistY(), 10);
    GUI_SetFont(&GUI_FontArial16AA4);
    EXPECT_EQ(GUI_GetFontDistY(), 25);
    EXPECT_EQ(GUI_GetStringDistX("HH"), 2 * GUI_GetCharDistX('H'));
}

// ---------------------------------------------------------------------------------------------
// Rectangles, wrapping, rotation

TEST_F(Text, TextInARectangleIsAlignedAndClippedAndLeavesThePositionAlone) {
    const GUI_RECT r{100, 100, 139, 139};
    GUI_GotoXY(7, 9);
    const struct {
        int align;
        Box box;
    } cases[] = {
        {GUI_TA_LEFT | GUI_TA_TOP, {100, 100, 109, 109}},
        {GUI_TA_RIGHT | GUI_TA_BOTTOM, {130, 130, 139, 139}},
        {GUI_TA_HCENTER | GUI_TA_VCENTER, {115, 115, 124, 124}},
        {GUI_TA_LEFT | GUI_TA_BASELINE, {100, 100, 109, 109}},
    };
    for (const auto& c : cases) {
        fill(kScreen);
        GUI_DispStringInRect("BB", &r, c.align);
        EXPECT_EQ(painted(), c.box) << c.align;
    }
    // Two lines centred as a block; a line wider than the box is cut at its edges.
    fill(kScreen);
    GUI_DispStringInRect("B\nBBBBBBBBBB", &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
    EXPECT_EQ(painted(), (Box{100, 110, 139, 129}));
    EXPECT_NE(px(117, 110), kScreen);  // "B" centred: 100 + (40 - 5) / 2
    EXPECT_EQ(px(116, 110), kScreen);
    EXPECT_EQ(GUI_GetDispPosX(), 7);
    EXPECT_EQ(GUI_GetDispPosY(), 9);
    // Nothing for an empty or missing rectangle.
    fill(kScreen);
    const GUI_RECT empty{100, 100, 99, 139};
    GUI_DispStringInRect("BB", &empty, 0);
    GUI_DispStringInRect("BB", nullptr, 0);
    EXPECT_EQ(painted(), (Box{W, H, -1, -1}));
}

TEST_F(Text, WordWrapBreaksAtBlanksAndCharacterWrapAnywhere) {
    // "B" is 5 wide and a blank 2: "BB BB" needs 22.
    const auto rows = [&](const char* s, int right, int wrap, int align = 0) {
        fill(kScreen);
        const GUI_RECT r{100, 100, int16_t(100 + right - 1), 199};
        GUI_DispStringInRectWrap(s, &r, align, wrap);
        std::vector<std::pair<int, int>> spans;  // painted columns of each text line
        for (int line = 0; line < 10; ++line) {
            int x0 = W, x1 = -1;
            for (int x = 100; x < 100 + right; ++x) {
                if (px(x, 100 + 10 * line) == kScreen) continue;
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
            if (x1 < 0) break;
            spans.push_back({x0 - 100, x1 - 100});
        }
        return spans;
    };
    using Spans = std::vector<std::pair<int, int>>;
    EXPECT_EQ(rows("BB BB", 22, GUI_WRAPMODE_WORD), (Spans{{0, 21}}));
    EXPECT_EQ(rows("BB BB", 21, GUI_WRAPMODE_WORD), (Spans{{0, 9}, {0, 9}}));
    EXPECT_EQ(rows("BB   BB B", 21, GUI_WRAPMODE_WORD), (Spans{{0, 9}, {0, 16}}));
    // The blanks at a break do not count for the alignment.
    EXPECT_EQ(rows("BB BB", 21, GUI_WRAPMODE_WORD, GUI_TA_RIGHT), (Spans{{11, 20}, {11, 20}}));
    // A word longer than the box breaks between characters.
    EXPECT_EQ(rows("BBBBB B", 12, GUI_WRAPMODE_WORD), (Spans{{0, 9}, {0, 9}, {0, 11}}));
    EXPECT_EQ(rows("BB BB", 14, GUI_WRAPMODE_CHAR), (Spans{{0, 11}, {0, 9}}));
    // Narrower than one character: still one per line, cut at the box.
    EXPECT_EQ(rows("BBB", 3, GUI_WRAPMODE_CHAR), (Spans{{0, 2}, {0, 2}, {0, 2}}));
    // Line feeds break too; leading blanks of the text stay.
    EXPECT_EQ(rows("  B\nB", 40, GUI_WRAPMODE_WORD), (Spans{{0, 8}, {0, 4}}));
    // Without a wrap mode the line runs on and is cut.
    EXPECT_EQ(rows("BB BB", 12, GUI_WRAPMODE_NONE), (Spans{{0, 11}}));
    // Wrapped lines count for the vertical centre.
    fill(kScreen);
    const GUI_RECT r{100, 100, 120, 139};
    GUI_DispStringInRectWrap("BB BB", &r, GUI_TA_VCENTER, GUI_WRAPMODE_WORD);
    EXPECT_EQ(painted(), (Box{100, 110, 109, 129}));
}

TEST_F(Text, RotatedTextTurnsAboutItsRectangle) {
    // "L" marks its cell's top-left corner; the rectangle is 30 wide and 20 high.
    const GUI_RECT r{200, 100, 229, 119};
    colors(kWhite, kBlack);
    const struct {
        int rotation;
        int align;
        int inkX, inkY;
        Box cell;
    } cases[] = {
        {GUI_ROTATE_0, GUI_TA_LEFT, 200, 100, {200, 100, 202, 109}},
        {GUI_ROTATE_CW, GUI_TA_LEFT, 229, 100, {220, 100, 229, 102}},
        {GUI_ROTATE_CCW, GUI_TA_LEFT, 200, 119, {200, 117, 209, 119}},
        {GUI_ROTATE_180, GUI_TA_LEFT, 229, 119, {227, 110, 229, 119}},
        // Right-aligned along the turned line: the text's end is at the rectangle's far side.
        {GUI_ROTATE_CW, GUI_TA_RIGHT, 229, 117, {220, 117, 229, 119}},
        {GUI_ROTATE_CCW, GUI_TA_RIGHT | GUI_TA_BOTTOM, 220, 102, {220, 100, 229, 102}},
    };
    for (const auto& c : cases) {
        fill(kScreen);
        GUI_DispStringInRectEx("L", &r, c.align, -1, c.rotation);
        EXPECT_EQ(px(c.inkX, c.inkY), kWhite565) << c.rotation << " " << c.align;
        EXPECT_EQ(painted(), c.cell) << c.rotation << " " << c.align;
    }
    // The text runs along the turned line: the second character follows below.
    fill(kScreen);
    GUI_DispStringInRectEx("LL", &r, 0, -1, GUI_ROTATE_CW);
    EXPECT_EQ(px(229, 103), kWhite565);
    // maxLen counts characters.
    fill(kScreen);
    GUI_DispStringInRectEx("LLL", &r, 0, 2, GUI_ROTATE_0);
    EXPECT_EQ(painted(), (Box{200, 100, 205, 109}));
    // A turned text is cut at its rectangle like an upright one.
    fill(kScreen);
    GUI_DispStringInRectEx("BBBBBBBBBBBB", &r, 0, -1, GUI_ROTATE_CCW);
    EXPECT_EQ(painted(), (Box{200, 100, 209, 119}));
}

// ---------------------------------------------------------------------------------------------
// Clipping

TEST_F(Text, NothingIsWrittenOutsideTheClipRectangleOrTheFrameBuffer) {
    std::mt19937 rng(7);
    const GUI_FONT* fonts[] = {&font_[1],       &font_[2],      &font_[4], &GUI_FontArial32BAA4,
                               &GUI_FontMono64, &GUI_FontArial8};
    const int modes[] = {GUI_TM_NORMAL, GUI_TM_XOR, GUI_TM_TRANS, GUI_TM_REV, GUI_TM_TRANSREV};
    const int extremes[] = {INT32_MIN, -70000, -32768, -300, -7,  0,     3,     470,
                            479,       480,    795,    799,  800, 32767, 70000, INT32_MAX};
    const auto coordinate = [&] {
        return rng() % 3 ? int(rng() % 1000) - 100 : extremes[rng() % std::size(extremes)];
    };
    for (int i = 0; i < 600; ++i) {
        GUI_SetFont(fonts[rng() % std::size(fonts)]);
        GUI_SetTextMode(modes[rng() % std::size(modes)]);
        GUI_SetTextAlign(int(rng() % 16));
        const GUI_RECT clip = i % 2 ? GUI_RECT{int16_t(rng() % 800), int16_t(rng() % 480),
                                               int16_t(rng() % 800), int16_t(rng() % 480)}
                                    : GUI_RECT{-100, -100, 900, 600};
        GUI_SetClipRect(&clip);
        const std::vector<uint16_t> before = snap();
        const char* text = "BAL \xE9H\nWgq\nB";
        switch (i % 4) {
            case 0:
                GUI_SetLBorder(coordinate());
                GUI_DispStringAt(text, coordinate(), coordinate());
                GUI_DispString(text);
                break;
            case 1: {
                const GUI_RECT r{int16_t(coordinate()), int16_t(coordinate()),
                                 int16_t(coordinate()), int16_t(coordinate())};
                GUI_DispStringInRectEx(text, &r, int(rng() % 16), -1, int(rng() % 4));
                break;
            }
            case 2: {
                const GUI_RECT r{int16_t(coordinate()), int16_t(coordinate()),
                                 int16_t(coordinate()), int16_t(coordinate())};
                GUI_DispStringInRectWrap(text, &r, int(rng() % 16), int(rng() % 3));
                break;
            }
            case 3:
                GUI_GotoXY(coordinate(), coordinate());
                GUI_DispString(text);
                break;
        }
        GUI_SetClipRect(nullptr);
        ASSERT_EQ(changed_outside(before, clip), 0) << "step " << i;
        ASSERT_TRUE(screen_.untouched_outside()) << "step " << i;
    }
}

// ---------------------------------------------------------------------------------------------
// Encodings

struct Decoded {
    std::vector<uint32_t> codes;
};

Decoded decode_all(const std::string& bytes) {
    // An exact-size copy, so that a read past the string's end is caught.
    std::unique_ptr<char[]> s(new char[bytes.size() + 1]);
    std::memcpy(s.get(), bytes.c_str(), bytes.size() + 1);
    Decoded d;
    for (const char* p = s.get(); *p;) {
        const int n = GUI_UC_GetCharSize(p);
        EXPECT_GE(n, 1);
        d.codes.push_back(GUI_UC_GetCharCode(p));
        p += n;
    }
    return d;
}

TEST_F(Text, Utf8DecodesWellFormedSequencesAndReplacesMalformedOnes) {
    GUI_UC_SetEncodeUTF8();
    using Codes = std::vector<uint32_t>;
    constexpr uint32_t R = 0xFFFD;
    EXPECT_EQ(decode_all("aZ\x7F").codes, (Codes{'a', 'Z', 0x7F}));
    EXPECT_EQ(decode_all("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF").codes,
              (Codes{0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
    EXPECT_EQ(decode_all("\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF").codes,
              (Codes{0x80, 0x7FF, 0x800, 0xFFFF}));
    const struct {
        const char* bytes;
        Codes codes;
    } malformed[] = {
        {"\x80x", {R, 'x'}},  // a continuation byte on its own
        {"\xBF\xBF", {R, R}},
        {"\xC0\x80", {R, R}},  // overlong NUL
        {"\xC1\xBF", {R, R}},
        {"\xE0\x80\x80", {R, R, R}},         // overlong three-byte form
        {"\xED\xA0\x80", {R, R, R}},         // a surrogate
        {"\xF4\x90\x80\x80", {R, R, R, R}},  // past U+10FFFF
        {"\xF5\x80", {R, R}},
        {"\xFF\xFE", {R, R}},
        {"\xC3", {R}},  // cut off by the end of the text
        {"\xE2\x82", {R}},
        {"\xF0\x9F\x98", {R}},
        {"\xE2\x82x\xC3\xA9", {R, 'x', 0xE9}},  // cut off by the next character
        {"\xF0\x9F\x98\xC3\xA9", {R, 0xE9}},
    };
    for (const auto& m : malformed) {
        EXPECT_EQ(decode_all(m.bytes).codes, m.codes) << testing::PrintToString(m.bytes);
    }
    // Without an encoding every byte is a character.
    GUI_UC_SetEncodeNone();
    EXPECT_EQ(decode_all("\xC3\xA9\x80").codes, (Codes{0xC3, 0xA9, 0x80}));
    EXPECT_EQ(GUI_UC_GetCharSize(""), 0);
}

TEST_F(Text, Utf8TextDrawsItsCharactersAndSkipsWhatItCannotDraw) {
    GUI_UC_SetEncodeUTF8();
    EXPECT_EQ(GUI_GetStringDistX("\xC3\xA9\xE2\x82\xAC"), 3 + 7);
    EXPECT_EQ(GUI_GetStringDistX("B\xC3"), 5);             // cut-off sequence: nothing
    EXPECT_EQ(GUI_GetStringDistX("\xF0\x9F\x98\x80"), 0);  // a character the font lacks
    GUI_UC_SetEncodeNone();
    EXPECT_EQ(GUI_GetStringDistX("\xE9"), 3);
    // Every cut of a text full of traps, drawn from an exact-size copy in both encodings.
    const std::string trap = "B\xE2\x82\xAC\xC3\n\xF0\x9F\x98\xED\xA0\x80\xE9 \xC3\xA9L";
    for (const bool utf8 : {false, true}) {
        utf8 ? GUI_UC_SetEncodeUTF8() : GUI_UC_SetEncodeNone();
        for (size_t n = 0; n <= trap.size(); ++n) {
            std::unique_ptr<char[]> s(new char[n + 1]);
            std::memcpy(s.get(), trap.data(), n);
            s[n] = 0;
            GUI_DispStringAt(s.get(), 100, 100);
            const GUI_RECT r{100, 100, 130, 160};
            GUI_DispStringInRectWrap(s.get(), &r, 0, GUI_WRAPMODE_WORD);
            GUI_DispStringInRectEx(s.get(), &r, 0, int(n), GUI_ROTATE_CW);
            GUI_GetStringDistX(s.get());
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Built-in fonts and the reference picture

TEST_F(Text, EveryBuiltInFontPutsItsCapitalsBetweenCapLineAndBaseline) {
    std::set<const GUI_FONT*> done;
    for (const FontEntry* e = fontTable; e->name; ++e) {
        if (!done.insert(e->font).second) continue;
        GUI_SetFont(e->font);
        colors(kBlack, kWhite);
        fill(kScreen);
        GUI_DispStringAt("HE", 50, 50);
        int top = H, bottom = -1;
        for (int y = 50; y < 50 + e->font->yDist; ++y) {
            for (int x = 50; x < 50 + GUI_GetStringDistX("HE"); ++x) {
                if (px(x, y) == kWhite565) continue;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        EXPECT_EQ(top, 50 + e->font->baseline - e->font->capHeight) << e->name;
        EXPECT_EQ(bottom, 50 + e->font->baseline - 1) << e->name;
        // The whole line is the cell: nothing of the screen shows through, nothing beyond.
        EXPECT_EQ(painted(),
                  (Box{50, 50, 50 + GUI_GetStringDistX("HE") - 1, 50 + e->font->yDist - 1}))
            << e->name;
    }
}

TEST_F(Text, ModesAlignmentWrapAndRotationMatchTheReferencePicture) {
    // A striped background so that every blend shows.
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 240; ++x) {
            fb_[y * W + x] = (x / 8 + y / 8) % 2 ? 0x8410 : 0x2945;
        }
    }
    const GUI_COLOR fgs[] = {0xFFFFFF, 0x00C0FF, 0x4080FF};
    const int modes[] = {GUI_TM_NORMAL, GUI_TM_TRANS, GUI_TM_REV, GUI_TM_TRANSREV, GUI_TM_XOR};
    for (int f = 0; f < 3; ++f) {
        GUI_SetFont(&font_[f == 0 ? 1 : f == 1 ? 2 : 4]);
        for (int m = 0; m < 5; ++m) {
            colors(fgs[f], 0x402000);
            GUI_SetTextMode(modes[m]);
            GUI_DispStringAt("ABD L", 4 + m * 24, 4 + f * 12);
        }
    }
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetFont(&font_[4]);
    colors(0x00FFFF, 0x800000);
    const GUI_RECT boxes[] = {
        {130, 4, 169, 43}, {174, 4, 213, 43}, {130, 48, 169, 87}, {174, 48, 213, 87}};
    const int rotations[] = {GUI_ROTATE_0, GUI_ROTATE_CW, GUI_ROTATE_CCW, GUI_ROTATE_180};
    for (int i = 0; i < 4; ++i) {
        GUI_DispStringInRectEx("LAD\nBL", &boxes[i], GUI_TA_HCENTER | GUI_TA_VCENTER, -1,
                               rotations[i]);
    }
    const GUI_RECT wrap{4, 44, 60, 115};
    GUI_DispStringInRectWrap("BL AD  LLL BBBBBBBBBBBB D", &wrap, GUI_TA_RIGHT | GUI_TA_BOTTOM,
                             GUI_WRAPMODE_WORD);
    const GUI_RECT chars{66, 44, 110, 115};
    GUI_DispStringInRectWrap("BL AD  LLL BBBBBBBBBBBB D", &chars, GUI_TA_HCENTER,
                             GUI_WRAPMODE_CHAR);
    const RgbImage picture = capture(fb_, W, 0, 0, 240, 120);
    write_png(test_output_dir() + "/text_modes.png", picture);
    EXPECT_TRUE(matches_reference("text_modes", picture));
}

}  // namespace
}  // namespace voxa_test
