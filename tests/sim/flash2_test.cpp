// The Flash2 window as the world keeps it (a file from offset 0, the rest erased) and as a
// firmware child reads it in place, erases and programs it: a stand-in firmware answers offsets
// with the bytes there and runs the board's flash operations.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/module.h"
#include "test_folder.h"

namespace sim {
namespace {

constexpr uint32_t kSector = simlink::kFlash2SectorBytes;
constexpr uint32_t kLast = Module::kFlash2Bytes - 1;

// Bytes no erased flash shows: no 0xFF among them.
std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 7 + seed + i / 251) % 255);
    return v;
}

uint8_t stored(const Module& m, uint32_t offset) {
    const auto b = m.read_flash2(offset, 1);
    EXPECT_EQ(b.size(), 1u) << offset;
    return b.empty() ? 0 : b[0];
}

class Flash2 : public ::testing::Test {
  protected:
    std::unique_ptr<Module> probe_module(const std::string& state_dir = "",
                                         uint8_t dataflash_id = simlink::kDefaultDataFlashId) {
        const std::string dir = folder_.path() + "/fw";
        std::filesystem::create_directories(dir);
        std::filesystem::remove(dir + "/voxa-fw-wvga");
        std::filesystem::create_symlink(VOXA_FLASH2_PROBE, dir + "/voxa-fw-wvga");
        Module::Options options;
        options.firmware_dir = dir;
        options.state_dir = state_dir;
        options.dataflash_id = dataflash_id;
        return std::make_unique<Module>(options);
    }

    // The byte the running firmware reads at offset, as two hex digits.
    static std::string read_in_child(Module& m, uint32_t offset) {
        char line[16];
        std::snprintf(line, sizeof line, "%08X\r", offset);
        m.send(0, line);
        m.run_for_ms(5);
        std::string reply = m.take_text(0);
        if (!reply.empty() && reply.back() == '\r') reply.pop_back();
        return reply;
    }

    // A command line of the probe and its answer, after ms of virtual time.
    static std::string ask(Module& m, const std::string& line, double ms = 5) {
        m.send(0, line + "\r");
        m.run_for_ms(ms);
        std::string reply = m.take_text(0);
        if (!reply.empty() && reply.back() == '\r') reply.pop_back();
        return reply;
    }

    static std::string program(Module& m, uint32_t offset, const std::string& hex_bytes) {
        char head[16];
        std::snprintf(head, sizeof head, "p%08X", offset);
        return ask(m, head + hex_bytes, 50);
    }

    static std::string erase(Module& m, uint32_t offset) {
        char line[16];
        std::snprintf(line, sizeof line, "e%08X", offset);
        return ask(m, line, 800);
    }

    static std::string hex(uint8_t b) {
        char s[4];
        std::snprintf(s, sizeof s, "%02X", b);
        return s;
    }

    const voxa_test::TestFolder folder_{"sim-flash2"};
};

TEST_F(Flash2, WrittenBytesLandAtOffsetZeroAndTheRestReadsErased) {
    auto m = probe_module();
    for (const uint32_t at : {0u, kSector, kLast}) EXPECT_EQ(stored(*m, at), 0xFF) << at;
    EXPECT_EQ(m->read_flash2(kLast, 100).size(), 1u);  // cut at the window's end
    m->power_on();
    ASSERT_EQ(m->status(), Module::Status::kRunning) << m->stop_reason();
    for (const uint32_t at : {0u, kSector, kLast}) EXPECT_EQ(read_in_child(*m, at), "FF") << at;

    // Into the third sector: the padding up to its end and everything after it read erased.
    const auto bytes = pattern(2 * kSector + 1000, 1);
    std::string error;
    ASSERT_TRUE(m->write_flash2(bytes, &error)) << error;
    const uint32_t in_file[] = {0, 1, kSector, 2 * kSector + 999};
    const uint32_t erased[] = {2 * kSector + 1000, 3 * kSector - 1, 3 * kSector, kLast};
    for (const uint32_t at : in_file) EXPECT_EQ(stored(*m, at), bytes[at]) << at;
    for (const uint32_t at : erased) EXPECT_EQ(stored(*m, at), 0xFF) << at;

    // The running firmware keeps the window it started with; the next start reads the new one.
    EXPECT_EQ(read_in_child(*m, 1), "FF");
    m->power_cycle();
    for (const uint32_t at : in_file) EXPECT_EQ(read_in_child(*m, at), hex(bytes[at])) << at;
    for (const uint32_t at : erased) EXPECT_EQ(read_in_child(*m, at), "FF") << at;

    // Too much for the window changes nothing.
    EXPECT_FALSE(m->write_flash2(std::vector<uint8_t>(Module::kFlash2Bytes + 1, 0), &error));
    EXPECT_EQ(error, "File too large (29097985 bytes; the Flash2 window holds 29097984)");
    EXPECT_EQ(stored(*m, 1), bytes[1]);
    // A window exactly full has no erased byte left.
    ASSERT_TRUE(m->write_flash2(std::vector<uint8_t>(Module::kFlash2Bytes, 0x5A), &error));
    EXPECT_EQ(stored(*m, kLast), 0x5A);
    m->power_cycle();
    EXPECT_EQ(read_in_child(*m, kLast), "5A");

    // The window is read-only to the firmware: a write through its pointer faults (a sanitizer
    // build reports the fault and aborts).
    m->send(0, "w\r");
    m->run_for_ms(5);
    EXPECT_EQ(m->status(), Module::Status::kStopped);
    EXPECT_NE(m->stop_reason().find("firmware crashed"), std::string::npos) << m->stop_reason();
}

TEST_F(Flash2, WindowPersistsInTheStateFolder) {
    const std::string state = folder_.path() + "/state";
    const std::string file = state + "/flash2.bin";
    const auto bytes = pattern(2 * kSector + 10, 2);
    {
        auto m = probe_module(state);
        ASSERT_TRUE(m->write_flash2(bytes));
    }
    // Whole sectors, nothing of the erased rest.
    EXPECT_EQ(std::filesystem::file_size(file), 3u * kSector);
    {
        auto m = probe_module(state);
        EXPECT_EQ(m->read_flash2(0, uint32_t(bytes.size())), bytes);
        m->power_on();
        EXPECT_EQ(read_in_child(*m, 2 * kSector + 9), hex(bytes[2 * kSector + 9]));
        // A shorter image erases the tail of the longer one.
        ASSERT_TRUE(m->write_flash2(pattern(10, 3)));
    }
    EXPECT_EQ(std::filesystem::file_size(file), kSector);
    {
        auto m = probe_module(state);
        EXPECT_EQ(m->read_flash2(0, 10), pattern(10, 3));
        EXPECT_EQ(stored(*m, 10), 0xFF);
        EXPECT_EQ(stored(*m, 2 * kSector + 9), 0xFF);
        m->power_on();
        EXPECT_EQ(read_in_child(*m, 2 * kSector + 9), "FF");
    }
    // A file put there by hand, cut short of its sector, is completed with erased bytes.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(1000, 'x');
    {
        auto m = probe_module(state);
        EXPECT_EQ(std::filesystem::file_size(file), kSector);
        EXPECT_EQ(stored(*m, 999), 'x');
        EXPECT_EQ(stored(*m, 1000), 0xFF);
        m->power_on();
        EXPECT_EQ(read_in_child(*m, 999), hex('x'));
        EXPECT_EQ(read_in_child(*m, kSector - 1), "FF");
    }
}

// The firmware's own erase and program operations store into the state folder's file: a sector
// beyond the file grows it, the running firmware reads it at once, and a later module finds it.
TEST_F(Flash2, FirmwareEraseAndProgramPersistInTheStateFolder) {
    const std::string state = folder_.path() + "/state";
    const std::string file = state + "/flash2.bin";
    const uint32_t far = 5 * kSector + 0x10;
    {
        auto m = probe_module(state);
        ASSERT_TRUE(m->write_flash2(pattern(100, 4)));
        m->power_on();
        ASSERT_EQ(m->status(), Module::Status::kRunning) << m->stop_reason();
        EXPECT_EQ(std::filesystem::file_size(file), kSector);

        EXPECT_EQ(program(*m, far, "F00F1234"), "0");
        EXPECT_EQ(std::filesystem::file_size(file), 6u * kSector);
        EXPECT_EQ(read_in_child(*m, far), "F0");
        EXPECT_EQ(read_in_child(*m, far + 3), "34");
        for (const uint32_t at : {far - 1, far + 4, 3 * kSector, 6 * kSector}) {
            EXPECT_EQ(read_in_child(*m, at), "FF") << at;
        }
        // Programming only clears bits.
        EXPECT_EQ(program(*m, far, "0FF0"), "0");
        EXPECT_EQ(read_in_child(*m, far), "00");
        EXPECT_EQ(read_in_child(*m, far + 1), "00");

        // A sector erase takes its 0.7 s before the answer (which starts after the line's ten
        // bytes came in, 0.87 ms at 115200 baud); the file keeps its size.
        m->send(0, "e00000040\r");
        m->run_for_ms(700.8);
        EXPECT_EQ(m->take_text(0), "");
        m->run_for_ms(0.5);
        EXPECT_EQ(m->take_text(0), "0\r");
        EXPECT_EQ(read_in_child(*m, 0), "FF");
        EXPECT_EQ(read_in_child(*m, 99), "FF");
        EXPECT_EQ(std::filesystem::file_size(file), 6u * kSector);

        // Refused: an odd length, an odd address, past the window's end; nothing changes.
        EXPECT_EQ(program(*m, 0x10, "00"), "1");
        EXPECT_EQ(program(*m, 0x11, "0000"), "1");
        EXPECT_EQ(program(*m, Module::kFlash2Bytes - 2, "00000000"), "1");
        EXPECT_EQ(erase(*m, Module::kFlash2Bytes), "1");
        EXPECT_EQ(read_in_child(*m, 0x10), "FF");
        EXPECT_EQ(read_in_child(*m, kLast), "FF");
    }
    auto m = probe_module(state);
    EXPECT_EQ(m->read_flash2(far, 4), (std::vector<uint8_t>{0, 0, 0x12, 0x34}));
    EXPECT_EQ(m->read_flash2(0, 1), std::vector<uint8_t>{0xFF});
    m->power_on();
    EXPECT_EQ(read_in_child(*m, far + 2), "12");
}

// A power cut after the nth flash operation: with the operation lost, the module goes off and
// what that operation would have stored is not there; the next power-on works normally.
TEST_F(Flash2, PowerCutAtAFlashOperationStoresNothingFromIt) {
    auto m = probe_module();
    m->power_on();
    m->cut_power_at_flash_op(2, false);
    EXPECT_EQ(program(*m, 0, "1234"), "0");
    EXPECT_EQ(m->flash_ops(), 1u);
    m->send(0, "p00000004ABCD\r");
    m->run_for_ms(50);
    EXPECT_TRUE(m->power_cut());
    EXPECT_EQ(m->status(), Module::Status::kOff);
    EXPECT_EQ(m->read_flash2(0, 6), (std::vector<uint8_t>{0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF}));

    // Done before the cut: stored, and nothing after it.
    m->power_on();
    m->cut_power_at_flash_op(1, true);
    m->send(0, "p00000004ABCD\rp00000008ABCD\r");
    m->run_for_ms(50);
    EXPECT_TRUE(m->power_cut());
    EXPECT_EQ(m->read_flash2(4, 6), (std::vector<uint8_t>{0xAB, 0xCD, 0xFF, 0xFF, 0xFF, 0xFF}));
    m->power_on();
    EXPECT_EQ(program(*m, 8, "5678"), "0");
    EXPECT_EQ(m->read_flash2(8, 2), (std::vector<uint8_t>{0x56, 0x78}));
}

TEST_F(Flash2, DataFlashIdIsTheWorlds) {
    auto m = probe_module();
    m->power_on();
    EXPECT_EQ(ask(*m, "i"), "17");
    auto other = probe_module("", 0x18);
    other->power_on();
    EXPECT_EQ(ask(*other, "i"), "18");
}

}  // namespace
}  // namespace sim
