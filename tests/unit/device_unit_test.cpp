// Device services and the settings record, called directly on the in-process board.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/backlight.h"
#include "device/crc.h"
#include "device/timebase.h"
#include "settings/settings.h"

namespace {

TEST(Crc, ModbusCheckValues) {
    const auto crc = [](const char* s) {
        return CalcCRC(reinterpret_cast<const uint8_t*>(s), std::strlen(s));
    };
    EXPECT_EQ(crc("123456789"), 0x4B37);
    EXPECT_EQ(crc(""), 0xFFFF);
    EXPECT_EQ(crc("vers\r"), 0xE9B7);
    // Continuing over a split gives the same value as one pass.
    const uint8_t* d = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(CalcCRCUpdate(CalcCRCUpdate(0xFFFF, d, 4), d + 4, 5), 0x4B37);
}

// The blocks of eight and the bytes left over must join up at every length and start: against
// the bit-by-bit definition over lengths around the block size, from every alignment.
TEST(Crc, AgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    uint8_t bytes[80];
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    for (size_t start = 0; start < 8; ++start) {
        for (size_t length = 0; length + start <= 72; ++length) {
            uint16_t expected = 0xFFFF;
            for (size_t i = start; i < start + length; ++i) {
                expected ^= bytes[i];
                for (int bit = 0; bit < 8; ++bit)
                    expected = (expected & 1) ? uint16_t((expected >> 1) ^ 0xA001)
                                              : uint16_t(expected >> 1);
            }
            ASSERT_EQ(CalcCRC(bytes + start, length), expected) << start << " " << length;
        }
    }
}

class Timebase : public ::testing::Test {
  protected:
    void SetUp() override {
        board = &sim::Standalone::instance();
        interrupt_init();
        KV_TimerInit();
    }
    sim::Standalone* board;
};

TEST_F(Timebase, MicrosecondDelaysWaitAtLeastTheirTime) {
    for (const uint32_t us : {1u, 100u, 511u, 512u, 1000u, 2500u}) {
        const uint64_t start = board->machine().now();
        KV_Delay_uSec(us);
        const double waited = double(board->machine().now() - start) / 1e3;
        EXPECT_GE(waited, double(us)) << us;
        EXPECT_LT(waited, double(us) + 2.0) << us;
    }
}

TEST_F(Timebase, MillisecondCounterAndDelays) {
    const uint32_t ms0 = KV_TimerGetMsCount();
    KV_Delay(25);
    const uint32_t passed = KV_TimerGetMsCount() - ms0;
    EXPECT_GE(passed, 25u);
    EXPECT_LE(passed, 26u);
    gpTimer = 3;
    board->run_for_ns(5'000'000);
    EXPECT_EQ(gpTimer, 0u);  // counted down to zero and no further
}

// The work of the modules above the timebase runs at its place within each tick: the button
// timers before the animation timer counts, the touch sampler after it, the card-detect step
// after the activity LED has toggled; an empty slot is skipped.
TEST_F(Timebase, InstalledTickWorkRunsInItsPlaceOnEveryTick) {
    static std::string trace;
    trace.clear();
    static const auto note = [](char who) {
        trace += who;
        trace += char('0' + animateTimer);
        trace += char('0' + int(ledFlashTimer));
    };
    KV_TimerSetTick(TickSlot::kButtons, [] { note('b'); });
    KV_TimerSetTick(TickSlot::kTouch, [] { note('t'); });
    KV_TimerSetTick(TickSlot::kSdCard, [] { note('s'); });
    animateTimer = 5;
    FlashLed(2);
    board->run_for_ns(1'000'000);
    // One tick: the LED count goes 2 -> 1 between touch and card detect.
    EXPECT_EQ(trace, "b52t42s41");
    trace.clear();
    KV_TimerSetTick(TickSlot::kTouch, nullptr);
    board->run_for_ns(1'000'000);
    // The LED count reached 0, toggled and was reloaded before the card-detect step.
    EXPECT_EQ(trace, "b41s32");
    FlashLed(0);
    for (const TickSlot slot : {TickSlot::kButtons, TickSlot::kTouch, TickSlot::kSdCard}) {
        KV_TimerSetTick(slot, nullptr);
    }
}

TEST(Settings, DefaultsOfTheWvgaBuild) {
    KV_EEPROM_SetDefaults();
    const auto* bytes = reinterpret_cast<const uint8_t*>(&eepromData);
    EXPECT_EQ(bytes[0], 0x55);
    EXPECT_EQ(bytes[1], 0x12);
    EXPECT_EQ(KV_EEPROMvalid(), 1);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(eepromData.legacyCal[1], 784);
    EXPECT_EQ(eepromData.legacyCal[4], 464);
    EXPECT_EQ(eepromData.beepFreq, 2600u);
    EXPECT_EQ(eepromData.maxBrite, 0xFF);
    EXPECT_EQ(eepromData.minBrite, 1);
    EXPECT_EQ(eepromData.auxEsc, 0x0D);
    EXPECT_EQ(eepromData.calLogX[2], 779);
    EXPECT_EQ(eepromData.calLogY[3], 459);
    EXPECT_EQ(eepromData.calPhyY[1], 150);
    EXPECT_EQ(eepromData.config[0], 0);
    EXPECT_EQ(bytes[172], 1);
    for (int i = 70; i < 82; ++i) EXPECT_EQ(bytes[i], 0xFF) << i;
    for (int i = 173; i < 176; ++i) EXPECT_EQ(bytes[i], 0xFF) << i;
}

TEST(Version, TextAndBannerLines) {
    KV_EEPROM_SetDefaults();
    char buf[kLineBufSize];
    KV_Copy_Version(buf);
    EXPECT_STREQ(buf, "VOXA5-PLUS V1.4.0 WVGA ");
    std::strcpy(eepromData.config, "Line 3");
    KV_Copy_Version(buf);
    EXPECT_STREQ(buf, "VOXA5-PLUS V1.4.0 WVGA \"Line 3\"");
    eepromData.config[0] = char(0xFF);
    KV_Copy_Version(buf);
    EXPECT_STREQ(buf, "VOXA5-PLUS V1.4.0 WVGA ");
    KV_EEPROM_SetDefaults();
    ASSERT_EQ(KV_BannerLine(4, buf), 1);
    EXPECT_STREQ(buf, "  Baud rate = 115,200");
    EXPECT_EQ(KV_BannerLine(5, buf), 0);  // the RS-485 line only in RS-485 mode
    ASSERT_EQ(KV_BannerLine(2, buf), 1);
    EXPECT_EQ(std::string(buf).substr(std::strlen(buf) - 4), std::string(__DATE__).substr(7));
}

TEST(Backlight, PwmValueOfBothRanges) {
    KV_EEPROM_SetDefaults();
    eepromData.maxBrite = 200;
    eepromData.minBrite = 20;
    EXPECT_EQ(KV_Brite_PwmValue(128), 110);
    EXPECT_EQ(KV_Brite_PwmValue(255), 200);
    EXPECT_EQ(KV_Brite_PwmValue(0), 20);
    eepromData.maxBrite = 0;
    eepromData.minBrite = 242;
    EXPECT_EQ(KV_Brite_PwmValue(255), 0);
    EXPECT_EQ(KV_Brite_PwmValue(0), 242);
}

}  // namespace
