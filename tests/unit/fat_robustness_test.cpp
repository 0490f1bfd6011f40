// The file layer on damaged cards, failing cards, pulled cards and careless callers: every case
// ends in an error code, never in a hang, a crash or a write outside the volume.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "fat_test_util.h"
#include "fs/fat.h"
#include "settings_test_util.h"

namespace voxa_test {
namespace {

void patch(const std::string& image, size_t offset, const std::string& bytes) {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string le16(uint16_t v) {
    return std::string{char(v), char(v >> 8)};
}
std::string le32(uint32_t v) {
    return le16(uint16_t(v)) + le16(uint16_t(v >> 16));
}

// Geometry of an unpartitioned FAT12/16 image as mkfs.fat laid it out.
struct Geometry {
    size_t fat;      // byte offset of the first FAT
    size_t root;     // byte offset of the fixed root directory
    size_t data;     // byte offset of cluster 2
    size_t cluster;  // bytes per cluster
    size_t cluster_offset(uint32_t c) const { return data + (c - 2) * cluster; }
};

Geometry geometry(const std::string& image) {
    const std::string b = read_file(image).substr(0, 512);
    const auto u16 = [&b](size_t at) { return size_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); };
    Geometry g;
    g.fat = u16(14) * 512;
    g.root = g.fat + size_t(uint8_t(b[16])) * u16(22) * 512;
    g.data = g.root + u16(17) * 32;
    g.cluster = size_t(uint8_t(b[13])) * 512;
    return g;
}

// First cluster of a file as mtools reports it ("::/NAME <n-m>...").
uint32_t first_cluster(const std::string& image, const std::string& path) {
    std::string out;
    run("mshowfat -i " + quote(image) + " " + quote(path), &out);
    const size_t lt = out.find('<');
    return lt == std::string::npos ? 0 : uint32_t(std::stoul(out.substr(lt + 1)));
}

class FatRobust : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(mkfs(image(), {16, 32768, 4})); }
    void TearDown() override {
        board().faults() = simlink::Faults{};
        eject();
    }
    std::string image() const { return dir_ / "card.img"; }
    void put(const std::string& name, const std::string& data) {
        write_file(dir_ / "src", data);
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/" + name));
    }
    TempDir dir_;
};

TEST_F(FatRobust, SecondOpenIsRefusedAndTheFirstFileStaysIntact) {
    const std::string a = pattern(9000, 1);
    put("A.BIN", a);
    put("B.BIN", "b");
    insert_image(image());

    FS_FILE* f = SD_fopen("A.BIN", kFsModeRead);
    ASSERT_NE(f, nullptr);
    std::string got(100, '\0');
    ASSERT_EQ(fread(got.data(), 1, 100, f), 100u);
    EXPECT_EQ(SD_fopen("B.BIN", kFsModeRead), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrTooManyOpen);
    EXPECT_EQ(fcreate("C.BIN", 0), nullptr);
    got.resize(a.size());
    ASSERT_EQ(fread(got.data() + 100, 1, a.size() - 100, f), a.size() - 100);
    EXPECT_EQ(got, a);
    EXPECT_EQ(SD_fclose(f), 0);

    // The same while writing: the file being written is not disturbed.
    FS_FILE* w = fcreate("W.BIN", 0);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(fwrite(a.data(), 1, 5000, w), 5000u);
    EXPECT_EQ(SD_fopen("A.BIN", kFsModeRead), nullptr);
    EXPECT_EQ(fread(got.data(), 1, 10, w), 0u) << "a file being written is not read";
    EXPECT_EQ(fseek(w, 0, 0), -1);
    ASSERT_EQ(fwrite(a.data() + 5000, 1, a.size() - 5000, w), a.size() - 5000);
    EXPECT_EQ(SD_fclose(w), 0);
    EXPECT_TRUE(same_bytes(fw_read("W.BIN"), a));
    EXPECT_EQ(SD_fclose(nullptr), 0) << "a null file is ignored";
    eject();
    std::string log;
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
}

TEST_F(FatRobust, NamesThatAreNot83AreRefused) {
    insert_image(image());
    for (const char* bad :
         {"", "toolongname.txt", "a.b.c", "name.text", ".", "..", "a*b", ".x", "sp ace"}) {
        EXPECT_EQ(fcreate(bad, 0), nullptr) << bad;
        EXPECT_EQ(SD_lastError(), kFsErrBadName) << bad;
    }
    EXPECT_EQ(SD_fopen("missing.txt", kFsModeRead), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrNotFound);
    EXPECT_EQ(SD_fopen("X.TXT", 2), nullptr) << "only mode 1 opens for reading";
    EXPECT_EQ(SD_chdir(""), -1);
    eject();
    std::string log;
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
}

TEST_F(FatRobust, FailingSectorReadsAreReported) {
    const std::string a = pattern(20000, 2);
    put("A.BIN", a);
    insert_image(image());
    board().faults().sd_reads = 0;
    board().faults().sd_read_fail_from = 3;
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), "<error 2>"));
    EXPECT_EQ(KVReportSDStatusErrors(0), 0);
    board().faults().sd_read_fail_from = 0;
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), a));
    EXPECT_EQ(KVReportSDStatusErrors(0), 1);
}

TEST_F(FatRobust, HostControllerErrorsAreReportedInOrder) {
    put("A.BIN", pattern(2000, 2));
    insert_image(image());
    serial_up();
    EXPECT_EQ(KVReportSDStatusErrors(1), 1);
    EXPECT_EQ(host_output(), "");
    board().faults().sd_reads = 0;
    board().faults().sd_read_fail_from = 1;
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), "<error 2>"));
    EXPECT_EQ(KVReportSDStatusErrors(1), 0);
    EXPECT_EQ(host_output(), ":!SD Card: Time-Out Read Data Error\r");
    board().faults().sd_read_fail_from = 0;
    board().faults().sd_writes = 0;
    board().faults().sd_write_fail_from = 1;
    EXPECT_FALSE(fw_write("B.BIN", "b"));
    EXPECT_EQ(KVReportSDStatusErrors(0), 0);
    EXPECT_EQ(host_output(), "") << "report off: nothing sent";
    EXPECT_EQ(KVReportSDStatusErrors(1), 0);
    EXPECT_EQ(host_output(), ":!SD Card: CRC Write Error\r:!SD Card: Write CRC Error Code\r");
}

TEST_F(FatRobust, FailingSectorWritesStopTheFileAndSpareTheOthers) {
    const std::string a = pattern(7000, 3);
    put("A.BIN", a);
    insert_image(image());
    board().faults().sd_writes = 0;
    board().faults().sd_write_fail_from = 4;
    FS_FILE* f = fcreate("NEW.BIN", 0);
    ASSERT_NE(f, nullptr);
    const std::string data = pattern(30000, 4);
    EXPECT_LT(fwrite(data.data(), 1, data.size(), f), data.size());
    EXPECT_EQ(SD_lastError(), kFsErrWrite);
    EXPECT_EQ(KVReportSDStatusErrors(0), 0);
    EXPECT_EQ(fputc_('x', f), -1) << "a failed file takes no more data";
    EXPECT_EQ(SD_fclose(f), -1);
    board().faults().sd_write_fail_from = 0;
    eject();
    insert_image(image());
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), a));
}

TEST_F(FatRobust, ChainsLeavingTheVolumeAreErrors) {
    put("A.BIN", pattern(3 * 2048, 5));
    put("B.BIN", pattern(3 * 2048, 6));
    const Geometry g = geometry(image());
    const uint32_t a = first_cluster(image(), "::/A.BIN");
    const uint32_t b = first_cluster(image(), "::/B.BIN");
    ASSERT_GE(a, 2u);
    patch(image(), g.fat + 2 * a, le16(0xFFF0));   // beyond the last cluster, not an end mark
    patch(image(), g.fat + 2 * (b + 1), le16(0));  // the chain ends in a free cluster
    insert_image(image());
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), "<error 11>"));
    EXPECT_TRUE(same_bytes(fw_read("B.BIN"), "<error 11>"));
}

TEST_F(FatRobust, FileLongerThanItsChainIsAnError) {
    put("A.BIN", pattern(2048, 7));
    const Geometry g = geometry(image());
    // The root's first entry is A.BIN; claim ten clusters.
    patch(image(), g.root + 28, le32(10 * 2048));
    insert_image(image());
    FS_FILE* f = SD_fopen("A.BIN", kFsModeRead);
    ASSERT_NE(f, nullptr);
    std::string got(10 * 2048, '\0');
    EXPECT_EQ(fread(got.data(), 1, got.size(), f), 2048u);
    EXPECT_EQ(SD_lastError(), kFsErrCorrupt);
    SD_fclose(f);
}

TEST_F(FatRobust, DataWithoutAClusterIsAnError) {
    // An entry that claims bytes but no cluster; an empty file has none, rightly.
    put("ONE.BIN", "1");
    put("EMPTY.BIN", "");
    const Geometry g = geometry(image());
    patch(image(), g.root + 26, le16(0));  // ONE.BIN is the root's first entry
    insert_image(image());
    EXPECT_EQ(SD_fopen("ONE.BIN", kFsModeRead), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrCorrupt);
    EXPECT_TRUE(same_bytes(fw_read("EMPTY.BIN"), ""));
}

TEST_F(FatRobust, DirectoryWhoseChainLoopsEnds) {
    // A folder that exactly fills its one cluster, then made to continue into itself.
    ASSERT_TRUE(mkfs(image(), {12, 1440, 1}));
    ASSERT_TRUE(mmd(image(), "::/D"));
    for (int i = 0; i < 14; ++i) {
        write_file(dir_ / "src", "x");
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/D/F" + std::to_string(i)));
    }
    const Geometry g = geometry(image());
    const uint32_t d = first_cluster(image(), "::/D");
    ASSERT_GE(d, 2u);
    const std::string table = read_file(image()).substr(g.fat, 4096);
    std::string two = table.substr(d + d / 2, 2);
    // Point the 12-bit entry of d at d itself.
    if (d & 1) {
        two[0] = char((uint8_t(two[0]) & 0x0F) | ((d & 0x0F) << 4));
        two[1] = char(d >> 4);
    } else {
        two[0] = char(d);
        two[1] = char((uint8_t(two[1]) & 0xF0) | ((d >> 8) & 0x0F));
    }
    patch(image(), g.fat + d + d / 2, two);
    insert_image(image());
    ASSERT_EQ(SD_chdir("D"), 0);
    EXPECT_LE(fw_list().size(), size_t(fat::kMaxDirectoryEntries));
    EXPECT_EQ(SD_fopen("NOPE", kFsModeRead), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrCorrupt);
    EXPECT_EQ(fcreate("NEW", 0), nullptr) << "no free entry in a directory without an end";
}

TEST_F(FatRobust, InconsistentBootSectorsAreNotMounted) {
    const std::string pristine = read_file(image()).substr(0, 512);
    const struct {
        size_t offset;
        std::string bytes;
    } damage[] = {
        {11, le16(1024)},         // sector size
        {13, std::string(1, 3)},  // sectors per cluster not a power of two
        {16, std::string(1, 0)},  // no FAT
        {19, le16(0)},            // total sectors: take the 32-bit field...
        {22, le16(1)},            // a FAT too small for the clusters
        {0, std::string(1, 0)},   // no jump instruction: not a boot sector
    };
    for (const auto& d : damage) {
        patch(image(), 0, pristine);
        patch(image(), d.offset, d.bytes);
        if (d.offset == 19) patch(image(), 32, le32(0x7FFFFFFF));  // ...which claims too much
        board().insert_sd_image(image());
        EXPECT_EQ(initialize_media(), 0) << "damage at " << d.offset;
        EXPECT_EQ(SDisInitialized(), 0);
        EXPECT_EQ(SD_lastError(), kFsErrUnsupported);
    }
    patch(image(), 0, pristine);
    insert_image(image());
}

TEST_F(FatRobust, Fat32RootOutsideTheVolumeIsNotMounted) {
    ASSERT_TRUE(mkfs(image(), {32, 40960, 1}));
    patch(image(), 44, le32(0x0FFFFF00));
    board().insert_sd_image(image());
    EXPECT_EQ(initialize_media(), 0);
}

TEST_F(FatRobust, PulledCardEndsOpenFilesCleanly) {
    put("A.BIN", pattern(5000, 8));
    insert_image(image());
    FS_FILE* f = SD_fopen("A.BIN", kFsModeRead);
    ASSERT_NE(f, nullptr);
    board().remove_sd();
    for (int ms = 0; ms < 60; ++ms) SDhotplugUpdate();
    SDcheckHotplug();
    EXPECT_EQ(SDisInitialized(), 0);
    char c;
    EXPECT_EQ(fread(&c, 1, 1, f), 0u);
    EXPECT_EQ(SD_fclose(f), -1);
    EXPECT_EQ(SD_fopen("A.BIN", kFsModeRead), nullptr);
    EXPECT_EQ(SD_lastError(), kFsErrNoCard);
    FS_DIRENT e;
    EXPECT_EQ(read_directory_entry(&e, 0), 0);
}

TEST_F(FatRobust, CardDetectIsDebounced) {
    put("A.BIN", "a");
    ASSERT_TRUE(mmd(image(), "::/SUB"));
    put("SUB/B.BIN", "b");
    insert_image(image());
    ASSERT_EQ(SD_chdir("SUB"), 0);
    board().bounce_card_detect(true);
    for (int ms = 0; ms < 49; ++ms) SDhotplugUpdate();
    board().bounce_card_detect(false);  // back before the switch settled
    for (int ms = 0; ms < 100; ++ms) SDhotplugUpdate();
    SDcheckHotplug();
    EXPECT_EQ(SDisInitialized(), 1) << "a short bounce is no removal";
    EXPECT_TRUE(same_bytes(fw_read("B.BIN"), "b")) << "nor a new mount, which starts in the root";

    board().remove_sd();
    for (int ms = 0; ms < 50; ++ms) SDhotplugUpdate();
    SDcheckHotplug();
    EXPECT_EQ(SDisInitialized(), 0);
    board().insert_sd_image(image());
    for (int ms = 0; ms < 50; ++ms) SDhotplugUpdate();
    SDcheckHotplug();
    EXPECT_EQ(SDisInitialized(), 1) << "a card put back is mounted again";
    EXPECT_TRUE(same_bytes(fw_read("A.BIN"), "a"));
}

// A card pulled and another pushed in faster than the debounce sees: the firmware still holds
// what it read from the first card (the FAT, the directory, a file half written), and none of
// it may reach the second. The next hot-plug step mounts the second card afresh.
TEST_F(FatRobust, FastSwapNeverWritesThroughTheOldCard) {
    put("A.BIN", pattern(3000, 1));
    // The other card differs in every figure of its layout.
    const std::string other = dir_ / "other.img";
    ASSERT_TRUE(mkfs(other, {12, 1440, 1}));
    write_file(dir_ / "src", "the other card");
    ASSERT_TRUE(mcopy_in(other, dir_ / "src", "::/OTHER.TXT"));
    const std::string other_before = read_file(other);
    const std::string data = pattern(20000, 2);

    insert_image(image());
    FS_FILE* f = fcreate("NEW.BIN", 0);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(data.data(), 1, 10000, f), 10000u);
    board().insert_sd_image(other);
    EXPECT_LT(fwrite(data.data() + 10000, 1, 10000, f), 10000u);
    EXPECT_EQ(SD_fclose(f), -1);
    EXPECT_EQ(fcreate("MORE.BIN", 0), nullptr);
    EXPECT_EQ(SD_mkdir("DIR"), -1);
    EXPECT_EQ(read_file(other), other_before) << "not a byte of the second card changed";
    EXPECT_EQ(SDisInitialized(), 1) << "the switch never moved";

    SDcheckHotplug();
    EXPECT_EQ(SDisInitialized(), 1);
    EXPECT_EQ(fw_list(), (std::vector<std::string>{"OTHER.TXT"}));
    EXPECT_TRUE(fw_write("NEW.BIN", data));
    eject();
    std::string log;
    EXPECT_TRUE(fsck_clean(other, &log)) << log;
    ASSERT_TRUE(mcopy_out(other, "::/NEW.BIN", dir_ / "out"));
    EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), data));
    ASSERT_TRUE(mcopy_out(other, "::/OTHER.TXT", dir_ / "out"));
    EXPECT_EQ(read_file(dir_ / "out"), "the other card");
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
    ASSERT_TRUE(mcopy_out(image(), "::/A.BIN", dir_ / "out"));
    EXPECT_TRUE(same_bytes(read_file(dir_ / "out"), pattern(3000, 1)));
}

TEST(FatNames, EntryNamesAsTheCallersSeeThem) {
    FS_DIRENT e{};
    std::memcpy(e.name, "\x05XYZ    ", 8);
    std::memcpy(e.ext, "   ", 3);
    char name[13];
    NameFromDirEntry(name, &e);
    EXPECT_STREQ(name, "\xE5XYZ.") << "0x05 stands for 0xE5; a blank extension keeps the dot";
    std::memcpy(e.name, "README  ", 8);
    std::memcpy(e.ext, "MD ", 3);
    NameFromDirEntry(name, &e);
    EXPECT_STREQ(name, "README.MD");
    std::memcpy(e.name, "ABCDEFGH", 8);
    std::memcpy(e.ext, "IJK", 3);
    NameFromDirEntry(name, &e);
    EXPECT_STREQ(name, "ABCDEFGH.IJK");
}

}  // namespace
}  // namespace voxa_test
