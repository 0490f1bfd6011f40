// Panel timing, its interactive adjustment, orientation, the register window and the three
// panel builds, on the simulated module.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/stored_settings.h"
#include "sim/screen.h"
#include "src/device/board.h"

namespace voxa_test {
namespace {

constexpr char kEsc = 27;
constexpr const char* kInstructions =
    ":Use number pad (4=left,6=right,2=down,1=up) for image adjust\r"
    ":Hit w for pulse width, f for front porch b for back porch\r"
    ":(return or escape to end, ! to save changes and quit)\r"
    "\r";

std::string status_line(int hfp, int hpw, int hbp, int htot, int vfp, int vpw, int vbp, int vt) {
    char s[128];
    std::snprintf(s, sizeof s,
                  "hfp %2d  hpw %2d  hbp %2d (HTOT %3d) / vfp %2d  vpw %2d  vbp %2d (VTOT %3d)\r",
                  hfp, hpw, hbp, htot, vfp, vpw, vbp, vt);
    return s;
}

// Time in ms from the first event matching a to the first matching b after it (-1: missing).
double ms_between(const sim::Module& m, simlink::Event ka, uint32_t va, simlink::Event kb,
                  uint32_t vb) {
    const sim::BoardEvent* from = nullptr;
    for (const auto& e : m.events()) {
        if (!from && e.kind == ka && e.value == va) from = &e;
        if (from && e.kind == kb && e.value == vb) return double(e.t_ns - from->t_ns) / 1e6;
    }
    return -1;
}

uint32_t gpio_event(Gpio line, bool level) {
    return (uint32_t(line) << 8) | (level ? 1 : 0);
}

std::string reg_line(uint32_t offset, uint32_t value) {
    char s[64];
    std::snprintf(s, sizeof s, "Reg 0x%08x = %08x\r", 0x10000000u + offset, value);
    return s;
}

// Everything the build table fixes that a host or the panel can see.
TEST(PanelBuilds, EachBuildMatchesItsTableRow) {
    const struct {
        sim::Panel panel;
        int width, height;
        const char* version;
        const char* name;
        int hfp, hpw, hbp, vfp, vpw, vbp, htot, vtot;
        uint32_t htiming, vtiming;
        double power_wait_ms;
        bool control_line;
        const char* max_brite;
        const char* min_brite;
    } builds[] = {
        {sim::Panel::kWvga, 800, 480, "VOXA5-PLUS V1.4.0 WVGA \r>\r", "WVGA_TYPE2\r>\r", 40, 48, 40,
         13, 3, 29, 928, 525, 0xBC002725, 0x0C000D1D, 1010, true, "255\r>\r", "1\r>\r"},
        {sim::Panel::kSvga, 800, 600, "VOXA5-PLUS V1.4.0 SVGA \r>\r", "HIT SVGA\r>\r", 32, 2, 32, 8,
         2, 20, 866, 630, 0x04001F1D, 0x08000814, 10, false, "0\r>\r", "242\r>\r"},
        {sim::Panel::kVga, 640, 480, "VOXA5-PLUS V1.4.0 VGA \r>\r", "NEC_K2766_FUJ\r>\r", 32, 2, 32,
         8, 2, 8, 706, 498, 0x04001F1D, 0x08000808, 10, false, "0\r>\r", "242\r>\r"},
    };
    std::vector<double> lcd_up_ms;  // less the build's wait
    for (const auto& b : builds) {
        SCOPED_TRACE(sim::panel_name(b.panel));
        Harness h(b.panel);
        ASSERT_EQ(h.boot(), kBootNoFile);
        sim::Module& m = h.module();
        // The panel is powered from reset, so start-up shows its wait only in when the LCD
        // lines come up; the builds' start-ups differ little otherwise (compared below).
        for (const auto& e : m.events()) {
            if (e.kind == simlink::Event::kLcdSignals && e.value == 1) {
                lcd_up_ms.push_back(double(e.t_ns) / 1e6 - b.power_wait_ms);
                break;
            }
        }
        EXPECT_EQ(h.command("vers"), b.version);
        EXPECT_EQ(h.command("*panel"), b.name);
        EXPECT_EQ(m.board().lcd_width, b.width);
        EXPECT_EQ(m.board().lcd_height, b.height);
        EXPECT_EQ(h.command("*maxBrite"), b.max_brite);
        EXPECT_EQ(h.command("*minBrite"), b.min_brite);

        // Default timing: the fields, the words the controller got, the totals.
        EXPECT_EQ(h.command("*hpw"), std::to_string(b.hpw) + "\r>\r");
        EXPECT_EQ(h.command("*vbp"), std::to_string(b.vbp) + "\r>\r");
        EXPECT_EQ(h.command("*R 2101C 21020"),
                  reg_line(0x2101C, b.htiming) + reg_line(0x21020, b.vtiming) + ">\r");
        h.send("*touchadj\r");
        const std::string status =
            status_line(b.hfp, b.hpw, b.hbp, b.htot, b.vfp, b.vpw, b.vbp, b.vtot);
        EXPECT_EQ(h.run_until_text(status, 500),
                  std::string(":\r:Touch Operation Adjustment\r") + kInstructions + status);
        h.send(std::string(1, kEsc));
        EXPECT_EQ(h.run_until_text(">\r", 500), "\r>\r");
        // The test pattern reaches the far corner and the midpoints of the build's screen.
        const uint16_t ink = h.pixel(0, 0);
        EXPECT_NE(ink, h.pixel(b.width / 2, b.height / 4));
        EXPECT_EQ(h.pixel(b.width - 1, b.height - 1), ink);
        EXPECT_EQ(h.pixel(b.width / 2, b.height - 1), ink);
        EXPECT_EQ(h.pixel(b.width - 1, b.height / 2), ink);

        // Frame buffer stride and clipping: a line run past the right edge stops there and
        // does not come back on the next row.
        EXPECT_EQ(h.command("z"), ">\r");
        const uint16_t paper = h.pixel(0, 1);
        EXPECT_EQ(h.command("l 0 0 " + std::to_string(b.width + 100) + " 0"), ">\r");
        EXPECT_EQ(h.pixel(b.width - 1, 0), ink);
        EXPECT_EQ(h.pixel(0, 1), paper);
        EXPECT_EQ(h.pixel(50, 1), paper);
        EXPECT_EQ(h.command("pw 3 1 1234"), ">\r");
        EXPECT_EQ(h.pixel(3, 1), 0x1234);

        // Switching off: the WVGA panel's extra control line goes high with the LCD lines low,
        // and the panel loses power after the build's wait.
        m.clear_events();
        EXPECT_EQ(h.command("v of", 3000), ">\r");
        EXPECT_EQ(m.board().gpio[int(Gpio::kPanelControl)] != 0, b.control_line);
        EXPECT_NEAR(ms_between(m, simlink::Event::kLcdSignals, 0, simlink::Event::kGpio,
                               gpio_event(Gpio::kPanelPower, true)),
                    b.power_wait_ms, 1);
        // Switching on, as at start-up: panel power, the build's wait, then the LCD lines.
        m.clear_events();
        EXPECT_EQ(h.command("v on", 3000), ">\r");
        EXPECT_NEAR(ms_between(m, simlink::Event::kGpio, gpio_event(Gpio::kPanelPower, false),
                               simlink::Event::kLcdSignals, 1),
                    b.power_wait_ms, 1);
    }
    ASSERT_EQ(lcd_up_ms.size(), 3u);
    // Within the few ms that clearing screens of other sizes costs.
    EXPECT_NEAR(lcd_up_ms[0], lcd_up_ms[1], 20);
    EXPECT_NEAR(lcd_up_ms[0], lcd_up_ms[2], 20);
}

class Panel : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }
    std::string open(const char* command) {
        h.send(std::string(command) + "\r");
        return h.run_until_text("(VTOT 525)\r", 500);
    }
    // One key of the adjustment; returns what the module answered.
    std::string key(char c, std::string_view until = ")\r") {
        h.send(std::string(1, c));
        return h.run_until_text(until, 200);
    }
    Harness h;
};

TEST_F(Panel, TimingFieldsKeepTheirWidthAndProgramTheController) {
    EXPECT_EQ(h.command("*hpw 64"), ">\r");
    EXPECT_EQ(h.command("*hpw"), "1\r>\r");
    EXPECT_EQ(h.command("*vfp 0"), ">\r");
    EXPECT_EQ(h.command("*vfp"), "1\r>\r");
    EXPECT_EQ(h.command("*hfp 300"), ">\r");
    EXPECT_EQ(h.command("*hfp"), "44\r>\r");
    EXPECT_EQ(h.command("*R 2101C 21020"), reg_line(0x2101C, (0u << 26) | (43u << 8) | 37) +
                                               reg_line(0x21020, (3u << 26) | (1u << 8) | 29) +
                                               ">\r");
    // An hbp below what the word can hold is programmed as the smallest, not as a borrow into
    // the other fields.
    EXPECT_EQ(h.command("*hbp 1"), ">\r");
    EXPECT_EQ(h.command("*R 2101C"), reg_line(0x2101C, (43u << 8) | 0) + ">\r");
    // None of it was saved.
    EXPECT_EQ(stored_settings(h.module()).hpw, 0xFF);
    h.send("*RESET\r");
    EXPECT_EQ(h.run_until_text(">\r", 3000), kBootNoFile);
    EXPECT_EQ(h.command("*hfp"), "40\r>\r");
}

TEST_F(Panel, AdjustmentStepsSavesOrLeavesTheTiming) {
    EXPECT_EQ(open("*paneladj"), std::string(":\r:Panel Timing Adjustment\r") + kInstructions +
                                     status_line(40, 48, 40, 928, 13, 3, 29, 525));
    EXPECT_EQ(key('6'), "\r" + status_line(40, 48, 41, 929, 13, 3, 29, 525));
    EXPECT_EQ(key('6'), "\r" + status_line(40, 48, 42, 930, 13, 3, 29, 525));
    EXPECT_EQ(key('2'), "\r" + status_line(40, 48, 42, 930, 13, 3, 30, 526));
    EXPECT_EQ(key('1'), "\r" + status_line(40, 48, 42, 930, 13, 3, 29, 525));
    EXPECT_EQ(key('8'), "\r" + status_line(40, 48, 42, 930, 13, 3, 28, 524));
    EXPECT_EQ(key('2'), "\r" + status_line(40, 48, 42, 930, 13, 3, 29, 525));
    EXPECT_EQ(key('x'), "\r" + status_line(40, 48, 42, 930, 13, 3, 29, 525));
    // Pulse widths stop where the timing word's field ends.
    key('w');
    for (int i = 0; i < 20; ++i) key('6');
    EXPECT_EQ(key('6'), "\r" + status_line(40, 64, 42, 946, 13, 3, 29, 525));
    for (int i = 0; i < 16; ++i) key('4');
    h.send("!");
    EXPECT_EQ(h.run_until_text(">\r", 500), "\r>\r");
    const EepromData saved = stored_settings(h.module());
    EXPECT_EQ(saved.hbp, 42);
    EXPECT_EQ(saved.hpw, 48);
    EXPECT_EQ(saved.vbp, 29);
    EXPECT_EQ(h.command("*hbp"), "42\r>\r");

    // Ended with ESC: in effect, not stored, gone after a restart.
    open("*paneladj");
    key('f');
    EXPECT_EQ(key('4'), "\r" + status_line(39, 48, 42, 929, 13, 3, 29, 525));
    h.send(std::string(1, kEsc));
    EXPECT_EQ(h.run_until_text(">\r", 500), "\r>\r");
    EXPECT_EQ(h.command("*hfp"), "39\r>\r");
    EXPECT_EQ(h.command("*R 2101C"), reg_line(0x2101C, (47u << 26) | (38u << 8) | 39) + ">\r");
    EXPECT_EQ(stored_settings(h.module()).hfp, 40);
    h.send("*RESET\r");
    EXPECT_EQ(h.run_until_text(">\r", 3000), kBootNoFile);
    EXPECT_EQ(h.command("*hfp"), "40\r>\r");
    EXPECT_EQ(h.command("*hbp"), "42\r>\r");

    // A value below what the field holds (runs as 3) is stepped from what runs.
    EXPECT_EQ(h.command("*hbp 1"), ">\r");
    EXPECT_EQ(open("*paneladj"), std::string(":\r:Panel Timing Adjustment\r") + kInstructions +
                                     status_line(40, 48, 1, 891, 13, 3, 29, 525));
    EXPECT_EQ(key('6'), "\r" + status_line(40, 48, 3, 891, 13, 3, 29, 525));
    EXPECT_EQ(key('6'), "\r" + status_line(40, 48, 4, 892, 13, 3, 29, 525));
    h.send(std::string(1, kEsc));
    EXPECT_EQ(h.run_until_text(">\r", 500), "\r>\r");
}

TEST_F(Panel, TestPatternIsTheDiagonalsAndTheDiamond) {
    open("*touchadj");
    h.send("\r");
    EXPECT_EQ(h.run_until_text(">\r", 500), "\r>\r");
    const uint16_t ink = h.pixel(0, 0);
    const uint16_t paper = h.pixel(1, 0);
    EXPECT_NE(ink, paper);
    for (auto [x, y] : {std::pair{799, 479},
                        {799, 0},
                        {0, 479},
                        {400, 240},
                        {400, 0},
                        {0, 240},
                        {799, 240},
                        {400, 479},
                        {200, 120},
                        {600, 360},
                        {200, 360}}) {
        EXPECT_EQ(h.pixel(x, y), ink) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{400, 120}, {400, 360}, {100, 240}, {700, 240}}) {
        EXPECT_EQ(h.pixel(x, y), paper) << x << "," << y;
    }
}

TEST_F(Panel, OrientationMirrorsThePictureShown) {
    EXPECT_EQ(h.command("z"), ">\r");
    EXPECT_EQ(h.command("pw 0 0 F800"), ">\r");  // red at the frame buffer's first pixel
    const auto red_at = [&](int x, int y) {
        const auto rgb = sim::render_screen(h.module(), {});
        const size_t i = (size_t(y) * 800 + x) * 3;
        return rgb[i] > 200 && rgb[i + 1] == 0 && rgb[i + 2] == 0;
    };
    EXPECT_TRUE(red_at(0, 0));
    EXPECT_EQ(h.command("*orient 1"), ">\r");  // bit 0: left and right exchanged
    EXPECT_TRUE(red_at(799, 0));
    EXPECT_EQ(h.command("*orient 2"), ">\r");  // bit 1: top and bottom exchanged
    EXPECT_TRUE(red_at(0, 479));
    EXPECT_EQ(h.command("*orient 7"), ">\r");
    EXPECT_EQ(h.command("*orient"), "3\r>\r");
    EXPECT_TRUE(red_at(799, 479));
    EXPECT_FALSE(red_at(0, 0));
    EXPECT_EQ(h.pixel(0, 0), 0xF800);  // the frame buffer itself is not turned
    EXPECT_EQ(stored_settings(h.module()).orient, 3);
    h.send("*RESET\r");
    EXPECT_EQ(h.run_until_text(">\r", 3000), kBootNoFile);
    EXPECT_EQ(h.module().board().gpio[int(Gpio::kOrient0)], 1);
    EXPECT_EQ(h.module().board().gpio[int(Gpio::kOrient1)], 1);
}

TEST_F(Panel, VqLineFollowsTheCommand) {
    EXPECT_EQ(h.command("*vq"), "1\r>\r");  // not a 320-pixel panel
    EXPECT_EQ(h.command("*vq 2"), ">\r");
    EXPECT_EQ(h.command("*vq"), "0\r>\r");
    EXPECT_EQ(h.module().board().gpio[int(Gpio::kVqSelect)], 0);
    EXPECT_EQ(h.command("*vq 3"), ">\r");
    EXPECT_EQ(h.command("*vq"), "1\r>\r");
}

TEST_F(Panel, RegisterWindowReadsWritesAndRefuses) {
    EXPECT_EQ(h.command("*R16 2101C"), "0x1002101C = 2725\r>\r");
    EXPECT_EQ(h.command("*R16 2101E"), "0x1002101E = BC00\r>\r");
    EXPECT_EQ(h.command("*R 21000 21008"), reg_line(0x21000, 0xC3E00000) +
                                               reg_line(0x21004, (50u << 20) | 480) +
                                               reg_line(0x21008, 400) + ">\r");
    // Other offsets read 0 and keep nothing.
    EXPECT_EQ(h.command("*W 100 12345678"), "Reg 0x10000100 <- 00000000\r>\r");
    EXPECT_EQ(h.command("*R 3FFFC"), reg_line(0x3FFFC, 0) + ">\r");
    // A range the wrong way round reads nothing; one off the block is refused before a read.
    EXPECT_EQ(h.command("*R 10 8"), ">\r");
    EXPECT_EQ(h.command("*R 40000"), "!\r");
    EXPECT_EQ(h.command("*R 3FFF8 40000"), "!\r");
    EXPECT_EQ(h.command("*R 0 FFFFFFFF"), "!\r");
    EXPECT_EQ(h.command("*R FFFFFFFC FFFFFFFF"), "!\r");
    EXPECT_EQ(h.command("*R16 3FFFF"), "!\r");
    EXPECT_EQ(h.command("*W 40000 1"), "!\r");
    EXPECT_EQ(h.command("*R"), "!\r");
    // A write to a timing word changes what the controller runs.
    EXPECT_EQ(h.command("*W 21020 0C00641D"), "Reg 0x10021020 <- 0C00641D\r>\r");
    EXPECT_EQ(h.command("*R 21020"), reg_line(0x21020, 0x0C00641D) + ">\r");
    EXPECT_EQ(h.module().board().lcd_vtiming, 0x0C00641Du);
}

}  // namespace
}  // namespace voxa_test
