// The touch settings and their commands, as the host sees them (no finger needed).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "harness/harness.h"
#include "harness/stored_settings.h"
#include "src/base/settings_record.h"

namespace voxa_test {
namespace {

class TouchCommands : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }
    EepromData stored() { return stored_settings(h.module()); }
    Harness h;
};

TEST_F(TouchCommands, TouchParmLimitsAndSaves) {
    EXPECT_EQ(h.command("*touchParm"), ":Samples = 8, Max span = 12\r>\r");
    EXPECT_EQ(h.command("*touchParm 21 5"), ":Values too high\r!\r");
    EXPECT_EQ(h.command("*touchParm 5 21"), ":Values too high\r!\r");
    EXPECT_EQ(h.command("*touchParm -1 5"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*touchParm 4 -3"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*touchParm"), ":Samples = 8, Max span = 12\r>\r");
    EXPECT_EQ(h.command("*touchParm 20 0"), ":Samples = 20, Max span = 0\r>\r");
    EXPECT_EQ(stored().tsamp, 20);
    EXPECT_EQ(stored().tspan, 0);
    EXPECT_EQ(h.command("*tsamp"), "20\r>\r");
    EXPECT_EQ(h.command("*tspan 12"), ">\r");
    EXPECT_EQ(h.command("*touchParm"), ":Samples = 20, Max span = 12\r>\r");
}

TEST_F(TouchCommands, TouchModeLettersNumbersAndQuery) {
    EXPECT_EQ(h.command("*touchMode"), "S--- (0)\r>\r");
    EXPECT_EQ(h.command("*touchMode 5"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "-L-W (5)\r>\r");
    EXPECT_EQ(stored().touchMode, 5);
    EXPECT_EQ(h.command("*touchMode P"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "--P- (2)\r>\r");
    EXPECT_EQ(h.command("*touchMode LPW"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "-LPW (7)\r>\r");
    EXPECT_EQ(h.command("*touchMode LPS"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "S--- (0)\r>\r");
    // The "s" form changes the mode without saving it.
    EXPECT_EQ(h.command("*touchModes W"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "---W (4)\r>\r");
    EXPECT_EQ(stored().touchMode, 0);
    EXPECT_EQ(h.command("*touchModes 1"), ">\r");
    EXPECT_EQ(h.command("*touchMode"), "-L-- (1)\r>\r");
}

TEST_F(TouchCommands, SettingsQueriesAndSetters) {
    EXPECT_EQ(h.command("*tplo"), "250\r>\r");
    EXPECT_EQ(h.command("*tphi"), "700\r>\r");
    EXPECT_EQ(h.command("*tpDeltaLim"), "10\r>\r");
    EXPECT_EQ(h.command("*tcTimeout"), "10\r>\r");
    EXPECT_EQ(h.command("*autoCal"), "0\r>\r");
    EXPECT_EQ(h.command("*tplo 1000"), ">\r");
    EXPECT_EQ(h.command("*tphi 40000"), ">\r");
    EXPECT_EQ(h.command("*tcTimeout 3"), ">\r");
    EXPECT_EQ(h.command("*autoCal 7"), ">\r");
    EXPECT_EQ(h.command("*autoCal"), "1\r>\r");
    EXPECT_EQ(h.command("*tphi"), "40000\r>\r");
    const EepromData d = stored();
    EXPECT_EQ(d.tplo, 1000);
    EXPECT_EQ(d.tphi, 40000);
    EXPECT_EQ(d.tcTimeout, 3);
    EXPECT_EQ(d.autoCal, 0xA5);
    EXPECT_EQ(h.command("*autoCal 0"), ">\r");
    EXPECT_EQ(stored().autoCal, 0xFF);
    EXPECT_EQ(h.command("*touchSwap 9"), ">\r");
    EXPECT_EQ(h.command("*touchSwap"), "1\r>\r");
    EXPECT_EQ(stored().touchSwap, 1);
    EXPECT_EQ(h.command("*touchSwap 0"), ">\r");
    EXPECT_EQ(stored().touchSwap, 0);
}

TEST_F(TouchCommands, DebounceAcceptsZeroAndRefusesNegatives) {
    EXPECT_EQ(h.command("*debounce"), "Debounce = 100ms\r>\r");
    EXPECT_EQ(h.command("*debounce 0"), "Debounce = 0ms\r>\r");
    EXPECT_EQ(stored().debounce, 0u);
    EXPECT_EQ(h.command("*debounce -1"), ":invalid argument\r!\r");
    EXPECT_EQ(h.command("*debounce 250"), "Debounce = 250ms\r>\r");
}

TEST_F(TouchCommands, DebugLevelsAndQuietDiagnostics) {
    EXPECT_EQ(h.command("*debug 1"), ">\r");
    EXPECT_EQ(h.command("*debug 2"), ":Display pressure option; font set to m10\r>\r");
    EXPECT_EQ(h.command("*debugTouch 0"), ">\r");
    EXPECT_EQ(h.command("*KV"), ">\r");
    EXPECT_EQ(h.command("*ever"), ">\r");  // nobody touched the screen
    EXPECT_EQ(h.command("tclr"), ">\r");
    EXPECT_EQ(h.command("*tt"), ">\r");
    // Without a touch, "*td" ends 5 s after it starts, "*td2" reports for 6 s and fails.
    EXPECT_EQ(h.command("*td", 6000), "TouchSwap = 0\r>\r");
    const std::string td2 = h.command("*td2", 7000);
    EXPECT_EQ(td2.size(), 60 * std::string("0 FFFFFFFF:FFFFFFFF\r").size() + 2) << visible(td2);
    EXPECT_EQ(td2.substr(td2.size() - 2), "!\r");
}

TEST_F(TouchCommands, CalibrationWithoutAFingerGivesUp) {
    // Nobody presses the first target: after tcTimeout seconds the calibration is abandoned and
    // the stored calibration is untouched.
    EXPECT_EQ(h.command("*tcTimeout 1"), ">\r");
    const EepromData before = stored();
    EXPECT_EQ(h.command("tc", 3000), ">\r");
    const EepromData after = stored();
    EXPECT_EQ(std::memcmp(before.calLogX, after.calLogX, 40), 0);
    EXPECT_EQ(after.touchSwap, before.touchSwap);
    EXPECT_EQ(h.command("*gcp 100 100", 3000), ":   LogX:100, LogY:100, PhyX:0, PhyY:0\r!\r");
}

}  // namespace
}  // namespace voxa_test
