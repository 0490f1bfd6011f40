// The SD card commands through the whole module: cards made by mkfs.fat and mtools, a host
// folder, no card, a card that comes and goes, a card that fails.
#include <gtest/gtest.h>

#include "../support/dosfs.h"
#include "harness/harness.h"
#include "src/device/board.h"

namespace voxa_test {
namespace {

sim::Module::Options with_image(const std::string& image) {
    sim::Module::Options o;
    o.sd_image = image;
    return o;
}

class SdScenario : public ::testing::Test {
  protected:
    // A FAT16 card with a volume label, hidden and system files, a folder and a long name.
    void SetUp() override {
        std::string log;
        ASSERT_EQ(
            run("mkfs.fat -C --invariant -n VOXACARD -F 16 " + quote(image()) + " 32768", &log), 0)
            << log;
        put("README", "read me");
        put("DATA.BIN", pattern(3000, 1));
        ASSERT_TRUE(mmd(image(), "::/IMAGES"));
        put("IMAGES/PIC.BMP", pattern(10000, 2));
        put("HIDDEN.TXT", "h");
        put("SYSTEM.SYS", "s");
        ASSERT_EQ(run("mattrib -i " + quote(image()) + " +h ::/HIDDEN.TXT"), 0);
        ASSERT_EQ(run("mattrib -i " + quote(image()) + " +s ::/SYSTEM.SYS"), 0);
        put("A long name.txt", "long");
    }
    void put(const std::string& path, const std::string& data) {
        write_file(dir_ / "src", data);
        ASSERT_TRUE(mcopy_in(image(), dir_ / "src", "::/" + path));
    }
    std::string image() const { return dir_ / "card.img"; }
    TempDir dir_;
};

TEST_F(SdScenario, ListsACardMadeByMkfsAndMtools) {
    Harness h(with_image(image()));
    EXPECT_EQ(h.boot(), kBootNoFileOnCard);
    EXPECT_EQ(h.command("*ls"), "README\rDATA.BIN\rIMAGES/\rALONGN~1.TXT\r>\r");
    EXPECT_EQ(h.command("*cd images"), ">\r");
    EXPECT_EQ(h.command("*ls"), "./\r../\rPIC.BMP\r>\r");
    EXPECT_EQ(h.command("*cd .."), ">\r");
    EXPECT_EQ(h.command("*cd NOPE"), ":SD Card, chdir(\"NOPE\") FAILED\r!\r");
    EXPECT_EQ(h.command("*cd README"), ":SD Card, chdir(\"README\") FAILED\r!\r");
    EXPECT_EQ(h.command("*ls"), "README\rDATA.BIN\rIMAGES/\rALONGN~1.TXT\r>\r");
}

TEST_F(SdScenario, WriteTestFileArrivesIntact) {
    {
        Harness h(with_image(image()));
        h.boot();
        EXPECT_EQ(h.command("*cd IMAGES"), ">\r");
        EXPECT_EQ(h.command("fopen", 5000), ">\r");
        EXPECT_EQ(h.command("*ls"), "./\r../\rPIC.BMP\rMYTEST.INI\r>\r");
        EXPECT_EQ(h.command("fopen", 5000), ">\r") << "a second run replaces the file";
    }
    std::string log;
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
    ASSERT_TRUE(mcopy_out(image(), "::/IMAGES/MYTEST.INI", dir_ / "out"));
    const std::string file = read_file(dir_ / "out");
    ASSERT_EQ(file.size(), 10240u);
    // Each 512-byte block is its own numbered line, repeated.
    for (int block = 0; block < 20; ++block) {
        const std::string want = "voxa write test block " + std::string(block < 10 ? "0" : "") +
                                 std::to_string(block) + "\r\n";
        EXPECT_EQ(file.substr(size_t(block) * 512, want.size()), want) << block;
    }
    ASSERT_TRUE(mcopy_out(image(), "::/IMAGES/PIC.BMP", dir_ / "out"));
    EXPECT_EQ(read_file(dir_ / "out"), pattern(10000, 2)) << "the neighbour is untouched";
}

TEST_F(SdScenario, CardComesAndGoesWhileRunning) {
    sim::Module::Options o;
    o.no_sd = true;
    Harness h(o);
    h.boot();
    EXPECT_EQ(h.command("*cd IMAGES"), ":SD Card not ready\r!\r");
    EXPECT_EQ(h.command("fopen"), ":SD Card not ready\r!\r");
    EXPECT_EQ(h.command("*ls"), ">\r");

    h.module().insert_sd_image(image());
    h.run_ms(30);
    EXPECT_EQ(h.command("*ls"), ">\r") << "the switch is still settling";
    h.run_ms(100);
    EXPECT_EQ(h.command("*ls"), "README\rDATA.BIN\rIMAGES/\rALONGN~1.TXT\r>\r");
    EXPECT_EQ(h.command("*cd IMAGES"), ">\r");

    h.module().remove_sd();
    h.run_ms(100);
    EXPECT_EQ(h.command("*cd IMAGES"), ":SD Card not ready\r!\r");

    h.module().insert_sd_image(image());
    h.run_ms(150);
    EXPECT_EQ(h.command("*ls"), "README\rDATA.BIN\rIMAGES/\rALONGN~1.TXT\r>\r")
        << "a new card starts in its root";
}

// Cards swapped while the module runs, each time into a full slot: the firmware sees the
// first card go and the second come, writes each through its own FAT, and both stay sound.
TEST_F(SdScenario, SwappedCardsKeepTheirOwnFiles) {
    // The other card differs in every figure of its layout: FAT12, 1 MB, 512-byte clusters.
    const std::string other = dir_ / "other.img";
    ASSERT_EQ(run("mkfs.fat -C --invariant -n OTHER -F 12 -s 1 " + quote(other) + " 1024"), 0);
    write_file(dir_ / "src", "the other card");
    ASSERT_TRUE(mcopy_in(other, dir_ / "src", "::/OTHER.TXT"));

    Harness h(with_image(image()));
    h.boot();
    EXPECT_EQ(h.command("fopen", 5000), ">\r");

    h.module().insert_sd_image(other);
    h.run_ms(60);
    EXPECT_EQ(h.command("*cd IMAGES"), ":SD Card not ready\r!\r") << "the first card went";
    h.run_ms(200);
    EXPECT_EQ(h.command("*ls"), "OTHER.TXT\r>\r") << "the second came";
    EXPECT_EQ(h.command("fopen", 5000), ">\r");
    EXPECT_EQ(h.command("*ls"), "OTHER.TXT\rMYTEST.INI\r>\r");

    // Out and in again with no time between: the same as a swap.
    h.module().remove_sd();
    h.module().insert_sd_image(image());
    h.run_ms(60);
    EXPECT_EQ(h.command("*ls"), ">\r");
    EXPECT_EQ(h.command("*cd IMAGES"), ":SD Card not ready\r!\r");
    h.run_ms(200);
    EXPECT_EQ(h.command("*cd IMAGES"), ">\r");
    EXPECT_EQ(h.command("fopen", 5000), ">\r");
    EXPECT_EQ(h.command("*ls"), "./\r../\rPIC.BMP\rMYTEST.INI\r>\r");

    std::string log;
    EXPECT_TRUE(fsck_clean(image(), &log)) << log;
    EXPECT_TRUE(fsck_clean(other, &log)) << log;
    ASSERT_EQ(run("mdir -b -i " + quote(other) + " ::/", &log), 0) << log;
    EXPECT_EQ(log, "::/OTHER.TXT\n::/MYTEST.INI\n");
    ASSERT_EQ(run("mtype -i " + quote(other) + " ::/OTHER.TXT", &log), 0) << log;
    EXPECT_EQ(log, "the other card");
    const std::string block0 = "voxa write test block 00\r\n";
    ASSERT_EQ(run("mtype -i " + quote(other) + " ::/MYTEST.INI", &log), 0) << log;
    EXPECT_EQ(log.size(), 10240u);
    EXPECT_EQ(log.substr(0, block0.size()), block0);
    for (const char* file : {"::/MYTEST.INI", "::/IMAGES/MYTEST.INI"}) {
        ASSERT_EQ(run("mtype -i " + quote(image()) + " " + file, &log), 0) << file << log;
        EXPECT_EQ(log.size(), 10240u) << file;
        EXPECT_EQ(log.substr(0, block0.size()), block0) << file;
    }
    ASSERT_TRUE(mcopy_out(image(), "::/IMAGES/PIC.BMP", dir_ / "out"));
    EXPECT_EQ(read_file(dir_ / "out"), pattern(10000, 2));
}

TEST_F(SdScenario, FailingCardIsReported) {
    Harness h(with_image(image()));
    h.boot();
    h.module().fail_sd_writes_from(1);
    EXPECT_EQ(h.command("fopen", 5000), ":SD card error 3\r!\r");
    h.module().fail_sd_writes_from(0);
    EXPECT_EQ(h.command("fopen", 5000), ">\r");
}

TEST_F(SdScenario, ConfigIniOnAnImageIsMerged) {
    put("CONFIG.INI", "verbose 1\r\nconfig = \"on the image\"\r\n");
    Harness h(with_image(image()));
    EXPECT_EQ(h.boot(),
              ":config.ini verbose mode enabled\r:config = \"on the image\"\r"
              ":storing new values in EEPROM\r" +
                  std::string(kBootNoFileOnCard));
}

TEST(SdFolder, HostFolderIsTheCard) {
    TempDir card;
    run("mkdir -p " + quote(card / "Some Folder"));
    write_file(card / "notes.txt", "n");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    h.boot();
    EXPECT_EQ(h.command("*ls"), "SOMEFO~1/\rNOTES.TXT\r>\r") << "host names in byte order";
    EXPECT_EQ(h.command("*cd somefo~1"), ">\r");
    EXPECT_EQ(h.command("fopen", 5000), ">\r");
    EXPECT_EQ(read_file(card / "Some Folder/MYTEST.INI").size(), 10240u);
}

TEST(SdLed, FollowsTheCommand) {
    Harness h;
    h.boot();
    const auto led = [&h]() {
        int level = -1;
        for (const auto& e : h.module().events()) {
            if (e.kind == simlink::Event::kGpio && int(e.value >> 8) == int(Gpio::kSdLed)) {
                level = int(e.value & 1);
            }
        }
        return level;
    };
    EXPECT_EQ(h.command("*sdled 5"), ">\r");
    EXPECT_EQ(led(), 1);
    EXPECT_EQ(h.command("*sdled 0"), ">\r");
    EXPECT_EQ(led(), 0);
    EXPECT_EQ(h.command("*sdled"), "!\r");
}

}  // namespace
}  // namespace voxa_test
