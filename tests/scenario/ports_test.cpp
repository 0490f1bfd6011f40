// The two serial ports: rates, roles, the auxiliary pass-through and RS-485 addressed mode.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr const char* kVersion = "VOXA5-PLUS V1.4.0 WVGA \r";

class Ports : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }
    // Time between the ends of two consecutive bytes: one byte time at the line's rate.
    static double byte_gap_us(const std::vector<sim::TimedByte>& out) {
        return out.size() < 2 ? 0 : double(out[1].t_ns - out[0].t_ns) / 1e3;
    }
    Harness h;
};

TEST_F(Ports, BaudSwitchesBeforeOrAfterItsPrompt) {
    EXPECT_EQ(h.command("baud"), "115200\r>\r");
    h.send("baud 9600\r");
    h.run_ms(20);
    auto out = h.take_timed();
    ASSERT_EQ(out.size(), 2u);
    // The fractional divider gives 9557 bit/s for 9600: within half a percent, as on the chip.
    EXPECT_NEAR(byte_gap_us(out), 1046.4, 1.0);  // the prompt already at the new rate
    EXPECT_NEAR(h.module().uart_rate(0), 9600, 48);
    EXPECT_EQ(h.command("baud0"), "9600\r>\r");

    h.send("baudp 115200\r");
    h.run_ms(20);
    out = h.take_timed();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(byte_gap_us(out), 1046.4, 1.0);  // the prompt still at the old rate
    EXPECT_NEAR(h.module().uart_rate(0), 115200, 10);
    EXPECT_EQ(h.command("vers"), std::string(kVersion) + ">\r");

    EXPECT_EQ(h.command("baud 2400"), "!\r");  // not in the rate table
    EXPECT_EQ(h.command("baud1 19200"), ">\r");
    EXPECT_EQ(h.command("baud1"), "19200\r>\r");
    EXPECT_EQ(h.command("baud"), "115200\r>\r");
}

TEST_F(Ports, ThreeAuxiliaryEscapesMoveTheHostRole) {
    h.send("\r\r\r", kAux);
    h.run_ms(5);
    h.send("vers\r", kAux);
    EXPECT_EQ(h.run_until_text(">\r", 100, kAux), std::string(kVersion) + ">\r");
    EXPECT_EQ(h.take(kHost), "");
    // And back: "*com0main" with "s" (not saved) makes com0 the host port again.
    h.send("*com0mains\r", kAux);
    EXPECT_EQ(h.run_until_text(">\r", 100, kHost), ">\r");
    EXPECT_EQ(h.command("vers"), std::string(kVersion) + ">\r");
}

TEST_F(Ports, AuxiliaryTextInAndOut) {
    EXPECT_EQ(h.command("aout \"A\\x42\\0C\\r\""), ">\r");
    h.run_ms(2);
    EXPECT_EQ(h.take(kAux), std::string("AB\0C\r", 5));
    EXPECT_EQ(h.command("aouts \"raw \\n\""), ">\r");
    h.run_ms(2);
    EXPECT_EQ(h.take(kAux), "raw \\n");
    EXPECT_EQ(h.command("aout no quote"), "!\r");

    h.send("hello", kAux);
    h.run_ms(2);
    EXPECT_EQ(h.command("ain"), ":hello>\r");
    EXPECT_EQ(h.command("ain"), ":>\r");
    h.send("xyz", kAux);
    h.run_ms(2);
    EXPECT_EQ(h.command("ain b"), "\x03xyz>\r");

    // A full auxiliary ring (129 bytes) does not fit one reply after the ":": the rest waits
    // for the next "ain" instead of being lost.
    const std::string block(129, 'q');
    h.send(block, kAux);
    h.run_ms(20);
    const std::string first = h.command("ain");
    ASSERT_EQ(first.size(), 1 + 127 + 2);
    EXPECT_EQ(h.command("ain"), ":qq>\r");
}

TEST_F(Ports, AuxForwardingSendsNotifications) {
    EXPECT_EQ(h.command("auxIO"), "0\r>\r");
    EXPECT_EQ(h.command("auxIO 1"), ">\r");
    EXPECT_EQ(h.command("auxIO"), "1\r>\r");
    // Whatever has arrived when the main loop looks is forwarded as one "a " notification.
    h.send("ping", kAux);
    h.run_ms(20);
    std::string forwarded, out = h.take();
    for (size_t at = 0; at < out.size();) {
        ASSERT_EQ(out.compare(at, 2, "a "), 0) << visible(out);
        const size_t end = out.find('\r', at);
        ASSERT_NE(end, std::string::npos);
        forwarded += out.substr(at + 2, end - at - 2);
        at = end + 1;
    }
    EXPECT_EQ(forwarded, "ping");
    EXPECT_EQ(h.command("auxIO 0"), ">\r");
    h.send("pong", kAux);
    h.run_ms(20);
    EXPECT_EQ(h.take(), "");
}

TEST_F(Ports, OutSendsDecodedBytesAndOutsRawText) {
    EXPECT_EQ(h.command("out \"A\\x00B\\r\""), std::string("A\0B\r", 4) + ">\r");
    EXPECT_EQ(h.command("outs \"no prompt\""), "no prompt");
    h.run_ms(20);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.command("out\"x\""), ":missing single space and/or double quote\r!\r");
    EXPECT_EQ(h.command("outs \"\""), "!\r");
}

TEST_F(Ports, AuxEscapeCharacterIsSetAndReported) {
    EXPECT_EQ(h.command("*auxEsc"), "0x0d\r>\r");
    EXPECT_EQ(h.command("*auxEsc 1B"), "0x1b\r>\r");
    EXPECT_EQ(h.command("*auxEsc FF"), "0x7f\r>\r");  // seven bits
}

class Rs485 : public Ports {
  protected:
    void enable() {
        EXPECT_EQ(h.command("*rs485 !35"), "RS485 Mode SOF 0x21 (!) ADR 35\r");
        h.run_ms(5);
        h.take();
    }
    std::string frame(const std::string& text, double ms = 50) {
        h.send(text + "\r", kAux);
        h.run_ms(ms);
        return h.take(kAux);
    }
};

TEST_F(Rs485, AddressedFramesOnly) {
    enable();
    EXPECT_EQ(frame("!35vers"), std::string("!FF") + kVersion);  // the reply stands for the prompt
    EXPECT_EQ(frame("!34vers"), "");                             // another module's frame
    EXPECT_EQ(frame("!35sb 1"), "!FF>\r");                       // nothing else sent: prompt
    EXPECT_EQ(frame("!35nonsense"), "!FF!\r");                   // errors always answered
    EXPECT_EQ(frame("!3Zvers"), "");
    EXPECT_EQ(frame("!35out \"hi\""), "!FFhi");  // a notification, flushed as the answer
    EXPECT_EQ(h.take(kHost), "");
}

TEST_F(Rs485, DiscoveryAnswersInTheAddressTimeSlot) {
    enable();
    h.send("!?3\r", kAux);
    const uint64_t sent = h.module().now_ns();
    h.run_ms(100);
    auto out = h.take_timed(kAux);
    std::string text;
    for (auto& b : out) text += char(b.byte);
    EXPECT_EQ(text, "!FFSOF21ADR35\r");
    ASSERT_FALSE(out.empty());
    // Four bytes of query at 115200 (0.35 ms), then 5 ms for address digit 5.
    const double first = double(out[0].t_ns - sent) / 1e6;
    EXPECT_GT(first, 5.3);
    EXPECT_LT(first, 6.5);
    EXPECT_EQ(frame("!?4", 100), "");  // another group of addresses

    // The slot scales with com0's rate: 115200 / 9600 x 5 = 60 ms.
    h.send("!35baud0 9600\r", kAux);
    h.run_ms(20);
    h.take(kAux);
    h.send("!?3\r", kAux);
    const uint64_t sent2 = h.module().now_ns();
    h.run_ms(200);
    out = h.take_timed(kAux);
    ASSERT_FALSE(out.empty());
    const double slot = double(out[0].t_ns - sent2) / 1e6;
    EXPECT_GT(slot, 60.3);
    EXPECT_LT(slot, 61.5);
}

TEST_F(Rs485, OffReportsTheOldAddressAndKeepsCom1) {
    enable();
    // The report still goes out framed; the prompt after it already follows the plain rules.
    EXPECT_EQ(frame("!35*rs485 off", 300), "!FFRS485 OFF ADR 35\r>\r");
    EXPECT_EQ(frame("vers"), std::string(kVersion) + ">\r");
    EXPECT_EQ(h.command("*rs485 !3G"), "");  // com1 is the host port now: com0 is ignored
}

}  // namespace
}  // namespace voxa_test
