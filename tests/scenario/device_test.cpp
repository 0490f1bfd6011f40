// Backlight, panel power, restarts and the determinism of the simulated module.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"
#include "sim/screen.h"
#include "src/device/board.h"

namespace voxa_test {
namespace {

class Device : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }
    const simlink::BoardState& board() { return h.module().board(); }
    bool line(Gpio g) { return board().gpio[int(g)] != 0; }
    // Time of the last change of a GPIO line to a level, in ms since t0 (-1 if none).
    double gpio_change_ms(Gpio g, bool level, uint64_t t0) {
        double at = -1;
        for (const auto& e : h.module().events()) {
            if (e.kind == simlink::Event::kGpio && (e.value >> 8) == uint32_t(g) &&
                (e.value & 1) == uint32_t(level) && e.t_ns >= t0) {
                at = double(e.t_ns - t0) / 1e6;
            }
        }
        return at;
    }
    Harness h;
};

TEST_F(Device, BrightnessFollowsTheEndPoints) {
    EXPECT_EQ(h.command("xbb"), "255\r>\r");
    EXPECT_EQ(board().pwm_width, 0);  // WVGA defaults: max 255, min 1, full brightness
    EXPECT_EQ(h.command("*maxBrite 200"), ">\r");
    EXPECT_EQ(h.command("*minBrite 20"), ">\r");
    EXPECT_EQ(h.command("*maxBrite"), "200\r>\r");
    EXPECT_EQ(h.command("xbb 128"), ">\r");
    EXPECT_EQ(board().pwm_width, 145);  // v = 20 + 128 x 180 / 255 = 110
    EXPECT_EQ(h.command("xbb +300"), ">\r");
    EXPECT_EQ(h.command("xbb"), "255\r>\r");
    EXPECT_EQ(h.command("xbb -10"), ">\r");
    EXPECT_EQ(h.command("xbb"), "245\r>\r");
    EXPECT_EQ(h.command("xbb 256"), "!\r");
    EXPECT_EQ(h.command("xbb  -5"), "!\r");  // a sign third is a value, not a change
    EXPECT_EQ(h.command("xbbs 0"), ">\r");
    EXPECT_EQ(board().pwm_width, 255 - 20);
    EXPECT_EQ(h.command("xbb  "), "0\r>\r");
    // An inverted range (max below min), as the SVGA and VGA panels use.
    EXPECT_EQ(h.command("*maxBrite 0"), ">\r");
    EXPECT_EQ(h.command("*minBrite 242"), ">\r");
    EXPECT_EQ(h.command("xbb 255"), ">\r");
    EXPECT_EQ(board().pwm_width, 255);
    EXPECT_EQ(h.command("xbb 0"), ">\r");
    EXPECT_EQ(board().pwm_width, 13);
}

TEST_F(Device, InverterPolarityAndPwmMode) {
    EXPECT_TRUE(line(Gpio::kInverterEnable));  // lit at start-up, active high by default
    EXPECT_EQ(h.command("xbl of"), ">\r");
    EXPECT_FALSE(line(Gpio::kInverterEnable));
    EXPECT_EQ(board().pwm_enable, 0);  // the PWM follows the inverter when pwmIsEnable is 1
    EXPECT_EQ(h.command("*invEnaHiTrue 3"), ">\r");
    EXPECT_EQ(h.command("*invEnaHiTrue"), "1\r>\r");
    EXPECT_FALSE(line(Gpio::kInverterEnable));  // on, driven low
    EXPECT_EQ(h.command("xbl of"), ">\r");
    EXPECT_TRUE(line(Gpio::kInverterEnable));
    EXPECT_EQ(h.command("*pwmIsEnable 0"), ">\r");
    EXPECT_EQ(board().pwm_enable, 1);  // pixel clock, always enabled
    EXPECT_EQ(board().pwm_line_clock, 0);
}

TEST_F(Device, VideoOffAndOnFollowThePanelSequence) {
    h.module().clear_events();
    const uint64_t t0 = h.module().now_ns();
    EXPECT_EQ(h.command("v of", 3000), ">\r");
    EXPECT_FALSE(line(Gpio::kInverterEnable));
    EXPECT_TRUE(line(Gpio::kPanelPower));  // high = off
    // Panel power goes off 1010 ms (WVGA) after the LCD lines went low.
    const double off = gpio_change_ms(Gpio::kPanelPower, true, t0);
    EXPECT_NEAR(off, 1010, 2);
    EXPECT_EQ(sim::backlight_level(h.module(), {}), 0.0);

    h.module().clear_events();
    const uint64_t t1 = h.module().now_ns();
    EXPECT_EQ(h.command("v on", 3000), ">\r");
    const double on = gpio_change_ms(Gpio::kPanelPower, false, t1);
    const double lit = gpio_change_ms(Gpio::kInverterEnable, true, t1);
    EXPECT_NEAR(lit - on, 1010 + 50, 2);
    EXPECT_GT(sim::backlight_level(h.module(), {}), 0.99);
}

TEST_F(Device, ResetStartsTheFirmwareAfresh) {
    EXPECT_EQ(h.command("*binr 1"), "on\r>\r");
    EXPECT_EQ(h.command("*macnote 3"), "both\r>\r");
    h.send("*RESET\r");
    EXPECT_EQ(h.run_until_text(">\r", 3000), kBootNoFile);  // no prompt for the reset itself
    EXPECT_EQ(h.module().resets(), 1);
    EXPECT_EQ(h.command("*macnote"), "off\r>\r");
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

// Everything a run produces: bytes with their times and the final frame buffer.
std::string run_session() {
    Harness h;
    std::string log;
    auto record = [&](const std::vector<sim::TimedByte>& out) {
        for (const auto& b : out)
            log += std::to_string(b.t_ns) + ":" + std::to_string(b.byte) + " ";
    };
    h.module().power_on();
    h.run_ms(1500);
    record(h.take_timed());
    for (const char* line : {"vers", "xbb 100", "baud 9600", "out \"x\\x01\"", "nonsense", "w 7"}) {
        h.send(std::string(line) + "\r");
        h.run_ms(25);
        record(h.take_timed());
    }
    log += "fb:" + std::to_string(h.framebuffer_crc());
    return log;
}

TEST(Determinism, SameInputsGiveSameBytesTimesAndPixels) {
    const std::string a = run_session();
    const std::string b = run_session();
    EXPECT_EQ(a, b);
    EXPECT_NE(a.find("fb:"), std::string::npos);
}

}  // namespace
}  // namespace voxa_test
