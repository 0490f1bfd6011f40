// Settings through the whole module: the EEPROM file of the state folder, config.ini on the
// card, the EEPROM commands, power cuts and restarts.
#include <gtest/gtest.h>

#include <cstring>

#include "../support/dosfs.h"
#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr uint32_t kCopyA = 0x000;
constexpr uint32_t kCopyB = 0x100;

uint8_t checksum(const uint8_t* copy) {
    uint8_t sum = 0;
    for (int i = 0; i < 176; ++i) {
        if (i < 70 || i >= 82) sum = uint8_t(sum + copy[i]);
    }
    return sum;
}

bool copy_valid(const uint8_t* eeprom, uint32_t base) {
    return eeprom[base + 1] == 0x12 && eeprom[base + 0xFF] == checksum(eeprom + base);
}

uint16_t u16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

// The UART divider gets within a percent of the nominal rates.
bool near_rate(uint32_t actual, uint32_t nominal) {
    const uint32_t diff = actual > nominal ? actual - nominal : nominal - actual;
    return diff * 100 <= nominal;
}

sim::Module::Options options(const std::string& state = "", const std::string& sd_dir = "") {
    sim::Module::Options o;
    o.state_dir = state;
    o.sd_dir = sd_dir;
    return o;
}

TEST(SettingsScenario, BlankEepromBootsWithDefaultsInTwoValidCopies) {
    TempDir state;
    Harness h(options(state.path()));
    EXPECT_EQ(h.boot(), kBootNoFile);
    const std::string file = read_file(state / "eeprom.bin");
    ASSERT_EQ(file.size(), 0x10000u);
    const auto* e = reinterpret_cast<const uint8_t*>(file.data());
    EXPECT_TRUE(copy_valid(e, kCopyA));
    EXPECT_TRUE(copy_valid(e, kCopyB));
    EXPECT_EQ(std::memcmp(e + kCopyA, e + kCopyB, 176), 0);
    EXPECT_EQ(u16(e), 0x1255);
    EXPECT_EQ(u16(e + 36), 250);   // tplo
    EXPECT_EQ(e[128], 7);          // baud0: 115200
    EXPECT_EQ(u16(e + 132), 399);  // calibration centre x
    EXPECT_EQ(uint8_t(e[0x1000]), 0xFF) << "the user area stays erased";
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST(SettingsScenario, ChangesSurviveResetAndRestarts) {
    TempDir state;
    {
        Harness h(options(state.path()));
        h.boot();
        EXPECT_EQ(h.command("*config \"kept name\""), ">\r");
        EXPECT_EQ(h.command("*eew 10 AB"), "10 = AB\r>\r");
        h.send("*RESET\r");
        EXPECT_EQ(h.run_until_text(">\r", 5000), kBootNoFile);
        EXPECT_EQ(h.module().resets(), 1);
        EXPECT_EQ(h.command("*config"), "kept name\r>\r");
        EXPECT_EQ(h.command("bauds 19200"), ">\r");
        h.run_ms(100);  // the rate is saved after the prompt has left
    }
    Harness again(options(state.path()));
    again.boot();
    EXPECT_TRUE(near_rate(again.module().uart_rate(0), 19200)) << "the saved rate opens the port";
    EXPECT_EQ(again.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \"kept name\"\r>\r");
    EXPECT_EQ(again.command("*eer 10"), "10 = AB\r>\r");
    EXPECT_EQ(again.command("*MFGRESET"), "");
    again.run_until_text(">\r", 5000);
    EXPECT_EQ(again.command("*config"), "(not set)\r>\r");
    EXPECT_EQ(again.command("*eerc 10"), "FF\r>\r");
    EXPECT_TRUE(near_rate(again.module().uart_rate(0), 115200)) << again.module().uart_rate(0);
}

TEST(SettingsScenario, UserAreaAndRawEepromCommands) {
    Harness h;
    h.boot();
    EXPECT_EQ(h.command("*eew 5 3C"), "05 = 3C\r>\r");
    EXPECT_EQ(h.command("*eewc 6 1C3"), ">\r") << "low 8 bits, no reply";
    EXPECT_EQ(h.command("*eer 105"), "05 = 3C\r>\r") << "the address is taken modulo 256";
    EXPECT_EQ(h.command("*eerc 6"), "C3\r>\r");
    EXPECT_EQ(h.module().eeprom()[0x1005], 0x3C);
    EXPECT_EQ(h.command("*eer 1FF"), "FF = FF\r>\r");
    h.module().eeprom()[0x10FF] = 0x77;
    EXPECT_EQ(h.command("*eer 1FF"), "FF = 77\r>\r");
    EXPECT_EQ(h.command("*eer"), "!\r");
    EXPECT_EQ(h.command("i2c write 1234 15A"), "1234 = 5A\r>\r");
    EXPECT_EQ(h.command("i2c read 1234"), "1234 = 5A\r>\r");
    EXPECT_EQ(h.command("i2c read ABCD"), "abcd = FF\r>\r");
    EXPECT_EQ(h.command("i2c read 1"), "01 = 12\r>\r") << "the signature's high byte";
    EXPECT_EQ(h.command("*eec 0"), ">\r");
    EXPECT_EQ(h.command("*eerc 5"), "FF\r>\r");
}

TEST(SettingsScenario, DumpClearSaveAndReload) {
    Harness h;
    h.boot();
    const std::string dump = h.command("*eed");
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\r'), 23);
    EXPECT_EQ(dump.substr(0, 37), "00: 55 12 0A FF 0F 00 00 00 U.......\r");
    EXPECT_NE(dump.find("\rA8: 52 03 52 03 01 FF FF FF R.R.....\r>\r"), std::string::npos) << dump;

    EXPECT_EQ(h.command("*eec", 5000), ">\r") << "about 350 byte writes";
    EXPECT_FALSE(copy_valid(h.module().eeprom(), kCopyA));
    EXPECT_EQ(h.module().eeprom()[kCopyB + 1], 0xFF);
    EXPECT_EQ(h.command("*ees", 5000), ">\r") << "RAM still holds the record";
    EXPECT_TRUE(copy_valid(h.module().eeprom(), kCopyA));
    EXPECT_TRUE(copy_valid(h.module().eeprom(), kCopyB));

    // "*eel" takes copy A as it stands, checksum or not.
    h.module().eeprom()[93] = 'Q';  // first byte of the configuration name
    EXPECT_EQ(h.command("*eel"), ">\r");
    EXPECT_EQ(h.command("*config"), "Q\r>\r");
}

TEST(SettingsScenario, ConfigIniOverridesStoredValuesWithMessages) {
    TempDir state, card;
    write_file(card / "config.ini",
               "# panel settings\r\n"
               "verbose = 1\r\n"
               "#tplo = 111\r\n"
               "tplo = 300\r\n"
               "baud0 = 2400\r\n"
               "baud1 = 9600\r\n"
               "hbp=5\r\n"
               "config = \"from the card\"\r\n");
    {
        Harness h(options(state.path(), card.path()));
        EXPECT_EQ(h.boot(),
                  ":config.ini verbose mode enabled\r:tplo = 300\r:Syntax error "
                  "\"hbp=5\"\r:baud0 = 2400\r:new rate not valid, not saved\r:baud1 = 9600\r"
                  ":new rate will take effect on next powerup/reset\r:config = \"from the card\"\r"
                  ":storing new values in EEPROM\r" +
                      std::string(kBootNoFileOnCard));
        EXPECT_EQ(h.command("*config"), "from the card\r>\r");
        EXPECT_TRUE(near_rate(h.module().uart_rate(1), 115200)) << "rates change at the next start";
    }
    Harness h(options(state.path(), card.path()));
    const std::string second = h.boot();
    EXPECT_EQ(second.find(":storing"), std::string::npos) << "nothing new: " << visible(second);
    EXPECT_TRUE(near_rate(h.module().uart_rate(1), 9600));
    EXPECT_EQ(u16(h.module().eeprom() + 36), 300);
}

// Sets a record byte in both copies as a save would have stored it.
void store_record_byte(uint8_t* eeprom, int offset, uint8_t value) {
    for (const uint32_t base : {kCopyA, kCopyB}) {
        eeprom[base + offset] = value;
        eeprom[base + 0xFF] = checksum(eeprom + base);
    }
}

TEST(SettingsScenario, TspanRepairAloneIsNotStored) {
    TempDir card;
    write_file(card / "config.ini", "tspan = 2\n");
    Harness h;
    h.boot();
    h.module().power_off();
    store_record_byte(h.module().eeprom(), 42, 2);
    h.module().insert_sd_folder(card.path());
    EXPECT_EQ(h.boot(), kBootNoFileOnCard);
    EXPECT_EQ(h.module().eeprom()[42], 2) << "the repair alone saves nothing";
    EXPECT_EQ(h.command("*ees"), ">\r");
    EXPECT_EQ(h.module().eeprom()[42], 12) << "RAM holds the repaired value";
}

TEST(SettingsScenario, MainPortFromConfigSwitchesAtOnce) {
    TempDir card;
    write_file(card / "config.ini", "mainPort = 1\n");
    Harness h(options("", card.path()));
    h.module().power_on();
    EXPECT_EQ(h.run_until_text(">\r", 5000, kAux), kBootNoFileOnCard);
    EXPECT_EQ(h.take(kHost), "");

    write_file(card / "config.ini", "mainPort = 2\n");
    Harness other(options("", card.path()));
    EXPECT_EQ(other.boot(), kBootNoFileOnCard) << "2 is ignored";
}

TEST(SettingsScenario, PowerCutDuringACommandLeavesOldOrNew) {
    TempDir state;
    Harness h(options(state.path()));
    h.boot();
    ASSERT_EQ(h.command("*config \"old\""), ">\r");
    h.module().cut_power_at_eeprom_write(0, false);
    h.command("*config \"new name\"");
    const uint64_t writes = h.module().eeprom_writes();
    ASSERT_GT(writes, 4u);
    ASSERT_EQ(h.command("*config \"old\""), ">\r");
    for (uint64_t n = 1; n <= writes; ++n) {
        for (const bool stored : {false, true}) {
            h.module().cut_power_at_eeprom_write(n, stored);
            h.send("*config \"new name\"\r");
            h.run_ms(500);
            ASSERT_TRUE(h.module().power_cut()) << n;
            ASSERT_EQ(h.module().status(), sim::Module::Status::kOff);
            EXPECT_EQ(h.boot(), kBootNoFile);
            const std::string name = h.command("*config");
            EXPECT_TRUE(name == "old\r>\r" || name == "new name\r>\r")
                << n << ": " << visible(name);
            ASSERT_EQ(h.command("*config \"old\""), ">\r");
        }
    }
}

}  // namespace
}  // namespace voxa_test
