// The image files' cache over a real FAT card: whatever the decoders ask for, at whatever
// offsets, they get the file's own bytes, never more than one request's worth and never past
// the end; reading on costs each card block once.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fat_test_util.h"
#include "in_process.h"
#include "media/sd_image.h"

namespace voxa_test {
namespace {

class SdImageCache : public ::testing::Test {
  protected:
    static constexpr size_t kSize = 40 * 1024 + 37;
    void SetUp() override {
        start_firmware_in_process();
        ASSERT_TRUE(mkfs(image(), FatLayout{16, 16384, 4}));
        data_ = pattern(kSize, 7);
        write_file(dir_ / "src", data_);
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/PIC.JPG"));
        insert_image(image());
        file_ = SD_fopen("PIC.JPG", kFsModeRead);
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override { SD_fclose(file_); }
    std::string image() const { return dir_ / "card.img"; }

    // Asks for count bytes at offset and checks what comes back against the file.
    ::testing::AssertionResult serves(unsigned count, uint32_t offset) {
        const uint8_t* p = nullptr;
        const int got = GetData_Ex_SdImageFile(file_, &p, count, offset);
        size_t want = offset >= kSize ? 0 : std::min<size_t>({count, 2400, kSize - offset});
        if (got != int(want)) {
            return ::testing::AssertionFailure()
                   << "offset " << offset << " count " << count << ": " << got << " bytes";
        }
        if (want && std::memcmp(p, data_.data() + offset, want) != 0) {
            return ::testing::AssertionFailure() << "wrong bytes at offset " << offset;
        }
        return ::testing::AssertionSuccess();
    }

    TempDir dir_;
    std::string data_;
    FS_FILE* file_ = nullptr;
};

TEST_F(SdImageCache, ServesTheFileWhateverTheRequests) {
    // What the decoders do: read on in pieces, look a little back, jump ahead, start again.
    EXPECT_TRUE(serves(4000, 0)) << "a request is served as at most 2400 bytes";
    EXPECT_TRUE(serves(2400, 2400));
    EXPECT_TRUE(serves(100, 2300));
    EXPECT_TRUE(serves(2400, 4799));
    EXPECT_TRUE(serves(1, 30000));
    EXPECT_TRUE(serves(2400, 511));
    EXPECT_TRUE(serves(2400, uint32_t(kSize) - 10)) << "fewer at the end";
    EXPECT_TRUE(serves(2400, uint32_t(kSize)));
    EXPECT_TRUE(serves(5, uint32_t(kSize) + 4096)) << "past the end: nothing";
    EXPECT_TRUE(serves(0, 100));
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i) {
        const unsigned count = rng() % 3000;
        const uint32_t offset = rng() % 4 == 0 ? 0 : uint32_t(rng() % (kSize + 600));
        ASSERT_TRUE(serves(count, offset)) << "request " << i;
    }
}

TEST_F(SdImageCache, ReadingOnReadsEachBlockOnce) {
    auto& faults = board().faults();
    // Start at offset 0 (a new image) with the file's position wherever the last read left it.
    ASSERT_TRUE(serves(10, 0));
    const uint64_t before = faults.sd_reads;
    uint32_t offset = 10;
    std::mt19937 rng(9);
    while (offset < kSize) {
        const unsigned count = 1 + rng() % 2400;
        ASSERT_TRUE(serves(count, offset));
        // A decoder consumes most of what it got, sometimes all of it.
        offset += std::min<uint32_t>(count, 2400) - (rng() % 2 ? rng() % 200 : 0);
    }
    const uint64_t blocks = (kSize + 511) / 512;
    // The first blocks came with the first request; the FAT may cost a few reads more.
    EXPECT_LE(faults.sd_reads - before, blocks + 4);
    EXPECT_GE(faults.sd_reads - before, blocks - 6);
}

TEST_F(SdImageCache, AFailedReadServesNothingAndTheNextRequestReadsAgain) {
    auto& faults = board().faults();
    faults.sd_reads = 0;
    faults.sd_read_fail_from = 1;
    const uint8_t* p = nullptr;
    EXPECT_EQ(GetData_Ex_SdImageFile(file_, &p, 100, 20000), 0);
    faults.sd_read_fail_from = 0;
    EXPECT_TRUE(serves(100, 20000));
}

}  // namespace
}  // namespace voxa_test
