// The graphics library on the in-process board, on a display of every panel size (and one whose
// rows lie wider apart than it is wide): pixels, clipping against the display's edges, XOR.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <vector>

#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "test_screen.h"

namespace {

using voxa_test::kScreenSizes;

constexpr uint16_t kWhite = 0xFFFF;

class Gui : public voxa_test::GuiOnScreen {
  protected:
    void clear(uint16_t v) { screen_.fill(v); }
    void noise() { screen_.noise(); }
    uint16_t px(int x, int y) const { return screen_.px(x, y); }
    std::vector<uint16_t> snap() const { return screen_.snap(); }
    int count(uint16_t v) const { return screen_.count(v); }
    std::array<int, 4> bbox(uint16_t v) const { return screen_.bbox(v); }
};

INSTANTIATE_TEST_SUITE_P(Screens, Gui, ::testing::ValuesIn(kScreenSizes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GuiDisplay, DisplaysTheLibraryCannotDrawOnAreRefused) {
    uint16_t pixels[4] = {};
    const GUI_DISPLAY ok{pixels, 2, 2, 2};
    const GUI_DISPLAY cases[] = {
        {nullptr, 2, 2, 2},
        {pixels, 0, 2, 2},
        {pixels, 2, 0, 2},
        {pixels, 2, 2, 1},
        {pixels, kGuiMaxWidth + 1, 1, kGuiMaxWidth + 1},
        {pixels, 1, kGuiMaxHeight + 1, 1},
    };
    ASSERT_EQ(GUI_Init(&ok), 0);
    EXPECT_NE(GUI_Init(nullptr), 0);
    for (const GUI_DISPLAY& d : cases) {
        EXPECT_NE(GUI_Init(&d), 0) << d.width << " x " << d.height << " stride " << d.stride;
        // A refused display leaves the one in use.
        EXPECT_EQ(LCD_GetXSize(), 2);
    }
    GUI_SetColor(0xFFFFFF);
    GUI_FillRect(-5, -5, 50, 50);
    for (uint16_t p : pixels) EXPECT_EQ(p, 0xFFFF);
}

TEST_P(Gui, ContextDefaultsAndSettersReturnThePreviousValue) {
    EXPECT_EQ(GUI_GetColor(), 0xFFFFFFu);
    EXPECT_EQ(GUI_GetBkColor(), 0u);
    EXPECT_EQ(GUI_GetPenSize(), 1);
    EXPECT_EQ(GUI_GetDrawMode(), GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontArial10);
    EXPECT_EQ(GUI_GetDecChar(), '.');
    EXPECT_EQ(LCD_GetXSize(), W);
    EXPECT_EQ(LCD_GetYSize(), H);
    EXPECT_EQ(GUI_SetPenSize(7), 1);
    EXPECT_EQ(GUI_SetPenSize(300), 7);
    EXPECT_EQ(GUI_GetPenSize(), 300 % 256);
    EXPECT_EQ(GUI_SetColor(0x123456), 0xFFFFFFu);
    EXPECT_EQ(GUI_SetTextAlign(GUI_TA_HCENTER | GUI_TA_VCENTER), 0);
    EXPECT_EQ(GUI_SetLBorder(17), 0);

    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    const GUI_RECT small{10, 10, 20, 20};
    GUI_SetClipRect(&small);
    GUI_SetColor(0xFF);
    GUI_GotoXY(5, 6);
    GUI_RestoreContext(&saved);
    EXPECT_EQ(GUI_GetColor(), 0x123456u);
    EXPECT_EQ(GUI_GetDispPosX(), 0);
    // The restored clip rectangle is the one in force again.
    GUI_FillRect(0, 0, W - 1, H - 1);
    EXPECT_EQ(px(0, 0), GUI_GetColorIndex());
}

TEST_P(Gui, ColoursQuantiseTo565AndReadBackExpanded) {
    GUI_SetColor(0x123456);  // red 0x56, green 0x34, blue 0x12
    EXPECT_EQ(GUI_GetColor(), 0x123456u);
    GUI_FillRect(0, 0, 0, 0);
    EXPECT_EQ(px(0, 0), (0x56 >> 3) << 11 | (0x34 >> 2) << 5 | (0x12 >> 3));
    EXPECT_EQ(LCD_Index2Color_M565(px(0, 0)), 0x103452u);  // red 0x52, green 0x34, blue 0x10
    EXPECT_EQ(LCD_Index2Color_M565(LCD_Color2Index_M565(0xFFFFFF)), 0xFFFFFFu);
    EXPECT_EQ(LCD_Color2Index_M565(0x0000FF), 0xF800);  // library colours are 0x00BBGGRR
}

TEST_P(Gui, RectanglesAreInclusiveAndEmptyOnesDrawNothing) {
    GUI_FillRect(10, 20, 12, 21);
    EXPECT_EQ(count(kWhite), 6);
    EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{10, 20, 12, 21}));
    GUI_FillRect(12, 30, 10, 31);
    GUI_FillRect(10, 31, 12, 30);
    EXPECT_EQ(count(kWhite), 6);
    GUI_SetBkColor(0x0000FF);
    GUI_ClearRect(11, 20, 11, 20);
    EXPECT_EQ(px(11, 20), 0xF800);
    EXPECT_EQ(count(kWhite), 5);
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    GUI_Clear();  // clearing ignores XOR
    EXPECT_EQ(count(0xF800), W * H);
}

TEST_P(Gui, NothingIsWrittenOutsideTheClipRectangleOrTheBuffer) {
    const int big = INT_MAX, small = INT_MIN;
    const std::vector<std::function<void()>> draws = {
        [&] { GUI_FillRect(small, small, big, big); },
        [&] { GUI_DrawLine(small, small, big, big); },
        [&] { GUI_DrawLine(small, 240, big, 241); },
        [&] { GUI_DrawLine(-100000, -3, 100000, 479 + 3); },
        [&] { GUI_DrawLine(400, small, 401, big); },
        [&] { GUI_DrawPoint(big, small); },
        [&] { GUI_DrawPixel(-1, 0); },
        [&] { GUI_DrawPixel(W, H - 1); },
        [&] { GUI_DrawCircle(400, 240, 32767); },
        [&] { GUI_DrawCircle(small, big, big); },
        [&] { GUI_FillCircle(400, 240, 100000); },
        [&] { GUI_FillCircle(-32767, 240, 33100); },
        [&] { GUI_DrawEllipse(400, 240, 65535, 3); },
        [&] { GUI_FillEllipse(big, big, 32767, 32767); },
        [&] { GL_DrawArc(400, 240, 32767, 32767, small, big); },
        [&] { GL_DrawArc(0, 0, 500, 300, -45, 45); },
        [&] { GUI_DrawRect(small, small, big, big); },
        [&] {
            const GUI_POINT p[4] = {{-32768, -32768}, {32767, -32768}, {32767, 32767}, {0, 5}};
            GUI_FillPolygon(p, 4, big, small);
            GUI_FillPolygon(p, 4, 400, 240);
            GUI_DrawPolygon(p, 4, 400, 240);
            GUI_DrawPolyLine(p, 4, small, big);
        },
    };
    const GUI_RECT clip{100, 50, 300, 200};
    for (int pen : {1, 2, 5, 255}) {
        for (int mode : {GUI_DRAWMODE_NORMAL, GUI_DRAWMODE_XOR}) {
            for (size_t i = 0; i < draws.size(); ++i) {
                SCOPED_TRACE(testing::Message() << "pen " << pen << " mode " << mode << " #" << i);
                GUI_SetPenSize(pen);
                GUI_SetDrawMode(mode);
                clear(0);
                GUI_SetClipRect(&clip);
                draws[i]();
                for (int y = 0; y < H; ++y) {
                    for (int x = 0; x < W; ++x) {
                        if (x < clip.x0 || x > clip.x1 || y < clip.y0 || y > clip.y1) {
                            ASSERT_EQ(px(x, y), 0) << x << "," << y;
                        }
                    }
                }
                GUI_SetClipRect(nullptr);
                draws[i]();
                ASSERT_TRUE(screen_.untouched_outside());
            }
        }
    }
}

TEST_P(Gui, ClippedThinLinesKeepTheirPixels) {
    const int lines[][4] = {{-50, -20, 850, 500},
                            {3, 470, 790, 5},
                            {400, -1000, 410, 1500},
                            {10, 10, 11, 400},
                            {799, 0, 0, 479}};
    const GUI_RECT clip{123, 77, 611, 300};
    for (const auto& l : lines) {
        clear(0);
        GUI_DrawLine(l[0], l[1], l[2], l[3]);
        auto full = snap();
        clear(0);
        GUI_SetClipRect(&clip);
        GUI_DrawLine(l[2], l[3], l[0], l[1]);  // the other way round: the same pixels
        GUI_SetClipRect(nullptr);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const bool inside = x >= clip.x0 && x <= clip.x1 && y >= clip.y0 && y <= clip.y1;
                ASSERT_EQ(px(x, y), inside ? full[y * W + x] : 0) << x << "," << y;
            }
        }
    }
    clear(0);
    GUI_DrawLine(5, 5, 15, 8);
    EXPECT_EQ(px(5, 5), kWhite);
    EXPECT_EQ(px(15, 8), kWhite);
    EXPECT_EQ(count(kWhite), 11);  // one pixel per column
}

TEST_P(Gui, PenSizeGivesTheLineItsWidthAndTheDotItsDiameter) {
    for (int w = 1; w <= 9; ++w) {
        SCOPED_TRACE(w);
        GUI_SetPenSize(w);
        clear(0);
        GUI_DrawLine(100, 100, 200, 100);
        const auto h = bbox(kWhite);
        EXPECT_EQ(h[3] - h[1] + 1, w);
        EXPECT_LE(h[0], 100);
        EXPECT_GE(h[2], 200);
        clear(0);
        GUI_DrawLine(300, 50, 300, 150);
        const auto v = bbox(kWhite);
        EXPECT_EQ(v[2] - v[0] + 1, w);
        clear(0);
        GUI_DrawPoint(400, 300);
        const auto d = bbox(kWhite);
        EXPECT_EQ(d[2] - d[0] + 1, w);
        EXPECT_EQ(d[3] - d[1] + 1, w);
        EXPECT_EQ(px(400, 300), kWhite);
        // The dot is round: above 4 pixels its corners stay empty.
        if (w >= 5) {
            EXPECT_EQ(px(d[0], d[1]), 0);
        }
    }
    // A diagonal thick line is as thick across as a straight one, not sqrt(2) times thinner.
    GUI_SetPenSize(6);
    clear(0);
    GUI_DrawLine(100, 100, 300, 300);
    int across = 0;
    for (int k = -10; k <= 10; ++k) across += px(200 + k, 200 - k) == kWhite;
    EXPECT_NEAR(across * std::sqrt(2.0), 6.0, 1.5);
}

TEST_P(Gui, XorInvertsEveryPixelOfAFigureOnceSoTwiceRestores) {
    const GUI_POINT star[5] = {{0, -60}, {35, 50}, {-57, -18}, {57, -18}, {-35, 50}};
    static const uint8_t bits[] = {0xF0, 0x3C, 0xFF, 0x00};
    static const GUI_COLOR pal[2] = {0x0000FF, 0xFFFFFF};  // both visible on black
    static const GUI_LOGPALETTE palette{2, 0, pal};
    static const GUI_BITMAP bitmap{16, 2, 2, 1, bits, &palette, nullptr, 0};
    const std::vector<std::pair<const char*, std::function<void()>>> figures = {
        {"thin line", [] { GUI_DrawLine(10, 10, 600, 333); }},
        {"thick line", [] { GUI_DrawLine(10, 400, 600, 30); }},
        {"point", [] { GUI_DrawPoint(50, 50); }},
        {"rect", [] { GUI_DrawRect(100, 100, 300, 200); }},
        {"fill rect", [] { GUI_FillRect(100, 100, 300, 200); }},
        {"star outline", [&] { GUI_DrawPolygon(star, 5, 400, 240); }},
        {"star polyline", [&] { GUI_DrawPolyLine(star, 5, 400, 240); }},
        {"star fill", [&] { GUI_FillPolygon(star, 5, 400, 240); }},
        {"circle", [] { GUI_DrawCircle(400, 240, 100); }},
        {"fill circle", [] { GUI_FillCircle(400, 240, 100); }},
        {"ellipse", [] { GUI_DrawEllipse(400, 240, 150, 60); }},
        {"fill ellipse", [] { GUI_FillEllipse(400, 240, 3, 200); }},
        {"arc", [] { GL_DrawArc(400, 240, 100, 70, 30, 300); }},
        {"small arc", [] { GL_DrawArc(400, 240, 100, 100, 10, 10); }},
        {"bitmap", [&] { GUI_DrawBitmap(&bitmap, 5, 5); }},
    };
    for (int pen : {1, 2, 7}) {
        for (const auto& [name, draw] : figures) {
            SCOPED_TRACE(testing::Message() << name << " pen " << pen);
            GUI_SetPenSize(pen);
            // What the figure covers, painted normally.
            GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
            clear(0);
            draw();
            const auto covered = snap();
            noise();
            const auto before = snap();
            GUI_SetDrawMode(GUI_DRAWMODE_XOR);
            draw();
            const auto after = snap();
            for (int i = 0; i < W * H; ++i) {
                const uint16_t want = covered[i] ? uint16_t(~before[i]) : before[i];
                ASSERT_EQ(after[i], want) << "pixel " << i % W << "," << i / W;
            }
            draw();
            ASSERT_TRUE(snap() == before);
        }
    }
}

TEST_P(Gui, CirclesAndEllipsesAreSymmetric) {
    for (int r : {0, 1, 2, 5, 17, 100}) {
        SCOPED_TRACE(r);
        for (bool filled : {false, true}) {
            clear(0);
            filled ? GUI_FillCircle(400, 240, r) : GUI_DrawCircle(400, 240, r);
            for (int dy = -r - 1; dy <= r + 1; ++dy) {
                for (int dx = -r - 1; dx <= r + 1; ++dx) {
                    const uint16_t p = px(400 + dx, 240 + dy);
                    ASSERT_EQ(p, px(400 - dx, 240 + dy));
                    ASSERT_EQ(p, px(400 + dx, 240 - dy));
                    ASSERT_EQ(p, px(400 + dy, 240 + dx));
                }
            }
            EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{400 - r, 240 - r, 400 + r, 240 + r}));
            if (!filled && r > 2) {
                EXPECT_EQ(px(400, 240), 0);
            }
        }
    }
    clear(0);
    GUI_DrawEllipse(400, 240, 120, 30);
    EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{280, 210, 520, 270}));
    for (int dy = -30; dy <= 30; ++dy) {
        for (int dx = -120; dx <= 120; ++dx) {
            ASSERT_EQ(px(400 + dx, 240 + dy), px(400 - dx, 240 - dy));
        }
    }
    // The outline is the border of the filled shape.
    clear(0);
    GUI_FillEllipse(400, 240, 120, 30);
    GUI_SetColor(0);
    GUI_DrawEllipse(400, 240, 120, 30);
    EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{281, 211, 519, 269}));
}

TEST_P(Gui, ConcavePolygonsFillInsideOnly) {
    // A U: two legs with a notch between them.
    const GUI_POINT u[8] = {{0, 0},   {30, 0},  {30, 30}, {20, 30},
                            {20, 10}, {10, 10}, {10, 30}, {0, 30}};
    GUI_FillPolygon(u, 8, 100, 100);
    EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{100, 100, 130, 130}));
    EXPECT_EQ(px(105, 120), kWhite);
    EXPECT_EQ(px(125, 120), kWhite);
    EXPECT_EQ(px(115, 120), 0);  // the notch
    EXPECT_EQ(px(115, 111), 0);
    EXPECT_EQ(px(115, 110), kWhite);  // its edge belongs to the polygon
    EXPECT_EQ(count(kWhite), 31 * 11 + 2 * 11 * 20);
    // The fill covers the outline exactly.
    const auto filled = snap();
    clear(0);
    GUI_DrawPolygon(u, 8, 100, 100);
    const auto outline = snap();
    for (int i = 0; i < W * H; ++i) {
        if (outline[i]) {
            ASSERT_EQ(filled[i], kWhite);
        }
    }
    // Even-odd: the centre of a pentagram stays empty.
    const GUI_POINT star[5] = {{0, -60}, {35, 50}, {-57, -18}, {57, -18}, {-35, 50}};
    clear(0);
    GUI_FillPolygon(star, 5, 400, 240);
    EXPECT_EQ(px(400, 240), 0);
    EXPECT_EQ(px(400, 200), kWhite);
}

TEST_P(Gui, ArcsRunCounterClockwiseFromTheRightAndEndAtTheirAngles) {
    const int cx = 400, cy = 240, r = 50;
    GL_DrawArc(cx, cy, r, r, 0, 90);
    EXPECT_EQ(px(cx + r, cy), kWhite);  // 0 degrees: right
    EXPECT_EQ(px(cx, cy - r), kWhite);  // 90 degrees: up
    EXPECT_EQ(px(cx - r, cy), 0);
    EXPECT_EQ(px(cx, cy + r), 0);
    EXPECT_EQ(bbox(kWhite), (std::array<int, 4>{cx, cy - r, cx + r, cy}));
    // From 90 back to 0 wraps through 180 and 270: the other three quarters.
    clear(0);
    GL_DrawArc(cx, cy, r, r, 90, 0);
    EXPECT_EQ(px(cx - r, cy), kWhite);
    EXPECT_EQ(px(cx, cy + r), kWhite);
    EXPECT_EQ(px(cx + 35, cy - 35), 0);
    EXPECT_EQ(px(cx + r, cy), kWhite);
    EXPECT_EQ(px(cx, cy - r), kWhite);
    // An end at 45 degrees: the arc stops on the diagonal.
    clear(0);
    GL_DrawArc(cx, cy, r, r, 45, 180);
    EXPECT_EQ(px(cx + 35, cy - 36), kWhite);
    EXPECT_EQ(px(cx + 40, cy - 30), 0);
    // A full turn is the circle.
    clear(0);
    GL_DrawArc(cx, cy, r, r, 0, 360);
    const auto arc = snap();
    clear(0);
    GUI_DrawCircle(cx, cy, r);
    EXPECT_TRUE(snap() == arc);
    // The pen makes it thick on both sides of the radius.
    clear(0);
    GUI_SetPenSize(5);
    GL_DrawArc(cx, cy, r, r, 0, 90);
    for (int d = -2; d <= 2; ++d) EXPECT_EQ(px(cx + r + d, cy - 1), kWhite) << d;
    EXPECT_EQ(px(cx + r + 3, cy - 1), 0);
}

TEST_P(Gui, RotatePolygonTurnsAboutTheOrigin) {
    const GUI_POINT src[2] = {{10, 0}, {0, -20}};
    GUI_POINT dst[2];
    GUI_RotatePolygon(dst, src, 2, float(M_PI / 2));
    EXPECT_EQ(dst[0].x, 0);
    EXPECT_EQ(dst[0].y, 10);
    EXPECT_EQ(dst[1].x, 20);
    EXPECT_EQ(dst[1].y, 0);
}

TEST_P(Gui, PaletteBitmapsOfEveryDepthWithAndWithoutTransparency) {
    static const GUI_COLOR colors[16] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080,
                                         0x00FFFF, 0xFF00FF, 0x123456, 0x654321, 0x111111, 0x222222,
                                         0x333333, 0x444444, 0x555555, 0x666666};
    const GUI_LOGPALETTE opaque{16, 0, colors}, trans{16, 1, colors};
    // 1 bpp, 10 pixels: 1000000011 over two bytes per row.
    static const uint8_t b1[] = {0x80, 0xC0};
    // 2 bpp: indices 0 1 2 3 0.
    static const uint8_t b2[] = {0x1B, 0x00};
    // 4 bpp: indices 3 0 15.
    static const uint8_t b4[] = {0x30, 0xF0};
    static const uint8_t b8[] = {0, 8, 1};
    struct Case {
        uint16_t bpp, w, bpl;
        const uint8_t* data;
        std::vector<int> indices;
    };
    const Case cases[] = {{1, 10, 2, b1, {1, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
                          {2, 5, 2, b2, {0, 1, 2, 3, 0}},
                          {4, 3, 2, b4, {3, 0, 15}},
                          {8, 3, 3, b8, {0, 8, 1}}};
    for (const Case& c : cases) {
        for (const GUI_LOGPALETTE* pal : {&opaque, &trans}) {
            SCOPED_TRACE(testing::Message() << c.bpp << " bpp, trans " << int(pal->HasTrans));
            clear(0x1234);
            const GUI_BITMAP bm{c.w, 1, c.bpl, c.bpp, c.data, pal, nullptr, 0};
            GUI_DrawBitmap(&bm, -1, 10);  // the first column falls off the screen
            for (int i = 1; i < c.w; ++i) {
                const int index = c.indices[size_t(i)];
                const uint16_t want = (index == 0 && pal->HasTrans)
                                          ? uint16_t(0x1234)
                                          : LCD_Color2Index_M565(colors[index]);
                EXPECT_EQ(px(i - 1, 10), want) << "column " << i;
            }
            EXPECT_EQ(px(c.w - 1, 10), 0x1234);
        }
    }
}

TEST_P(Gui, Rgb565BitmapsCopyAndClip) {
    uint8_t data[3 * 2 * 2];
    for (int i = 0; i < 6; ++i) {
        data[2 * i] = uint8_t(0x10 + i);
        data[2 * i + 1] = 0xA0;
    }
    const GUI_BITMAP bm{3, 2, 6, 16, data, nullptr, GUI_DRAW_BMP565, 0};
    GUI_DrawBitmap(&bm, W - 2, H - 1);
    EXPECT_EQ(px(W - 2, H - 1), 0xA010);
    EXPECT_EQ(px(W - 1, H - 1), 0xA011);
    EXPECT_EQ(count(0), W * H - 2);
    GUI_DrawBitmap(&bm, 0, 0);
    EXPECT_EQ(px(2, 1), 0xA015);
}

TEST_P(Gui, RunLengthBitmapsSpanRowsAndHonourTransparency) {
    // 4 x 3, RLE16: a run of 6 (over the end of row 0), a literal of 2, a run of 4 of colour 0.
    const uint8_t rle16[] = {6, 0x34, 0x12, 0, 2, 0x01, 0x00, 0x02, 0x00, 4, 0x00, 0x00};
    const GUI_BITMAP bm16{4, 3, 0, 16, rle16, nullptr, GUI_DRAW_RLE16, sizeof rle16};
    clear(0x7777);
    GUI_DrawBitmap(&bm16, 10, 10);
    const uint16_t want16[3][4] = {
        {0x1234, 0x1234, 0x1234, 0x1234}, {0x1234, 0x1234, 0x0001, 0x0002}, {0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(px(10 + x, 10 + y), want16[y][x]) << x << "," << y;
    }
    // In the transparent draw mode the zero run is skipped.
    clear(0x7777);
    GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
    GUI_DrawBitmap(&bm16, 10, 10);
    EXPECT_EQ(px(10, 12), 0x7777);
    EXPECT_EQ(px(12, 11), 0x0001);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);

    // A literal count of 0 carries 256 pixels: a 256 x 1 bitmap, every pixel its own column.
    std::vector<uint8_t> lit = {0, 0};
    for (int i = 0; i < 256; ++i) {
        lit.push_back(uint8_t(i));
        lit.push_back(0x80);
    }
    const GUI_BITMAP wide{256, 1, 0, 16, lit.data(), nullptr, GUI_DRAW_RLE16, uint32_t(lit.size())};
    clear(0);
    GUI_DrawBitmap(&wide, 100, 200);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(px(100 + i, 200), 0x8000 | i);

    // RLE8 through a palette with a transparent index 0; a truncated stream stops drawing.
    static const GUI_COLOR pal[3] = {0x000000, 0x0000FF, 0x00FF00};
    const GUI_LOGPALETTE tp{3, 1, pal};
    const uint8_t rle8[] = {3, 1, 0, 3, 0, 2, 1, 5, 2};
    const GUI_BITMAP bm8{3, 3, 0, 8, rle8, &tp, GUI_DRAW_RLE8, sizeof rle8 - 1};
    clear(0x7777);
    GUI_DrawBitmap(&bm8, 0, 0);
    const uint16_t red = 0xF800, green = 0x07E0;
    EXPECT_EQ(px(0, 0), red);
    EXPECT_EQ(px(2, 0), red);
    EXPECT_EQ(px(0, 1), 0x7777);  // index 0 of a transparent palette
    EXPECT_EQ(px(1, 1), green);
    EXPECT_EQ(px(2, 1), red);
    EXPECT_EQ(px(0, 2), 0x7777);  // the last item lies beyond NumBytes
}

}  // namespace
