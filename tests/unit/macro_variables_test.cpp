// Variable expansion, arithmetic and the variable store, called directly; the variable commands
// through parse_command.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/interpreter.h"
#include "command/chain.h"
#include "command/parse_command.h"
#include "device/board.h"
#include "drawing/drawing_state.h"
#include "in_process.h"
#include "macro/variables.h"
#include "settings/settings.h"

namespace voxa_test {
namespace {

constexpr size_t kLine = 130;

std::string expand(const std::string& src, const char* const* args = nullptr, size_t size = kLine) {
    std::vector<char> out(size + 8, '#');
    expandVariables(out.data(), size, src.c_str(), args);
    EXPECT_LT(std::strlen(out.data()), size) << src;
    for (size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << src << " at " << i;
    return out.data();
}

std::string math(const std::string& src, size_t size = kLine) {
    std::vector<char> out(size + 8, '#');
    processMath(out.data(), size, src.c_str());
    EXPECT_LT(std::strlen(out.data()), size) << src;
    for (size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << src << " at " << i;
    return out.data();
}

// A host line through both filters, as the main loop passes it on.
std::string both(const std::string& src) {
    return math(expand(src));
}

class MacroVariables : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { start_firmware_in_process(); }
    void SetUp() override {
        KV_Macros_Init();
        host_output();
    }
};

TEST_F(MacroVariables, NumbersInFieldFormats) {
    setMacro_iMem(1, -5);
    setMacro_iMem(2, 7);
    EXPECT_EQ(expand("`i1`"), "-5");
    EXPECT_EQ(expand("[`%5 i1`]"), "[   -5]");
    EXPECT_EQ(expand("[`%-3 i1`]"), "[-5 ]");
    EXPECT_EQ(expand("[`%+05 i2`][`%+05 i1`][`%05 i1`][`%+3 i2`]"), "[+0007][-0005][-0005][ +7]");
    EXPECT_EQ(expand("`i1x junk`"), "-5") << "text after the variable is ignored";
    setMacro_pt(2, 3, -4);
    EXPECT_EQ(expand("`p2`|`p2.x`|`p2.y`|`%3 p2`"), "3 -4|3|-4|  3  -4");
    setMacro_iMem(0, INT32_MIN);
    EXPECT_EQ(expand("`i0`"), "-2147483648");
}

TEST_F(MacroVariables, TextsNeedAPrecision) {
    setMacroString2("abcdef", 1);
    EXPECT_EQ(expand("[`%10 s1`]"), "[]");
    EXPECT_EQ(expand("[`%10.3 s1`]"), "[       abc]");
    EXPECT_EQ(expand("[`%-8.2 s1`]"), "[ab      ]");
    EXPECT_EQ(expand("[`%2.9 s1`]"), "[abcdef]");
    pushMacroString("mem", kMacroStringMax);
    EXPECT_EQ(expand("`M`/`s1`"), "mem/abcdef");
}

TEST_F(MacroVariables, ItemsThatGiveNothing) {
    setMacro_iMem(1, 1);
    setMacroString2("abc", 1);
    for (const char* line :
         {"`i12`",  "`s10`",  "`p-1`",          "`eG`",    "`e10`",     "`Q`",
          "`X`",    "`Xq`",   "`$BAUD1`",       "`%5 s1`", "`%5.2 i1`", "`%123456 i1`",
          "`%i1`",  "`%5i1`", "`%5 `",          "`%0 i1`", "`%81 i1`",  "`%-05 i1`",
          "`%5 Q`", "`W1`",   "`H1`",           "`L0`",    "`R`",       "`R3`",
          "`R3:1`", "`R5:x`", "`i99999999999`", "`p1.`x"}) {
        EXPECT_EQ(expand(line), std::string(line).back() == 'x' ? "0 0x" : "") << line;
    }
}

TEST_F(MacroVariables, BackquotesAndComments) {
    EXPECT_EQ(expand("a``b"), "a`b");
    EXPECT_EQ(expand("a`b"), "ab");
    EXPECT_EQ(expand("t \"x//y\" 1"), "t \"x");
    EXPECT_EQ(expand("l 1 2 /* rest"), "l 1 2 ");
    EXPECT_EQ(expand("a/b"), "a/b");
    EXPECT_EQ(expand("x`(1+2)`y"), "x`(1+2)`y") << "expressions are left for the arithmetic";
}

TEST_F(MacroVariables, ArgumentsOnlyInMacros) {
    const std::string long_arg(129, 'x');
    const char* const args[kMacroArgCount] = {long_arg.c_str(), "one", nullptr, "three"};
    EXPECT_EQ(expand("a`3`b"), "ab") << "host lines have no arguments";
    EXPECT_EQ(expand("a`3`b", nullArgs), "ab");
    EXPECT_EQ(expand("a`3`b`2`c`1`", args), "athreebcone");
    EXPECT_EQ(expand("`0`", args), long_arg) << "a whole argument fits a host-sized line";
    EXPECT_EQ(expand("a`0`b", args, 129), "ab") << "an argument that does not fit is left out";
    EXPECT_EQ(expand("[`%2.99 0`]", args), "[" + long_arg.substr(0, 99) + "]");
}

TEST_F(MacroVariables, ScreenSettingsAndPorts) {
    EXPECT_EQ(expand("`Xm` `Ym` `Xc` `Yc`"), "799 479 400 240");
    setOrigin(10, 20);
    EXPECT_EQ(expand("`Xo` `Yo`"), "10 20");
    setOrigin(0, 0);
    eepromData.beepVol = 200;
    eepromData.brite = 7;
    EXPECT_EQ(expand("`V` `%03 B`"), "200 007");
    KV_COM_BaudRate(115200);
    EXPECT_EQ(expand("`$BAUD0`|`%-9.3 $BAUD0`|"), "115,200|115" + std::string(6, ' ') + "|");
    KV_COM_BaudRate(9600);
    EXPECT_EQ(expand("`$BAUD0`"), "9,600");
    KV_COM_BaudRate(115200);
    host_output();
}

TEST_F(MacroVariables, UserBytes) {
    setMacro_eByte(0xA, 0x5C);
    EXPECT_EQ(getMacro_eByte(0xA), 0x5C);
    EXPECT_EQ(EEpromRead(kEepromUserArea + 0xA), 0x5C);
    EXPECT_EQ(expand("`eA` `ea` `%4 e0xA`"), "92 92   92");
    EXPECT_EQ(getMacro_eByte(16), -1);
    EXPECT_EQ(setMacro_eByte(-1, 0), 0);
}

TEST_F(MacroVariables, RandomItems) {
    std::set<std::string> seen;
    for (int i = 0; i < 600; ++i) seen.insert(expand("`R1:6`"));
    EXPECT_EQ(seen, (std::set<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(expand("`R-3:-3`"), "-3");
    std::set<std::string> wide;
    for (int i = 0; i < 20; ++i) {
        const std::string v = expand("`R-2147483648:2147483647`");
        EXPECT_FALSE(v.empty());
        wide.insert(v);
    }
    EXPECT_GT(wide.size(), 15u) << "the full range is not empty";
    // Start-up restarts the same sequence.
    KV_Macros_Init();
    const std::string first = expand("`R0:1000000`");
    KV_Macros_Init();
    EXPECT_EQ(expand("`R0:1000000`"), first);
}

TEST_F(MacroVariables, Arithmetic) {
    EXPECT_EQ(math("a`(7/0)`b"), "a(7/0)b");
    EXPECT_EQ(math("`(7%0)`"), "7");
    EXPECT_EQ(math("`(5 +3)`"), "(5 +3)");
    EXPECT_EQ(math("`(5+ 3)`"), "8");
    EXPECT_EQ(math("`(-7/2)` `(-7%2)` `(7%-2)` `(6*-7)` `(1-9)`"), "-3 -1 1 -42 -8");
    EXPECT_EQ(math("`(5^3)` `(5+3 x)`"), "(5^3) 8") << "text after the second number is ignored";
    EXPECT_EQ(math("`(1+2`"), "1+2`") << "no closing: the backquote and '(' are dropped";
    EXPECT_EQ(math("a`b"), "a`b");
    EXPECT_EQ(math("`(1+2)``(3+4)`"), "37");
    setMacro_iMem(1, 4);
    EXPECT_EQ(both("c 10 10 `(`i1`*3)`"), "c 10 10 12");
}

TEST_F(MacroVariables, ArithmeticWrapsAt32Bits) {
    EXPECT_EQ(math("`(-2147483648/-1)`"), "-2147483648");
    EXPECT_EQ(math("`(-2147483648%-1)`"), "0");
    EXPECT_EQ(math("`(2147483647+1)`"), "-2147483648");
    EXPECT_EQ(math("`(-2147483648-1)`"), "2147483647");
    EXPECT_EQ(math("`(65536*65536)`"), "0");
    EXPECT_EQ(math("`(99999999999+1)`"), "(99999999999+1)");
    EXPECT_EQ(math("`(1+2147483648)`"), "(1+2147483648)");
    EXPECT_EQ(math("`(-2147483648+0)`"), "-2147483648");
}

TEST_F(MacroVariables, FormatChecks) {
    for (const char* f : {"%5", "%-12", "%+05", "%05", "%+5", "%80", "%1"}) {
        EXPECT_TRUE(isValidNumberFormat(f)) << f;
    }
    for (const char* f : {"%", "%0", "%81", "%-05", "%+0", "%5.2", "5", "%a", "%5x", "%+-5"}) {
        EXPECT_FALSE(isValidNumberFormat(f)) << f;
    }
    for (const char* f : {"%10.4", "%-5.1", "%80.80", "%1.999"}) {
        EXPECT_TRUE(isValidStringFormat(f)) << f;
    }
    for (const char* f : {"%10", "%10.", "%10.0", "%0.3", "%81.2", "%+5.2", "%5.2x"}) {
        EXPECT_FALSE(isValidStringFormat(f)) << f;
    }
    EXPECT_TRUE(isValidFieldLength("80"));
    EXPECT_TRUE(isValidFieldLength("12.4"));
    EXPECT_FALSE(isValidFieldLength("81"));
    EXPECT_FALSE(isValidFieldLength("0"));
    EXPECT_FALSE(isValidFieldLength("x"));
    EXPECT_FALSE(isValidFieldLength("99999999999999999999"));
}

TEST_F(MacroVariables, OutputStaysInsideSmallBuffers) {
    setMacro_iMem(1, -12345);
    setMacroString2("abc", 1);
    const std::string line = "ab`i1`cd`%8.2 s1``(1+2)`ef``g`p0`";
    for (size_t size = 1; size < 40; ++size) {
        const std::string e = expand(line, nullptr, size);
        math(e, size);
        math(line, size);
    }
    EXPECT_EQ(expand("ab`i1`cd", nullptr, 5), "abcd") << "a value that does not fit is left out";
    EXPECT_EQ(expand("abcdef", nullptr, 4), "abc");
    EXPECT_EQ(math("ab`(1+2000)`c", 5), "abc");
    char one = 'x';
    expandVariables(&one, 1, "abc", nullptr);
    EXPECT_EQ(one, '\0');
    one = 'x';
    processMath(&one, 1, "abc");
    EXPECT_EQ(one, '\0');
    EXPECT_EQ(expand(""), "");
    char out[8] = "x";
    expandVariables(out, sizeof out, nullptr, nullptr);
    EXPECT_STREQ(out, "");
}

TEST_F(MacroVariables, StringOperationsKeepTheirLimits) {
    EXPECT_EQ(pushMacroString2("abcdef", 2, 3), 1);
    EXPECT_STREQ(getMacroString2(2), "abc");
    EXPECT_EQ(pushMacroString2("xyz", 2, 3), 1);
    EXPECT_STREQ(getMacroString2(2), "abc") << "already at the limit";
    const std::string long_text(100, 'q');
    setMacroString2(long_text.c_str(), 3);
    EXPECT_EQ(std::strlen(getMacroString2(3)), 80u);
    setMacroString2(std::string(79, 'a').c_str(), 4);
    EXPECT_EQ(pushMacroString2("bcd", 4, kMacroPushLimitMax), 1);
    EXPECT_EQ(std::string(getMacroString2(4)), std::string(79, 'a') + "b")
        << "a limit of 81 still stops at 80 characters";
    EXPECT_EQ(pushMacroString2("x", 4, 0), 0);
    EXPECT_EQ(pushMacroString2("x", 4, 82), 0);
    EXPECT_EQ(pushMacroString2("x", 10, 5), 0);
    setMacroString2("abcd", 5);
    popMacroString2(2, 5);
    EXPECT_STREQ(getMacroString2(5), "ab");
    popMacroString2(-1, 5);
    EXPECT_STREQ(getMacroString2(5), "");
    pushMacroString("hello", 80);
    popMacroString(99);
    EXPECT_STREQ(getMacroString(), "");
    EXPECT_EQ(setMacroString2("x", 10), 0);
    EXPECT_STREQ(getMacroString2(-1), "");
}

// ---------------------------------------------------------------------------------------------
// The commands.

struct Run {
    int result;
    std::string output;
};

Run run(const std::string& text) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    const int result = parse_command(line.data());
    return {result, host_output()};
}

void expect_fails(const std::string& line, const std::string& message) {
    const Run r = run(line);
    EXPECT_EQ(r.result, kCmdFailed) << line;
    EXPECT_EQ(r.output, message) << line;
}

void expect_reply(const std::string& line, const std::string& reply) {
    const Run r = run(line);
    EXPECT_EQ(r.result, kCmdDone) << line;
    EXPECT_EQ(r.output, reply) << line;
}

TEST_F(MacroVariables, SetAndItsMessages) {
    expect_reply("set i1 -5", "");
    EXPECT_EQ(getMacro_iMem(1), -5);
    expect_reply("setx i2 FFFFFFFB", "");
    EXPECT_EQ(getMacro_iMem(2), -5);
    expect_reply("set p3 -1 2", "");
    EXPECT_EQ(getMacro_ptX(3), -1);
    EXPECT_EQ(getMacro_ptY(3), 2);
    expect_reply("set s1 abc", "");
    EXPECT_STREQ(getMacroString2(1), "abc");
    expect_reply("set s2 \"a\\x41 b\"", "");
    EXPECT_STREQ(getMacroString2(2), "aA b");
    expect_reply("set e3 200", "");
    EXPECT_EQ(getMacro_eByte(3), 200);
    expect_reply("setx e4 7f", "");
    EXPECT_EQ(getMacro_eByte(4), 0x7F);

    expect_fails("set i12 5", ":err - arg must be i0 thru i9\r");
    expect_fails("set e10 5", ":err - arg must be e0 thru eF\r");
    expect_fails("set e1 256", ":err - value must be 0 thru 255\r");
    expect_fails("set e1 -1", ":err - value must be 0 thru 255\r");
    expect_fails("setx e1 100", ":err - value must be 0x00 thru 0xFF\r");
    expect_fails("set p10 1 2", ":err - arg must be p0 thru p9\r");
    expect_fails("set s10 x", ":err - arg must be s0 thru s9\r");
    expect_fails("set s1 ", ":err - text argument missing\r");
    expect_fails("set s1", ":err - text argument missing\r");
    EXPECT_STREQ(getMacroString2(1), "abc");
    expect_fails("set x1 5", "");
    expect_fails("set i1", "");
    // The point form is written "set p": "setx" has none.
    expect_fails("setx p1 1 2", "");
}

TEST_F(MacroVariables, GetRepliesAndModes) {
    setMacro_iMem(1, -5);
    setMacro_pt(2, 3, -4);
    setMacroString2("ab c", 3);
    setMacro_eByte(0xB, 0xAB);
    expect_reply("get i1", "-5\r");
    expect_reply("getd i1", "-5\r");
    expect_reply("getx i1", "FFFFFFFB\r");
    expect_reply("get\ti1", "-5\r");
    expect_reply("get eB", "171\r");
    expect_reply("getx eB", "AB\r");
    expect_reply("get p2", "3 -4\r");
    expect_reply("getq p2", "3 -4\r");
    expect_reply("get s3", "ab c\r");
    expect_reply("getq s3", "\"ab c\"\r");
    expect_fails("getq i1", ":err - syntax\r");
    expect_fails("getq eB", ":err - syntax\r");
    expect_fails("getx s3", ":err - syntax\r");
    expect_fails("get i10", ":err - arg must be i0 thru i9\r");
    expect_fails("get e10", ":err - arg must be e0 thru eF\r");
    expect_fails("get p10", ":err - arg must be p0 thru p9\r");
    expect_fails("get s10", ":err - arg must be s0 thru s9\r");
    // A line that names no variable goes on down the chain.
    char line[] = "get z1";
    parse_command(line);
    const int row = parse_command_last_row();
    if (row >= 0) {
        EXPECT_STRNE(kChain[row].name, "get");
    }
    host_output();
}

TEST_F(MacroVariables, PushAndPop) {
    expect_reply("mpush 2 \"abcdef\" 3", "");
    EXPECT_STREQ(getMacroString2(2), "abc");
    expect_reply("mpush \"x\\\"y\"", "");
    EXPECT_STREQ(getMacroString(), "x\"y");
    expect_reply("mpush \"zz\" 4", "");
    EXPECT_STREQ(getMacroString(), "x\"yz");
    expect_reply("mpop 1", "");
    EXPECT_STREQ(getMacroString(), "x\"y");
    expect_reply("mpop 2 -1", "");
    EXPECT_STREQ(getMacroString2(2), "");
    expect_fails("mpush 10 \"x\"", "");
    expect_fails("mpush \"x\" 82", "");
    expect_fails("mpush \"x\" 0", "");
    expect_fails("mpush x", "");
    expect_fails("mpop 10 1", "");
    expect_fails("mpop", "");
    EXPECT_STREQ(getMacroString(), "x\"y");
}

}  // namespace
}  // namespace voxa_test
