// Stored bitmaps from the flash as a host sees them: the splash chosen by "*SPL" across a power
// cycle, "zs n" and the commands' pixels.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "imgpack.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr uint16_t kRed = 0xF800;

std::vector<uint8_t> file_with_a_bitmap() {
    ImageBuilder b;
    b.add(3, {});
    b.addBitmap(1, 20, 10, ImageBuilder::pixels(std::vector<uint16_t>(200, kRed)));
    return b.build(0xC8400000);
}

TEST(BitmapScenario, SplashChosenBySplSurvivesAPowerCycle) {
    Harness h;
    ASSERT_TRUE(h.flash2(file_with_a_bitmap()));
    ASSERT_EQ(h.boot(), ":loading 1KB bitmap/macro file from flash2\r>\r");
    EXPECT_EQ(h.command("*SPL"), "0\r>\r");
    EXPECT_EQ(h.command("*SPL 2"), "!\r");    // no bitmap 2
    EXPECT_EQ(h.command("*SPL 257"), "!\r");  // would be bitmap 1 in the settings' byte
    EXPECT_EQ(h.command("*SPL 1"), ">\r");
    EXPECT_EQ(h.command("*SPL"), "1\r>\r");
    h.module().power_cycle();
    EXPECT_EQ(h.run_until_text(">\r", 3000), ":loading 1KB bitmap/macro file from flash2\r>\r");
    // The splash instead of the banner.
    EXPECT_EQ(h.pixel(0, 0), kRed);
    EXPECT_EQ(h.pixel(19, 9), kRed);
    EXPECT_EQ(h.pixel(20, 10), 0xFFFF);
    EXPECT_EQ(h.command("z"), ">\r");
    EXPECT_EQ(h.command("zs 1"), ">\r");  // the screen reset painting bitmap 1
    EXPECT_EQ(h.pixel(5, 5), kRed);
    EXPECT_EQ(h.command("xim 1 400 240"), ">\r");
    EXPECT_EQ(h.pixel(390, 235), kRed);
    EXPECT_EQ(h.pixel(389, 235), 0xFFFF);
    EXPECT_EQ(h.command("*SPL 0"), ">\r");
    EXPECT_EQ(h.command("*SPL"), "0\r>\r");
}

TEST(BitmapScenario, SplashWithoutItsBitmapSaysSo) {
    Harness h;
    ASSERT_TRUE(h.flash2(file_with_a_bitmap()));
    h.boot();
    ASSERT_EQ(h.command("*SPL 1"), ">\r");
    // A file without bitmaps: the splash is missing, the banner stays away.
    ImageBuilder b;
    b.add(3, {});
    ASSERT_TRUE(h.flash2(b.build(0xC8400000)));
    h.module().power_cycle();
    h.run_until_text(">\r", 3000);
    EXPECT_EQ(h.pixel(0, 0), 0xFFFF);
    bool ink = false;  // "(invalid splash bitmap)" at (0, 10)
    for (int y = 10; y < 30 && !ink; ++y)
        for (int x = 0; x < 200 && !ink; ++x) ink = h.pixel(x, y) != 0xFFFF;
    EXPECT_TRUE(ink);
    // No banner below it (its baud-rate line would be around y = 60).
    for (int y = 40; y < 100; ++y)
        for (int x = 0; x < 400; ++x) ASSERT_EQ(h.pixel(x, y), 0xFFFF) << x << "," << y;
}

// imgpack's three bitmap kinds, from one picture, drawn by the module: each pixel is the pixel the
// same colour drawn by a command gives; the transparent one leaves its see-through pixel alone.
TEST(BitmapScenario, ImgpackBitmapsMatchTheColoursCommandsDraw) {
    const uint32_t colours[4] = {0xFF0000, 0x12AB34, 0x0000FF, 0x808080};
    imgpack::Picture picture;
    picture.width = 4;
    picture.height = 1;
    for (const uint32_t c : colours) {
        picture.rgba.insert(picture.rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c),
                                                 uint8_t(c == 0x808080 ? 0 : 255)});
    }
    imgpack::ImageFile file;
    file.flash2_locations = true;
    imgpack::Record macros;
    macros.kind = imgpack::Record::Kind::kMacros;
    macros.macros.macros = {{"show", {"xi 1 0 0", "xi 2 0 1", "xi 3 0 2"}}};
    file.records.push_back(macros);
    for (const auto& [encoding, transparency] :
         {std::pair{imgpack::Encoding::kPlain, imgpack::Transparency::kNone},
          std::pair{imgpack::Encoding::kRle, imgpack::Transparency::kNone},
          std::pair{imgpack::Encoding::kPlain, imgpack::Transparency::kAlpha}}) {
        imgpack::Record r;
        r.kind = imgpack::Record::Kind::kBitmap;
        r.encoding = encoding;
        std::string error;
        ASSERT_TRUE(imgpack::make_bitmap(picture, transparency, 0, &r.bitmap, &error)) << error;
        file.records.push_back(r);
    }
    std::string error;
    const std::vector<uint8_t> bytes = imgpack::build(file, nullptr, &error);
    ASSERT_FALSE(bytes.empty()) << error;

    Harness h;
    ASSERT_TRUE(h.flash2(bytes));
    h.boot();
    ASSERT_EQ(h.command("S 000000 FFFFFF"), ">\r");
    ASSERT_EQ(h.command("r 0 0 3 2 1"), ">\r");  // black under the bitmaps
    ASSERT_EQ(h.command("m show"), ">\r");
    for (int i = 0; i < 4; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "S %06X FFFFFF", colours[i]);
        ASSERT_EQ(h.command(line), ">\r");
        std::snprintf(line, sizeof line, "dp %d 10", 10 + i);
        ASSERT_EQ(h.command(line), ">\r");
        const uint16_t drawn = h.pixel(10 + i, 10);
        EXPECT_EQ(h.pixel(i, 0), drawn) << i;
        EXPECT_EQ(h.pixel(i, 1), drawn) << i;
        EXPECT_EQ(h.pixel(i, 2), i == 3 ? 0x0000 : drawn) << i;  // alpha 0: not drawn
    }
}

}  // namespace
}  // namespace voxa_test
