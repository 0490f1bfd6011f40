// The communication watchdog in virtual time: the labels of its macro run when the host falls
// silent and when it speaks again.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "imgpack.h"

namespace voxa_test {
namespace {

class Watchdog : public ::testing::Test {
  protected:
    void SetUp() override {
        imgpack::MacroFile f;
        f.macros = {{"wd",
                     {":st_down", "outs \"SD\"", ":lt_down", "outs \"LD\"", ":st_up",
                      "outs \"SU\"", ":lt_up", "outs \"LU\"", ":busy", "w 300"}},
                    {"slow", {":st_down", "outs \"S\"", "w 300", "outs \"s\"", ":st_up", "dp 0 0"}}};
        ASSERT_TRUE(h.flash2(imgpack::build(f)));
        h.boot();
        ASSERT_EQ(h.command("x 130 100 100 200 200"), ">\r");
    }
    // Runs ms of virtual time; returns what came in bursts (bytes less than 5 ms apart), each
    // with the ms since arming at which it began.
    struct Burst {
        double at_ms;
        std::string text;
    };
    std::vector<Burst> run(double ms) {
        h.run_ms(ms);
        std::vector<Burst> out;
        uint64_t last = 0;
        for (const auto& b : h.take_timed()) {
            if (out.empty() || b.t_ns - last > 5000000) {
                out.push_back({double(b.t_ns - start_) / 1e6, ""});
            }
            out.back().text += char(b.byte);
            last = b.t_ns;
        }
        return out;
    }
    // One burst of text near at_ms (the stages count from when the line was read, a little
    // before its reply arrived).
    static void expect_burst(const Burst& b, double at_ms, const std::string& text) {
        EXPECT_NEAR(b.at_ms, at_ms, 5) << text;
        EXPECT_EQ(b.text.substr(0, text.size()), text);
    }
    void arm(const std::string& line) {
        ASSERT_EQ(h.command(line), ">\r");
        start_ = h.module().now_ns();
    }

    Harness h;
    uint64_t start_ = 0;
};

TEST_F(Watchdog, ShortSilenceRunsItsLabelOnceAndTheNextLineTheUpLabel) {
    arm("*comwdt wd 5");
    auto out = run(12000);
    ASSERT_EQ(out.size(), 1u);
    expect_burst(out[0], 5000, "SD");
    EXPECT_EQ(out[0].text, "SD");
    h.send("vers\r");
    out = run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "SUVOXA5-PLUS V1.4.0 WVGA \r>\r");
}

TEST_F(Watchdog, LongSilenceSupersedesTheShortStage) {
    arm("*comwdt 1 5 60");
    auto out = run(30000);
    ASSERT_EQ(out.size(), 1u);
    expect_burst(out[0], 5000, "SD");
    h.send("vers\r");
    out = run(100);
    ASSERT_EQ(out.size(), 1u);
    expect_burst(out[0], 30000, "SUVOX");
    // Both stages count from that line.
    out = run(60500 - 100);
    ASSERT_EQ(out.size(), 2u);
    expect_burst(out[0], 35000, "SD");
    expect_burst(out[1], 90000, "LD");
    h.send("vers\r");
    out = run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "LUVOXA5-PLUS V1.4.0 WVGA \r>\r");
    // Re-arming starts again; "off" stops it without a label.
    arm("*comwdt wd 5");
    ASSERT_EQ(h.command("*comwdt off"), ">\r");
    EXPECT_TRUE(run(20000).empty());
}

TEST_F(Watchdog, RefusesBadArguments) {
    EXPECT_EQ(h.command("*comwdt wd 5 5"), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(h.command("*comwdt wd 0"), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(h.command("*comwdt wd"), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(h.command("*comwdt 3 5"), "bad macro index number\r!\r");
    EXPECT_EQ(h.command("*comwdt nosuch 5"), ":Macro name not found\rbad macro name\r!\r");
    EXPECT_EQ(h.command("*comwdt / 5"), "bad macro name\r!\r");
}

TEST_F(Watchdog, TouchesWaitWhileALabelRunsAndAreOnAfterIt) {
    arm("*comwdt slow 1");
    h.run_ms(1100);  // the label runs from 1 s to 1.3 s
    ASSERT_TRUE(h.tap(150, 150, 100));
    h.run_ms(400);
    EXPECT_EQ(h.take(), "Ss");  // the tap during the label gave no report
    ASSERT_TRUE(h.tap(150, 150, 100));
    h.run_ms(300);
    EXPECT_EQ(h.take(), "x130\r");
    // Switched off by the host, touch handling is on again after a label.
    ASSERT_EQ(h.command("touch off"), ">\r");
    arm("*comwdt slow 1");
    h.run_ms(1500);
    EXPECT_EQ(h.take(), "Ss");
    EXPECT_EQ(h.command("touch"), "touch on\r>\r");
}

}  // namespace
}  // namespace voxa_test
