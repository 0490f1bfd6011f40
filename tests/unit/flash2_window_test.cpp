// The Flash2 window of the in-process board: read in place through flash2_window(), erased
// where nothing was programmed, replaced as a whole, and read-only.
#include <gtest/gtest.h>

#include <vector>

#include "boards/sim/standalone.h"
#include "device/board.h"

namespace {

TEST(Flash2Window, ReadsWhatWasSetAndErasedElsewhere) {
    auto& board = sim::Standalone::instance();
    const uint8_t* window = flash2_window();
    ASSERT_EQ(window, board.flash2_window());
    for (const uint32_t at : {0u, kFlash2SectorSize, kFlash2Size - 1}) EXPECT_EQ(window[at], 0xFF);

    std::vector<uint8_t> bytes(kFlash2SectorSize + 3);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 251);
    ASSERT_TRUE(board.set_flash2(bytes));
    EXPECT_EQ(flash2_window(), window);  // the firmware's pointer stays valid
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), window));
    for (const uint32_t at : {kFlash2SectorSize + 3, 2 * kFlash2SectorSize - 1,
                              2 * kFlash2SectorSize, kFlash2Size - 1}) {
        EXPECT_EQ(window[at], 0xFF) << at;
    }

    // A shorter image leaves nothing of the longer one; too long an image changes nothing.
    ASSERT_TRUE(board.set_flash2({1, 2}));
    EXPECT_EQ(window[1], 2);
    EXPECT_EQ(window[2], 0xFF);
    EXPECT_EQ(window[kFlash2SectorSize], 0xFF);
    EXPECT_FALSE(board.set_flash2(std::vector<uint8_t>(kFlash2Size + 1, 0)));
    EXPECT_EQ(window[1], 2);
    ASSERT_TRUE(board.set_flash2(std::vector<uint8_t>(kFlash2Size, 0x33)));
    EXPECT_EQ(window[kFlash2Size - 1], 0x33);

    // A copy made for code that may reset reads the same window.
    const auto end = board.run_isolated([] { return int(flash2_window()[kFlash2Size - 1]); });
    ASSERT_TRUE(end.returned()) << end.why;
    EXPECT_EQ(end.value, 0x33);
    ASSERT_TRUE(board.set_flash2({}));
    EXPECT_EQ(window[0], 0xFF);
}

TEST(Flash2WindowDeathTest, AWriteThroughThePointerFaults) {
    const uint8_t* window = sim::Standalone::instance().flash2_window();
    EXPECT_DEATH(const_cast<volatile uint8_t*>(window)[0] = 0, "");
}

}  // namespace
