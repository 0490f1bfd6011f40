// Sliders as the host sees them: definitions and their messages, a finger dragging thumbs in
// virtual time, the reports and macros that follow, and the picture in the frame buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "imgpack.h"

namespace voxa_test {
namespace {

constexpr double kSettleMs = 60;  // a touch is seen within one burst
constexpr double kLiftMs = 250;   // a lift is seen after at most one hold-off
constexpr uint8_t kAdcZ2 = 0xCA;  // one per sample

// Records of the file.
constexpr int kVertBackground = 1;   // 40 x 221: a 200-pixel travel for a 20-pixel-high thumb
constexpr int kVertThumb = 2;        // 30 x 20, with see-through corners
constexpr int kHorzBackground = 3;   // 221 x 40, run-length
constexpr int kHorzThumb = 4;        // 20 x 30
constexpr int kSmallBackground = 5;  // 30 x 20: no room for either thumb
constexpr int kMacroRecord = 0;

constexpr uint16_t kThumbColour = 0xFFE0;
constexpr uint16_t kKey = 0xF81F;

// Every background pixel differs from its neighbours, so a patch from the wrong place shows.
imgpack::Bitmap background(uint32_t w, uint32_t h) {
    imgpack::Bitmap b;
    b.width = w;
    b.height = h;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            b.pixels.push_back(uint16_t((x * 31 + y * 17) % 0x7FFF + 1));
    return b;
}

imgpack::Bitmap thumb(uint32_t w, uint32_t h, bool see_through_corners) {
    imgpack::Bitmap b;
    b.width = w;
    b.height = h;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool corner = (x < 2 || x >= w - 2) && (y < 2 || y >= h - 2);
            b.pixels.push_back(see_through_corners && corner ? kKey : kThumbColour);
        }
    }
    if (see_through_corners) {
        b.transparent = true;
        b.key = kKey;
    }
    return b;
}

struct Files {
    std::vector<uint8_t> bytes;
    std::vector<imgpack::Bitmap> bitmaps;  // by record number
};

const Files& files() {
    static const Files f = [] {
        Files out;
        out.bitmaps = {{},
                       background(40, 221),
                       thumb(30, 20, true),
                       background(221, 40),
                       thumb(20, 30, false),
                       background(30, 20)};
        imgpack::ImageFile file;
        file.flash2_locations = true;
        file.records.resize(out.bitmaps.size());
        file.records[kMacroRecord].kind = imgpack::Record::Kind::kMacros;
        file.records[kMacroRecord].macros.macros = {{"moved", {"set s1 v`L130`"}}};
        for (size_t i = 1; i < out.bitmaps.size(); ++i) {
            file.records[i].kind = imgpack::Record::Kind::kBitmap;
            file.records[i].bitmap = out.bitmaps[i];
        }
        file.records[kHorzBackground].encoding = imgpack::Encoding::kRle;
        std::string error;
        out.bytes = imgpack::build(file, nullptr, &error);
        if (out.bytes.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        return out;
    }();
    return f;
}

// The values of the "l<spot>:<value>" reports in a text, in order; anything else fails.
std::vector<int> slider_reports(const std::string& text, int spot) {
    std::vector<int> values;
    const std::string head = "l" + std::to_string(spot) + ":";
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\r', pos);
        const std::string line = text.substr(pos, end - pos);
        EXPECT_EQ(line.rfind(head, 0), 0u) << visible(text);
        if (line.rfind(head, 0) == 0) values.push_back(std::stoi(line.substr(head.size())));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return values;
}

class SliderScenario : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(files().bytes.empty());
        ASSERT_TRUE(h.flash2(files().bytes));
        const std::string boot = h.boot();
        ASSERT_EQ(boot.substr(boot.size() - 2), ">\r") << visible(boot);
    }

    std::string lift() {
        h.release();
        h.run_ms(kLiftMs);
        return h.take();
    }
    std::string variable_after(const std::string& line) {
        EXPECT_EQ(h.command(line), ">\r");
        return h.command("get s1");
    }

    // The background record drawn at (x, y) with the thumb record's top-left corner at (tx, ty),
    // its key pixels showing the background: pixel for pixel over the whole background.
    void expect_picture(int bg_record, int x, int y, int thumb_record, int tx, int ty) {
        const imgpack::Bitmap& bg = files().bitmaps[size_t(bg_record)];
        const imgpack::Bitmap& th = files().bitmaps[size_t(thumb_record)];
        int wrong = 0;
        for (int py = 0; py < int(bg.height); ++py) {
            for (int px = 0; px < int(bg.width); ++px) {
                uint16_t want = bg.pixels[size_t(py) * bg.width + size_t(px)];
                const int ux = x + px - tx, uy = y + py - ty;
                if (ux >= 0 && uy >= 0 && ux < int(th.width) && uy < int(th.height)) {
                    const uint16_t t = th.pixels[size_t(uy) * th.width + size_t(ux)];
                    if (!th.transparent || t != th.key) want = t;
                }
                const uint16_t got = h.pixel(x + px, y + py);
                if (got != want && ++wrong <= 5) {
                    ADD_FAILURE() << "pixel (" << x + px << ", " << y + py << "): " << got
                                  << " instead of " << want << " (thumb at " << tx << ", " << ty
                                  << ")";
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }

    Harness h;
};

// A vertical slider at (100, 50), thumb 5 pixels in: the thumb centre travels y = 60 .. 260
// (200 pixels) and its corner is 9 pixels above the centre.
constexpr int kVx = 100, kVy = 50, kVy0 = 60, kVy1 = 260, kThumbX = 105, kHalf = 9;

TEST_F(SliderScenario, ValuesRoundToThePixelGridBothWays) {
    ASSERT_EQ(h.command("sl 130 1 100 50 2 5 0 0 0 100 0"), ">\r");
    expect_picture(kVertBackground, kVx, kVy, kVertThumb, kThumbX, kVy0 - kHalf);
    EXPECT_EQ(variable_after("set s1 v`L130`"), "v0\r>\r");
    // 1 lies half a pixel past the start: rounded to 2 pixels, it reads back as 1.
    EXPECT_EQ(h.command("sv 130 1"), ">\r");
    expect_picture(kVertBackground, kVx, kVy, kVertThumb, kThumbX, kVy0 + 2 - kHalf);
    EXPECT_EQ(variable_after("set s1 v`L130`"), "v1\r>\r");
    EXPECT_EQ(h.command("sv 130 100"), ">\r");
    expect_picture(kVertBackground, kVx, kVy, kVertThumb, kThumbX, kVy1 - kHalf);
    EXPECT_EQ(h.take(), "");  // "sv" reports nothing
    // A finger 3 pixels from the start: 1.5, rounded up.
    ASSERT_TRUE(h.touch(115, kVy0 + 3));
    h.run_ms(kSettleMs);
    EXPECT_EQ(h.take(), "l130:2\r");
    expect_picture(kVertBackground, kVx, kVy, kVertThumb, kThumbX, kVy0 + 3 - kHalf);
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(variable_after("set s1 v`L130`"), "v2\r>\r");

    // Inverted: the minimum at the bottom, where the thumb starts.
    ASSERT_EQ(h.command("sl 131 1 300 50 2 5 0 1 0 100 0"), ">\r");
    expect_picture(kVertBackground, 300, kVy, kVertThumb, 305, kVy1 - kHalf);
    EXPECT_EQ(variable_after("set s1 v`L131`"), "v0\r>\r");
    EXPECT_EQ(h.command("sv 131 1"), ">\r");
    expect_picture(kVertBackground, 300, kVy, kVertThumb, 305, kVy1 - 2 - kHalf);
    EXPECT_EQ(variable_after("set s1 v`L131`"), "v1\r>\r");

    // Equal limits: every position is that value. The drawing origin moves the slider.
    ASSERT_EQ(h.command("o 10 20"), ">\r");
    ASSERT_EQ(h.command("sl 132 1 490 30 2 5 0 0 0 7 7"), ">\r");
    ASSERT_EQ(h.command("o 0 0"), ">\r");
    expect_picture(kVertBackground, 500, kVy, kVertThumb, 505, kVy0 - kHalf);
    EXPECT_EQ(h.command("sv 132 7"), ">\r");
    EXPECT_EQ(variable_after("set s1 v`L132`"), "v7\r>\r");
    ASSERT_TRUE(h.touch(515, 200));
    h.run_ms(kSettleMs);
    EXPECT_EQ(lift(), "");  // still 7: no change, no report
}

TEST_F(SliderScenario, DefinitionMessagesAndSilentRefusals) {
    ASSERT_EQ(h.command("sl 130 1 100 50 2 5 0 0 0 100 0"), ">\r");
    ASSERT_EQ(h.command("sv 130 40"), ">\r");
    const uint32_t before = h.framebuffer_crc();

    EXPECT_EQ(h.command("sl 130 1 100 50 2 -1 0 0 0 100 0"), "offset must be >= 0\r!\r");
    EXPECT_EQ(h.command("sl 130 9 100 50 2 5 0 0 0 100 0"), "bad background bitmap\r!\r");
    EXPECT_EQ(h.command("sl 130 0 100 50 2 5 0 0 0 100 0"), "bad background bitmap\r!\r");
    EXPECT_EQ(h.command("sl 130 1 761 50 2 5 0 0 0 100 0"),
              "bad background bitmap size or location\r!\r");
    EXPECT_EQ(h.command("sl 130 1 100 260 2 5 0 0 0 100 0"),
              "bad background bitmap size or location\r!\r");
    EXPECT_EQ(h.command("sl 130 1 -1 50 2 5 0 0 0 100 0"),
              "bad background bitmap size or location\r!\r");
    EXPECT_EQ(h.command("sl 130 1 2147483647 50 2 5 0 0 0 100 0"),
              "bad background bitmap size or location\r!\r");
    EXPECT_EQ(h.command("sl 130 1 100 50 7 5 0 0 0 100 0"), "bad slider bitmap\r!\r");
    EXPECT_EQ(h.command("sl 130 1 100 50 2 11 0 0 0 100 0"), "bad slider size or offset\r!\r");
    EXPECT_EQ(h.command("sl 130 1 100 50 2 2147483647 0 0 0 100 0"),
              "bad slider size or offset\r!\r");
    EXPECT_EQ(h.command("sl 130 5 100 50 2 0 0 0 0 100 0"), "bad slider size or offset\r!\r");
    EXPECT_EQ(h.command("sl 130 5 100 50 4 0 1 0 0 100 0"), "bad slider size or offset\r!\r");
    // No hotspot of a slider, no axis, limits upside down: refused without a word.
    for (const char* line : {"sl 127 1 100 50 2 5 0 0 0 100 0", "sl 256 1 100 50 2 5 0 0 0 100 0",
                             "sl -1 1 100 50 2 5 0 0 0 100 0", "sl 130 1 100 50 2 5 2 0 0 100 0",
                             "sl 130 1 100 50 2 5 -1 0 0 100 0", "sl 130 1 100 50 2 5 0 0 0 0 1",
                             "slc 130 1 2 3 4 5 6 7 8 9 10 11 12 13 14", "svc 130 0"}) {
        EXPECT_EQ(h.command(line), "!\r") << line;
    }
    // Every failure left the slider and the screen as they were.
    EXPECT_EQ(h.framebuffer_crc(), before);
    EXPECT_EQ(variable_after("set s1 v`L130`"), "v40\r>\r");

    // "sv" reaches no entry it should not: free entries hold no hotspot, limits are checked.
    for (const char* line : {"sv -1 0", "sv 131 0", "sv 130 101", "sv 130 -1", "sv 130 2147483647",
                             "sv 99999999999 0", "sv 130 -99999999999", "sv 0 0", "sv 255 0"}) {
        EXPECT_EQ(h.command(line), "!\r") << line;
    }
    EXPECT_EQ(h.framebuffer_crc(), before);
    EXPECT_EQ(variable_after("set s1 v`L130`"), "v40\r>\r");
    EXPECT_EQ(variable_after("set s1 v`L131`"), "v\r>\r");
    // Touching the screen's last column and row is on the screen.
    EXPECT_EQ(h.command("sl 131 1 760 259 2 5 0 0 0 100 0"), ">\r");
    expect_picture(kVertBackground, 760, 259, kVertThumb, 765, 269 - kHalf);
}

TEST_F(SliderScenario, EightSlidersAtMostAndEachGoesWithItsHotspot) {
    // The same hotspot twice takes one entry: eight hotspots still fit afterwards.
    ASSERT_EQ(h.command("sl 130 1 0 0 2 5 0 0 0 100 0"), ">\r");
    ASSERT_EQ(h.command("sl 130 1 0 0 2 5 0 0 0 100 0"), ">\r");
    for (int i = 1; i < 8; ++i) {
        const std::string line =
            "sl " + std::to_string(130 + i) + " 1 " + std::to_string(50 * i) + " 0 2 5 0 0 0 100 0";
        ASSERT_EQ(h.command(line), ">\r") << line;
    }
    EXPECT_EQ(h.command("sl 138 1 400 250 2 5 0 0 0 100 0"), "max sliders\r!\r");
    // A plain hotspot over a slider's takes its place, freeing the entry.
    ASSERT_EQ(h.command("xs 131 50 0 89 220"), ">\r");
    EXPECT_EQ(h.command("sv 131 5"), "!\r");
    EXPECT_EQ(h.command("sl 138 1 400 250 2 5 0 0 0 100 0"), ">\r");
    ASSERT_EQ(h.command("xc 132"), ">\r");
    EXPECT_EQ(h.command("sv 132 5"), "!\r");
    EXPECT_EQ(h.command("sl 139 1 450 250 2 5 0 0 0 100 0"), ">\r");

    // After a screen reset no slider answers anything, and all eight entries are free.
    for (const char* reset : {"z", "zs 5"}) {
        ASSERT_EQ(h.command(reset), ">\r");
        EXPECT_EQ(h.command("sv 130 5"), "!\r") << reset;
        EXPECT_EQ(h.command("sv 139 5"), "!\r") << reset;
        EXPECT_EQ(variable_after("set s1 v`L130`"), "v\r>\r") << reset;
        const uint32_t screen = h.framebuffer_crc();
        ASSERT_TRUE(h.touch(15, 100));
        h.run_ms(200);
        ASSERT_TRUE(h.move(15, 20));
        h.run_ms(200);
        EXPECT_EQ(lift(), "") << reset;
        EXPECT_EQ(h.framebuffer_crc(), screen) << reset;
        for (int i = 0; i < 8; ++i) {
            const std::string line = "sl " + std::to_string(200 + i) + " 1 " +
                                     std::to_string(50 * i) + " 0 2 5 0 0 0 100 0";
            ASSERT_EQ(h.command(line), ">\r") << reset << ": " << line;
        }
    }
}

struct DragCase {
    const char* line;
    int orientation;  // 0 vertical
    bool inverted;
    int bg_record, thumb_record;
    int x, y;  // of the background
};

// Drags from one end past the other and back: each value is reported once, every report
// differs from the one before in the direction of the drag, the last is the limit, and the
// picture is the background with the thumb at the end.
TEST_F(SliderScenario, DragsReportEachChangeOnceAndEndAtTheLimits) {
    const DragCase cases[] = {
        {"sl 140 1 100 50 2 5 0 0 0 100 0", 0, false, kVertBackground, kVertThumb, 100, 50},
        {"sl 140 1 100 50 2 5 0 1 0 1000 -1000", 0, true, kVertBackground, kVertThumb, 100, 50},
        {"sl 140 3 300 300 4 6 1 0 0 50 10", 1, false, kHorzBackground, kHorzThumb, 300, 300},
        {"sl 140 3 300 300 4 6 1 1 0 300 0", 1, true, kHorzBackground, kHorzThumb, 300, 300},
    };
    for (const DragCase& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(h.command("z"), ">\r");
        ASSERT_EQ(h.command(c.line), ">\r");
        int max = 0, min = 0;
        ASSERT_EQ(std::sscanf(c.line, "sl %*d %*d %*d %*d %*d %*d %*d %*d %*d %d %d", &max, &min),
                  2);
        const bool vert = c.orientation == 0;
        // The travel's ends and points beyond them (inside the background) on the axis.
        const int across = vert ? c.x + 20 : c.y + 20;
        const int start = vert ? c.y + 10 : c.x + 10;
        const int end = start + 200;
        const int before = start - 8, after = end + 8;
        auto drag_to = [&](int along) {
            return vert ? h.drag(across, along, 400) : h.drag(along, across, 400);
        };
        // The finger lands at the minimum's end: the value is min already, so no report.
        const int min_end = c.inverted ? after : before;
        const int max_end = c.inverted ? before : after;
        ASSERT_TRUE(vert ? h.touch(across, min_end) : h.touch(min_end, across));
        h.run_ms(kSettleMs);
        EXPECT_EQ(h.take(), "");
        for (const int target : {max_end, min_end}) {
            ASSERT_TRUE(drag_to(target));
            h.run_ms(kSettleMs);
            const std::vector<int> values = slider_reports(h.take(), 140);
            ASSERT_GE(values.size(), 10u);
            const bool rising = target == max_end;
            for (size_t i = 1; i < values.size(); ++i) {
                EXPECT_TRUE(rising ? values[i] > values[i - 1] : values[i] < values[i - 1])
                    << "report " << i << ": " << values[i - 1] << " then " << values[i];
            }
            EXPECT_EQ(values.back(), rising ? max : min);
            const int pos = (target == after) ? end : start;
            const int tx = vert ? c.x + 5 : pos - 9;
            const int ty = vert ? pos - 9 : c.y + 6;
            expect_picture(c.bg_record, c.x, c.y, c.thumb_record, tx, ty);
        }
        EXPECT_EQ(lift(), "");
        // A quarter of the range from the minimum is 50 pixels from the minimum's end.
        const int quarter = min + (max - min) / 4;
        ASSERT_EQ(h.command("sv 140 " + std::to_string(quarter)), ">\r");
        const int pos = c.inverted ? end - 50 : start + 50;
        expect_picture(c.bg_record, c.x, c.y, c.thumb_record, vert ? c.x + 5 : pos - 9,
                       vert ? pos - 9 : c.y + 6);
        EXPECT_EQ(variable_after("set s1 v`L140`"), "v" + std::to_string(quarter) + "\r>\r");
    }
}

TEST_F(SliderScenario, InsideASliderTheSamplerKeepsSampling) {
    ASSERT_EQ(h.command("sl 130 1 100 50 2 5 0 0 0 100 0"), ">\r");
    // Samples (one Z2 conversion each) in 300 ms of a resting finger, and the pauses between
    // them longer than the 1 ms sampling step.
    struct Seen {
        int samples = 0;
        std::vector<double> pauses_ms;
    };
    auto watch = [&](int x, int y) {
        Seen seen;
        h.module().record_touch_adc(true);
        EXPECT_TRUE(h.touch(x, y));
        h.run_ms(300);
        h.release();
        h.run_ms(kLiftMs);
        h.take();
        uint64_t last = 0;
        for (const auto& r : h.module().take_touch_adc_log()) {
            if (r.control != kAdcZ2) continue;
            ++seen.samples;
            if (last && r.t_ns - last > 1'500'000) seen.pauses_ms.push_back((r.t_ns - last) / 1e6);
            last = r.t_ns;
        }
        h.module().record_touch_adc(false);
        return seen;
    };
    // On the slider: one burst after the other, with no hold-off between them.
    const Seen inside = watch(115, 150);
    EXPECT_GE(inside.samples, 250);
    EXPECT_TRUE(inside.pauses_ms.empty()) << inside.pauses_ms.size() << " pauses";
    // Beside it: a burst of 8, then the 100 ms hold-off.
    const Seen outside = watch(500, 400);
    EXPECT_LE(outside.samples, 24);
    ASSERT_GE(outside.pauses_ms.size(), 2u);
    for (const double pause : outside.pauses_ms) EXPECT_NEAR(pause, 101.0, 1.5);
}

TEST_F(SliderScenario, ReportsInBinaryAndTheMacroSeesTheNewValue) {
    ASSERT_EQ(h.command("sl 130 1 100 50 2 5 0 0 -300 300 0"), ">\r");
    ASSERT_EQ(h.command("xm 130 moved"), ">\r");
    ASSERT_TRUE(h.touch(115, kVy1));
    h.run_ms(kSettleMs);
    EXPECT_EQ(h.take(), "l130:300\r");
    EXPECT_EQ(lift(), "");
    EXPECT_EQ(h.command("get s1"), "v300\r>\r");
    EXPECT_EQ(h.command("sv 130 0"), ">\r");
    EXPECT_EQ(h.command("get s1"), "v300\r>\r");  // "sv" runs no macro

    // Binary: 'L', the hotspot, the value's low and high bytes.
    ASSERT_EQ(h.command("*binr 1"), "on\r>\r");
    ASSERT_TRUE(h.touch(115, kVy1));
    h.run_ms(kSettleMs);
    EXPECT_EQ(h.take(), std::string("L\x82\x2C\x01", 4));
    EXPECT_EQ(lift(), "");
}

}  // namespace
}  // namespace voxa_test
