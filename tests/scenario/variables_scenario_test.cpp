// Variables through the whole module: host lines expanded by the main loop, and what a power
// cycle keeps (the user EEPROM bytes) and loses (everything else).
#include <gtest/gtest.h>

#include "harness/harness.h"

namespace voxa_test {
namespace {

TEST(VariablesScenario, OnlyTheUserBytesSurviveAPowerCycle) {
    Harness h;
    ASSERT_EQ(h.boot(), kBootNoFile);
    ASSERT_EQ(h.command("set e0 17"), ">\r");
    ASSERT_EQ(h.command("setx eF A5"), ">\r");
    ASSERT_EQ(h.command("set i1 -5"), ">\r");
    ASSERT_EQ(h.command("set p2 3 4"), ">\r");
    ASSERT_EQ(h.command("set s3 kept?"), ">\r");
    ASSERT_EQ(h.command("mpush \"memory\""), ">\r");
    EXPECT_EQ(h.command("getx i1"), "FFFFFFFB\r>\r");
    EXPECT_EQ(h.command("set s4 [`M`]"), ">\r");
    EXPECT_EQ(h.command("get s4"), "[memory]\r>\r");

    h.module().power_cycle();
    ASSERT_EQ(h.run_until_text(">\r", 5000), kBootNoFile);
    EXPECT_EQ(h.command("get e0"), "17\r>\r");
    EXPECT_EQ(h.command("getx eF"), "A5\r>\r");
    EXPECT_EQ(h.command("get i1"), "0\r>\r");
    EXPECT_EQ(h.command("get p2"), "0 0\r>\r");
    EXPECT_EQ(h.command("getq s3"), "\"\"\r>\r");
    EXPECT_EQ(h.command("set s4 [`M`]"), ">\r");
    EXPECT_EQ(h.command("get s4"), "[]\r>\r");
}

TEST(VariablesScenario, HostLinesAreExpandedExceptLiteralTextCommands) {
    Harness h;
    ASSERT_EQ(h.boot(), kBootNoFile);
    ASSERT_EQ(h.command("set i1 4"), ">\r");
    ASSERT_EQ(h.command("set i2 `(`i1`*3)`"), ">\r");
    EXPECT_EQ(h.command("get i2"), "12\r>\r");
    ASSERT_EQ(h.command("set s1 `Xm`x`Ym` `$BAUD0` `%-4 i1`|`3`|"), ">\r");
    EXPECT_EQ(h.command("get s1"), "799x479 115,200 4   ||\r>\r");
    // Nothing after the variable word once the item is gone.
    EXPECT_EQ(h.command("set s2 `s9`"), ":err - text argument missing\r!\r");
    EXPECT_EQ(h.command("get s`(1+1)`"), "\r>\r");
    EXPECT_EQ(h.command("mpush 2 \"abcdef\" 3"), ">\r");
    EXPECT_EQ(h.command("getq s2"), "\"abc\"\r>\r");
}

TEST(VariablesScenario, TemperatureItemReadsAsTheTempCommand) {
    Harness h;
    ASSERT_EQ(h.boot(), kBootNoFile);
    for (const char* degrees : {"temp=25.0", "temp=-5.5"}) {
        ASSERT_TRUE(h.panel(degrees));
        const std::string temp = h.command("temp");
        ASSERT_EQ(temp.substr(temp.size() - 3), "\r>\r");
        ASSERT_EQ(h.command("set s1 `T`"), ">\r");
        EXPECT_EQ(h.command("get s1"), temp) << degrees;
    }
    ASSERT_TRUE(h.panel("temp=-31.0"));
    ASSERT_EQ(h.command("set s1 `%6.3 T`"), ">\r");
    EXPECT_EQ(h.command("get s1"), "   ***\r>\r");
}

}  // namespace
}  // namespace voxa_test
