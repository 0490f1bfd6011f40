// Seeded random sequences of creates, writes, truncations and folders on fresh images; after
// each run fsck.fat must find nothing, and mtools must read every file as the model says.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "fat_test_util.h"

namespace voxa_test {
namespace {

struct RandomRun {
    FatLayout layout;
    uint32_t seed;
};

void PrintTo(const RandomRun& r, std::ostream* os) {
    *os << layout_name(r.layout) << " seed " << r.seed;
}

class FatRandom : public ::testing::TestWithParam<RandomRun> {
  protected:
    void TearDown() override { eject(); }
    TempDir dir_;
};

TEST_P(FatRandom, SequenceKeepsTheVolumeConsistent) {
    const auto [layout, seed] = GetParam();
    const std::string image = dir_ / "card.img";
    ASSERT_TRUE(mkfs(image, layout));
    insert_image(image);

    std::mt19937 rng(seed);
    const auto pick = [&rng](size_t n) { return size_t(rng() % n); };
    const char* names[] = {"A.BIN", "B.BIN", "C.TXT", "D", "E.DAT", "LONGNAME.BIN", "F.1", "G.22"};
    std::vector<std::string> dirs = {""};      // "" is the root, others "/X/Y"
    std::map<std::string, std::string> model;  // "::/X/NAME" -> content
    const size_t cluster = size_t(layout.cluster_bytes());
    int folders = 0;

    for (int op = 0; op < 80; ++op) {
        const std::string& where = dirs[pick(dirs.size())];
        ASSERT_EQ(SD_chdir(where.empty() ? "/" : where.c_str()), 0) << where;
        const int kind = int(pick(100));
        if (kind < 55) {
            const char* name = names[pick(std::size(names))];
            const size_t sizes[] = {0,
                                    1,
                                    100,
                                    cluster - 1,
                                    cluster,
                                    cluster + 1,
                                    3 * cluster + 5,
                                    size_t(pick(6 * cluster))};
            const std::string data = pattern(sizes[pick(std::size(sizes))], uint32_t(rng()));
            std::vector<size_t> pieces;
            for (int i = 0; i < 5; ++i) pieces.push_back(1 + pick(2 * cluster));
            ASSERT_TRUE(fw_write(name, data, pieces)) << "op " << op << " error " << SD_lastError();
            model["::" + where + "/" + name] = data;
        } else if (kind < 65) {
            if (folders >= 4) continue;
            const std::string name = "DIR" + std::to_string(++folders);
            ASSERT_EQ(SD_mkdir(name.c_str()), 0) << "op " << op << " error " << SD_lastError();
            dirs.push_back(where + "/" + name);
        } else {
            // Read back something written earlier in this folder.
            for (const auto& [path, data] : model) {
                const std::string prefix = "::" + where + "/";
                if (path.compare(0, prefix.size(), prefix) != 0) continue;
                const std::string name = path.substr(prefix.size());
                if (name.find('/') != std::string::npos) continue;
                ASSERT_EQ(fw_read(name.c_str()), data) << path;
                break;
            }
        }
    }
    eject();

    std::string log;
    ASSERT_TRUE(fsck_clean(image, &log)) << "seed " << seed << "\n" << log;
    for (const auto& [path, data] : model) {
        ASSERT_TRUE(mcopy_out(image, path, dir_ / "out")) << path;
        EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), data)) << path;
    }
}

std::vector<RandomRun> runs() {
    const FatLayout layouts[] = {{12, 1440, 1}, {16, 32768, 4}, {32, 40960, 1}};
    std::vector<RandomRun> r;
    for (const auto& l : layouts) {
        for (uint32_t seed : {1u, 2u, 3u}) r.push_back({l, seed});
    }
    return r;
}

INSTANTIATE_TEST_SUITE_P(Seeds, FatRandom, ::testing::ValuesIn(runs()), [](const auto& info) {
    return layout_name(info.param.layout) + "_seed" + std::to_string(info.param.seed);
});

// Writing until the card is full: the write stops with a clear error and what was written
// before is a proper file.
TEST(FatFull, WriteStopsAtDiskFullAndTheVolumeStaysConsistent) {
    TempDir dir;
    const std::string image = dir / "card.img";
    ASSERT_TRUE(mkfs(image, {12, 360, 1}));
    insert_image(image);
    FS_FILE* f = fcreate("BIG.BIN", 0);
    ASSERT_NE(f, nullptr);
    const std::string chunk = pattern(1000, 9);
    std::string written;
    for (int i = 0; i < 1000; ++i) {
        const size_t n = fwrite(chunk.data(), 1, chunk.size(), f);
        written += chunk.substr(0, n);
        if (n < chunk.size()) break;
    }
    EXPECT_EQ(SD_lastError(), kFsErrDiskFull);
    EXPECT_LT(written.size(), 360u * 1024);
    EXPECT_EQ(SD_fclose(f), 0);
    EXPECT_TRUE(same_bytes(fw_read("BIG.BIN"), written));
    FS_FILE* empty = fcreate("MORE.BIN", 0);
    EXPECT_NE(empty, nullptr) << "an empty file needs no cluster";
    EXPECT_EQ(SD_fclose(empty), 0);
    eject();
    std::string log;
    EXPECT_TRUE(fsck_clean(image, &log)) << log;
}

}  // namespace
}  // namespace voxa_test
