// The host link: prompts, line assembly, flow control and error recovery, seen from the host.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

class Intake : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), ">\r"); }
    Harness h;
};

TEST_F(Intake, PromptsFollowTheResultOfEachLine) {
    EXPECT_EQ(h.command("*SERR"), "!\r");
    EXPECT_EQ(h.command("*IERR"), "#\r");
    EXPECT_EQ(h.command("sb 1"), ">\r");
    EXPECT_EQ(h.command("su"), ">\r");
    EXPECT_EQ(h.command("SB abc"), ">\r");
    EXPECT_EQ(h.command("SU"), ">\r");
    EXPECT_EQ(h.command("// only a remark"), ">\r");
    EXPECT_EQ(h.command("   "), ">\r");
    EXPECT_EQ(h.command("no such command"), "!\r");
    EXPECT_EQ(h.command("VERS"), "!\r");  // keywords are case-sensitive
    EXPECT_EQ(h.command("vers // with a remark"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, EmptyLineIsAnsweredAfterTenMilliseconds) {
    h.run_ms(5);
    const uint64_t sent = h.module().now_ns();
    h.send("\r");
    h.run_ms(30);
    const auto out = h.take_timed();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].byte, '>');
    // The CR takes one byte time to arrive, then 10 ms, then the prompt's own byte time.
    const double ms = double(out[1].t_ns - sent) / 1e6;
    EXPECT_GT(ms, 10.0);
    EXPECT_LT(ms, 10.5);
}

TEST_F(Intake, CheckedLinesRunOnlyWithTheRightCrc) {
    // CRC-16/MODBUS of "vers\r" is 0xE9B7 (the CR belongs to the checked text).
    EXPECT_EQ(h.command("~E9B7vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
    EXPECT_EQ(h.command("~e9b7vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
    EXPECT_EQ(h.command("~E9B8vers"), "#\r");
    EXPECT_EQ(h.command("~E9B"), "#\r");  // "~" and fewer than four characters
    EXPECT_EQ(h.command("~ZZZZvers"), "#\r");
}

TEST_F(Intake, LineEditingAndLineEnds) {
    EXPECT_EQ(h.command("verx\bs"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
    h.send("vers\r\nvers\r\n");
    EXPECT_EQ(h.run_until_text(">\r>\r", 200),
              "VOXA5-PLUS V1.4.0 WVGA \r>\rVOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, LongLinesUpToTheLimitAreWholeLongerOnesAreRefused) {
    // "outs" sends its quoted text back unchanged: 128 and 129 characters before the CR
    // arrive whole (the line buffer keeps room for its terminator)...
    for (const int length : {128, 129}) {
        const std::string text(size_t(length) - 7, 'a');
        EXPECT_EQ(h.command("outs \"" + text + "\""), text) << length;
    }
    // ...130 and more are refused once, and the module reads on normally.
    EXPECT_EQ(h.command("outs \"" + std::string(123, 'b') + "\""), "!\r");
    EXPECT_EQ(h.command(std::string(200, 'x')), "!\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, BinaryLinesAreFramedByTheirLeadByte) {
    // 0x82 announces two more bytes: one line of three bytes, whatever they are (a CR too).
    h.send(std::string("\x82M\r", 3));
    h.run_ms(20);
    EXPECT_EQ(h.take(), "!\r");  // no binary command is known yet: refused as a whole
    // The same byte inside a text line is an ordinary character.
    EXPECT_EQ(h.command("outs \"a\x82z\""), "a\x82z");
    // A lead byte announcing more than two bytes is dropped with "!\r" as soon as the main loop
    // finds it incomplete; the bytes that follow are then plain text up to the next CR.
    h.send(std::string("\x90\x01\x02\x03", 4));
    h.run_ms(20);
    EXPECT_EQ(h.take(), "!\r");
    EXPECT_EQ(h.command(""), "!\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, ModulePausesTheHostWhileBusyAndReleasesIt) {
    // While "w 300" keeps the main loop busy, 80 lines (400 bytes) arrive: past 384 waiting
    // bytes the module sends XOFF; once the backlog is worked down to 128 it sends XON.
    h.send("w 300\r");
    h.run_ms(5);
    std::string lines;
    for (int i = 0; i < 80; ++i) lines += "sb 1\r";
    h.send(lines);
    h.run_ms(600);
    const std::string out = h.take();
    const size_t xoff = out.find(char(kXoff));
    const size_t xon = out.find(char(kXon));
    ASSERT_NE(xoff, std::string::npos);
    ASSERT_NE(xon, std::string::npos);
    EXPECT_LT(xoff, xon);
    std::string prompts;
    for (char c : out) {
        if (c != char(kXoff) && c != char(kXon)) prompts += c;
    }
    std::string expected;
    for (int i = 0; i < 81; ++i) expected += ">\r";
    EXPECT_EQ(prompts, expected);
}

TEST_F(Intake, HostThatObeysXoffInTheMiddleOfALineIsReleased) {
    // A host that stops when told, in the middle of an over-long line: the module must not
    // wait for a CR that the paused host cannot send.
    h.send("w 100\r");
    h.run_ms(5);
    std::string sent;
    bool paused = false;
    for (int i = 0; i < 600 && !paused; ++i) {
        h.send("y");
        sent += 'y';
        h.run_ms(0.1);
        paused = h.take().find(char(kXoff)) != std::string::npos;
    }
    ASSERT_TRUE(paused);
    // The host now waits for XON, which must come on its own.
    const std::string out = h.run_until_text(std::string(1, char(kXon)), 1000);
    ASSERT_NE(out.find(char(kXon)), std::string::npos);
    h.send("yyy\r");
    EXPECT_EQ(h.run_until_text("!\r", 200), "!\r");  // the over-long line, refused once
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, RingOverflowIsReportedAndRecovered) {
    h.send("w 200\r");
    h.run_ms(5);
    std::string flood;
    for (int i = 0; i < 130; ++i) flood += "sb 1\r";  // 650 bytes, ignoring XOFF
    h.send(flood);
    h.run_ms(400);
    const std::string out = h.take();
    EXPECT_NE(out.find("^\r"), std::string::npos);
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Intake, HostXoffHoldsRepliesForAtMost100Ms) {
    h.send(std::string(1, char(kXoff)));
    h.run_ms(1);
    const uint64_t t0 = h.module().now_ns();
    h.send("vers\r");
    h.run_ms(300);
    auto out = h.take_timed();
    ASSERT_FALSE(out.empty());
    const double waited = double(out[0].t_ns - t0) / 1e6;
    EXPECT_GE(waited, 100.0);
    EXPECT_LT(waited, 110.0);

    // XON ends the wait at once.
    h.send(std::string(1, char(kXoff)));
    h.run_ms(1);
    h.send("vers\r");
    h.run_ms(20);
    EXPECT_EQ(h.take(), "");
    h.send(std::string(1, char(kXon)));
    h.run_ms(5);
    EXPECT_EQ(h.take(), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

}  // namespace
}  // namespace voxa_test
