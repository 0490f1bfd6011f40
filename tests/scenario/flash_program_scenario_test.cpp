// Programming the Flash2 window from the host: "xmp" text lines, "xmc" erases, the "bdld" raw
// download, and the check values that let a host verify what it sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "boards/sim/firmware_image.h"
#include "harness/harness.h"
#include "unit/image_builder.h"

namespace voxa_test {
namespace {

constexpr uint32_t kWindow = 0xC8400000;
constexpr uint32_t kSector = 0x20000;
constexpr double kEraseMs = 800;  // one sector erase and its reply

// CRC-16/MODBUS, bit by bit: independent of the firmware's table-driven one.
uint16_t modbus_crc(const uint8_t* p, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

std::string hex_reply(uint16_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%04X\r", v);
    return s;
}

// The text an "xmp" line carries for these bytes: the bytes the serial intake would act on are
// escaped, every other byte stands for itself.
std::string xmp_text(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    std::string s;
    for (size_t i = from; i < to; ++i) {
        const uint8_t c = bytes[i];
        switch (c) {
            case 0x00:
                s += " 0";
                break;
            case 0x08:
                s += " B";
                break;
            case 0x0A:
                s += " N";
                break;
            case 0x0D:
                s += " R";
                break;
            case 0x11:
                s += " X";
                break;
            case 0x13:
                s += " Y";
                break;
            case 0x1B:
                s += " [";
                break;
            case 0x20:
                s += "  ";
                break;
            default:
                s += char(c);
        }
    }
    return s;
}

// A file for the window whose pixels hold every byte the protocol escapes and bytes above 0x80
// at the start of lines (binary command leads if they were recognised).
std::vector<uint8_t> window_file() {
    std::vector<uint16_t> px;
    const uint16_t special[] = {0x0000, 0x0D08, 0x110A, 0x1B13, 0x2020, 0x8285, 0xFEEB};
    for (int i = 0; i < 64; ++i) px.push_back(uint16_t(special[i % 7] + (i / 7) * 0x0101));
    ImageBuilder b;
    b.add(3, {});
    b.addBitmap(1, 8, 8, ImageBuilder::pixels(px));
    return b.build(kWindow);
}

class FlashProgramScenario : public ::testing::Test {
  protected:
    // What the start-up says of the erased flash is the loader's business, not these tests'.
    void SetUp() override {
        const std::string start = h.boot();
        ASSERT_TRUE(start.size() >= 2 && start.substr(start.size() - 2) == ">\r") << start;
    }

    // A line for a command that is already running: some of its messages end in "!\r" like a
    // prompt, so the reply is whatever arrives within the time given.
    std::string line(const std::string& text, double ms = 60) {
        h.send(text + "\r");
        h.run_ms(ms);
        return h.take();
    }
    // The firmware reads the window it started with: a new one needs a new start.
    void restart_with(const std::vector<uint8_t>& window) {
        ASSERT_TRUE(h.flash2(window));
        h.module().power_cycle();
        const std::string start = h.run_until_text(">\r", 3000);
        ASSERT_TRUE(start.size() >= 2 && start.substr(start.size() - 2) == ">\r") << start;
    }

    std::vector<simlink::FlashOpRecord> programs() {
        std::vector<simlink::FlashOpRecord> out;
        for (const auto& r : h.module().take_flash_log()) {
            if (r.op == simlink::FlashOp::kProgram) out.push_back(r);
        }
        return out;
    }
    // A binary command line of one byte: answered when binary commands are recognised, left
    // waiting for a CR that never comes when they are not.
    std::string binary_line_reply() {
        h.send("\x81z");
        h.run_ms(50);
        const std::string reply = h.take();
        h.command("*rst");
        return reply;
    }

    Harness h;
};

TEST_F(FlashProgramScenario, XmpProgramsAWholeFileWithEscapesAndTheLastLineBeforeQ) {
    const std::vector<uint8_t> file = window_file();
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    // The old product's magic on its own is stored as this module's.
    ASSERT_EQ(line(xmp_text({0xEB, 0xFE}, 0, 2)), "p>\r");
    size_t at = 2;
    while (file.size() - at > 40) {
        // A line whose dropped escape (" Z") adds nothing.
        ASSERT_EQ(line(" Z" + xmp_text(file, at, at + 40)), "p>\r") << at;
        at += 40;
    }
    ASSERT_EQ(line(""), "p>\r");  // an empty line asks for the next
    // The last bytes share their line with the end of the transfer, and the file validates.
    EXPECT_EQ(line(xmp_text(file, at, file.size()) + " Q"),
              ":loading 1KB bitmap/macro file from flash2\r>\r");
    EXPECT_EQ(h.module().read_flash2(0, uint32_t(file.size())), file);
    EXPECT_EQ(h.module().read_flash2(uint32_t(file.size()), 2), std::vector<uint8_t>(2, 0xFF));
    EXPECT_EQ(h.command("xi 1 0 0"), ">\r");
    EXPECT_EQ(h.pixel(0, 0), 0x0000);
    EXPECT_EQ(h.pixel(1, 0), 0x0D08);
    // Binary commands are recognised again after the transfer.
    EXPECT_FALSE(binary_line_reply().empty());

    // " Q" alone ends at once and checks the flash, here still holding the file.
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(line(" Q"), ":loading 1KB bitmap/macro file from flash2\r>\r");
}

TEST_F(FlashProgramScenario, XmpErrorsEndTheTransferAndRestoreBinaryCommands) {
    // Odd count: said, then refused by the programming step.
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(line("abc"),
              "\r!Internal error - odd flash write\r!Write to external memory failed! (3 bytes @ "
              "0x00000000)\r!\r");
    EXPECT_FALSE(binary_line_reply().empty());

    // Past the end: the bytes that fit are not programmed either.
    ASSERT_EQ(h.command("xmp 1BB FFFE 0"), "p>\r");
    EXPECT_EQ(line("abcd"), "\rCannot write past end of external memory!\r!\r");
    // (0x10000 << 16) + 0 is far past the end, not offset 0.
    ASSERT_EQ(h.command("xmp 10000 0 0"), "p>\r");
    EXPECT_EQ(line("ab"), "\rCannot write past end of external memory!\r!\r");
    ASSERT_EQ(h.command("xmp 1BB FFFE 0"), "p>\r");
    EXPECT_EQ(line("xy"), "p>\r");  // the last two bytes of the window
    EXPECT_EQ(line(" Q"), ":invalid data in Flash\r!\r");
    EXPECT_EQ(h.module().read_flash2(0x1BBFFFE, 2), (std::vector<uint8_t>{'x', 'y'}));
    EXPECT_EQ(h.module().read_flash2(0, 4), std::vector<uint8_t>(4, 0xFF));

    // 129 data bytes on one line.
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(line(std::string(129, 'a')), "\rInput buffer overflowed!\r!\r");
    // A line the intake cannot take whole is never data.
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(line(std::string(140, 'a')), "\rInput buffer overflowed!\r!\r");
    EXPECT_FALSE(binary_line_reply().empty());

    // "*BMOFF" holds across a transfer.
    ASSERT_EQ(h.command("*BMOFF"), ">\r");
    ASSERT_EQ(h.command("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(line(" Q"), ":invalid data in Flash\r!\r");
    EXPECT_EQ(binary_line_reply(), "");
}

TEST_F(FlashProgramScenario, XmpVerboseEchoesTheLineTheBytesAndTheWrite) {
    ASSERT_EQ(h.command("xmp 0 10 1"), "p>\r");
    EXPECT_EQ(line("A B   Zb"),
              "\rSaw: 'A B   Zb'\rbyte 0: 41\rbyte 1: 08\rbyte 2: 20\rbyte 3: 62\r"
              "Programming 4 bytes @ 0x00000010...\rp>\r");
    EXPECT_EQ(line("cd q"),
              "\rSaw: 'cd q'\rbyte 0: 63\rbyte 1: 64\rProgramming 2 bytes @ 0x00000014...\r"
              ":invalid data in Flash\r!\r");
    EXPECT_EQ(h.module().read_flash2(0x10, 6), (std::vector<uint8_t>{'A', 8, ' ', 'b', 'c', 'd'}));
}

TEST_F(FlashProgramScenario, XmcKeysSectorsAndTheWholeWindowSkippingErasedSectors) {
    EXPECT_EQ(h.command("xmc 1234 1"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("xmc"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("xmc FEEB 222"), ":sector arg 222 >= max 222\r!\r");
    EXPECT_EQ(h.command("xmc FEEC 222"), ":Erasing sector 222...\r:Erase sector 222 failed\r!\r");
    // Below the window lies the firmware.
    EXPECT_EQ(h.command("xmc FEEC -1"), ":Erasing sector -1...\r:Erase sector -1 failed\r!\r");
    EXPECT_EQ(h.command("xmc FEEB -1"), ":Erasing sector -1...\r:Erase sector -1 failed\r!\r");
    EXPECT_EQ(h.command("xmc FEEC 5"), ":Erasing sector 5... done\r>\r");
    EXPECT_TRUE(h.module().take_flash_log().empty()) << "an erased sector is not erased again";

    // Bytes in sectors 0, 100 and 221: a chip erase erases those three and no other.
    for (const char* at : {"xmp 0 0 0", "xmp C8 0 0", "xmp 1BA 0 0"}) {
        ASSERT_EQ(h.command(at), "p>\r");
        ASSERT_EQ(line("ab Q"), ":invalid data in Flash\r!\r");
    }
    h.module().take_flash_log();
    EXPECT_EQ(h.command("xmc FEEC", 4 * kEraseMs), ":Erasing chip... done\r>\r");
    std::vector<uint32_t> erased;
    for (const auto& r : h.module().take_flash_log()) {
        EXPECT_EQ(r.op, simlink::FlashOp::kErase);
        erased.push_back(r.offset / kSector);
    }
    EXPECT_EQ(erased, (std::vector<uint32_t>{0, 100, 221}));
    EXPECT_EQ(h.module().read_flash2(221 * kSector, 2), std::vector<uint8_t>(2, 0xFF));

    ASSERT_EQ(h.command("xmp 1 0 0"), "p>\r");
    ASSERT_EQ(line("ab Q"), ":invalid data in Flash\r!\r");
    EXPECT_EQ(h.command("xmc FEEB 0", kEraseMs), ":Erasing sector 0... done\r>\r");
    EXPECT_EQ(h.module().read_flash2(0x10000, 2), std::vector<uint8_t>(2, 0xFF));
}

TEST_F(FlashProgramScenario, XmaWithoutACard) {
    EXPECT_EQ(h.command("xma"), "29097984 131072 29097984 C8400000\r>\r");
}

TEST(FlashProgramCard, XmaWithACardGivesTheDataFlashSectorSize) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("voxa-xma-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (const auto& [id, reply] :
         {std::pair<uint8_t, const char*>{0x17, "29097984 131072 29097984\r>\r"},
          {0x18, "29097984 262144 29097984\r>\r"},
          {0x16, "29097984 65536 29097984\r>\r"}}) {
        sim::Module::Options o;
        o.sd_dir = dir.string();
        o.dataflash_id = id;
        Harness h(o);
        h.boot();
        EXPECT_EQ(h.command("xma"), reply) << int(id);
    }
    std::filesystem::remove_all(dir);
}

TEST_F(FlashProgramScenario, CheckValuesOfTheFirmwareAreasAndTheWindow) {
    std::vector<uint8_t> area(0x3E0000);
    ASSERT_EQ(modbus_crc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x4B37);
    sim::fill_firmware_area(sim::FirmwareArea::kProgram, area.data(), area.size());
    EXPECT_EQ(h.command("*CSUM"), hex_reply(modbus_crc(area.data(), area.size())) + ">\r");
    sim::fill_firmware_area(sim::FirmwareArea::kBoot, area.data(), 0x20000);
    EXPECT_EQ(h.command("*CSUMB"), hex_reply(modbus_crc(area.data(), 0x20000)) + ">\r");

    EXPECT_EQ(h.command("*CEXT"), ":Flash2 memory invalid (saw FFFF, expected FEEC)\r!\r");
    const std::vector<uint8_t> file = window_file();
    restart_with(file);
    EXPECT_EQ(h.command("*CEXT"), hex_reply(modbus_crc(file.data(), file.size())) + ">\r");
    EXPECT_EQ(h.command("*CEXT 4 13"), hex_reply(modbus_crc(file.data() + 4, 16)) + ">\r");
    const uint8_t erased = 0xFF;
    EXPECT_EQ(h.command("*CEXT 1BBFFFF 1BBFFFF"), hex_reply(modbus_crc(&erased, 1)) + ">\r");
    EXPECT_EQ(h.command("*CEXT 5"), ":missing argument\r!\r");
    // Ranges that leave the window or run backwards.
    EXPECT_EQ(h.command("*CEXT 13 4"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*CEXT 0 1BC0000"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*CEXT 1BC0000 1BC0000"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*CEXT 0 FFFFFFFF"), ":invalid argument\r!\r");

    // Size fields the window cannot hold.
    for (const uint32_t size : {0u, 0xFFu, 0x1BC0001u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> header = {0xEC, 0xFE, 0, 0};
        for (int i = 0; i < 4; ++i) header.push_back(uint8_t(size >> (8 * i)));
        restart_with(header);
        char expected[64];
        std::snprintf(expected, sizeof expected, ":External memory invalid size 0x%08X\r!\r", size);
        EXPECT_EQ(h.command("*CEXT"), expected);
    }
}

TEST_F(FlashProgramScenario, DownloadArrivesInPiecesOf128) {
    std::vector<uint8_t> data(300);
    // Flow-control bytes, CR and binary leads go through raw reception untouched.
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 0x11);
    data[0] = 0x13;
    data[1] = 0x11;
    data[2] = 0x0D;
    data[3] = 0x82;
    h.module().take_flash_log();
    ASSERT_EQ(h.command("bdld 4 100 300 5000"), ">\r");
    h.send(std::string(data.begin(), data.end()));
    EXPECT_EQ(h.run_until_text(">\r", 200), ">\r");
    const auto p = programs();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].offset, 0x100u);
    EXPECT_EQ(p[0].length, 128u);
    EXPECT_EQ(p[1].offset, 0x180u);
    EXPECT_EQ(p[1].length, 128u);
    EXPECT_EQ(p[2].offset, 0x200u);
    EXPECT_EQ(p[2].length, 44u);
    EXPECT_EQ(h.module().read_flash2(0x100, 300), data);
    EXPECT_EQ(h.command("vers").substr(0, 10), "VOXA5-PLUS");

    // Other modes, and ranges the window cannot hold, get no go-ahead.
    EXPECT_EQ(h.command("bdld 3 0 300 5000"), "!\r");
    EXPECT_EQ(h.command("bdld 4 1BBFF80 130 5000"), "!\r");
    EXPECT_EQ(h.command("bdld 4 0 -2 5000"), "!\r");
    EXPECT_TRUE(programs().empty());
}

TEST_F(FlashProgramScenario, DownloadThatStopsTimesOutAndDropsWhatArrived) {
    ASSERT_EQ(h.command("bdld 4 0 300 200"), ">\r");
    h.send(std::string(100, 'v'));
    h.run_ms(150);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.run_until_text("!\r", 200), "!\r");
    EXPECT_TRUE(programs().empty());
    // The bytes of the broken transfer are gone: the next line is read on its own.
    EXPECT_EQ(h.command("vers").substr(0, 10), "VOXA5-PLUS");
}

TEST_F(FlashProgramScenario, HotspotReportsDuringALongDownload) {
    ASSERT_EQ(h.command("xs 130 100 100 200 200"), ">\r");
    ASSERT_EQ(h.command("bdld 4 0 512 1000"), ">\r");
    h.send(std::string(200, 'a'));
    h.run_ms(30);
    ASSERT_TRUE(h.touch(150, 150));
    h.run_ms(100);
    EXPECT_EQ(h.take(), "x130\r");
    h.release();
    h.send(std::string(312, 'b'));
    EXPECT_EQ(h.run_until_text(">\r", 500), ">\r");
    EXPECT_EQ(h.module().read_flash2(510, 2), (std::vector<uint8_t>{'b', 'b'}));
}

}  // namespace
}  // namespace voxa_test
