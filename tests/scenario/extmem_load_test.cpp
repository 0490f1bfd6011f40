// The bitmap/macro file through the whole module: found on the card and loaded into RAM, copied
// into the flash window (flash2.ini, "*LOADF", power cuts in the middle), taken from the window
// without a card, listed, reloaded by "*LOAD", "*flash2ram" and "*sdload", the splash file and
// the demo macro of rundemo.ini.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"
#include "imgpack.h"
#include "sim/screen.h"
#include "sim/test_folder.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr uint32_t kWindow = 0xC8400000;
constexpr uint32_t kRam = 0xC0400000;
constexpr uint32_t kMax = 0x1BC0000;
constexpr const char* kFromCard = ":loading 1KB bitmap/macro file from SD card\r";
constexpr const char* kFromFlash = ":loading 1KB bitmap/macro file from flash2\r";
constexpr const char* kCopied =
    ":loading 1KB bitmap/macro file from SD card\r:Erasing Flash2\r:.\r:Programming Flash2\r:."
    "  DONE!\r";

imgpack::Record bitmap(uint32_t w, uint32_t h, std::vector<uint16_t> pixels,
                       imgpack::Encoding enc = imgpack::Encoding::kPlain, int key = -1) {
    imgpack::Record r;
    r.kind = imgpack::Record::Kind::kBitmap;
    r.bitmap.width = w;
    r.bitmap.height = h;
    r.bitmap.pixels = std::move(pixels);
    r.encoding = enc;
    if (key >= 0) {
        r.bitmap.transparent = true;
        r.bitmap.key = uint16_t(key);
    }
    return r;
}

// Macros (1 "one" sends "A", 2 "two" sends "B", 3 sends the text given), a plain 2x2, a
// run-length 3x1, a transparent 2x1 and a blank record.
std::vector<uint8_t> image(bool window = false, const std::string& third = "C",
                           std::vector<imgpack::RecordLayout>* layout = nullptr) {
    imgpack::ImageFile f;
    f.flash2_locations = window;
    imgpack::Record m;
    m.kind = imgpack::Record::Kind::kMacros;
    m.macros.macros = {
        {"one", {"outs \"A\""}}, {"two", {"outs \"B\""}}, {"", {"outs \"" + third + "\""}}};
    f.records.push_back(m);
    f.records.push_back(bitmap(2, 2, {0xF800, 0x07E0, 0x001F, 0xFFFF}));
    f.records.push_back(bitmap(3, 1, {0x1234, 0x1234, 0x1234}, imgpack::Encoding::kRle));
    f.records.push_back(bitmap(2, 1, {0xF81F, 0x0841}, imgpack::Encoding::kPlain, 0xF81F));
    f.records.push_back(imgpack::Record{});
    std::string error;
    auto bytes = imgpack::build(f, layout, &error);
    EXPECT_FALSE(bytes.empty()) << error;
    return bytes;
}

uint32_t get32(const std::vector<uint8_t>& b, uint32_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

std::string hex(uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%06x", v);
    return s;
}

void write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
void write(const std::string& path, const std::string& text) {
    write(path, std::vector<uint8_t>(text.begin(), text.end()));
}

class ExtMemLoad : public ::testing::Test {
  protected:
    ExtMemLoad() : card_("extmem-card"), state_("extmem-state") {}
    sim::Module::Options options(bool card = true) const {
        sim::Module::Options o;
        o.state_dir = state_.path();
        if (card) o.sd_dir = card_.path();
        return o;
    }
    std::string card(const std::string& name) const { return card_.path() + "/" + name; }
    // The record lines "lsbmp" shows for the image above, its locations relocated to base.
    std::string listing(const std::vector<uint8_t>& file, uint32_t base, const char* where) {
        std::vector<imgpack::RecordLayout> l;
        image(false, "C", &l);
        auto at = [&](int i) { return hex(base + l[size_t(i)].start); };
        auto px = [&](int i) { return hex(base + l[size_t(i)].start + 20); };
        return "Records: 5\r"
               "  00: type 3 @ " +
               at(0) +
               " size 3\r    Macro Definitions\r"
               "  01: type 1 @ " +
               at(1) +
               " size 28\r    Uncompressed Bitmap: 2x2\r"
               "    2x2 16bpp (4 Bpl)\r    gBitmap  @ " +
               at(1) +
               "\r    gPal     @ 000000\r"
               "    pixels   @ " +
               px(1) +
               "\r      0: 0x00\r      1: 0xF8\r      2: 0xE0\r"
               "      3: 0x07\r      4: 0x1F\r      5: 0x00\r      6: 0xFF\r      7: 0xFF\r"
               "  02: type 2 @ " +
               at(2) +
               " size 23\r    Compressed Bitmap: 3x1\r"
               "    3x1 16bpp (6 Bpl)\r    gBitmap  @ " +
               at(2) +
               "\r    gPal     @ 000000\r"
               "    pixels   @ " +
               px(2) +
               "\r      0: 0x03\r      1: 0x34\r      2: 0x12\r"
               "  03: type 5 @ " +
               at(3) +
               " size 24\r"
               "    Uncompressed Transparent Bitmap: 2x1 (0xF81F)\r"
               "    2x1 16bpp (4 Bpl)\r    gBitmap  @ " +
               at(3) +
               "\r    gPal     @ 00f81f\r"
               "    pixels   @ " +
               px(3) +
               "\r      0: 0x1F\r      1: 0xF8\r      2: 0x41\r"
               "      3: 0x08\r"
               "  04: type 0 @ " +
               hex(base + get32(file, 8 + 4 * 12 + 4) % kWindow) +
               " size 0\r    Blank Record\r"
               "\rTotal Used 1KB (" +
               where + ")\r>\r";
    }
    TestFolder card_, state_;
};

TEST_F(ExtMemLoad, CardFileIsLoadedIntoRamRelocatedAndListed) {
    const auto file = image();
    write(card("VOXA.BIN"), file);
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ">\r");
    EXPECT_EQ(h.command("lsbmp"), listing(file, kRam, "DRAM"));
    EXPECT_EQ(h.command("lsbmp 0"), "  00: type 3 @ " + hex(kRam + get32(file, 12)) +
                                        " size 3\r    Macro Definitions\r>\r");
    EXPECT_EQ(h.command("lsbmp 5"), ":index outside valid range\r!\r");
    EXPECT_EQ(h.command("ls"), "Records: 5\r  00: type 3 @ " + hex(kRam + get32(file, 12)) +
                                   " size 3\r    Macro Definitions\r  01: type 1 @ " +
                                   hex(kRam + get32(file, 24)) +
                                   " size 28\r    Uncompressed Bitmap: 2x2\r  02: type 2 @ " +
                                   hex(kRam + get32(file, 36)) +
                                   " size 23\r    Compressed Bitmap: 3x1\r  03: type 5 @ " +
                                   hex(kRam + get32(file, 48)) +
                                   " size 24\r    Uncompressed Transparent Bitmap: 2x1 "
                                   "(0xF81F)\r  04: type 0 @ " +
                                   hex(kRam + get32(file, 60)) +
                                   " size 0\r    Blank Record\r\rTotal Used 1KB (DRAM)\r>\r");
    EXPECT_EQ(h.command("m 2", 100), "B");
    EXPECT_EQ(h.command("xi 1 10 10"), ">\r");
    EXPECT_EQ(h.pixel(11, 10), 0x07E0);
    // "*LOAD" goes through the same order again.
    EXPECT_EQ(h.command("*LOAD"), std::string(kFromCard) + ">\r");
    h.module().remove_sd();
    h.run_ms(200);
    EXPECT_EQ(h.command("*load"), ":No .BIN file in flash or on SD card\r!\r");
}

TEST_F(ExtMemLoad, FontAndUnknownRecordsAreListedFromTheWindow) {
    ImageBuilder b;
    b.add(0, {});
    b.addFont("uf", 3);
    b.add(7, {1, 2, 3, 4});
    const auto file = b.build(kWindow);
    Harness h(options(false));
    ASSERT_TRUE(h.flash2(file));
    EXPECT_EQ(h.boot(), std::string(kFromFlash) + ":record 2 invalid\r>\r");
    EXPECT_EQ(h.command("lsbmp"),
              "Records: 3\r  00: type 0 @ " + hex(get32(file, 12)) +
                  " size 0\r    Blank Record\r  01: type 4 @ " + hex(get32(file, 24)) +
                  " size 33\r    User Font\r  02: type 7 @ " + hex(get32(file, 36)) +
                  " size 4\r    Unknown record type!\r\rTotal Used 1KB (FLASH)\r>\r");
}

TEST_F(ExtMemLoad, HeaderRefusalsFallBackToTheFlashImage) {
    const auto good = image();
    auto old_magic = good;
    old_magic[0] = 0xEB;
    auto wrong = good;
    wrong[0] = 0x34;
    wrong[1] = 0x12;
    auto longer = good;
    longer.push_back(0);
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {{0xEC, 0xFE, 1, 0}, ":SD card .BIN file too small\r"},
        {old_magic, ":SD card .BIN file created for VOXA5; select VOXA5 PLUS in ImgPack\r"},
        {wrong, ":SD card .BIN file header is not valid (got 0x1234, expected 0xFEEC)\r"},
        {longer, ":SD card .BIN file invalid (internal size error)\r"},
    };
    for (const bool flash : {false, true}) {
        for (const auto& [bytes, message] : cases) {
            write(card("VOXA.BIN"), bytes);
            Harness h(options());
            if (flash) {
                ASSERT_TRUE(h.flash2(image(true, "F")));
            }
            EXPECT_EQ(h.boot(), message + (flash ? std::string(kFromFlash) + ">\r"
                                                 : std::string(kBootNoFileOnCard)));
            if (flash) {
                EXPECT_EQ(h.command("m 3", 100), "F") << "the window's macros";
            }
        }
    }
    // Too big: only the header is read, so a sparse file will do.
    auto big = good;
    big[4] = 1;
    big[5] = 0;
    big[6] = 0xBC;
    big[7] = 0x01;
    write(card("VOXA.BIN"), big);
    std::filesystem::resize_file(card("VOXA.BIN"), kMax + 1);
    Harness h(options());
    EXPECT_EQ(h.boot(),
              ":SD card .BIN file 28416KB > max 28416KB\r" + std::string(kFromFlash) + ">\r");
}

TEST_F(ExtMemLoad, FindsTheFirstVoxaBinAndSkipsOtherNames) {
    write(card("OTHER.BIN"), image(false, "O"));
    write(card("VOXA.TXT"), image(false, "T"));
    write(card("VOXAPIC.BIN"), image(false, "P"));
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ">\r");
    EXPECT_EQ(h.command("m 3", 100), "P");
}

TEST_F(ExtMemLoad, DamagedRecordsAreNamedAndNeverUsedTheRestWorks) {
    auto file = image();
    // Bitmap 1's pixels are said to be eight rows high; macro 2's line leaves the file.
    file[get32(file, 24) + 2] = 8;
    const uint32_t table = get32(file, 12);
    file[table + 8] = 0xF0;
    file[table + 9] = 0xFF;
    write(card("VOXA.BIN"), file);
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ":record 0 invalid\r:record 1 invalid\r>\r");
    EXPECT_EQ(h.command("xi 1 0 0"), "!\r");
    EXPECT_EQ(h.command("xi 3 0 0"), ">\r");
    EXPECT_EQ(h.command("m 1", 100), "A");
    EXPECT_EQ(h.command("m 2"), ":macro index 2 not valid\r!\r");
    // A bad directory refuses the file.
    file = image();
    file[2] = 200;
    write(card("VOXA.BIN"), file);
    EXPECT_EQ(h.command("*LOAD"),
              std::string(kFromCard) + ":SD card .BIN file directory invalid\r!\r");
}

TEST_F(ExtMemLoad, WindowLocationInARamFileEndsUpInTheRamArea) {
    // One blank record whose location is the window's address of offset 16.
    std::vector<uint8_t> file = {0xEC, 0xFE, 1,    0, 20,   0,    0, 0, 0, 0,
                                 0,    0,    0x10, 0, 0x40, 0xC8, 0, 0, 0, 0};
    write(card("VOXA.BIN"), file);
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ">\r");
    EXPECT_EQ(h.command("lsbmp 0"), "  00: type 0 @ c0400010 size 0\r    Blank Record\r>\r");
}

TEST_F(ExtMemLoad, Flash2IniCopiesIntoTheWindowUsedWithoutACardAcrossRuns) {
    const auto file = image();
    write(card("VOXA.BIN"), file);
    write(card("FLASH2.INI"), "");
    {
        Harness h(options());
        EXPECT_EQ(h.boot(), std::string(kCopied) + ">\r");
        EXPECT_EQ(h.command("lsbmp"), listing(file, kWindow, "FLASH"));
        h.module().remove_sd();
        h.module().power_cycle();
        EXPECT_EQ(h.run_until_text(">\r", 5000), std::string(kFromFlash) + ">\r");
        EXPECT_EQ(h.command("m 3", 100), "C");
        EXPECT_EQ(h.command("*flash2ram"), ">\r");
        EXPECT_EQ(h.command("lsbmp"), listing(file, kRam, "DRAM"));
    }
    Harness h(options(false));
    EXPECT_EQ(h.boot(), std::string(kFromFlash) + ">\r");
    EXPECT_EQ(h.command("xi 1 0 0"), ">\r");
    EXPECT_EQ(h.pixel(0, 1), 0x001F);
}

TEST_F(ExtMemLoad, LoadfPowerCutAtEveryFlashStepLeavesTheOldTheNewOrNoImage) {
    // An old image in two sectors, a new one of three program blocks.
    imgpack::ImageFile oldf, newf;
    oldf.flash2_locations = true;
    oldf.records = {imgpack::Record{}, bitmap(300, 300, std::vector<uint16_t>(90000, 0x1111))};
    newf.records = {imgpack::Record{}, bitmap(200, 180, std::vector<uint16_t>(36000, 0x2222))};
    const auto old_bytes = imgpack::build(oldf);
    const auto new_bytes = imgpack::build(newf);
    write(card("VOXA.BIN"), new_bytes);
    // A full copy, counting its flash operations.
    uint64_t ops;
    {
        Harness h(options());
        ASSERT_TRUE(h.flash2(old_bytes));
        h.boot();
        const uint64_t before = h.module().flash_ops();
        // "  DONE!\r" ends like a failure prompt: wait for the real one.
        h.send("*LOADF\r");
        EXPECT_EQ(h.run_until_text("DONE!\r>\r", 20000),
                  ":loading 70KB bitmap/macro file from SD card\r:Erasing Flash2\r:.\r"
                  ":Programming Flash2\r:...  DONE!\r>\r");
        ops = h.module().flash_ops() - before;
        ASSERT_EQ(ops, 1u + 3u + 1u) << "one erase, three blocks, the magic";
    }
    int none = 0, old_image = 0, new_image = 0;
    for (uint64_t n = 1; n <= ops; ++n) {
        for (const bool done : {false, true}) {
            Harness h(options());
            ASSERT_TRUE(h.flash2(old_bytes));
            h.boot();
            h.module().cut_power_at_flash_op(n, done);
            h.send("*LOADF\r");
            h.run_ms(20000);
            ASSERT_TRUE(h.module().power_cut()) << n;
            h.module().remove_sd();
            h.take();
            h.module().power_on();
            const std::string out = h.run_until_text(">\r", 5000);
            const auto stored = h.module().read_flash2(0, uint32_t(new_bytes.size()));
            if (out == std::string(kBootNoFile)) {
                ++none;
                continue;
            }
            if (out == ":loading 175KB bitmap/macro file from flash2\r>\r") {
                ++old_image;
                EXPECT_EQ(h.module().read_flash2(0, uint32_t(old_bytes.size())), old_bytes) << n;
                continue;
            }
            ASSERT_EQ(out, ":loading 70KB bitmap/macro file from flash2\r>\r") << n << done;
            EXPECT_EQ(h.command("xi 1 0 0"), ">\r");
            EXPECT_EQ(h.pixel(199, 179), 0x2222) << n;
            EXPECT_EQ(get32(stored, 4), new_bytes.size());
            ++new_image;
        }
    }
    // The cut before the first erase keeps the old image, the one after the magic gives the
    // new one, and everything in between none.
    EXPECT_EQ(old_image, 1);
    EXPECT_EQ(new_image, 1);
    EXPECT_EQ(none, int(2 * ops - 2));
}

TEST_F(ExtMemLoad, Flash2RamCopiesEveryByteOfAnOddSize) {
    imgpack::ImageFile f;
    f.flash2_locations = true;
    f.records = {imgpack::Record{}, bitmap(1, 1, {0x1234})};
    const auto bytes = imgpack::build(f);
    ASSERT_NE(bytes.size() % 4, 0u);
    ASSERT_EQ(bytes.size() - 2, get32(bytes, 24) - kWindow + 20) << "the pixel ends the file";
    Harness h(options(false));
    ASSERT_TRUE(h.flash2(bytes));
    EXPECT_EQ(h.boot(), std::string(kFromFlash) + ">\r");
    EXPECT_EQ(h.command("*flash2ram"), ">\r");
    EXPECT_EQ(h.command("xi 1 5 5"), ">\r");
    EXPECT_EQ(h.pixel(5, 5), 0x1234);
    const std::string listed = h.command("ls");
    EXPECT_EQ(listed.substr(listed.size() - 24), "Total Used 1KB (DRAM)\r>\r");
}

TEST_F(ExtMemLoad, Flash2RamRefusesAnEmptyWindow) {
    Harness h(options(false));
    EXPECT_EQ(h.boot(), std::string(kBootNoFile));
    EXPECT_EQ(h.command("*flash2ram"), ":Flash2 memory invalid (saw FFFF, expected FEEC)\r!\r");
    EXPECT_EQ(h.command("lsbmp"), ":External Memory not valid\r!\r");
    EXPECT_EQ(h.command("ls"), ":External Memory not valid\r!\r");
}

TEST_F(ExtMemLoad, SdloadLoadsAFolderAndQueuesItsMacro) {
    std::filesystem::create_directories(card("SUB"));
    write(card("SUB/VOXA.BIN"), image(false, "S"));
    write(card("VOXA.BIN"), image(false, "R"));
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ">\r");
    h.send("*sdload SUB 3\r");
    EXPECT_EQ(h.run_until_text(">\rS", 500), ":loading 1KB bitmap/macro file from SD card...\r>\rS")
        << "the queued macro of the folder's file";
    // Back in the parent folder: "." loads the root's file.
    EXPECT_EQ(h.command("*sdload ."), ":loading 1KB bitmap/macro file from SD card...\r>\r");
    EXPECT_EQ(h.command("m 3", 100), "R");
    EXPECT_EQ(h.command("*sdload NOPE"), ":SD Card, chdir(\"NOPE\") FAILED\r!\r");
    EXPECT_EQ(h.command("*sdload SUB 255"), ":invalid macro index number\r!\r");
    EXPECT_EQ(h.command("m 3", 100), "R") << "the load was skipped";
    EXPECT_EQ(h.command("*sdload ."), ":loading 1KB bitmap/macro file from SD card...\r>\r")
        << "and the folder changed back";
    h.module().remove_sd();
    h.run_ms(200);
    EXPECT_EQ(h.command("*sdload SUB"), ":SD Card not ready\r!\r");
}

TEST_F(ExtMemLoad, RundemoIniRunsItsMacroBeforeThePrompt) {
    write(card("VOXA.BIN"), image());
    write(card("RUNDEMO.INI"), "verbose = 1\r\ndemomac = 258\r\n");
    {
        Harness h(options());
        EXPECT_EQ(h.boot(), std::string(kFromCard) +
                                ":rundemo.ini verbose mode enabled\r:demomac = 258\rB>\r");
    }
    write(card("RUNDEMO.INI"), "# " + std::string(1100, 'x') + "\r\ndemomac = 1\r\n");
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ":rundemo.ini could not be loaded\r>\r");
}

TEST_F(ExtMemLoad, SplashFileMessages) {
    write(card("VOXA.BIN"), image());
    write(card("SPLASH.BMP"), "BM");
    std::filesystem::resize_file(card("SPLASH.BMP"), kMax + 1);
    {
        Harness h(options());
        EXPECT_EQ(h.boot(),
                  ":splash.bmp could not be loaded - too big\r" + std::string(kFromCard) + ">\r");
    }
    // A file that is not a picture leaves the start-up screen to the banner; the graphics
    // library says why.
    write(card("SPLASH.BMP"), std::string("BM") + std::string(100, '\0'));
    {
        Harness h(options());
        EXPECT_EQ(h.boot(), ":GUI_WARN:BMP: unknown header\r" + std::string(kFromCard) + ">\r");
    }
    // A 2 x 2 picture of 24 bits: drawn at the top-left corner.
    std::string bmp = "BM";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bmp += char(v >> (8 * i));
    };
    le(54 + 16, 4);
    le(0, 4);
    le(54, 4);
    le(40, 4);
    le(2, 4);
    le(2, 4);
    le(1, 2);
    le(24, 2);
    for (int i = 0; i < 6; ++i) le(0, 4);
    // Bottom row red, green; top row blue, white (blue, green, red bytes; rows of 8 bytes).
    bmp += std::string("\x00\x00\xFF\x00\xFF\x00\0\0", 8);
    bmp += std::string("\xFF\x00\x00\xFF\xFF\xFF\0\0", 8);
    write(card("SPLASH.BMP"), bmp);
    Harness h(options());
    EXPECT_EQ(h.boot(), std::string(kFromCard) + ">\r");
    EXPECT_EQ(h.pixel(0, 0), 0x001F);
    EXPECT_EQ(h.pixel(1, 0), 0xFFFF);
    EXPECT_EQ(h.pixel(0, 1), 0xF800);
    EXPECT_EQ(h.pixel(1, 1), 0x07E0);
}

// Read errors part-way through a file, on a FAT image card whose sector reads start failing at
// each point in turn: a splash that cannot be read whole, a bitmap/macro file that cannot.
TEST_F(ExtMemLoad, ReadErrorsPartWayThroughAFileAreReported) {
    const std::string img = card("card.img");
    std::string log;
    ASSERT_EQ(run("mkfs.fat -C --invariant -F 16 " + quote(img) + " 32768", &log), 0) << log;
    imgpack::ImageFile f;
    f.records = {imgpack::Record{}, bitmap(100, 100, std::vector<uint16_t>(10000, 0x3333))};
    write(card("src"), imgpack::build(f));
    ASSERT_TRUE(mcopy_in(img, card("src"), "::/VOXA.BIN"));
    sim::Module::Options o;
    o.sd_image = img;
    o.state_dir = state_.path();
    const std::string loading = ":loading 19KB bitmap/macro file from SD card\r";
    bool file_error = false, splash_error = false, copy_error = false;
    // The file is read in a few large pieces: the first reads decide.
    for (uint64_t n = 1; n <= 4; ++n) {
        Harness h(o);
        ASSERT_EQ(h.boot(), loading + ">\r");
        h.module().fail_sd_reads_from(n);
        h.send("*LOADF\r");
        h.run_ms(3000);
        const std::string out = h.take();
        if (out == loading +
                       "Error - Failed to read file 'VOXA.BIN' into memory\r"
                       ":Failed to copy .BIN file from SD Card to Flash\r!\r") {
            copy_error = true;
            EXPECT_EQ(h.command("xi 1 0 0"), "!\r") << "the empty window is not taken";
        }
    }
    EXPECT_TRUE(copy_error);
    for (const bool splash : {false, true}) {
        if (splash) {
            write(card("src"), "BM" + std::string(20000, 'x'));
            ASSERT_TRUE(mcopy_in(img, card("src"), "::/SPLASH.BMP"));
        }
        // The splash is no picture: the graphics library says so and the banner stays.
        const std::string boot = (splash ? ":GUI_WARN:BMP: unknown header\r" : "") + loading;
        for (uint64_t n = 1; n <= 40; ++n) {
            Harness h(o);
            ASSERT_EQ(h.boot(), boot + ">\r");
            h.module().fail_sd_reads_from(n);
            const std::string out = h.command("*LOAD", 3000);
            if (out == loading + ":SD card error 2\r!\r") file_error = true;
            if (out.rfind(":splash.bmp could not be loaded\r", 0) == 0) splash_error = true;
            // Whatever failed, no half-read image is ever used.
            EXPECT_TRUE(out == loading + ">\r" || h.command("xi 1 0 0") == "!\r" ||
                        h.pixel(99, 99) == 0x3333)
                << n << ": " << visible(out);
        }
    }
    EXPECT_TRUE(file_error);
    EXPECT_TRUE(splash_error);
}

}  // namespace
}  // namespace voxa_test

namespace voxa_test {
namespace {

// The copy's progress screen is drawn in the build's progress font: the title the module shows
// after "*LOADF" matches the same title drawn with that font by the host's own commands.
TEST_F(ExtMemLoad, ProgressScreenUsesTheBuildsFont) {
    write(card("VOXA.BIN"), image());
    const struct {
        sim::Panel panel;
        const char* font;
    } builds[] = {
        {sim::Panel::kWvga, "m12"}, {sim::Panel::kSvga, "m16"}, {sim::Panel::kVga, "m12"}};
    for (const auto& b : builds) {
        SCOPED_TRACE(sim::panel_name(b.panel));
        sim::Module::Options o = options();
        o.panel = b.panel;
        Harness h(o);
        h.boot();
        h.send("*LOADF\r");
        ASSERT_NE(h.run_until_text("DONE!\r>\r", 20000).find("DONE!"), std::string::npos);
        // The title as shown, then drawn again by the host in a font; compared over the rows
        // the host's title inks (the dots start on the line below).
        std::vector<uint16_t> shown;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 400; ++x) shown.push_back(h.pixel(x, y));
        }
        const auto same_title_in = [&](const char* font) {
            EXPECT_EQ(h.command("z"), ">\r");
            EXPECT_EQ(h.command(std::string("f ") + font), ">\r");
            EXPECT_EQ(h.command("t \"Copying Data File to Flash Memory\" 10 10"), ">\r");
            int inked = 0, same = 0;
            for (int y = 0; y < 80; ++y) {
                bool ink = false, equal = true;
                for (int x = 0; x < 400; ++x) {
                    ink |= h.pixel(x, y) != 0xFFFF;
                    equal &= h.pixel(x, y) == shown[size_t(y * 400 + x)];
                }
                inked += ink;
                same += ink && equal;
            }
            return inked > 0 && same == inked;
        };
        EXPECT_TRUE(same_title_in(b.font));
        EXPECT_FALSE(same_title_in(std::string(b.font) == "m16" ? "m12" : "m16"));
    }
}

}  // namespace
}  // namespace voxa_test
