// A host folder shown as the card: the firmware's file operations through the board's driver.
#include <gtest/gtest.h>

#include "boards/sim/host_folder.h"
#include "fat_test_util.h"

namespace voxa_test {
namespace {

TEST(HostFolderNames, ShortNamesAsAPcGivesThem) {
    const auto s = sim::HostFolder::short_names({"config.ini", "CONFIG.INI", "a long name.txt",
                                                 "a long name 2.txt", "README", "x.jpeg",
                                                 "Mixed.Txt", "two.dots.bin"});
    EXPECT_EQ(
        s, (std::vector<std::string>{"CONFIG  INI", "CONFIG~1INI", "ALONGN~1TXT", "ALONGN~2TXT",
                                     "README     ", "X~1     JPE", "MIXED   TXT", "TWODOT~1BIN"}));
}

class HostFolderCard : public ::testing::Test {
  protected:
    void SetUp() override {
        run("mkdir -p " + quote(dir_ / "Sub Folder") + " " + quote(dir_ / "sub2"));
        write_file(dir_ / "config.ini", "tplo = 5\n");
        write_file(dir_ / "A long name.txt", pattern(5000, 1));
        write_file(dir_ / ".hidden", "not shown");
        write_file(dir_ / "Sub Folder/inner.bin", pattern(70000, 2));
        board().insert_sd_folder(dir_.path());
        ASSERT_EQ(initialize_media(), 1);
    }
    void TearDown() override { eject(); }
    TempDir dir_;
};

TEST_F(HostFolderCard, ListsAndReadsLikeAFatCard) {
    EXPECT_EQ(fw_list(),
              (std::vector<std::string>{"ALONGN~1.TXT", "SUBFOL~1.", "CONFIG.INI", "SUB2."}));
    EXPECT_TRUE(same_bytes(fw_read("Config.Ini"), "tplo = 5\n"));
    EXPECT_TRUE(same_bytes(fw_read("ALONGN~1.TXT"), pattern(5000, 1)));
    ASSERT_EQ(SD_chdir("subfol~1"), 0);
    EXPECT_EQ(fw_list(), (std::vector<std::string>{"..", "...", "INNER.BIN"}));
    EXPECT_TRUE(same_bytes(fw_read("INNER.BIN"), pattern(70000, 2)));
    EXPECT_TRUE(same_bytes(fw_read_chunks("INNER.BIN"), pattern(70000, 2)));
    FS_FILE* f = SD_fopen("inner.bin", kFsModeRead);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(SD_fopen("inner.bin", kFsModeRead), nullptr) << "one file at a time";
    ASSERT_EQ(fseek(f, 69999, 0), 0);
    char last;
    EXPECT_EQ(fread(&last, 1, 1, f), 1u);
    EXPECT_EQ(last, pattern(70000, 2).back());
    SD_fclose(f);
    EXPECT_EQ(SD_chdir("../SUB2"), 0);
    EXPECT_EQ(SD_chdir("/"), 0);
    EXPECT_NE(SD_chdir(".."), 0);
    EXPECT_NE(SD_chdir("SUB2/NOWHERE"), 0);
    EXPECT_TRUE(same_bytes(fw_read("CONFIG.INI"), "tplo = 5\n"))
        << "a failed path leaves the directory";
}

TEST_F(HostFolderCard, WrittenFilesAppearInTheFolder) {
    ASSERT_TRUE(fw_write("new.txt", pattern(1500, 3), {100, 1, 511}));
    EXPECT_TRUE(same_bytes(read_file(dir_ / "NEW.TXT"), pattern(1500, 3)));
    ASSERT_TRUE(fw_write("config.ini", "tphi = 9\n"));
    EXPECT_TRUE(same_bytes(read_file(dir_ / "config.ini"), "tphi = 9\n"))
        << "an existing file keeps its name";
    ASSERT_EQ(SD_mkdir("made"), 0);
    EXPECT_NE(SD_mkdir("MADE"), 0);
    ASSERT_EQ(SD_chdir("MADE"), 0);
    ASSERT_TRUE(fw_write("IN.BIN", "inside"));
    EXPECT_TRUE(same_bytes(read_file(dir_ / "MADE/IN.BIN"), "inside"));
    FS_FILE* f = fcreate("STREAM.BIN", 0);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite("0123456789", 1, 10, f), 10u);
    ASSERT_EQ(SD_fclose(f), 0);
    EXPECT_TRUE(same_bytes(read_file(dir_ / "MADE/STREAM.BIN"), "0123456789"));
}

// Another folder pushed in faster than the debounce sees: the firmware's current directory
// belongs to the first card and must not lead its writes astray in the second, which is
// mounted afresh (in its root) at the next hot-plug step.
TEST_F(HostFolderCard, FastSwapToAnotherFolderIsNotWrittenUnseen) {
    ASSERT_EQ(SD_chdir("SUB2"), 0);
    TempDir other;
    write_file(other / "keep.txt", "k");
    board().insert_sd_folder(other.path());
    EXPECT_FALSE(fw_write("NEW.TXT", "x"));
    EXPECT_EQ(SD_mkdir("MADE"), -1);
    EXPECT_FALSE(file_exists(other / "NEW.TXT"));
    EXPECT_FALSE(file_exists(other / "MADE"));
    SDcheckHotplug();
    EXPECT_EQ(fw_list(), (std::vector<std::string>{"KEEP.TXT"}));
    ASSERT_TRUE(fw_write("NEW.TXT", "x"));
    EXPECT_TRUE(same_bytes(read_file(other / "NEW.TXT"), "x"));
    eject();
}

}  // namespace
}  // namespace voxa_test
