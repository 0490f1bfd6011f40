// The firmware's FAT code against images made, filled and checked by dosfstools and mtools.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fat_test_util.h"

namespace voxa_test {
namespace {

const FatLayout kLayouts[] = {
    {12, 1440, 1}, {12, 4096, 4}, {16, 32768, 4}, {16, 262144, 64}, {32, 40960, 1}, {32, 614400, 8},
};

class FatInterop : public ::testing::TestWithParam<FatLayout> {
  protected:
    void TearDown() override { eject(); }
    std::string image() const { return dir_ / "card.img"; }
    TempDir dir_;
};

// FAT32 keeps a hint where the next free cluster is; tools allocate from there, past the holes.
// Forgetting it makes mtools fill the holes first.
void forget_next_free_hint(const std::string& image) {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char at[2];
    f.seekg(48);
    f.read(reinterpret_cast<char*>(at), 2);
    f.seekp(std::streamoff((at[0] | (at[1] << 8)) * 512 + 492));
    f.write("\xFF\xFF\xFF\xFF", 4);
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_P(FatInterop, ReadsWhatMtoolsWrote) {
    const FatLayout l = GetParam();
    const size_t cluster = size_t(l.cluster_bytes());
    std::string log;
    ASSERT_TRUE(mkfs(image(), l, &log)) << log;
    std::map<std::string, std::string> root = {
        {"EMPTY.BIN", ""},
        {"ONE.BIN", pattern(1, 1)},
        {"CLUSTER.BIN", pattern(cluster, 2)},
        {"MULTI.BIN", pattern(5 * cluster + 123, 3)},
        {"NOEXT", pattern(700, 4)},
    };
    for (const auto& [name, data] : root) {
        write_file(dir_ / "src", data);
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/" + name));
    }
    // A long name: the firmware sees its short alias; the long-name entries are skipped.
    const std::string longData = pattern(3000, 5);
    write_file(dir_ / "src", longData);
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/A long file name.txt"));
    // Nested folders.
    ASSERT_TRUE(mmd(image(), "::/DIR1"));
    ASSERT_TRUE(mmd(image(), "::/DIR1/DIR2"));
    const std::string deep = pattern(2 * cluster + 1, 6);
    write_file(dir_ / "src", deep);
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/DIR1/DIR2/DEEP.DAT"));
    // A fragmented file: it fills the holes two deleted files left.
    for (int i = 1; i <= 6; ++i) {
        write_file(dir_ / "src", pattern(cluster, 10 + i));
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/F" + std::to_string(i) + ".TMP"));
    }
    ASSERT_TRUE(mdel(image(), "::/F2.TMP"));
    ASSERT_TRUE(mdel(image(), "::/F4.TMP"));
    if (l.bits == 32) forget_next_free_hint(image());
    const std::string frag = pattern(3 * cluster + 7, 20);
    write_file(dir_ / "src", frag);
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/FRAG.BIN"));
    std::string chain;
    run("mshowfat -i " + quote(image()) + " ::/FRAG.BIN", &chain);
    ASSERT_GE(std::count(chain.begin(), chain.end(), '<'), 2) << "not fragmented: " << chain;

    insert_image(image());
    const auto names = fw_list();
    for (const auto& [name, data] : root) {
        const std::string listed = name.find('.') == std::string::npos ? name + "." : name;
        EXPECT_TRUE(contains(names, listed)) << listed;
        EXPECT_TRUE(same_bytes(fw_read(name.c_str()), data)) << name;
    }
    EXPECT_TRUE(contains(names, "ALONGF~1.TXT"));
    EXPECT_TRUE(contains(names, "DIR1."));
    EXPECT_FALSE(contains(names, "F2.TMP"));
    EXPECT_TRUE(same_bytes(fw_read("alongf~1.txt"), longData)) << "names match whatever their case";
    EXPECT_TRUE(same_bytes(fw_read("FRAG.BIN"), frag));
    EXPECT_TRUE(same_bytes(fw_read_chunks("FRAG.BIN"), frag));
    EXPECT_TRUE(same_bytes(fw_read_chunks("MULTI.BIN"), root["MULTI.BIN"]));

    ASSERT_EQ(SD_chdir("dir1/DIR2"), 0);
    const auto inner = fw_list();
    EXPECT_EQ(inner, (std::vector<std::string>{"..", "...", "DEEP.DAT"}));
    EXPECT_TRUE(same_bytes(fw_read("DEEP.DAT"), deep));
    ASSERT_EQ(SD_chdir(".."), 0);
    ASSERT_EQ(SD_chdir("."), 0);
    ASSERT_EQ(SD_chdir(".."), 0);
    EXPECT_TRUE(same_bytes(fw_read("ONE.BIN"), root["ONE.BIN"])) << "back in the root";
    EXPECT_NE(SD_chdir(".."), 0) << "the root has no parent";
    EXPECT_NE(SD_chdir("DIR1/NOPE"), 0);
    EXPECT_TRUE(same_bytes(fw_read("ONE.BIN"), root["ONE.BIN"]))
        << "a failed path leaves the directory";
    EXPECT_NE(SD_chdir("ONE.BIN"), 0);
    EXPECT_EQ(SD_lastError(), kFsErrNotDirectory);
}

TEST_P(FatInterop, SeeksAndReadsAcrossClusters) {
    const FatLayout l = GetParam();
    ASSERT_TRUE(mkfs(image(), l));
    const std::string data = pattern(4 * size_t(l.cluster_bytes()) + 999, 30);
    write_file(dir_ / "src", data);
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/SEEK.BIN"));
    insert_image(image());
    FS_FILE* f = SD_fopen("SEEK.BIN", kFsModeRead);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size, data.size());
    uint32_t x = 7;
    for (int i = 0; i < 60; ++i) {
        x = x * 1103515245 + 12345;
        const size_t at = (x >> 8) % data.size();
        const size_t n = std::min<size_t>((x >> 3) % 1500, data.size() - at);
        ASSERT_EQ(fseek(f, long(at), 0), 0);
        std::string got(n, '\0');
        ASSERT_EQ(fread(got.data(), 1, n, f), n) << "at " << at;
        ASSERT_EQ(got, data.substr(at, n)) << "at " << at;
    }
    EXPECT_EQ(fseek(f, -1, 2), 0);
    char last;
    EXPECT_EQ(fread(&last, 1, 1, f), 1u);
    EXPECT_EQ(last, data.back());
    EXPECT_EQ(fread(&last, 1, 1, f), 0u) << "nothing after the end";
    EXPECT_EQ(freadChunk(f, reinterpret_cast<uint8_t*>(&last)), -1);
    EXPECT_NE(fseek(f, 1, 2), 0) << "beyond the end";
    EXPECT_NE(fseek(f, -1, 0), 0);
    SD_fclose(f);
}

TEST_P(FatInterop, WritesWhatFsckAndMtoolsAccept) {
    const FatLayout l = GetParam();
    const size_t cluster = size_t(l.cluster_bytes());
    ASSERT_TRUE(mkfs(image(), l));
    const std::string kept = pattern(cluster + 5, 40);
    write_file(dir_ / "src", kept);
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/KEPT.BIN"));
    write_file(dir_ / "src", pattern(3 * cluster, 41));
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/SHRINK.BIN"));
    write_file(dir_ / "src", "x");
    ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/Long Name Kept.txt"));

    insert_image(image());
    std::map<std::string, std::string> written;
    const size_t sizes[] = {
        0, 1, 511, 512, 513, cluster - 1, cluster, cluster + 1, 3 * cluster + 17};
    int n = 0;
    for (const size_t size : sizes) {
        const std::string name = "W" + std::to_string(n) + ".BIN";
        written["::/" + name] = pattern(size, 50 + n);
        ASSERT_TRUE(fw_write(name.c_str(), written["::/" + name], {100, 700, 3, 512}))
            << name << " error " << SD_lastError();
        ++n;
    }
    // Truncating an existing file frees its old clusters.
    written["::/SHRINK.BIN"] = pattern(10, 42);
    ASSERT_TRUE(fw_write("shrink.bin", written["::/SHRINK.BIN"]));
    // Folders, nested, and a directory that has to grow past its first cluster.
    ASSERT_EQ(SD_mkdir("NEWDIR"), 0);
    EXPECT_NE(SD_mkdir("newdir"), 0);
    EXPECT_EQ(SD_lastError(), kFsErrExists);
    ASSERT_EQ(SD_chdir("NEWDIR"), 0);
    ASSERT_EQ(SD_mkdir("INNER"), 0);
    const int many = std::min(int(cluster / 32) * 2 + 5, 70);
    for (int i = 0; i < many; ++i) {
        const std::string name = "F" + std::to_string(i) + ".TXT";
        written["::/NEWDIR/" + name] = "file " + std::to_string(i);
        ASSERT_TRUE(fw_write(name.c_str(), written["::/NEWDIR/" + name])) << name;
    }
    ASSERT_EQ(SD_chdir("INNER"), 0);
    written["::/NEWDIR/INNER/DEEP.BIN"] = pattern(2 * cluster + 3, 60);
    ASSERT_TRUE(fw_write("DEEP.BIN", written["::/NEWDIR/INNER/DEEP.BIN"]));
    ASSERT_EQ(SD_chdir("/"), 0);
    eject();

    std::string log;
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
    written["::/KEPT.BIN"] = kept;
    written["::/Long Name Kept.txt"] = "x";
    for (const auto& [path, data] : written) {
        ASSERT_TRUE(mcopy_out(image(), path, dir_ / "out")) << path;
        EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), data)) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FatInterop, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return layout_name(info.param); });

// FAT12 entries are a byte and a half: those of clusters 341 and 682 straddle FAT sectors.
TEST(Fat12, LongChainsCrossFatSectorBoundaries) {
    TempDir dir;
    const std::string image = dir / "card.img";
    ASSERT_TRUE(mkfs(image, {12, 1440, 1}));
    const std::string in = pattern(800 * 512 + 77, 80);
    write_file(dir / "src", in);
    ASSERT_TRUE(mcopy_in(image, dir / "src", "::/IN.BIN"));
    insert_image(image);
    EXPECT_TRUE(same_bytes(fw_read("IN.BIN"), in));
    const std::string out = pattern(900 * 512 + 5, 81);
    ASSERT_TRUE(fw_write("OUT.BIN", out, {5000, 333}));
    ASSERT_TRUE(fw_write("IN.BIN", "short now"));  // frees the first chain again
    ASSERT_TRUE(fw_write("AGAIN.BIN", in));        // and reuses it
    eject();
    std::string log;
    EXPECT_TRUE(fsck_clean(image, &log)) << log;
    for (const auto& [name, data] :
         {std::pair{"OUT.BIN", out}, {"IN.BIN", "short now"}, {"AGAIN.BIN", in}}) {
        ASSERT_TRUE(mcopy_out(image, std::string("::/") + name, dir / "out"));
        EXPECT_TRUE(same_bytes(read_file(dir / "out"), data)) << name;
    }
}

// A card with a partition table: the volume sits in the first FAT partition.
TEST(FatPartitioned, MountsFirstFatPartition) {
    TempDir dir;
    const std::string image = dir / "card.img";
    const uint32_t start = 2048;
    const struct {
        int bits;
        uint8_t type;
        int size_mb;
    } kinds[] = {{16, 0x06, 34}, {32, 0x0C, 48}};
    for (const auto& k : kinds) {
        const uint32_t sectors = uint32_t(k.size_mb) * 2048;
        std::string mbr(512, '\0');
        mbr[446 + 4] = char(k.type);
        for (int i = 0; i < 4; ++i) {
            mbr[446 + 8 + i] = char(start >> (8 * i));
            mbr[446 + 12 + i] = char((sectors - start) >> (8 * i));
        }
        mbr[510] = char(0x55);
        mbr[511] = char(0xAA);
        write_file(image, mbr);
        ASSERT_EQ(truncate(image.c_str(), off_t(sectors) * 512), 0);
        std::string log;
        ASSERT_EQ(run("mkfs.fat --invariant -F " + std::to_string(k.bits) +
                          " --offset=" + std::to_string(start) + " " + quote(image) + " " +
                          std::to_string((sectors - start) / 2),
                      &log),
                  0)
            << log;
        const std::string volume = image + "@@" + std::to_string(start * 512);
        write_file(dir / "src", pattern(5000, 70));
        ASSERT_TRUE(mcopy_in(volume, dir / "src", "::/IN.BIN"));

        insert_image(image);
        EXPECT_TRUE(same_bytes(fw_read("IN.BIN"), pattern(5000, 70)));
        ASSERT_TRUE(fw_write("OUT.BIN", pattern(9000, 71)));
        eject();

        ASSERT_EQ(run("dd status=none bs=512 skip=" + std::to_string(start) +
                      " if=" + quote(image) + " of=" + quote(dir / "part.img")),
                  0);
        EXPECT_TRUE(fsck_clean(dir / "part.img", &log)) << log;
        ASSERT_TRUE(mcopy_out(volume, "::/OUT.BIN", dir / "out"));
        EXPECT_TRUE(same_bytes(read_file(dir / "out"), pattern(9000, 71)));
        EXPECT_TRUE(same_bytes(read_file(image).substr(0, 446), mbr.substr(0, 446)))
            << "MBR untouched";
    }
}

// mkfs.fat can also put a one-partition table into the volume's own boot sector.
TEST(FatPartitioned, BootSectorWithFakeMbrMountsAsVolume) {
    TempDir dir;
    const std::string image = dir / "card.img";
    std::string log;
    ASSERT_EQ(run("mkfs.fat -C --invariant --mbr=y -F 16 " + quote(image) + " 32768", &log), 0)
        << log;
    write_file(dir / "src", "fake mbr");
    ASSERT_TRUE(mcopy_in(image, dir / "src", "::/A.TXT"));
    insert_image(image);
    EXPECT_TRUE(same_bytes(fw_read("A.TXT"), "fake mbr"));
    eject();
}

}  // namespace
}  // namespace voxa_test
