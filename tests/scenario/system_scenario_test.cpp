// The diagnostics of the system commands through the whole module: the frame buffer as rows of
// numbers and as a check value, "*speedtest" with its own replies and nesting, and the
// configuration name at the edge of its field.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"

namespace voxa_test {
namespace {

// Bit by bit, so that a fault in the firmware's table-driven form cannot hide here too.
uint16_t modbus_crc(const std::vector<uint8_t>& bytes) {
    uint16_t crc = 0xFFFF;
    for (const uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

std::string hex4(unsigned v, const char* fmt = "%04X") {
    char s[16];
    std::snprintf(s, sizeof s, fmt, v);
    return s;
}

// The "*FB" reply for a row as the simulated panel's memory holds it.
std::string row_dump(const Harness& h, const sim::Module& m, int y) {
    std::string out;
    for (int x = 0; x < m.width(); ++x) {
        if (x) out += ",";
        out += hex4(h.pixel(x, y));
    }
    return out;
}

// Pixels in the first and last rows and columns, so that a dump or check over the wrong width or
// height (or a row offset by one) sees a difference.
void mark_edges(Harness& h) {
    const int w = h.module().width(), ht = h.module().height();
    const std::string lines[] = {
        "pw 0 0 1234",
        "pw " + std::to_string(w - 1) + " 0 ABCD",
        "pw 0 " + std::to_string(ht - 1) + " F00F",
        "pw " + std::to_string(w - 1) + " " + std::to_string(ht - 1) + " 0FF0",
        "pw 7 " + std::to_string(ht - 2) + " 5A5A",
    };
    for (const std::string& l : lines) ASSERT_EQ(h.command(l), ">\r") << l;
}

class FrameBufferPerBuild : public ::testing::TestWithParam<sim::Panel> {};

TEST_P(FrameBufferPerBuild, RowsDumpAndCheckValueCoverExactlyThePanel) {
    Harness h(GetParam());
    h.boot();
    mark_edges(h);
    const sim::Module& m = h.module();
    const int last = m.height() - 1;

    const std::string bottom = h.command("*FB " + std::to_string(last), 3000);
    EXPECT_EQ(bottom, row_dump(h, m, last) + ">\r");
    EXPECT_EQ(bottom.substr(0, 5), "F00F,");
    EXPECT_EQ(bottom.substr(bottom.size() - 7), ",0FF0>\r") << "no comma and no CR after the last";
    EXPECT_EQ(h.command("*FB " + std::to_string(last - 1), 3000), row_dump(h, m, last - 1) + ">\r");
    EXPECT_EQ(h.command("*FB 0", 3000).substr(0, 5), "1234,");
    EXPECT_EQ(h.command("*FB " + std::to_string(m.height())), "!\r");
    EXPECT_EQ(h.command("*FB -1"), "!\r");

    std::vector<uint8_t> bytes;
    for (int y = 0; y < m.height(); ++y) {
        for (int x = 0; x < m.width(); ++x) {
            const uint16_t p = h.pixel(x, y);
            bytes.push_back(uint8_t(p & 0xFF));
            bytes.push_back(uint8_t(p >> 8));
        }
    }
    EXPECT_EQ(h.command("*CRC"), hex4(modbus_crc(bytes), "0x%04X\r") + ">\r");
    EXPECT_EQ(h.command("*CRC 0"), "!\r") << "the check value takes no argument";
}

INSTANTIATE_TEST_SUITE_P(Builds, FrameBufferPerBuild,
                         ::testing::Values(sim::Panel::kWvga, sim::Panel::kSvga, sim::Panel::kVga),
                         [](const auto& info) { return std::string(sim::panel_name(info.param)); });

int reported_ms(const std::string& reply) {
    static const std::regex time_line(":time/command = (\\d+) ms\r>\r$");
    std::smatch m;
    if (!std::regex_search(reply, m, time_line)) return -1;
    return std::stoi(m[1]);
}

TEST(SystemScenario, SpeedtestRepeatsTheCommandAndReportsTheMeanTime) {
    Harness h;
    h.boot();
    const std::string vers = "VOXA5-PLUS V1.4.0 WVGA \r";

    std::string r = h.command("*speedtest 3 <vers>");
    EXPECT_TRUE(
        std::regex_match(r, std::regex("^(?:" + vers + "){3}:time/command = \\d+ ms\r>\r$")))
        << visible(r);

    // The wait dominates: the mean of four 25 ms waits is 25 ms, not their sum.
    r = h.command("*speedtest 4 <w 25>");
    EXPECT_GE(reported_ms(r), 25) << visible(r);
    EXPECT_LE(reported_ms(r), 26) << visible(r);
    // Without a closing bracket the command runs to the end of the line.
    r = h.command("*speedtest 2 <w 30");
    EXPECT_GE(reported_ms(r), 30) << visible(r);
    EXPECT_LE(reported_ms(r), 31) << visible(r);

    // Nested: the inner test's replies go through the reply buffer, which must not be where the
    // outer test keeps the line it runs again.
    r = h.command("*speedtest 2 <*speedtest 3 <vers>>", 3000);
    const std::regex nested("^(?:(?:" + vers + "){3}:time/command = \\d+ ms\r){2}" +
                            ":time/command = \\d+ ms\r>\r$");
    EXPECT_TRUE(std::regex_match(r, nested)) << visible(r);
    // A command that replies from the reply buffer, run more than once.
    EXPECT_EQ(h.command("*config \"bench\""), ">\r");
    r = h.command("*speedtest 3 <*config>");
    EXPECT_EQ(r.substr(0, 18), "bench\rbench\rbench\r") << visible(r);

    // Refused without running anything.
    for (const char* line :
         {"*speedtest 0 <vers>", "*speedtest -2 <vers>", "*speedtest 2 vers", "*speedtest 2 <>",
          "*speedtest 2 <", "*speedtest", "*speedtest <vers>"}) {
        EXPECT_EQ(h.command(line), "!\r") << line;
    }
}

uint8_t record_checksum(const uint8_t* copy) {
    uint8_t sum = 0;
    for (int i = 0; i < 176; ++i) {
        if (i < 70 || i >= 82) sum = uint8_t(sum + copy[i]);
    }
    return sum;
}

TEST(SystemScenario, ConfigurationNameStaysWithinItsField) {
    TempDir state;
    sim::Module::Options o;
    o.state_dir = state.path();
    Harness h(o);
    h.boot();
    const std::string forty(40, 'n');
    EXPECT_EQ(h.command("*config \"" + forty + "\""), ">\r");
    const std::string kept(31, 'n');
    EXPECT_EQ(h.command("*config"), kept + "\r>\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \"" + kept + "\"\r>\r");
    EXPECT_EQ(h.module().eeprom()[93 + 31], 0) << "the stored name keeps its terminator";

    // A record written by older firmware: all 32 bytes used, the next field not zero.
    h.module().power_off();
    uint8_t* e = h.module().eeprom();
    for (const uint32_t base : {0x000u, 0x100u}) {
        for (int i = 0; i < 32; ++i) e[base + 93 + i] = uint8_t('A' + i % 26);
        e[base + 125] = 1;
        e[base + 0xFF] = record_checksum(e + base);
    }
    h.boot();
    const std::string full = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF";
    EXPECT_EQ(h.command("*config"), full + "\r>\r");
    EXPECT_EQ(h.command("*panel"), full + "\r>\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \"" + full + "\"\r>\r");
}

}  // namespace
}  // namespace voxa_test
