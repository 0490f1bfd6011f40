// Stored bitmaps from the flash as a host sees them: the splash chosen by "*SPL" across a power
// cycle, "zs n" and the commands' pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"
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

}  // namespace
}  // namespace voxa_test
