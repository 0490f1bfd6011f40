// Scrolling text boxes called directly: a buffered box driven by long random runs of appends,
// prepends, scrolls and jumps, checked after every step against a plain list of its lines and
// against a full redraw of the same view; and boxes in user fonts, which must keep their own
// font while the host selects another one.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "controls/text_boxes.h"
#include "device/board.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/fonts.h"
#include "sif_builder.h"

namespace voxa_test {
namespace {

constexpr GUI_COLOR kInk = 0xFFFFFF, kPaper = 0x800000;  // white on dark blue
constexpr int kScreenW = 800;

std::vector<uint16_t> area(int x0, int y0, int x1, int y1) {
    std::vector<uint16_t> p;
    const uint16_t* fb = lcd_framebuffer();
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) p.push_back(fb[y * kScreenW + x]);
    return p;
}

class TextBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        start_firmware_in_process();
        KV_GUI_Init();
        KV_Fonts_Init();
        KV_DrawingState_Init();
        KV_Text_Init();
        STB_InitScrollTB_Resources();
        GUI_SetColor(kInk);
        GUI_SetBkColor(kPaper);
        GUI_Clear();
    }
    void TearDown() override { KV_SetFontImage(nullptr, 0); }
};

// ---------------------------------------------------------------------------------------------
// The ring and the views

struct Snapshot {
    ScrollBox box;
    ScrollBuffer buffer;
    std::vector<uint16_t> pixels;
};

class BufferedBox : public TextBoxes {
  protected:
    void SetUp() override {
        TextBoxes::SetUp();
        ASSERT_EQ(GUIDEMO_SetFont("m8"), 1);
        // Five lines of 30 characters: the ring fills many times over and every column of an
        // 80-character line can be scrolled to.
        const int w = GUI_GetCharDistX('W'), h = GUI_GetFontDistY();
        ASSERT_EQ(STB_DefineScrollTB(0, kBoxBuffered, 20, 20, 20 + 30 * w - 1, 20 + 5 * h - 1), 1);
        b = &stbCommon[0];
        buf = &stbBuffer[0];
        ASSERT_EQ(b->dispLines, 5);
        ASSERT_EQ(b->dispChars, 30);
    }

    int top() const {
        return (buf->curLine - buf->bufTopLine + kScrollBufLines) % kScrollBufLines + 1;
    }
    std::string stored(int k) const {
        return buf->lines[(buf->bufTopLine + k - 1) % kScrollBufLines];
    }
    Snapshot snap() const { return {*b, *buf, area(b->x0, b->y0, b->x1, b->y1)}; }
    static bool same(const Snapshot& a, const Snapshot& c) {
        return std::memcmp(&a.box, &c.box, sizeof a.box) == 0 &&
               std::memcmp(&a.buffer, &c.buffer, sizeof a.buffer) == 0 && a.pixels == c.pixels;
    }

    // What every step must leave: the stored lines of the model in order, a view whose top is a
    // stored line (or 1) showing as many lines as fit from there, a column from which the 80th
    // character can be seen, and on the screen exactly what a full redraw of that view paints.
    void check(const std::deque<std::string>& model, const std::string& step) {
        SCOPED_TRACE(step);
        const int n = buf->numBufLines;
        ASSERT_EQ(n, int(model.size()));
        for (int k = 1; k <= n; ++k) ASSERT_EQ(stored(k), model[size_t(k - 1)]) << k;
        const int t = top();
        ASSERT_GE(t, 1);
        ASSERT_LE(t, n > 0 ? n : 1);
        const int after = n - t + 1;
        ASSERT_EQ(b->numLines, after < 0 ? 0 : (after < b->dispLines ? after : b->dispLines));
        ASSERT_GE(buf->curChar, 0);
        ASSERT_LE(buf->curChar, kScrollBufChars - b->dispChars);
        const Snapshot before = snap();
        ASSERT_EQ(STB_DisplayFromLineChar(0, t, buf->curChar + 1), 1);
        ASSERT_TRUE(same(before, snap())) << "the screen differs from a redraw of its view";
    }

    ScrollBox* b = nullptr;
    ScrollBuffer* buf = nullptr;
};

TEST_F(BufferedBox, RandomRunsKeepTheLinesTheViewAndTheScreenTogether) {
    std::mt19937 rng(17);
    std::deque<std::string> model;
    const std::vector<uint16_t> outside_top = area(0, 0, kScreenW - 1, b->y0 - 1);
    const std::vector<uint16_t> outside_bottom = area(0, b->y1 + 1, kScreenW - 1, 200);
    const char letters[] = "UDLRudlrx";
    int full_appends = 0, full_prepends = 0;
    for (int i = 0; i < 3000; ++i) {
        // Clears are rare, so that the ring is full most of the time.
        const int op = int(rng() % 1000);
        const int n = buf->numBufLines, t = top();
        const bool at_end = t + b->numLines - 1 == n;
        std::string step;
        if (op < 450) {
            // Lines of every length up to 80, told apart by their number.
            std::string text = std::to_string(i) + ":";
            text.resize(rng() % 81, char('a' + i % 26));
            if (text.size() > 80) text.resize(80);
            const std::string top_text = n > 0 ? stored(t) : "";
            step = "append " + text;
            if (n == kScrollBufLines) ++full_appends;
            ASSERT_EQ(STB_AppendScrollTB(0, text.c_str()), 1) << step;
            model.push_back(text);
            if (model.size() > size_t(kScrollBufLines)) model.pop_front();
            if (at_end) {
                EXPECT_EQ(top() + b->numLines - 1, buf->numBufLines) << step << ": left the end";
            } else if (n < kScrollBufLines) {
                EXPECT_EQ(stored(top()), top_text) << step << ": a view away from the end moved";
            }
        } else if (op < 600) {
            const std::string text = "p" + std::to_string(i);
            step = "prepend " + text;
            if (n == kScrollBufLines) ++full_prepends;
            ASSERT_EQ(STB_PrependScrollTB(0, text.c_str()), 1) << step;
            model.push_front(text);
            if (model.size() > size_t(kScrollBufLines)) model.pop_back();
            if (t == 1) {
                EXPECT_EQ(top(), 1) << step << ": left the start";
            }
        } else if (op < 900) {
            const char d = letters[rng() % 9];
            const int count = int(rng() % 4 == 0 ? 0 : rng() % 120);
            step = std::string("scroll ") + d + " " + std::to_string(count);
            const Snapshot before = snap();
            const int r = STB_ScrollDisplay(0, d, count);
            if (!r) {
                EXPECT_TRUE(same(before, snap())) << step << ": refused, yet changed";
            }
            // The edges a move stops at.
            if (r && d == 'U') {
                EXPECT_EQ(top(), 1) << step;
            }
            if (r && d == 'D') {
                EXPECT_EQ(top(), n + 1 - b->dispLines) << step;
            }
            if (r && d == 'R') {
                EXPECT_EQ(buf->curChar, kScrollBufChars - b->dispChars) << step;
            }
            if (d == 'x') {
                EXPECT_EQ(r, 0) << step;
            }
            if (d == 'D' || d == 'd') {
                // Nothing to scroll down to while every line fits at once.
                if (n < b->dispLines) {
                    EXPECT_EQ(r, 0) << step;
                }
            }
        } else if (op < 999) {
            const int line = int(rng() % 110), column = int(rng() % 90);
            step = "show " + std::to_string(line) + " " + std::to_string(column);
            const int r = STB_DisplayFromLineChar(0, line, column);
            EXPECT_EQ(r, line >= 1 && line <= 100 && column >= 1 && column <= 80) << step;
            if (r) {
                EXPECT_EQ(top(), line <= n ? line : (n > 0 ? n : 1)) << step;
                const int limit = kScrollBufChars + 1 - b->dispChars;
                EXPECT_EQ(buf->curChar, (column < limit ? column : limit) - 1) << step;
            }
        } else {
            step = "clear";
            ASSERT_EQ(STB_ClearScrollTB(0), 1);
            model.clear();
        }
        check(model, std::to_string(i) + " " + step);
        if (HasFatalFailure()) return;
    }
    // The run spent most of its time with a full ring.
    EXPECT_GT(full_appends, 500);
    EXPECT_GT(full_prepends, 200);
    EXPECT_EQ(area(0, 0, kScreenW - 1, b->y0 - 1), outside_top);
    EXPECT_EQ(area(0, b->y1 + 1, kScreenW - 1, 200), outside_bottom);
}

TEST_F(BufferedBox, TextsOverEightyCharactersAreRefusedWithoutATrace) {
    const Snapshot before = snap();
    EXPECT_EQ(STB_AppendScrollTB(0, std::string(81, 'x').c_str()), 0);
    EXPECT_EQ(STB_PrependScrollTB(0, std::string(81, 'x').c_str()), 0);
    EXPECT_TRUE(same(before, snap()));
    EXPECT_EQ(STB_AppendScrollTB(0, std::string(80, 'x').c_str()), 1);
}

// ---------------------------------------------------------------------------------------------
// Fonts

class UserFontBoxes : public TextBoxes {
  protected:
    void SetUp() override {
        TextBoxes::SetUp();
        ImageBuilder image;
        // "fa": W and the blank 6 wide, line 10, W all ink. "fb": 4 wide, line 16.
        image.addFont("fa", 3, font(10, 6, 'W', ' '));
        image.addFont("fb", 3, font(16, 4, 'W', ' '));
        // No W and no blank: both measure 0 and would pass the fixed-pitch test.
        image.addFont("fnone", 3, font(10, 5, 'A', 'B'));
        const std::vector<uint8_t> bytes = image.build();
        memory.reset(new uint8_t[bytes.size()]);
        std::memcpy(memory.get(), bytes.data(), bytes.size());
        KV_SetFontImage(memory.get(), uint32_t(bytes.size()));
    }
    // A font of two glyphs of one advance: the first all ink, the second blank.
    static std::vector<uint8_t> font(int line, int advance, uint16_t ink, uint16_t blank) {
        SifBuilder sif(4, line, line - 2, line - 4);
        sif.glyph(ink, advance, 0, 0, advance, line,
                  std::vector<uint8_t>(size_t(advance * line), 15));
        sif.glyph(blank, advance, 0, 0, 0, 0);
        return sif.build();
    }
    std::unique_ptr<uint8_t[]> memory;
};

TEST_F(UserFontBoxes, ABoxKeepsItsUserFontWhileTheHostUsesAnother) {
    ASSERT_EQ(GUIDEMO_SetFont("fa"), 1);
    ASSERT_EQ(GUI_GetFontDistY(), 10);
    // Ten characters of 6 and three lines of 10.
    ASSERT_EQ(STB_DefineScrollTB(0, kBoxPlain, 100, 100, 159, 129), 1);
    ASSERT_EQ(GUIDEMO_SetFont("fb"), 1);
    GUI_SetColor(0x00FF00);
    GUI_SetBkColor(0x000000);

    ASSERT_EQ(STB_AppendScrollTB(0, "WW"), 1);
    const uint16_t ink = LCD_Color2Index_M565(kInk), paper = LCD_Color2Index_M565(kPaper);
    const uint16_t* fb = lcd_framebuffer();
    // Two cells of 6 x 10 in the box's own ink, then its paper.
    for (int y = 100; y < 110; ++y) {
        for (int x = 100; x < 112; ++x) ASSERT_EQ(fb[y * kScreenW + x], ink) << x << "," << y;
        EXPECT_EQ(fb[y * kScreenW + 112], paper) << y;
    }
    EXPECT_EQ(fb[110 * kScreenW + 100], paper);
    // The host's font and colours are its own again.
    EXPECT_STREQ(KV_GetCurrentFontName(), "fb");
    EXPECT_EQ(GUI_GetFontDistY(), 16);
    EXPECT_EQ(GUI_GetCharDistX('W'), 4);
    EXPECT_EQ(GUI_GetColor(), 0x00FF00u);
    EXPECT_EQ(GUI_GetBkColor(), 0x000000u);
}

TEST_F(UserFontBoxes, FontsWithoutAWidthOrFixedPitchDefineNoBox) {
    ASSERT_EQ(GUIDEMO_SetFont("fnone"), 1);
    ASSERT_EQ(GUI_GetCharDistX('W'), 0);
    EXPECT_EQ(STB_DefineScrollTB(0, kBoxPlain, 0, 0, 99, 99), 0);
    ASSERT_EQ(GUIDEMO_SetFont("10"), 1);  // proportional
    EXPECT_EQ(STB_DefineScrollTB(0, kBoxPlain, 0, 0, 99, 99), 0);
    EXPECT_EQ(stbCommon[0].type, kBoxUndefined);
}

}  // namespace
}  // namespace voxa_test
