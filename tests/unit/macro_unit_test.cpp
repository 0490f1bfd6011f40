// The macro module's pieces that need no macro file: the argument store and the split of a
// macro word into name and label.
#include <gtest/gtest.h>

#include <string>

#include "in_process.h"
#include "macro/hotspot_macros.h"
#include "macro/macro.h"

namespace {

using voxa_test::host_output;

class ArgStore : public ::testing::Test {
  protected:
    void SetUp() override {
        voxa_test::start_firmware_in_process();
        clearMacroArgStore();
        host_output();
    }
};

TEST_F(ArgStore, ReusesASlotThatFitsAndMovesATextThatDoesNot) {
    ASSERT_EQ(assignMacroArgs(130, 1, "abcdef"), 1);
    EXPECT_EQ(getMacroArgBytesAvailable(), 8000 - 7);
    // Shorter text: same slot, no new pool space.
    ASSERT_EQ(assignMacroArgs(130, 1, "xy"), 1);
    EXPECT_STREQ(getMacroArgs(130, 1), "xy");
    EXPECT_EQ(getMacroArgBytesAvailable(), 8000 - 7);
    // Press and release of one hotspot are separate slots.
    ASSERT_EQ(assignMacroArgs(130, 0, "rel"), 1);
    EXPECT_STREQ(getMacroArgs(130, 1), "xy");
    EXPECT_STREQ(getMacroArgs(130, 0), "rel");
    // Longer than the slot holds: a new slot; the old 7-byte area waits for a smaller text.
    ASSERT_EQ(assignMacroArgs(130, 1, "0123456789"), 1);
    EXPECT_EQ(getMacroArgBytesAvailable(), 8000 - 7 - 4 - 11);
    ASSERT_EQ(assignMacroArgs(131, 1, "seven!"), 1);  // 7 bytes: fits the freed area exactly
    EXPECT_EQ(getMacroArgBytesAvailable(), 8000 - 7 - 4 - 11);
    EXPECT_STREQ(getMacroArgs(130, 1), "0123456789");
    EXPECT_STREQ(getMacroArgs(131, 1), "seven!");
    releaseMacroArgs(131, 1);
    EXPECT_EQ(getMacroArgs(131, 1), nullptr);
    EXPECT_EQ(host_output(), "");
}

TEST_F(ArgStore, BestFitTakesTheSmallestFreeAreaThatHoldsTheText) {
    assignMacroArgs(1, 1, std::string(20, 'a').c_str());
    assignMacroArgs(2, 1, std::string(5, 'b').c_str());
    assignMacroArgs(3, 1, std::string(10, 'c').c_str());
    releaseMacroArgs(1, 1);
    releaseMacroArgs(2, 1);
    releaseMacroArgs(3, 1);
    const int left = getMacroArgBytesAvailable();
    ASSERT_EQ(assignMacroArgs(4, 1, "12345678"), 1);  // 9 bytes: the 11-byte area, not 21
    ASSERT_EQ(assignMacroArgs(5, 1, std::string(15, 'd').c_str()), 1);  // the 21-byte area
    ASSERT_EQ(assignMacroArgs(6, 1, "12345"), 1);                       // the 6-byte area
    EXPECT_EQ(getMacroArgBytesAvailable(), left);
    ASSERT_EQ(assignMacroArgs(7, 1, "z"), 1);  // no free area left: new pool space
    EXPECT_EQ(getMacroArgBytesAvailable(), left - 2);
}

TEST_F(ArgStore, SlotsAndPoolRunOutWithTheirMessages) {
    for (int spot = 0; spot < 100; ++spot) ASSERT_EQ(assignMacroArgs(spot, 1, "a"), 1) << spot;
    EXPECT_EQ(assignMacroArgs(100, 1, "a"), 0);
    EXPECT_EQ(host_output(), ":out of macro arg storage slots; all 100 in use\r");
    // Replacing the text of a slot in use needs no new slot.
    EXPECT_EQ(assignMacroArgs(5, 1, "b"), 1);

    clearMacroArgStore();
    const std::string big(128, 'x');
    int spot = 0;
    while (getMacroArgBytesAvailable() >= 129) ASSERT_EQ(assignMacroArgs(spot++, 1, big.c_str()), 1);
    const int left = getMacroArgBytesAvailable();
    host_output();
    EXPECT_EQ(assignMacroArgs(spot, 1, big.c_str()), 0);
    EXPECT_EQ(host_output(), ":out of macro arg storage space; need 129 bytes, " +
                                 std::to_string(left) + " left\r");
    EXPECT_EQ(assignMacroArgs(spot, 1, std::string(size_t(left - 1), 'y').c_str()), 1);
    EXPECT_EQ(getMacroArgBytesAvailable(), 0);
    // "xc all" empties it.
    clearMacroArgStore();
    EXPECT_EQ(getMacroArgBytesAvailable(), 8000);
    EXPECT_EQ(getMacroArgs(0, 1), nullptr);
}

TEST(MacroNameSplit, AColonAnywhereStartsTheLabel) {
    char name[64];
    const char* rest;
    EXPECT_EQ(formatMacroNameString("  main:x3 a b", name, sizeof name, &rest), 1);
    EXPECT_STREQ(name, "main");
    EXPECT_STREQ(rest, ":x3 a b");
    EXPECT_EQ(formatMacroNameString("main a b", name, sizeof name, &rest), 0);
    EXPECT_STREQ(name, "main");
    EXPECT_STREQ(rest, "a b");
    EXPECT_EQ(formatMacroNameString("main", name, sizeof name, &rest), 0);
    EXPECT_STREQ(rest, "");
    // The label may follow the arguments: the name then runs up to it.
    EXPECT_EQ(formatMacroNameString("main a:b", name, sizeof name, &rest), 1);
    EXPECT_STREQ(name, "main a");
    // A name longer than the buffer is cut, never written past it.
    char small[4];
    formatMacroNameString("abcdefgh x", small, sizeof small, &rest);
    EXPECT_STREQ(small, "abc");
    EXPECT_STREQ(rest, "x");
}

}  // namespace
