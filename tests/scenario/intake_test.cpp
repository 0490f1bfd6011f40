// The host link: prompts, line assembly, flow control and error recovery, seen from the host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

class Intake : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }
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
    // The binary macro call, for macro 13: there is no macro file, so it is refused as a whole.
    EXPECT_EQ(h.take(), ":macro index 13 not valid\r!\r");
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
    EXPECT_LT(waited, 102.0);

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

// ---------------------------------------------------------------------------------------------
// Line edges and the ring's limits, with the main loop held busy by "w" while bytes arrive.

class IntakeLimits : public Intake {
  protected:
    // Starts a wait of ms in the module, so that what is sent next only piles up in the ring.
    void hold_main_loop(int ms) {
        h.send("w " + std::to_string(ms) + "\r");
        h.run_ms(5);
        ASSERT_EQ(h.take(), "");
    }
    static int count_of(const std::string& s, char c) {
        int n = 0;
        for (const char x : s) n += x == c;
        return n;
    }
    static std::string without_flow_bytes(const std::string& s) {
        std::string out;
        for (const char c : s) {
            if (c != char(kXoff) && c != char(kXon)) out += c;
        }
        return out;
    }
    static std::string repeat(const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    }
};

constexpr const char* kVersReply = "VOXA5-PLUS V1.4.0 WVGA \r>\r";

TEST_F(IntakeLimits, BackspaceWithNothingBeforeItIsIgnored) {
    EXPECT_EQ(h.command("\bvers"), kVersReply);
    EXPECT_EQ(h.command("x\b\b\bvers"), kVersReply);
    EXPECT_EQ(h.command("\bvers\b\bzs"), "!\r");  // "vezs"
}

TEST_F(IntakeLimits, LongestLinesEndedByCrLf) {
    // 128 and 129 characters before CR LF arrive whole; the LF goes with the next line.
    for (const int length : {128, 129}) {
        SCOPED_TRACE(length);
        std::string text;
        for (int i = 0; i < length - 7; ++i) text += char('a' + i % 26);
        h.send("outs \"" + text + "\"\r\nvers\r\n");
        EXPECT_EQ(h.run_until_text(kVersReply, 300), text + kVersReply);
        h.run_ms(20);
        EXPECT_EQ(h.take(), "") << "the last LF waits for a line";
    }
    // One character more is refused once, with its line end.
    h.send("outs \"" + std::string(123, 'b') + "\"\r\nvers\r\n");
    EXPECT_EQ(h.run_until_text(kVersReply, 300), std::string("!\r") + kVersReply);
}

TEST_F(IntakeLimits, FullRingIsKeptWholeAndOneByteMoreOverflowsOnce) {
    // Four lines of 128 bytes fill the 512-byte ring exactly (and wrap round it); every byte
    // comes back in the echoes.
    std::string lines, echoes;
    for (int k = 0; k < 4; ++k) {
        std::string text;
        for (int i = 0; i < 120; ++i) text += char('A' + (i * 7 + k * 3) % 26);
        text[0] = char('0' + k);
        lines += "outs \"" + text + "\"\r";
        echoes += text;
    }
    ASSERT_EQ(lines.size(), 512u);
    hold_main_loop(200);
    h.send(lines);
    h.run_ms(400);
    std::string out = h.take();
    EXPECT_EQ(count_of(out, char(kXoff)), 1);
    EXPECT_EQ(count_of(out, char(kXon)), 1);
    EXPECT_EQ(without_flow_bytes(out), ">\r" + echoes);

    // The 513th byte finds the ring full: it is dropped, and the module answers once with "^"
    // (no line of the backlog is run), then releases the host.
    hold_main_loop(200);
    h.send(lines + "x");
    h.run_ms(400);
    out = h.take();
    EXPECT_EQ(visible(out), visible(std::string(1, char(kXoff)) + ">\r^\r" + char(kXon)));
    EXPECT_EQ(h.command("vers"), kVersReply);
}

TEST_F(IntakeLimits, XoffGoesOutWhenMoreThan384BytesWait) {
    // 385 waiting bytes: no XOFF yet.
    hold_main_loop(100);
    h.send(repeat("sb 1\r", 77));
    h.run_ms(300);
    std::string out = h.take();
    EXPECT_EQ(count_of(out, char(kXoff)), 0);
    EXPECT_EQ(out, repeat(">\r", 78));

    // The byte that arrives while 385 wait is the one that brings XOFF, at once.
    hold_main_loop(100);
    const uint64_t t0 = h.module().now_ns();
    h.send(repeat("sb 1\r", 76) + "su\rsu\r");
    h.run_ms(300);
    const auto timed = h.take_timed();
    ASSERT_FALSE(timed.empty());
    EXPECT_EQ(timed[0].byte, kXoff);
    const double byte_us = 1e6 * 10 / 115200;
    const double at_us = double(timed[0].t_ns - t0) / 1e3;
    // Byte 386 has arrived after 386 byte times; XOFF itself takes one more.
    EXPECT_GT(at_us, 386 * byte_us);
    EXPECT_LT(at_us, 387 * byte_us + 20) << "XOFF after byte " << at_us / byte_us;
    out.clear();
    for (const auto& b : timed) out += char(b.byte);
    EXPECT_EQ(count_of(out, char(kXoff)), 1);
    EXPECT_EQ(without_flow_bytes(out), repeat(">\r", 79));
}

TEST_F(IntakeLimits, XonGoesOutAsSoonAsNoMoreThan128BytesWait) {
    // 300 bytes of "sb 1" lines, then a tail of exactly 128 bytes: XON comes right after the
    // line that brings the backlog down to 128, before the tail's first line runs.
    const std::string head = repeat("sb 1\r", 60);
    const std::string tail128 = "su\r" + repeat("sb 1\r", 25);
    ASSERT_EQ(tail128.size(), 128u);
    hold_main_loop(100);
    h.send(head + tail128);
    h.run_ms(400);
    std::string out = h.take();
    ASSERT_EQ(count_of(out, char(kXon)), 1);
    std::string before = out.substr(0, out.find(char(kXon)));
    EXPECT_EQ(without_flow_bytes(before), repeat(">\r", 1 + 60));
    EXPECT_EQ(without_flow_bytes(out), repeat(">\r", 1 + 60 + 26));

    // A tail of 129 bytes: after the head, 129 still wait, so XON follows the next line.
    const std::string tail129 = repeat("su\r", 3) + repeat("sb 1\r", 24);
    ASSERT_EQ(tail129.size(), 129u);
    hold_main_loop(100);
    h.send(head + tail129);
    h.run_ms(400);
    out = h.take();
    ASSERT_EQ(count_of(out, char(kXon)), 1);
    before = out.substr(0, out.find(char(kXon)));
    EXPECT_EQ(without_flow_bytes(before), repeat(">\r", 1 + 60 + 1));
    EXPECT_EQ(without_flow_bytes(out), repeat(">\r", 1 + 60 + 27));
}

}  // namespace
}  // namespace voxa_test
