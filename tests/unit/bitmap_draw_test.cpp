// Stored bitmaps drawn by the commands: pixels where they belong, nothing outside the panel,
// nothing read outside the record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "command/parse_command.h"
#include "controls/bitmap_wait.h"
#include "device/panel_timing.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"

namespace {

using voxa_test::host_output;
using voxa_test::ImageBuilder;

constexpr int kW = 800, kH = 480;  // the WVGA build the unit tests link
constexpr uint16_t kBack = 0x1234;
constexpr uint16_t kRed = 0xF800, kWhite = 0xFFFF, kBlue = 0x001F;

class Bitmaps : public ::testing::Test {
  protected:
    void SetUp() override {
        voxa_test::start_firmware_in_process();
        KV_DrawingState_Init();
        ImageBuilder b;
        b.add(3, {});  // record 0: no macros
        // 1: plain 4 x 3, pixel value = 0x100 * row + column
        std::vector<uint16_t> plain;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) plain.push_back(uint16_t(0x100 * r + c + 1));
        b.addBitmap(1, 4, 3, ImageBuilder::pixels(plain));
        // 2: 3 x 3, a white frame around a red centre, key white
        b.addBitmap(5, 3, 3,
                    ImageBuilder::pixels(
                        {kWhite, kWhite, kWhite, kWhite, kRed, kWhite, kWhite, kWhite, kWhite}),
                    kWhite);
        // 3: run-length 300 x 1: a literal of 256 (count byte 0), then a run of 44
        std::vector<uint8_t> rle = {0, 0};
        for (int i = 0; i < 256; ++i) {
            rle.push_back(uint8_t(i));
            rle.push_back(0);
        }
        rle.insert(rle.end(), {44, uint8_t(kBlue), uint8_t(kBlue >> 8)});
        b.addBitmap(2, 300, 1, rle);
        // 4: 100 x 50 plain
        b.addBitmap(1, 100, 50, ImageBuilder::pixels(std::vector<uint16_t>(5000, kRed)));
        // 5: a descriptor claiming more pixels than its record holds
        b.addBitmap(1, 100, 100, ImageBuilder::pixels({1, 2, 3}));
        // 6: 19 x 2 transparent, every third pixel the key: pixels in groups and one by one
        std::vector<uint16_t> striped;
        for (int i = 0; i < 38; ++i) striped.push_back(i % 3 ? uint16_t(0x0800 + i) : kBlue);
        b.addBitmap(5, 19, 2, ImageBuilder::pixels(striped), kBlue);
        image_ = b.build();
        KV_ExtMem_SetImage(image_.data(), uint32_t(image_.size()), kFlash2Address);
        fb_ = sim::Standalone::instance().framebuffer();
        std::fill(fb_, fb_ + kFrameBufferMaxPixels, kBack);
        host_output();
    }
    void TearDown() override { KV_ExtMem_Init(); }
    std::string run(const std::string& line) {
        std::vector<char> text(line.begin(), line.end());
        text.push_back(0);
        const int r = parse_command(text.data());
        return host_output() + (r == kCmdFailed ? "!" : r == kNoMatch ? "?" : ">");
    }
    uint16_t at(int x, int y) const { return fb_[y * kW + x]; }
    // Pixels other than the background colour, beyond the screen included.
    int painted() const {
        int n = 0;
        for (uint32_t i = 0; i < kFrameBufferMaxPixels; ++i) n += fb_[i] != kBack;
        return n;
    }

    std::vector<uint8_t> image_;
    uint16_t* fb_ = nullptr;
};

TEST_F(Bitmaps, PlainTransparentAndRunLengthDraws) {
    EXPECT_EQ(run("o 10 20"), ">");
    EXPECT_EQ(run("xi 1 5 5"), ">");  // offset by the origin
    EXPECT_EQ(at(15, 25), 0x0001);
    EXPECT_EQ(at(18, 27), 0x0204);
    EXPECT_EQ(painted(), 12);
    // The key leaves the screen under the frame untouched.
    EXPECT_EQ(run("xit 2 100 100 FFFF"), ">");
    EXPECT_EQ(at(111, 121), kRed);
    EXPECT_EQ(at(110, 120), kBack);
    EXPECT_EQ(painted(), 13);
    EXPECT_EQ(run("xi 2 200 100"), ">");  // type 5 draws with its own key
    EXPECT_EQ(painted(), 14);
    EXPECT_EQ(run("o 0 0"), ">");
    EXPECT_EQ(run("xi 3 0 300"), ">");
    EXPECT_EQ(at(255, 300), 255);
    EXPECT_EQ(at(256, 300), kBlue);
    EXPECT_EQ(at(299, 300), kBlue);
    EXPECT_EQ(at(300, 300), kBack);
    // An index without a bitmap leaves the line to later rows (none takes it).
    EXPECT_EQ(run("xi 0 0 0"), "!");
    EXPECT_EQ(run("xi 5 0 0"), "!");  // pixels beyond its record: not a bitmap
    EXPECT_EQ(run("xi 9 0 0"), "!");
    BitmapHandle h;
    EXPECT_EQ(KV_GetExtBitmap(0, &h), 0);
    EXPECT_EQ(KV_BitmapWidth(nullptr), 0);
}

TEST_F(Bitmaps, CentredClippedAndBandForms) {
    EXPECT_EQ(run("xim 4 40 100"), ":argument error\r!");
    EXPECT_EQ(run("xim 4 50 100"), ">");
    EXPECT_EQ(at(0, 75), kRed);
    EXPECT_EQ(at(99, 124), kRed);
    EXPECT_EQ(painted(), 5000);
    std::fill(fb_, fb_ + kFrameBufferMaxPixels, kBack);
    EXPECT_EQ(run("xic 1 10 10 2 1 2 1"), ">");  // one pixel
    EXPECT_EQ(at(12, 11), 0x0103);
    EXPECT_EQ(painted(), 1);
    EXPECT_EQ(run("xic 1 10 10 -5 -5 50 50"), ">");  // the rectangle is limited to the bitmap
    EXPECT_EQ(painted(), 1);                         // refused: it starts before the bitmap
    EXPECT_EQ(run("xic 1 10 10 0 0 50 50"), ">");
    EXPECT_EQ(painted(), 12);
    std::fill(fb_, fb_ + kFrameBufferMaxPixels, kBack);
    EXPECT_EQ(run("xio 1 30 40 0 1 0"), ">");  // the top row on line 40
    EXPECT_EQ(at(30, 40), 0x0001);
    EXPECT_EQ(at(33, 40), 0x0004);
    EXPECT_EQ(painted(), 4);
    EXPECT_EQ(run("xio 1 30 40 1 1 3"), ">");  // the last column
    EXPECT_EQ(at(30, 42), 0x0204);
    EXPECT_EQ(run("xio 3 0 0 0 1 0"), ":bitmap must be uncompressed\r!");
    EXPECT_EQ(run("xio 2 0 0 0 1 0"), ":transparency not supported\r:invalid bitmap\r!");
    EXPECT_EQ(run("xio 7 0 0 0 1 0"), ":invalid bitmap\r!");
}

TEST_F(Bitmaps, NothingIsWrittenOutsideThePanel) {
    sim::Standalone& board = sim::Standalone::instance();
    board.reset_guards();
    for (const char* line :
         {"xi 4 -50 -25", "xi 4 750 455", "xi 4 790 -10", "xi 4 -99 470", "xit 4 -60 400 0",
          "xit 4 760 470 0", "xi 4 5000 5000", "xi 4 -5000 -5000", "xio 4 780 470 0 50 0",
          "xio 4 780 470 1 50 0", "xic 4 -50 -25 50 25 99 49", "xi 3 600 479"}) {
        EXPECT_EQ(run(line), ">") << line;
    }
    // Numbers at the ends of the int range (the origin too) must not overflow on the way.
    for (const char* line :
         {"xio 4 0 2147483647 0 254 0", "xio 4 2147483647 0 1 254 2147483647",
          "xic 4 0 0 -2147483648 0 2147483647 10", "xim 4 2147483647 2147483647",
          "o 2147483647 2147483647", "xi 4 1 1", "xit 4 2147483647 1 0", "o -2147483648 0",
          "xio 4 2147483647 -5 0 -2147483648 -2147483648", "o 0 0"}) {
        run(line);
    }
    for (int y = kH; y < 600; ++y) {
        for (int x = 0; x < kW; ++x) ASSERT_EQ(fb_[y * kW + x], kBack) << x << "," << y;
    }
    EXPECT_TRUE(board.guards_intact());
    EXPECT_EQ(at(0, 0), kRed);
    EXPECT_EQ(at(799, 479), 199);  // the run-length row, cut at the right edge
    EXPECT_EQ(at(799, 0), kRed);
    EXPECT_EQ(at(0, 479), kRed);
}

}  // namespace

namespace {

// A button face drawn while the raster sweeps it would show half of each state: the waiting
// draw starts only once the scan has passed the face's last line.
TEST_F(Bitmaps, WaitingDrawStartsBehindTheScan) {
    EXPECT_EQ(KV_DrawBitmapW(nullptr, 0, 0), 0);
    BitmapHandle h;
    ASSERT_EQ(KV_GetExtBitmap(4, &h), 1);  // 100 x 50
    for (int start_ms = 1; start_ms < 19; start_ms += 4) {
        SCOPED_TRACE(start_ms);
        KV_Delay(uint32_t(start_ms));
        const uint32_t before = KV_TimerGetMsCount();
        ASSERT_EQ(KV_DrawBitmapW(&h, 0, 300), 1);
        EXPECT_LE(KV_TimerGetMsCount() - before, 2 * msPerFrame);
        // Line 350 is passed this many ms into the frame (vertical sync and porches first).
        const uint32_t passed = uint32_t((13 + 3 + 1 + 29 + 350) * msPerLine + 0.0005f) + 1;
        const uint32_t t = KV_TimerGetFrameTime();
        EXPECT_TRUE((t >= passed && t - passed <= msPerFrame / 4) ||
                    (t < passed && passed - t > 3 * msPerFrame / 4))
            << "frame time " << t;
    }
    EXPECT_EQ(at(99, 349), kRed);
}

}  // namespace

namespace {

TEST_F(Bitmaps, KeyPixelsLeaveTheScreenAsItWas) {
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 19; ++x) fb_[(50 + y) * kW + 30 + x] = uint16_t(0x7000 + x);
    EXPECT_EQ(run("xi 6 30 50"), ">");
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 19; ++x) {
            const int i = y * 19 + x;
            EXPECT_EQ(at(30 + x, 50 + y), i % 3 ? 0x0800 + i : 0x7000 + x) << x << "," << y;
        }
    }
    EXPECT_EQ(at(49, 50), kBack);
}

}  // namespace
