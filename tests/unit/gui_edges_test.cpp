// Figures at the edges: whatever part of a figure lies beyond the screen or the clip box is cut
// away, and exactly the rest remains, pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gui/gui.h"
#include "test_screen.h"

namespace {

class GuiEdges : public voxa_test::GuiOnScreen {
  protected:
    void SetUp() override {
        GuiOnScreen::SetUp();
        GUI_SetColor(0x2A55C3);  // two different bytes: no shortcut for uniform fills
    }
    void clear() { screen_.fill(0); }
    std::vector<uint16_t> snap() const { return screen_.snap(); }
    // The screen equals want; otherwise the first pixel that differs.
    ::testing::AssertionResult screen_is(const std::vector<uint16_t>& want) const {
        const long i = screen_.first_difference(want);
        if (i < 0) return ::testing::AssertionSuccess();
        const int x = int(i % W), y = int(i / W);
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is "
                                             << screen_.px(x, y) << ", not " << want[size_t(i)];
    }
};

INSTANTIATE_TEST_SUITE_P(Screens, GuiEdges, ::testing::ValuesIn(voxa_test::kScreenSizes),
                         [](const auto& info) { return std::string(info.param.name); });

// A figure drawn with its reference point at (x, y).
struct Figure {
    const char* name;
    std::function<void(int x, int y)> draw;
};

std::vector<Figure> figures() {
    static const GUI_POINT star[5] = {{0, -60}, {35, 50}, {-57, -18}, {57, -18}, {-35, 50}};
    static const GUI_POINT zigzag[6] = {{-70, 40}, {-40, -50}, {-10, 45},
                                        {15, -60}, {40, 30},   {70, -20}};
    return {
        {"steep line", [](int x, int y) { GUI_DrawLine(x - 13, y - 70, x + 9, y + 66); }},
        {"flat line", [](int x, int y) { GUI_DrawLine(x + 70, y - 11, x - 68, y + 17); }},
        {"diagonal", [](int x, int y) { GUI_DrawLine(x - 60, y - 60, x + 60, y + 60); }},
        {"vertical", [](int x, int y) { GUI_DrawLine(x + 3, y - 70, x + 3, y + 70); }},
        {"horizontal", [](int x, int y) { GUI_DrawLine(x - 70, y - 2, x + 70, y - 2); }},
        {"point", [](int x, int y) { GUI_DrawPoint(x, y); }},
        {"rect", [](int x, int y) { GUI_DrawRect(x - 50, y - 37, x + 61, y + 44); }},
        {"fill rect", [](int x, int y) { GUI_FillRect(x - 50, y - 37, x + 61, y + 44); }},
        {"circle", [](int x, int y) { GUI_DrawCircle(x, y, 57); }},
        {"fill circle", [](int x, int y) { GUI_FillCircle(x, y, 57); }},
        {"ellipse", [](int x, int y) { GUI_DrawEllipse(x, y, 66, 29); }},
        {"fill ellipse", [](int x, int y) { GUI_FillEllipse(x, y, 23, 64); }},
        {"arc", [](int x, int y) { GL_DrawArc(x, y, 60, 45, 20, 250); }},
        {"wide arc", [](int x, int y) { GL_DrawArc(x, y, 55, 55, 100, 80); }},
        {"star", [](int x, int y) { GUI_DrawPolygon(star, 5, x, y); }},
        {"fill star", [](int x, int y) { GUI_FillPolygon(star, 5, x, y); }},
        {"zigzag", [](int x, int y) { GUI_DrawPolyLine(zigzag, 6, x, y); }},
    };
}

TEST_P(GuiEdges, FiguresAcrossTheScreenEdgesKeepTheirOnScreenPixels) {
    // Reference points near and beyond each edge: the figure is cut by the left, top, right or
    // bottom edge, or by two at once.
    const int anchors[][2] = {{3, 240},  {-31, 200},   {400, 0},      {350, -44},      {17, 11},
                              {-8, -12}, {W - 4, 300}, {500, H - 10}, {W + 30, H + 20}};
    const int cx = 400, cy = 240;  // where the whole figure fits on screen
    for (const auto& f : figures()) {
        for (int pen = 1; pen <= 7; ++pen) {
            GUI_SetPenSize(pen);
            clear();
            f.draw(cx, cy);
            const auto whole = snap();
            int cut_shown = 0;
            for (const auto& a : anchors) {
                SCOPED_TRACE(testing::Message()
                             << f.name << ", pen " << pen << ", at " << a[0] << "," << a[1]);
                clear();
                f.draw(a[0], a[1]);
                // The whole figure moved by the same amount, and cut at the screen's edges.
                const int sx = cx - a[0], sy = cy - a[1];
                std::vector<uint16_t> want(size_t(W) * H, 0);
                const int x_from = std::max(0, -sx), x_to = std::min(W, W - sx);
                for (int y = std::max(0, -sy); y < std::min(H, H - sy); ++y) {
                    if (x_from >= x_to) break;
                    const auto row = whole.begin() + (y + sy) * W;
                    std::copy(row + x_from + sx, row + x_to + sx, want.begin() + y * W + x_from);
                }
                ASSERT_TRUE(screen_is(want));
                cut_shown +=
                    int(std::count_if(want.begin(), want.end(), [](uint16_t v) { return v != 0; }));
            }
            EXPECT_GT(cut_shown, 0) << f.name << " was never partly on screen";
        }
    }
}

TEST_P(GuiEdges, FillsOfEveryWidthStayWithinTheirEdges) {
    // Spans are written in runs of several pixels at once; whatever the width and the
    // alignment, in a colour whose two bytes differ, in normal and XOR mode, only the pixels of
    // the rectangle change.
    screen_.noise(99);
    GUI_SetColor(0x3C81E7);
    for (const int mode : {GUI_DRAWMODE_NORMAL, GUI_DRAWMODE_XOR}) {
        GUI_SetDrawMode(mode);
        for (int width = 1; width <= 40; ++width) {
            for (int x0 = 0; x0 < 8; ++x0) {
                SCOPED_TRACE(testing::Message()
                             << "mode " << mode << " width " << width << " at " << x0);
                const int y = 10 + width * 8 + x0;
                const auto before = snap();
                GUI_FillRect(x0, y, x0 + width - 1, y + 1);
                GUI_FillRect(W - width - x0, y, W - 1 - x0, y);
                // A run written too long or too early spills into the neighbouring pixels,
                // at the ends of the rows in the rows before and after.
                for (int i = (y - 2) * W; i < (y + 4) * W; ++i) {
                    const int px = i % W, py = i / W;
                    const bool left = py >= y && py <= y + 1 && px >= x0 && px < x0 + width;
                    const bool right = py == y && px >= W - width - x0 && px <= W - 1 - x0;
                    const uint16_t painted =
                        mode == GUI_DRAWMODE_XOR ? uint16_t(~before[i]) : GUI_GetColorIndex();
                    ASSERT_EQ(screen_.px(px, py), left || right ? painted : before[i])
                        << px << "," << py;
                }
            }
        }
    }
}

TEST_P(GuiEdges, RandomThinLinesAcrossAClipBox) {
    // Lines from anywhere around the box to anywhere around it, crossing each of its sides:
    // inside the box exactly the pixels of the same line drawn unclipped, outside nothing.
    const GUI_RECT clip{211, 143, 588, 322};
    std::mt19937 rng(20240611);
    const auto around = [&rng](int lo, int hi) {
        std::uniform_int_distribution<int> d(lo - 90, hi + 90);
        return d(rng);
    };
    std::vector<uint16_t> whole;
    for (int n = 0; n < 600; ++n) {
        int x0 = around(clip.x0, clip.x1), y0 = around(clip.y0, clip.y1);
        int x1 = around(clip.x0, clip.x1), y1 = around(clip.y0, clip.y1);
        // Every fourth line runs close along one side of the box.
        if (n % 4 == 0) {
            const int side = (n / 4) % 4;
            const int off = int(rng() % 5) - 2;
            if (side == 0) y0 = y1 = clip.y0 + off;
            if (side == 1) y0 = y1 = clip.y1 + off;
            if (side == 2) x0 = x1 = clip.x0 + off;
            if (side == 3) x0 = x1 = clip.x1 + off;
            if (rng() % 2) (side < 2 ? y1 : x1) += int(rng() % 7) - 3;
        }
        SCOPED_TRACE(testing::Message()
                     << "line " << n << ": " << x0 << "," << y0 << " to " << x1 << "," << y1);
        GUI_SetClipRect(nullptr);
        clear();
        GUI_DrawLine(x0, y0, x1, y1);
        whole = snap();
        clear();
        GUI_SetClipRect(&clip);
        if (n % 2)
            GUI_DrawLine(x1, y1, x0, y0);
        else
            GUI_DrawLine(x0, y0, x1, y1);
        std::vector<uint16_t> want(size_t(W) * H, 0);
        for (int y = clip.y0; y <= clip.y1; ++y) {
            std::copy(whole.begin() + y * W + clip.x0, whole.begin() + y * W + clip.x1 + 1,
                      want.begin() + y * W + clip.x0);
        }
        ASSERT_TRUE(screen_is(want));
    }
    GUI_SetClipRect(nullptr);
}

}  // namespace
