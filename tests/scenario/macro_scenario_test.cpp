// Stored macros as the host sees them: a file built by imgpack in the flash window, run by
// number, name and label, nested, looped, stopped, queued by touches and run at power-on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "imgpack.h"

namespace voxa_test {
namespace {

// Macros whose last line is "outs" end without a prompt (its result asks for none), so these
// lines wait only this long for one.
constexpr double kQuickMs = 60;

imgpack::MacroFile panel_file() {
    imgpack::MacroFile f;
    f.macros = {
        {"sect", {"outs \"P\"", ":a", "outs \"A\"", ":b", "  :c // two labels, one section",
                  "outs \"BC\"", ":default", "outs \"D\""}},
        {"firstdefault", {"outs \"P\"", ":default", "outs \"D\"", ":a", "outs \"A\""}},
        {"args", {"outs \"[`0`|`1`]\"", ":x3", "outs \"X\""}},
        {"nest", {"outs \"n\"", "m nest"}},
        {"fails", {"outs \"a\"", "nosuchcommand", "outs \"b\""}},
        {"caller", {"m fails", "outs \"c\""}},
        {"loop", {"outs \"x\"", "w 100", ":repeat"}},
        {"touch", {"outs \"T\"", ":x130", "outs \"press`0`\"", ":r130", "outs \"release\""}},
        {"long", {"outs \"1\"", "w 200", "outs \"2\"", "w 200", "outs \"3\""}},
        {"", {"vers"}},
        {"state", {"S 0000FF 000000", "ss", "S 00FF00 000000", "sr", "dp 1 1"}},
    };
    return f;
}

class MacroScenario : public ::testing::Test {
  protected:
    void boot(const imgpack::MacroFile& f = panel_file()) {
        std::string error;
        const auto bytes = imgpack::build(f, nullptr, &error);
        ASSERT_FALSE(bytes.empty()) << error;
        ASSERT_TRUE(h.flash2(bytes));
        const std::string kb = std::to_string(bytes.size() / 1024 ? bytes.size() / 1024 : 1);
        ASSERT_EQ(h.boot(), ":loading " + kb + "KB bitmap/macro file from flash2\r>\r");
    }
    std::string quick(const std::string& line) { return h.command(line, kQuickMs); }

    Harness h;
};

TEST_F(MacroScenario, LabelsChooseSectionsAfterThePrologue) {
    boot();
    EXPECT_EQ(quick("m 1"), "P");        // no label: the prologue, up to the first label line
    EXPECT_EQ(quick("m1:a"), "PA");      // a section ends at the next label
    EXPECT_EQ(quick("m1:b"), "PBC");     // labels one under another share a section
    EXPECT_EQ(quick("m sect:c"), "PBC");
    EXPECT_EQ(quick("m1:zz"), "PD");     // :default after another label catches the rest
    EXPECT_EQ(quick("m 1 :b"), "P");     // with a space the :b is an argument
    // As the first label, :default is only a label that was not asked for.
    EXPECT_EQ(quick("m2:zz"), "P:label \":zz\" not found\r!\r");
    EXPECT_EQ(quick("m2:a"), "PA");
    EXPECT_EQ(quick("m1:5"), ":label cannot begin with a digit\r!\r");
    EXPECT_EQ(quick("m 99"), ":macro index 99 not valid\r!\r");
    EXPECT_EQ(quick("m nosuch"), ":Macro name not found\r!\r");
    EXPECT_EQ(quick("m 12x"), ":macro index 12 not valid\r!\r");  // 12 with the argument x
    EXPECT_EQ(quick("m %x"), ":Macro name has improper form\r!\r");
    EXPECT_EQ(h.command("m 10"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");  // unnamed: by number only
}

TEST_F(MacroScenario, ArgumentsAndLabelsFromTheCommandLine) {
    boot();
    EXPECT_EQ(quick("m3:x3 a b"), "[a|b]X");
    EXPECT_EQ(quick("m 3 :x3"), "[:x3|]");
    EXPECT_EQ(quick("m args:x3 q"), "[q|]X");
    EXPECT_EQ(quick("m 3 \"a b\"\tc"), "[a b|c]");
    EXPECT_EQ(quick("m 3"), "[|]");
    // The binary call: macro 3 without arguments; a backquote byte is a macro number there.
    h.send(std::string("\x82M\x03", 3));
    h.run_ms(kQuickMs);
    EXPECT_EQ(h.take(), "[|]");
    h.send(std::string("\x82M`", 3));
    h.run_ms(kQuickMs);
    EXPECT_EQ(h.take(), ":macro index 96 not valid\r!\r");
}

TEST_F(MacroScenario, NestingFailuresAndTheTrace) {
    boot();
    // The fifth call fails silently, and with it every caller's "m" line.
    EXPECT_EQ(quick("m nest"), "nnnn!\r");
    EXPECT_EQ(h.command("*macdebug 1"), ">\r");
    EXPECT_EQ(quick("m nest"),
              "4 (nest): outs \"n\"\rn4 (nest): m nest\r"
              " 4 (nest): outs \"n\"\rn 4 (nest): m nest\r"
              "  4 (nest): outs \"n\"\rn  4 (nest): m nest\r"
              "   4 (nest): outs \"n\"\rn   4 (nest): m nest\r"
              ":maximum macro depth of 4 exceeded\r!\r");
    EXPECT_EQ(h.command("*macdebug 0"), ">\r");
    // A failing line ends its macro; the caller's "m" line failed, so the caller ends too.
    EXPECT_EQ(quick("m fails"), "a!\r");
    EXPECT_EQ(quick("m caller"), "a!\r");
}

TEST_F(MacroScenario, RepeatStopsOnAbortLineAndOnEscape) {
    boot();
    h.send("m loop\r");
    h.run_ms(350);
    EXPECT_EQ(h.take(), "xxxx");
    h.send("*abt\r");
    // The loop stops at its next line; the abort line itself is then an empty line.
    EXPECT_EQ(h.run_until_text(">\r>\r", 500), ":aborting on *abt\r>\r>\r");
    h.send("m loop\r");
    h.run_ms(150);
    h.take();
    h.send("\x1b\r");
    // The ESC line itself is then refused as any unknown line.
    const std::string out = h.run_until_text("\r!\r", 500);
    EXPECT_EQ(out.substr(out.find(':')), ":aborting on Escape\r>\r!\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(MacroScenario, TouchesQueueMacrosAtTheirLabelsWithArguments) {
    boot();
    ASSERT_EQ(h.command("x 130 100 100 200 200"), ">\r");
    EXPECT_EQ(h.command("xm 130 touch:r130"), ":xm label should be :x130\r!\r");
    EXPECT_EQ(h.command("xm 130 touch:x130 touch:x130"), ":xm label should be :r130\r!\r");
    ASSERT_EQ(h.command("xm 130 touch:x130 touch:r130"), ">\r");
    ASSERT_TRUE(h.touch(150, 150));
    h.run_ms(100);
    EXPECT_EQ(h.take(), "x130\rTpress");
    h.release();
    h.run_ms(250);
    EXPECT_EQ(h.take(), "Trelease");

    // Notices around a queued macro, in text and in binary; "xaq": no touch report.
    ASSERT_EQ(h.command("*macnote 3"), "both\r>\r");
    ASSERT_EQ(h.command("xaq 130 p touch A1"), ">\r");
    ASSERT_TRUE(h.tap(150, 150, 100));
    h.run_ms(250);
    EXPECT_EQ(h.take(), "m8\rTpressA1e8\rm8\rTrelease" "e8\r");
    ASSERT_EQ(h.command("*binr 1"), "on\r>\r");
    ASSERT_TRUE(h.tap(150, 150, 100));
    h.run_ms(250);
    EXPECT_EQ(h.take(), "M\x08TpressA1" "E\x08M\x08TreleaseE\x08");
    ASSERT_EQ(h.command("*binr 0"), "off\r>\r");
    EXPECT_EQ(h.command("xa"), "7997\r>\r");

    // A touch stops a running macro after its current line; its own macro runs next.
    h.send("m long\r");
    h.run_ms(50);
    ASSERT_TRUE(h.touch(150, 150));
    h.run_ms(400);
    h.release();
    h.run_ms(300);
    EXPECT_EQ(h.take(), "1>\rm8\rTpressA1e8\rm8\rTrelease" "e8\r");
}

TEST_F(MacroScenario, ListingAndBindings) {
    imgpack::MacroFile f;
    f.macros = {{"main", {"z", ":x130"}}, {"", {"vers"}}};
    boot(f);
    EXPECT_EQ(h.command("lsmac 2"), "Macro Definition\r  #2:\r    'vers'\r>\r");
    EXPECT_EQ(h.command("lsmac 3"), ":index outside valid range\r!\r");
    ASSERT_EQ(h.command("x 130 0 0 10 10"), ">\r");
    ASSERT_EQ(h.command("xm 130 main:x130 2"), ">\r");
    ASSERT_EQ(h.command("xa 130 r 2 \"a b\" c"), ">\r");
    EXPECT_EQ(h.command("lsmac"),
              "Macro Definitions\r  #1: main\r    'z'\r    ':x130'\r  #2:\r    'vers'\r"
              "\rButton -> macro (args):\r    130 -> press: 1 () release: 2 (\"a b\" c)\r>\r");
    EXPECT_EQ(h.command("xm 131 1"), "!\r");  // not defined
    EXPECT_EQ(h.command("xm 130 3"), "!\r");  // no macro 3
    EXPECT_EQ(h.command("xm 130 /"), ">\r");
    EXPECT_EQ(h.command("lsmac"),
              "Macro Definitions\r  #1: main\r    'z'\r    ':x130'\r  #2:\r    'vers'\r>\r");
}

TEST_F(MacroScenario, SaveAndRestoreSlotPerDepth) {
    boot();
    // The host's slot and the macro's slot are separate: the macro's "sr" gives back blue.
    ASSERT_EQ(h.command("S FF0000 000000"), ">\r");
    ASSERT_EQ(h.command("ss"), ">\r");
    ASSERT_EQ(h.command("m state"), ">\r");
    EXPECT_EQ(h.pixel(1, 1), 0x001F);
    ASSERT_EQ(h.command("sr"), ">\r");
    ASSERT_EQ(h.command("dp 2 2"), ">\r");
    EXPECT_EQ(h.pixel(2, 2), 0xF800);
}

TEST_F(MacroScenario, PowerOnMacroUnlessEscapeArrivesFirst) {
    boot();
    EXPECT_EQ(h.command("*PONMAC"), "0\r>\r");
    EXPECT_EQ(h.command("*PONMAC args"), ">\r");
    EXPECT_EQ(h.command("*PONMAC 99"), "!\r");
    EXPECT_EQ(h.command("*DEMOMAC sect"), ">\r");
    EXPECT_EQ(h.command("*DEMOMAC"), "1\r>\r");
    h.module().power_cycle();
    EXPECT_EQ(h.run_until_text(">\r", 3000),
              ":loading 1KB bitmap/macro file from flash2\r[|]>\r");
    EXPECT_EQ(h.command("*PONMAC"), "3\r>\r");
    // ESC CR received during start-up (the panel's power-on wait) skips it.
    h.module().power_cycle();
    h.run_ms(100);
    h.send("\x1b\r");
    // The ESC line itself is then read as an unknown command.
    EXPECT_EQ(h.run_until_text("!\r", 3000),
              ":loading 1KB bitmap/macro file from flash2\r>\r!\r");
    EXPECT_EQ(h.command("*PONMAC 0"), ">\r");
    EXPECT_EQ(h.command("*PONMAC"), "0\r>\r");
}

TEST_F(MacroScenario, Rs485AcknowledgesAMacroBeforeItRuns) {
    boot();
    EXPECT_EQ(h.command("*rs485 !35"), "RS485 Mode SOF 0x21 (!) ADR 35\r");
    h.run_ms(5);
    h.take();
    h.send("!35m 10\r", kAux);
    h.run_ms(50);
    EXPECT_EQ(h.take(kAux), "!FF>\r!FFVOXA5-PLUS V1.4.0 WVGA \r");
}

}  // namespace
}  // namespace voxa_test
