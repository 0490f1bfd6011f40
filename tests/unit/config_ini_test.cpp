// config.ini: how keys are found and read, and what each key does to the record.
#include <gtest/gtest.h>

#include "settings/config_ini.h"
#include "settings_test_util.h"

namespace voxa_test {
namespace {

class ConfigIni : public ::testing::Test {
  protected:
    void SetUp() override {
        serial_up();
        eepromData = defaults();
        macroVerbose = 0;
    }
};

int32_t value_of(const char* text, const char* key, char kind = 'd') {
    int32_t v = -12345;
    return lookfor(text, key, kind, &v, 0) ? v : -12345;
}

TEST_F(ConfigIni, KeyFormsAndComments) {
    EXPECT_EQ(value_of("tplo = 5", "tplo"), 5);
    EXPECT_EQ(value_of("tplo =5", "tplo"), 5);
    EXPECT_EQ(value_of("tplo 5", "tplo"), 5);
    EXPECT_EQ(value_of("tplo= 5", "tplo"), 5);
    EXPECT_EQ(value_of("tplo=5", "tplo"), -12345) << "no blank after the key";
    EXPECT_EQ(value_of("tplo = -7\r\n", "tplo"), -7);
    EXPECT_EQ(value_of("a = 1\r\n#tplo = 1\r\ntplo = 2\r\n", "tplo"), 2);
    EXPECT_EQ(value_of("# tplo = 1\n# tplo = 3\n", "tplo"), -12345) << "only comments";
    EXPECT_EQ(value_of("x = 1 # tplo = 9\n", "tplo"), 9) << "a comment starts a line, only";
    EXPECT_EQ(value_of("tphi = 1\n", "tplo"), -12345) << "absent";
    EXPECT_EQ(value_of("auxEsc = 1B", "auxEsc", 'x'), 0x1B);
    EXPECT_EQ(value_of("auxEsc 0x7f", "auxEsc", 'h'), 0x7F);
    EXPECT_EQ(host_output(), "") << "nothing is said outside verbose mode";

    int32_t v = 99;
    EXPECT_EQ(lookfor("tplo=5\r\ntphi = 3", "tplo", 'd', &v, 1), 0);
    EXPECT_EQ(v, 99);
    EXPECT_EQ(lookfor("tphi = 0x20", "tphi", 'x', &v, 1), 1);
    EXPECT_EQ(host_output(), ":Syntax error \"tplo=5\"\r:tphi = 0x20\r");
}

TEST_F(ConfigIni, QuotedStrings) {
    char dest[32];
    std::memset(dest, '?', sizeof dest);
    ASSERT_EQ(lookforQuotedString("config = \"a\\\"b\\x41\\n\\\\\"", "config", dest, 32, 0), 1);
    EXPECT_STREQ(dest, "a\"bA\n\\");
    ASSERT_EQ(lookforQuotedString("config \"\"", "config", dest, 32, 0), 1);
    EXPECT_STREQ(dest, "");
    ASSERT_EQ(lookforQuotedString("config = \"to line end\r\nx", "config", dest, 32, 0), 1);
    EXPECT_STREQ(dest, "to line end");
    const std::string ok31 = "config = \"" + std::string(31, 'x') + "\"";
    const std::string long32 = "config = \"" + std::string(32, 'y') + "\"";
    ASSERT_EQ(lookforQuotedString(ok31.c_str(), "config", dest, 32, 0), 1);
    EXPECT_EQ(std::string(dest), std::string(31, 'x'));
    EXPECT_EQ(lookforQuotedString(long32.c_str(), "config", dest, 32, 0), 0);
    EXPECT_EQ(std::string(dest), std::string(31, 'x')) << "a rejected value changes nothing";
    EXPECT_EQ(lookforQuotedString("config = name", "config", dest, 32, 0), 0);
    EXPECT_EQ(lookforQuotedString("#config = \"c\"", "config", dest, 32, 0), 0);
    EXPECT_EQ(lookforQuotedString("config=\"no\"", "config", dest, 32, 1), 0);
    ASSERT_EQ(lookforQuotedString("config = \"v\\0w\"", "config", dest, 32, 1), 1);
    EXPECT_EQ(host_output(), ":Syntax error \"config=\"no\"\"\r:config = \"v\"\r");
}

TEST_F(ConfigIni, KeysConvertIntoTheRecord) {
    const char* text =
        "autoCal = 3\n orient = 7\ninvEnaHiTrue = 5\ntouchSwap = 2\ntplo = 70000\n"
        "tpDeltaLim = 300\nauxEsc = 1B\nbeepFreq = 3000\nbeepVol = 511\ndebounce = 123456\n"
        "PONMAC = 261\nSPL = 4\nhfp = 9\nmaxBrite = 200\npwmIsEnable = 0\nLCDshiftclock = 7\n"
        "baud1 = 9600\nexternalSpeaker = 3\nmacdebug = 3\nconfig = \"panel one\"\n";
    const ConfigMerge m = KV_Config_MergeText(text);
    const EepromData& e = eepromData;
    EXPECT_TRUE(m.changed);
    EXPECT_FALSE(m.main_port_changed);
    EXPECT_FALSE(m.verbose);
    EXPECT_EQ(e.autoCal, 0xA5);
    EXPECT_EQ(e.orient, 3);
    EXPECT_EQ(e.invEnaHiTrue, 1);
    EXPECT_EQ(e.touchSwap, 1);
    EXPECT_EQ(e.tplo, 70000 & 0xFFFF);
    EXPECT_EQ(e.tpDeltaLim, 300 & 0xFF);
    EXPECT_EQ(e.auxEsc, 0x1B);
    EXPECT_EQ(e.beepFreq, 3000u);
    EXPECT_EQ(e.beepVol, 0xFF);
    EXPECT_EQ(e.debounce, 123456u);
    EXPECT_EQ(e.ponMacro, 5);
    EXPECT_EQ(e.bannerOff, 0xA5);
    EXPECT_EQ(e.splashEnable, 0xA5);
    EXPECT_EQ(e.splashIndex, 4);
    EXPECT_EQ(e.hfp, 9);
    EXPECT_EQ(e.maxBrite, 200);
    EXPECT_EQ(e.pwmIsEnable, 0);
    EXPECT_EQ(e.LCDshiftclock, 1);
    EXPECT_EQ(e.baud1, 3);
    EXPECT_EQ(e.externalSpeaker, 1);
    EXPECT_EQ(macroVerbose, 1);
    EXPECT_STREQ(e.config, "panel one");
    EXPECT_EQ(host_output(), "");

    // Zero forms: flags go back to 0xFF; the splash index stays.
    const ConfigMerge z = KV_Config_MergeText("autoCal = 0\nPONMAC = 0\nSPL = 0\n");
    EXPECT_TRUE(z.changed);
    EXPECT_EQ(e.autoCal, 0xFF);
    EXPECT_EQ(e.ponMacro, 0);
    EXPECT_EQ(e.bannerOff, 0xFF);
    EXPECT_EQ(e.splashEnable, 0xFF);
    EXPECT_EQ(e.splashIndex, 4);
}

TEST_F(ConfigIni, OnlyDifferencesCountAsChanges) {
    EXPECT_FALSE(KV_Config_MergeText("tplo = 250\nbaud0 = 115200\nconfig = \"\"\n").changed);
    EXPECT_TRUE(KV_Config_MergeText("macdebug = 1\n").changed) << "RAM-only flag still counts";
    EXPECT_FALSE(KV_Config_MergeText("macdebug = 1\n").changed);
    // A tspan below 4 is repaired in RAM only.
    const ConfigMerge t = KV_Config_MergeText("tspan = 2\n");
    EXPECT_TRUE(t.changed) << "2 differs from the stored 12";
    EXPECT_EQ(eepromData.tspan, 12);
    eepromData.tspan = 2;
    const ConfigMerge u = KV_Config_MergeText("tplo = 250\n");
    EXPECT_FALSE(u.changed);
    EXPECT_EQ(eepromData.tspan, 12);
}

TEST_F(ConfigIni, MainPortAndBaudRates) {
    ConfigMerge m = KV_Config_MergeText("mainPort = 2\n");
    EXPECT_FALSE(m.changed);
    EXPECT_EQ(eepromData.mainPort, 0);
    m = KV_Config_MergeText("mainPort = 1\n");
    EXPECT_TRUE(m.main_port_changed);
    EXPECT_EQ(eepromData.mainPort, 1);
    m = KV_Config_MergeText("mainPort = 1\n");
    EXPECT_FALSE(m.main_port_changed);

    m = KV_Config_MergeText("verbose = 1\nbaud0 = 2400\nbaud1 = 9600\n");
    EXPECT_EQ(eepromData.baud0, 7);
    EXPECT_EQ(eepromData.baud1, 3);
    EXPECT_TRUE(m.verbose);
    EXPECT_EQ(host_output(),
              ":config.ini verbose mode enabled\r:baud0 = 2400\r:new rate not valid, not saved\r"
              ":baud1 = 9600\r:new rate will take effect on next powerup/reset\r");
    m = KV_Config_MergeText("verbose = 0\nbaud1 = 9600\ntspan = 1\n");
    EXPECT_FALSE(m.verbose);
    EXPECT_EQ(host_output(), "");
}

TEST_F(ConfigIni, VerboseEchoesEveryKeyInTableOrder) {
    const char* text =
        "config = \"cfg\"\ntplo = 260\nverbose = 2\nauxEsc = 0a\nPONMAC = 3\nhpw=4\ntspan 3\n";
    KV_Config_MergeText(text);
    EXPECT_EQ(host_output(),
              ":config.ini verbose mode enabled\r:tplo = 260\r:tspan = 3\r:auxEsc = 0xA\r"
              ":PONMAC = 3\r:Syntax error \"hpw=4\"\r:config = \"cfg\"\r"
              ":tspan too low!! Set to default (12)\r");
}

}  // namespace
}  // namespace voxa_test
