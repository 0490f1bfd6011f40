// A screen for tests of drawing code: the in-process board's frame buffer seen as a display of a
// chosen size and row stride. Everything of the buffer that is not the display (the tails of
// rows when the stride is wider, the rest of the buffer) holds a pattern, and the board keeps
// guard zones around the buffer, so that a test can tell whether anything was drawn outside.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

#include "boards/sim/standalone.h"
#include "device/board.h"
#include "gui/gui.h"

namespace voxa_test {

struct ScreenSize {
    const char* name;
    int width;
    int height;
    int stride;
};
inline std::ostream& operator<<(std::ostream& os, const ScreenSize& s) {
    return os << s.name;
}

// The WVGA panel, as the firmware of the test programs' build sets it up.
inline constexpr ScreenSize kWvgaScreen{"wvga", 800, 480, 800};
// The three panels, and a display whose rows lie wider apart than it is wide.
inline constexpr ScreenSize kScreenSizes[] = {
    kWvgaScreen, {"svga", 800, 600, 800}, {"vga", 640, 480, 640}, {"vga_strided", 640, 480, 800}};

class TestScreen {
  public:
    static constexpr uint16_t kBeyond = 0x5AA5;

    // Makes the board's buffer this display: the display filled with paper, the rest with
    // kBeyond, the guard zones reset. Does not start the graphics library.
    void open(const ScreenSize& size, uint16_t paper) {
        board_ = &sim::Standalone::instance();
        size_ = size;
        W = size.width;
        H = size.height;
        fb_ = lcd_framebuffer();
        std::fill(fb_, fb_ + kFrameBufferMaxPixels, kBeyond);
        fill(paper);
        board_->reset_guards();
    }
    // The display for GUI_Init.
    GUI_DISPLAY display() const { return GUI_DISPLAY{fb_, W, H, size_.stride}; }

    // Nothing was written outside the display since open().
    ::testing::AssertionResult untouched_outside() const {
        if (!board_->guards_intact()) return ::testing::AssertionFailure() << "guard zone written";
        for (uint32_t i = 0; i < kFrameBufferMaxPixels; ++i) {
            const int x = int(i % uint32_t(size_.stride)), y = int(i / uint32_t(size_.stride));
            if (x < W && y < H) continue;
            if (fb_[i] != kBeyond) {
                return ::testing::AssertionFailure() << "written outside the display at buffer "
                                                     << "index " << i;
            }
        }
        return ::testing::AssertionSuccess();
    }

    uint16_t px(int x, int y) const { return fb_[y * size_.stride + x]; }
    void set(int x, int y, uint16_t v) { fb_[y * size_.stride + x] = v; }
    void fill(uint16_t v) {
        for (int y = 0; y < H; ++y) std::fill_n(fb_ + y * size_.stride, W, v);
    }
    void noise(uint32_t seed = 12345) {
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                seed = seed * 1103515245 + 12345;
                set(x, y, uint16_t(seed >> 16));
            }
        }
    }
    // The display's pixels, row after row (W x H, whatever the stride).
    std::vector<uint16_t> snap() const {
        std::vector<uint16_t> v;
        v.reserve(size_t(W) * size_t(H));
        for (int y = 0; y < H; ++y)
            v.insert(v.end(), fb_ + y * size_.stride, fb_ + y * size_.stride + W);
        return v;
    }
    // Index (row after row) of the first pixel that differs from want, or -1 when the display
    // holds exactly want (W x H pixels).
    long first_difference(const std::vector<uint16_t>& want) const {
        for (int y = 0; y < H; ++y) {
            const uint16_t* row = fb_ + y * size_.stride;
            const uint16_t* w = want.data() + size_t(y) * size_t(W);
            if (std::equal(row, row + W, w)) continue;
            const int x = int(std::mismatch(row, row + W, w).first - row);
            return long(y) * W + x;
        }
        return -1;
    }
    int count(uint16_t v) const {
        int n = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) n += px(x, y) == v;
        }
        return n;
    }
    // Bounding box x0, y0, x1, y1 of the pixels that are (or, with other, are not) v; x0 > x1
    // when there is none.
    std::array<int, 4> bbox(uint16_t v, bool other = false) const {
        std::array<int, 4> b{W, H, -1, -1};
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                if ((px(x, y) == v) == other) continue;
                b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
            }
        }
        return b;
    }
    std::array<int, 4> painted(uint16_t paper) const { return bbox(paper, true); }

    int W = 0;
    int H = 0;

  private:
    sim::Standalone* board_ = nullptr;
    ScreenSize size_{};
    uint16_t* fb_ = nullptr;
};

// Tests of the graphics library alone on every screen size: the library started on a
// TestScreen of the parameter's size (nothing on it), with W and H its size; afterwards nothing
// outside it may have changed.
class GuiOnScreen : public ::testing::TestWithParam<ScreenSize> {
  protected:
    void SetUp() override {
        screen_.open(GetParam(), 0);
        const GUI_DISPLAY display = screen_.display();
        ASSERT_EQ(GUI_Init(&display), 0);
        W = screen_.W;
        H = screen_.H;
    }
    void TearDown() override { EXPECT_TRUE(screen_.untouched_outside()); }

    TestScreen screen_;
    int W = 0;
    int H = 0;
};

}  // namespace voxa_test
