// Programming and erasing the Flash2 window through the firmware's own entry points, on the
// in-process board: result codes, blocks that never cross 64 KB, sectors erased only when needed.
#include <gtest/gtest.h>

#include <vector>

#include "boards/sim/standalone.h"
#include "device/board.h"
#include "media/extmem_program.h"

namespace {

class ExtMemProgram : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.set_flash2({})); }
    void TearDown() override {
        board.cut_power_at_flash_op(0, false);
        board.power_on_again();
        board.set_flash2({});
    }
    uint64_t ops() { return board.faults().flash_ops; }

    sim::Standalone& board = sim::Standalone::instance();
    const uint8_t* window = flash2_window();
    std::vector<uint8_t> data = std::vector<uint8_t>(0x20000, 0x5A);
};

TEST_F(ExtMemProgram, ResultCodesInTheirOrderAndNoWrappingRange) {
    const uint64_t before = ops();
    EXPECT_EQ(KV_ExtMem_ProgramArea(0, nullptr, 3), kProgramOddLength);
    EXPECT_EQ(KV_ExtMem_ProgramArea(0, nullptr, 2), kProgramNoData);
    EXPECT_EQ(KV_ExtMem_ProgramArea(kFlash2Size - 2, data.data(), 4), kProgramPastEnd);
    EXPECT_EQ(KV_ExtMem_ProgramArea(0xFFFFFFFE, data.data(), 4), kProgramPastEnd);
    EXPECT_EQ(KV_ExtMem_ProgramArea(kFlash2Size + 2, data.data(), 0), kProgramPastEnd);
    EXPECT_EQ(ops(), before) << "a refused range reaches the board";
    EXPECT_EQ(KV_ExtMem_ProgramArea(kFlash2Size, data.data(), 0), kProgramOk);
    EXPECT_EQ(KV_ExtMem_ProgramArea(kFlash2Size - 2, data.data(), 2), kProgramOk);
    EXPECT_EQ(window[kFlash2Size - 1], 0x5A);
    // The board's refusal (an odd address) is reported, not swallowed.
    EXPECT_EQ(KV_ExtMem_ProgramArea(1, data.data(), 2), kProgramRefused);
    EXPECT_EQ(window[1], 0xFF);
}

TEST_F(ExtMemProgram, WritesSplitAtEvery64KBoundary) {
    uint64_t before = ops();
    ASSERT_EQ(KV_ExtMem_ProgramArea(0x8000, data.data(), 0x20000), kProgramOk);
    EXPECT_EQ(ops() - before, 3u);  // 0x8000, 0x10000 and 0x8000 bytes
    EXPECT_EQ(window[0x27FFF], 0x5A);
    EXPECT_EQ(window[0x28000], 0xFF);

    // Power lost after the first block: the bytes up to the boundary are there, the rest not.
    board.cut_power_at_flash_op(1, true);
    EXPECT_EQ(KV_ExtMem_ProgramArea(0x3FFC0, data.data(), 0x100), kProgramRefused);
    EXPECT_EQ(window[0x3FFFF], 0x5A);
    EXPECT_EQ(window[0x40000], 0xFF);
}

TEST_F(ExtMemProgram, SectorEraseOnlyInsideTheWindowAndOnlyWhenNeeded) {
    uint64_t before = ops();
    EXPECT_NE(KV_ExtMem_Erase_Sector(-1), 0);
    EXPECT_NE(KV_ExtMem_Erase_Sector(kFlash2Sectors), 0);
    EXPECT_EQ(KV_ExtMem_Erase_Sector(7), 0);
    EXPECT_EQ(ops(), before);

    ASSERT_EQ(KV_ExtMem_ProgramArea(7 * kFlash2SectorSize + kFlash2SectorSize - 2, data.data(), 2),
              kProgramOk);
    before = ops();
    EXPECT_EQ(KV_ExtMem_Erase_Sector(7), 0);
    EXPECT_EQ(ops() - before, 1u);
    EXPECT_EQ(window[8 * kFlash2SectorSize - 1], 0xFF);
}

}  // namespace
