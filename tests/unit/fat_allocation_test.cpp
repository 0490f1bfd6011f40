// Cluster and directory-slot allocation once space has been freed: full cards, the search for
// free clusters wrapping round the end of the volume, the volume's last cluster, and slots that
// a PC freed.
#include <gtest/gtest.h>

#include <map>

#include "fat_test_util.h"

namespace voxa_test {
namespace {

// Free bytes as mtools counts them on an image.
size_t free_bytes(const std::string& image) {
    std::string out;
    run("mdir -i " + quote(image) + " ::/", &out);
    const size_t at = out.find("bytes free");
    if (at == std::string::npos) return size_t(-1);
    const size_t line = out.rfind('\n', at);
    std::string digits;
    for (size_t i = line == std::string::npos ? 0 : line; i < at; ++i) {
        if (out[i] >= '0' && out[i] <= '9') digits += out[i];
    }
    return digits.empty() ? size_t(-1) : size_t(std::stoull(digits));
}

// Writes a file in pieces until the card is full; returns what was written. Any error other
// than a full card fails the test.
std::string write_until_full(const char* name, uint32_t seed, size_t piece) {
    FS_FILE* f = fcreate(name, 0);
    EXPECT_NE(f, nullptr) << name << " error " << SD_lastError();
    if (!f) return {};
    std::string written;
    for (uint32_t k = 0;; ++k) {
        const std::string chunk = pattern(piece, seed + k);
        const size_t n = fwrite(chunk.data(), 1, chunk.size(), f);
        written += chunk.substr(0, n);
        if (n < chunk.size()) break;
    }
    EXPECT_EQ(SD_lastError(), kFsErrDiskFull) << name;
    EXPECT_EQ(SD_fclose(f), 0) << name;
    return written;
}

class FatAllocation : public ::testing::TestWithParam<FatLayout> {
  protected:
    void TearDown() override { eject(); }
    std::string image() const { return dir_ / "card.img"; }

    // After ejecting: fsck finds nothing, and mtools reads every file as written.
    void expect_volume(const std::map<std::string, std::string>& files) {
        std::string log;
        EXPECT_TRUE(fsck_clean(image(), &log)) << log;
        for (const auto& [name, data] : files) {
            ASSERT_TRUE(mcopy_out(image(), "::/" + name, dir_ / "out")) << name;
            EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), data)) << name;
        }
    }
    TempDir dir_;
};

TEST_P(FatAllocation, EveryFreeClusterOfAFreshVolumeIsUsable) {
    const FatLayout l = GetParam();
    ASSERT_TRUE(mkfs(image(), l));
    const size_t free_before = free_bytes(image());
    ASSERT_GT(free_before, 0u);
    ASSERT_NE(free_before, size_t(-1));
    insert_image(image());
    // Pieces that are not a divisor of the cluster: the last one is cut by the full card.
    const std::string all = write_until_full("ALL.BIN", 1, size_t(l.cluster_bytes()) * 3 + 100);
    EXPECT_EQ(all.size(), free_before) << "the card's last cluster included";
    EXPECT_TRUE(same_bytes(fw_read("ALL.BIN"), all));
    eject();
    EXPECT_EQ(free_bytes(image()), 0u);
    expect_volume({{"ALL.BIN", all}});
}

TEST_P(FatAllocation, FullCardShrinkAndGrowAgainWrapsTheSearchRound) {
    const FatLayout l = GetParam();
    const size_t cluster = size_t(l.cluster_bytes());
    ASSERT_TRUE(mkfs(image(), l));
    const size_t free_before = free_bytes(image());
    insert_image(image());
    // A takes the low clusters, B the rest up to the last one.
    const size_t a_size = (free_before / cluster / 3) * cluster - 7;
    const std::string a = pattern(a_size, 10);
    ASSERT_TRUE(fw_write("A.BIN", a, {cluster, 700, 3 * cluster + 1}));
    const std::string b = write_until_full("B.BIN", 20, 5000);
    ASSERT_EQ(a_size + 7 + b.size(), free_before) << "the card is full";

    // B recreated small takes its old first cluster again and frees the end of the volume; A
    // recreated small frees the start. Growing A again fills the end first, then has to go on
    // from the start of the volume.
    const std::string b_small = pattern(cluster + 1, 30);
    ASSERT_TRUE(fw_write("B.BIN", b_small));
    ASSERT_TRUE(fw_write("A.BIN", "tiny"));
    const std::string a_again = write_until_full("A.BIN", 40, 3 * cluster - 1);
    EXPECT_EQ(a_again.size(), free_before - 2 * cluster) << "B holds two clusters";
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), a_again));
    EXPECT_TRUE(same_bytes(fw_read("B.BIN"), b_small));
    eject();
    EXPECT_EQ(free_bytes(image()), 0u);
    expect_volume({{"A.BIN", a_again}, {"B.BIN", b_small}});
}

TEST_P(FatAllocation, FileRewrittenOnAFullCardFitsAgain) {
    // T is the last file written and takes the volume's last cluster; rewriting it frees that
    // cluster just before the search starts again from the beginning, so the whole volume has
    // to be searched to find it.
    const FatLayout l = GetParam();
    const size_t cluster = size_t(l.cluster_bytes());
    ASSERT_TRUE(mkfs(image(), l));
    const size_t free_before = free_bytes(image());
    insert_image(image());
    const std::string a = pattern(free_before - cluster, 60);
    ASSERT_TRUE(fw_write("A.BIN", a, {4 * cluster + 3}));
    std::string t = pattern(cluster - 5, 61);
    ASSERT_TRUE(fw_write("T.BIN", t));
    for (uint32_t round = 0; round < 3; ++round) {
        t = pattern(cluster - round, 70 + round);
        ASSERT_TRUE(fw_write("T.BIN", t)) << "round " << round << " error " << SD_lastError();
    }
    FS_FILE* more = fcreate("MORE.BIN", 0);
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(fputc_('x', more), -1) << "the card is still full";
    EXPECT_EQ(SD_lastError(), kFsErrDiskFull);
    SD_fclose(more);
    EXPECT_TRUE(same_bytes(fw_read("T.BIN"), t));
    eject();
    EXPECT_EQ(free_bytes(image()), 0u);
    expect_volume({{"A.BIN", a}, {"T.BIN", t}, {"MORE.BIN", ""}});
}

INSTANTIATE_TEST_SUITE_P(Layouts, FatAllocation,
                         ::testing::Values(FatLayout{12, 360, 1}, FatLayout{12, 2048, 4},
                                           FatLayout{16, 16384, 2}, FatLayout{32, 40960, 1}),
                         [](const auto& info) { return layout_name(info.param); });

// Clusters freed by a file still hold its data; a directory made in them must not show any of
// it as entries. (FAT12 and FAT16: after a fresh mount their search starts at the volume's first
// cluster, where the freed file was; FAT32 goes on from FSInfo's hint, past it.)
TEST(FatReuse, NewDirectoryInReusedSpaceHoldsOnlyItsOwnEntries) {
    for (const FatLayout l :
         {FatLayout{12, 360, 1}, FatLayout{12, 2048, 4}, FatLayout{16, 16384, 2}}) {
        SCOPED_TRACE(layout_name(l));
        TempDir dir;
        const std::string image = dir / "card.img";
        const size_t cluster = size_t(l.cluster_bytes());
        ASSERT_TRUE(mkfs(image, l));
        insert_image(image);
        std::string junk = pattern(4 * cluster, 90);
        for (size_t i = 0; i < junk.size(); i += 32) junk[i] = char('A' + i / 32 % 26);
        ASSERT_TRUE(fw_write("JUNK.BIN", junk));
        eject();
        insert_image(image);
        ASSERT_TRUE(fw_write("JUNK.BIN", ""));
        ASSERT_EQ(SD_mkdir("D"), 0);
        ASSERT_EQ(SD_chdir("D"), 0);
        EXPECT_EQ(fw_list(), (std::vector<std::string>{"..", "..."}));
        ASSERT_TRUE(fw_write("IN.TXT", "inside"));
        EXPECT_EQ(fw_list(), (std::vector<std::string>{"..", "...", "IN.TXT"}));
        ASSERT_EQ(SD_chdir("/"), 0);
        eject();
        std::string log;
        EXPECT_TRUE(fsck_clean(image, &log)) << log;
        std::string listing;
        run("mdir -b -i " + quote(image) + " ::/D", &listing);
        EXPECT_EQ(listing, "::/D/IN.TXT\n");
    }
}

// A fixed root directory with room for 64 entries, as mkfs.fat -r makes it.
class FatRootSlots : public ::testing::TestWithParam<int> {
  protected:
    void TearDown() override { eject(); }
    std::string image() const { return dir_ / "card.img"; }
    TempDir dir_;
};

TEST_P(FatRootSlots, FullRootRefusesNewNamesAndReusesASlotAPcFreed) {
    const int bits = GetParam();
    std::string log;
    ASSERT_EQ(run("mkfs.fat -C --invariant -r 64 -F " + std::to_string(bits) + " " +
                      quote(image()) + (bits == 12 ? " 1440" : " 16384"),
                  &log),
              0)
        << log;
    write_file(dir_ / "src", "from the PC");
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/PC.TXT"));
    insert_image(image());
    std::map<std::string, std::string> files{{"PC.TXT", "from the PC"}};
    for (int i = 1; i < 64; ++i) {
        const std::string name = "F" + std::to_string(i) + ".TXT";
        files[name] = i % 2 ? "" : "file " + std::to_string(i);
        ASSERT_TRUE(fw_write(name.c_str(), files[name])) << name << " error " << SD_lastError();
    }
    // All 64 slots taken: nothing more fits, and nothing is written past the root.
    EXPECT_EQ(fcreate("MORE.TXT", 0), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrDirFull);
    EXPECT_NE(SD_mkdir("MOREDIR"), 0);
    EXPECT_EQ(SD_lastError(), kFsErrDirFull);
    eject();
    ASSERT_TRUE(fsck_clean(image(), &log)) << log;

    // A PC deletes one file in the middle of the root (its slot starts with 0xE5 now).
    ASSERT_TRUE(mdel(image(), "::/F20.TXT"));
    files.erase("F20.TXT");
    insert_image(image());
    files["NEW.TXT"] = "in the freed slot";
    ASSERT_TRUE(fw_write("NEW.TXT", files["NEW.TXT"])) << "error " << SD_lastError();
    EXPECT_EQ(fcreate("MORE.TXT", 0), nullptr) << "and the root is full again";
    EXPECT_EQ(SD_lastError(), kFsErrDirFull);
    const auto names = fw_list();
    EXPECT_EQ(names.size(), 64u);
    eject();
    ASSERT_TRUE(fsck_clean(image(), &log)) << log;
    for (const char* name : {"PC.TXT", "NEW.TXT", "F19.TXT", "F21.TXT", "F62.TXT"}) {
        ASSERT_TRUE(mcopy_out(image(), std::string("::/") + name, dir_ / "out")) << name;
        const std::string& data = files[name];
        EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), data)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(FixedRoots, FatRootSlots, ::testing::Values(12, 16),
                         [](const auto& info) { return "FAT" + std::to_string(info.param); });

}  // namespace
}  // namespace voxa_test
