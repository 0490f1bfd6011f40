// The Flash2 window of the in-process board: read in place through flash2_window(), erased
// where nothing was programmed, replaced as a whole, read-only to the firmware, and erased and
// programmed by the board's operations with NOR semantics in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "boards/sim/cost_model.h"
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

constexpr uint32_t kSector = kFlash2SectorSize;

bool all_erased(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0xFF; });
}

TEST(Flash2Operations, ProgramClearsBitsEraseSetsTheSectorAndTheFileGrows) {
    auto& board = sim::Standalone::instance();
    ASSERT_TRUE(board.set_flash2(std::vector<uint8_t>(10, 0x00)));
    const uint8_t* window = flash2_window();
    auto& m = board.machine();

    const uint8_t first[] = {0x12, 0x34, 0xF0, 0x0F};
    uint64_t t = m.now();
    EXPECT_EQ(FlashWriteBlock(kFlash2Address + 0x100, first, 4), 0);
    EXPECT_EQ(m.now() - t, 2 * sim::kFlashWordProgramNs);
    EXPECT_TRUE(std::equal(first, first + 4, window + 0x100));
    const uint8_t second[] = {0xFF, 0xFF, 0x0F, 0xF0};
    EXPECT_EQ(FlashWriteBlock(kFlash2Address + 0x100, second, 4), 0);
    EXPECT_EQ(window[0x102], 0x00);
    EXPECT_EQ(window[0x103], 0x00);
    EXPECT_EQ(window[0x100], 0x12);  // 0xFF over it changes nothing

    EXPECT_EQ(FlashIsErased(kFlash2Address + 0x104, kSector - 0x104), 1);
    EXPECT_EQ(FlashIsErased(kFlash2Address + 0x0FF, 2), 0);
    EXPECT_EQ(FlashIsErased(kFlash2Address + 0x200, 0), 1);

    // Sector 3 lies beyond the file: programming it grows the file by whole erased sectors and
    // maps them at the same place.
    ASSERT_EQ(board.flash2_file_size(), kSector);
    const uint8_t far[] = {0xA5, 0x5A};
    EXPECT_EQ(FlashWriteBlock(kFlash2Address + 3 * kSector + 2, far, 2), 0);
    EXPECT_EQ(board.flash2_file_size(), 4 * kSector);
    EXPECT_EQ(flash2_window(), window);
    EXPECT_EQ(window[3 * kSector + 2], 0xA5);
    EXPECT_EQ(window[3 * kSector + 3], 0x5A);
    EXPECT_TRUE(all_erased(window + kSector, 2 * kSector));
    EXPECT_TRUE(all_erased(window + 4 * kSector, kFlash2Size - 4 * kSector));
    // The very last word of the window.
    EXPECT_EQ(FlashWriteBlock(kFlash2Address + kFlash2Size - 2, far, 2), 0);
    EXPECT_EQ(board.flash2_file_size(), kFlash2Size);
    EXPECT_EQ(window[kFlash2Size - 1], 0x5A);

    // An erase anywhere in a sector takes the whole sector, and only it, in 0.7 s.
    t = m.now();
    EXPECT_EQ(FlashEraseSector(kFlash2Address + 0x1234), 0);
    EXPECT_EQ(m.now() - t, sim::kFlashSectorEraseNs);
    EXPECT_TRUE(all_erased(window, kSector));
    EXPECT_EQ(FlashIsErased(kFlash2Address, kSector), 1);
    EXPECT_EQ(window[3 * kSector + 2], 0xA5);
    EXPECT_EQ(FlashEraseSector(kFlash2Address + 4 * kSector - 1), 0);
    EXPECT_EQ(FlashIsErased(kFlash2Address, kFlash2Size - 2), 1);
    EXPECT_EQ(FlashIsErased(kFlash2Address, kFlash2Size), 0);
    EXPECT_EQ(board.flash2_file_size(), kFlash2Size);
    ASSERT_TRUE(board.set_flash2({}));
}

TEST(Flash2Operations, RefusalsChangeNothingAndTakeNoTime) {
    auto& board = sim::Standalone::instance();
    ASSERT_TRUE(board.set_flash2(std::vector<uint8_t>(kSector, 0x00)));
    const uint8_t* window = flash2_window();
    const uint8_t data[4] = {};
    const uint64_t t = board.machine().now();
    EXPECT_NE(FlashWriteBlock(kFlash2Address, data, 3), 0);                // odd length
    EXPECT_NE(FlashWriteBlock(kFlash2Address + kSector + 1, data, 2), 0);  // odd address
    EXPECT_NE(FlashWriteBlock(kFlash2Address + kSector, nullptr, 2), 0);
    EXPECT_NE(FlashWriteBlock(kFlash2Address - 2, data, 2), 0);  // the firmware image
    EXPECT_NE(FlashWriteBlock(kFlash2Address - 2, data, 4), 0);  // reaching into the window
    EXPECT_NE(FlashWriteBlock(kFlash2Address + kFlash2Size - 2, data, 4), 0);
    EXPECT_NE(FlashWriteBlock(kFlash2Address + kFlash2Size, data, 2), 0);
    EXPECT_NE(FlashWriteBlock(0xC8000000, data, 2), 0);
    EXPECT_NE(FlashEraseSector(0xC8000000), 0);
    EXPECT_NE(FlashEraseSector(kFlash2Address - 1), 0);
    EXPECT_NE(FlashEraseSector(kFlash2Address + kFlash2Size), 0);
    EXPECT_NE(FlashEraseSector(0xFFFFFFFF), 0);
    EXPECT_EQ(board.machine().now(), t);
    EXPECT_EQ(window[0], 0x00);
    EXPECT_EQ(window[kSector - 1], 0x00);
    EXPECT_TRUE(all_erased(window + kSector, kFlash2Size - kSector));
    EXPECT_EQ(board.flash2_file_size(), kSector);

    EXPECT_EQ(FlashIsErased(kFlash2Address - 2, 2), 0);
    EXPECT_EQ(FlashIsErased(kFlash2Address + kFlash2Size - 1, 2), 0);
    EXPECT_EQ(FlashIsErased(kFlash2Address + kSector, 0xFFFFFFFF), 0);
    ASSERT_TRUE(board.set_flash2({}));
}

// Counting starts at the arming; the cut operation is done or lost as asked, and nothing is
// stored after it until the power comes back.
TEST(Flash2Operations, PowerCutAfterTheNthOperation) {
    auto& board = sim::Standalone::instance();
    ASSERT_TRUE(board.set_flash2(std::vector<uint8_t>(kSector, 0x00)));
    const uint8_t* window = flash2_window();
    const uint8_t word[] = {0x00, 0x00};
    for (const bool done : {false, true}) {
        SCOPED_TRACE(done);
        ASSERT_TRUE(board.set_flash2(std::vector<uint8_t>(kSector, 0x00)));
        board.cut_power_at_flash_op(3, done);
        EXPECT_EQ(FlashWriteBlock(kFlash2Address + kSector, word, 2), 0);
        EXPECT_EQ(FlashWriteBlock(kFlash2Address + kSector + 2, word, 2), 0);
        EXPECT_FALSE(board.power_lost());
        EXPECT_NE(FlashEraseSector(kFlash2Address), 0);
        EXPECT_TRUE(board.power_lost());
        EXPECT_EQ(FlashIsErased(kFlash2Address, kSector), done ? 1 : 0);
        EXPECT_NE(FlashWriteBlock(kFlash2Address + kSector + 4, word, 2), 0);
        EXPECT_NE(FlashEraseSector(kFlash2Address + kSector), 0);
        EXPECT_EQ(window[kSector + 1], 0x00);
        EXPECT_EQ(window[kSector + 4], 0xFF);
        board.power_on_again();
        EXPECT_EQ(FlashWriteBlock(kFlash2Address + kSector + 4, word, 2), 0);
        EXPECT_EQ(window[kSector + 4], 0x00);
    }
    ASSERT_TRUE(board.set_flash2({}));
}

// A copy made by run_isolated() stores into the same window; sectors it grew reach this
// process too.
TEST(Flash2Operations, ProgrammedInAnIsolatedCopy) {
    auto& board = sim::Standalone::instance();
    ASSERT_TRUE(board.set_flash2({}));
    const auto end = board.run_isolated([] {
        const uint8_t word[] = {0x42, 0x24};
        return FlashWriteBlock(kFlash2Address + 7 * kSector, word, 2);
    });
    ASSERT_TRUE(end.returned()) << end.why;
    EXPECT_EQ(end.value, 0);
    EXPECT_EQ(flash2_window()[7 * kSector], 0x42);
    EXPECT_EQ(board.flash2_file_size(), 8 * kSector);
    ASSERT_TRUE(board.set_flash2({}));
}

TEST(DataFlash, IdentificationIsTheBoards) {
    auto& board = sim::Standalone::instance();
    EXPECT_EQ(ReadSerialFlashID(), 0x17);
    board.set_dataflash_id(0x18);
    EXPECT_EQ(ReadSerialFlashID(), 0x18);
    board.set_dataflash_id(0x17);
}

TEST(Flash2WindowDeathTest, AWriteThroughThePointerFaults) {
    const uint8_t* window = sim::Standalone::instance().flash2_window();
    EXPECT_DEATH(const_cast<volatile uint8_t*>(window)[0] = 0, "");
}

}  // namespace
