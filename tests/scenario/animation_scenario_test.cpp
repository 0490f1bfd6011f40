// Animations as the host sees them: stored lines replayed by the main loop in virtual time, the
// bytes they send with their arrival times, the pixels of a blinking text, and the host's own
// commands and drawing state going on beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace voxa_test {
namespace {

constexpr double kNsPerMs = 1e6;
constexpr uint16_t kRed565 = 0xF800;

class AnimationScenario : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }

    // Sends the lines one by one, each of which must be accepted (bytes that running
    // animations send may come before the prompt).
    void store(std::initializer_list<std::string> lines) {
        for (const std::string& line : lines) {
            const std::string reply = h.command(line);
            ASSERT_TRUE(reply.ends_with(">\r") && reply.find('!') == std::string::npos)
                << line << " -> " << visible(reply);
        }
    }
    // Arrival times (ms, from the first byte taken) of each byte equal to c.
    static std::vector<double> times_of(const std::vector<sim::TimedByte>& out, char c) {
        std::vector<double> t;
        for (const sim::TimedByte& b : out) {
            if (b.byte == uint8_t(c)) t.push_back(double(b.t_ns) / kNsPerMs);
        }
        return t;
    }
    static size_t count(const std::string& s, char c) {
        return size_t(std::count(s.begin(), s.end(), c));
    }
    int red_pixels(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) n += h.pixel(x, y) == kRed565;
        }
        return n;
    }

    Harness h;
};

TEST_F(AnimationScenario, StoreFitsWithItsNulExtendsOnlyTheLastAndListsLinesWhole) {
    EXPECT_EQ(h.command("ani?"), "Free: 2048\r>\r");
    store({"ani 1 out \"A\"", "ani+ 1 y 100"});
    // Each line takes its length and a NUL: 7 + 1 and 5 + 1.
    EXPECT_EQ(h.command("tf?"), "Free: 2034\r>\r");
    EXPECT_EQ(h.command("ani? 1"), "// ani:1 Stopped Size: 14\rani 1 out \"A\"\rani 1 y 100\r>\r");
    store({"ani 2 y 5"});
    EXPECT_EQ(h.command("ani 1 y 6"), "!\r");  // 1 is no longer the last one stored
    for (const char* bad : {"ani 12 y 1", "ani -1 y 1", "anie -1", "anie 10", "anix -1", "anix 10",
                            "anid -1 0", "anid 10", "tfd -1 0", "ani? -1", "anix 5"}) {
        EXPECT_EQ(h.command(bad), "!\r") << bad;
    }
    EXPECT_EQ(h.command("anie 5"), ">\r");  // unused: accepted, nothing to start
    store({"anix 2", "ani 1 out \"B\""});
    EXPECT_EQ(h.command("ani? 1"),
              "// ani:1 Stopped Size: 22\rani 1 out \"A\"\rani 1 y 100\rani 1 out \"B\"\r>\r");
    // Both listed; an unused slot sends nothing.
    store({"ani 3 y 1"});
    EXPECT_EQ(h.command("ani? "),
              "// ani:1 Stopped Size: 22\rani 1 out \"A\"\rani 1 y 100\rani 1 out \"B\"\r"
              "// ani:3 Stopped Size: 4\rani 3 y 1\r>\r");
    store({"anic"});
    EXPECT_EQ(h.command("ani?"), "Free: 2048\r>\r");

    // Fill the store to a last line of exactly the free bytes: its NUL does not fit, and the
    // whole animation goes.
    const std::string chunk(100, 'q');
    int slot_free = 2048;
    while (slot_free > 102) {
        ASSERT_EQ(h.command("ani 4 " + chunk), ">\r");
        slot_free -= 101;
    }
    store({"ani 5 y 1"});
    slot_free -= 4;
    ASSERT_EQ(h.command("ani?"), "Free: " + std::to_string(slot_free) + "\r>\r");
    EXPECT_EQ(h.command("ani 5 " + std::string(size_t(slot_free), 'w')),
              ":animation won't fit in storage\r!\r");
    EXPECT_EQ(h.command("ani? 5"), ">\r");
    EXPECT_EQ(h.command("ani?"), "Free: " + std::to_string(slot_free + 4) + "\r>\r");
    store({"ani 5 " + std::string(size_t(slot_free + 4 - 1), 'w')});
    EXPECT_EQ(h.command("ani?"), "Free: 0\r>\r");
    store({"z"});
    EXPECT_EQ(h.command("ani?"), "Free: 2048\r>\r");

    // Control characters come back escaped, four bytes each: a line of them is far longer than
    // one reply and still arrives whole.
    std::string tabs(100, '\t');
    store({"ani 6 out \"" + tabs + "\""});
    std::string listed;
    for (int i = 0; i < 100; ++i) listed += "\\x09";
    EXPECT_EQ(h.command("ani? 6"), "// ani:6 Stopped Size: 107\rani 6 out \"" + listed + "\"\r>\r");
}

TEST_F(AnimationScenario, TwoPeriodsStepAtTheirOwnTimesAndAYieldlessOneIsMarkedStopping) {
    store({"ani 0 out \"a\"", "ani 0 y 300", "ani 1 out \"b\"", "ani 1 y 500"});
    h.take_timed();
    // Both start within a millisecond or two of each other; each keeps its own period from
    // its first step, however the other one's start moved the timer.
    h.send("anie 0\ranie 1\r");
    h.run_ms(1150);
    const std::vector<sim::TimedByte> out = h.take_timed();
    const std::vector<double> a = times_of(out, 'a');
    const std::vector<double> b = times_of(out, 'b');
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 3u);
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i] - a[0], 300.0 * double(i), 2.5) << i;
    for (size_t i = 0; i < b.size(); ++i) EXPECT_NEAR(b[i] - b[0], 500.0 * double(i), 2.5) << i;
    EXPECT_NEAR(b[0], a[0], 3.0);

    // One started while another waits leaves the other's period alone.
    store({"anic", "ani 3 out \"c\"", "ani 3 y 300", "ani 4 out \"d\"", "ani 4 y 1000"});
    h.take_timed();
    h.send("anie 3\r");
    h.run_ms(200);
    h.send("anie 4\r");
    h.run_ms(500);
    const std::vector<sim::TimedByte> later = h.take_timed();
    const std::vector<double> c = times_of(later, 'c');
    const std::vector<double> d = times_of(later, 'd');
    ASSERT_EQ(c.size(), 3u);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NEAR(c[1] - c[0], 300.0, 2.5);
    EXPECT_NEAR(c[2] - c[0], 600.0, 2.5);
    EXPECT_NEAR(d[0] - c[0], 200.0, 5.0);

    // Without a yield "anie" refuses and "tfe" runs all the lines once per pass.
    store({"anic", "ani 2 out \"n\"", "ani 2 out \"N\""});
    EXPECT_EQ(h.command("anie 2"), ":animation must contain a yield\r!\r");
    EXPECT_EQ(h.command("tfe 2"), ">\r");
    h.run_ms(20);
    const std::string ran = h.take();
    EXPECT_GE(count(ran, 'n'), 2u);
    EXPECT_LE(count(ran, 'n') - count(ran, 'N'), 1u);
    // The host is still served; its own listing shows the animation stopping.
    const std::string listing = h.command("ani? 2");
    EXPECT_NE(listing.find("// ani:2 Stopping Size: 16\r"), std::string::npos) << listing;
    // Host "anic" ends it although it never yields.
    store({"anic"});
    h.run_ms(50);
    EXPECT_EQ(h.take(), "");
}

TEST_F(AnimationScenario, YieldTimesBelowOneAndLinesThatMoveTheWalkKeepTheLoopGoing) {
    // "y 0" and "y -2" are 1 ms: the animation keeps stepping instead of freezing at state 0
    // or turning into a stop request.
    store({"ani 0 out \"z\"", "ani 0 y 0", "ani 1 out \"m\"", "ani 1 y -2", "anie 0", "anie 1"});
    h.run_ms(50);
    std::string out = h.take();
    EXPECT_GE(count(out, 'z'), 20u);
    EXPECT_GE(count(out, 'm'), 20u);
    // "y s" stops it after one step.
    store({"anic", "ani 2 out \"q\"", "ani 2 y s", "ani 2 out \"Q\"", "anie 2"});
    h.run_ms(50);
    EXPECT_EQ(h.take(), "q");
    EXPECT_EQ(h.command("ani? 2"),
              "// ani:2 Stopped Size: 20\rani 2 out \"q\"\rani 2 y s\rani 2 out \"Q\"\r>\r");
    // "anie" resumes where it stopped.
    store({"anie 2"});
    h.run_ms(50);
    EXPECT_EQ(h.take(), "Qq");

    // "anis" sends the walk back to the first line every time: the walk ends after as many
    // lines as the animation has, and the host's next command is still answered at once.
    store({"anic", "ani 3 out \"s\"", "ani 3 anis", "ani 3 y 100", "anie 3"});
    h.run_ms(10);
    EXPECT_GE(count(h.take(), 's'), 2u);
    h.send("sc 7 8\r");
    EXPECT_NE(h.run_until_text(">\r", 5).find(">\r"), std::string::npos);
    EXPECT_NE(h.command("ani? 3", 50).find("Stopping"), std::string::npos);
}

TEST_F(AnimationScenario, DeletingAnEarlierAnimationKeepsTheLaterOneRunningWhereItWas) {
    store({"ani 1 out \"1\"", "ani 1 y s", "ani 2 out \"a\"", "ani 2 y 40", "ani 2 out \"b\"",
           "ani 2 y 40", "anie 2"});
    h.run_ms(20);
    EXPECT_EQ(h.take(), "a");
    store({"anix 1"});
    h.run_ms(60);
    EXPECT_EQ(h.take(), "ba");
    EXPECT_EQ(h.command("ani? 1"), ">\r");
    EXPECT_EQ(h.command("ani?"), "Free: 2022\r>\r");
}

TEST_F(AnimationScenario, BlinkingTextAlternatesAtItsPeriodAndStopsWhereAsked) {
    store({"S F00 00F", "o 10 20", "sc 100 100"});
    store({"tf 1 200 \"AB\""});
    // Shown, erased, shown, erased, each for 200 ms from the first step.
    const int x0 = 110, y0 = 120, x1 = 170, y1 = 150;
    int shown[4];
    for (int& n : shown) {
        h.run_ms(100);
        n = red_pixels(x0, y0, x1, y1);
        h.run_ms(100);
    }
    EXPECT_GT(shown[0], 20);
    EXPECT_EQ(shown[1], 0);
    EXPECT_GT(shown[2], 20);
    EXPECT_EQ(shown[3], 0);
    // The host's colours, origin and cursor are its own, whatever the steps set.
    EXPECT_EQ(h.command("S"), "FF0000 (F800) 0000FF (001F)\r>\r");
    EXPECT_EQ(h.command("o"), "10 20\r>\r");
    EXPECT_EQ(h.command("sc"), "100 100\r>\r");

    const std::string font = h.command("f");
    const std::string name = font.substr(0, font.find('\r'));
    const std::string half1 = "ani 1 f " + name + "\rani 1 S ff0000 0000ff\rani 1 ta LT\r" +
                              "ani 1 o 10 20\rani 1 sc 100 100\rani 1 tm N\rani 1 T \"AB\"\r" +
                              "ani 1 y 200\r";
    std::string half2 = half1;
    half2.replace(half2.find("ff0000"), 6, "0000ff");
    const std::string listing = h.command("tf? 1");
    ASSERT_EQ(listing.substr(0, 15), "// ani:1 count:") << listing;
    EXPECT_EQ(listing.substr(listing.find('\r') + 1), half1 + half2 + ">\r");

    // "tfd 1 0": stops at the last yield, after the erase half.
    store({"tfd 1 0"});
    h.run_ms(450);
    EXPECT_EQ(red_pixels(x0, y0, x1, y1), 0);
    EXPECT_EQ(h.command("tf? 1").substr(0, 19), "// ani:1 Stopped Si");
    // "tfd 1 1": stops at the yield that another follows, after the text half.
    store({"tfe 1", "tfd 1 1"});
    h.run_ms(450);
    const int stopped_shown = red_pixels(x0, y0, x1, y1);
    EXPECT_GT(stopped_shown, 20);
    h.run_ms(450);
    EXPECT_EQ(red_pixels(x0, y0, x1, y1), stopped_shown);
    EXPECT_EQ(h.command("tf? 1").substr(0, 19), "// ani:1 Stopped Si");
    // "tf" again replaces the animation rather than adding another.
    store({"tf 1 \"AB\""});
    const std::string header = h.command("tf? 1");
    const int size = std::stoi(header.substr(header.find("Size: ") + 6));
    EXPECT_EQ(h.command("tf?"), "Free: " + std::to_string(2048 - size) + "\r>\r");
    EXPECT_NE(header.find("ani 1 y 500\r"), std::string::npos);
    // Refused at 121 characters.
    EXPECT_EQ(h.command("tf 2 \"" + std::string(114, 'x') + "\""), "!\r");
}

TEST_F(AnimationScenario, AnimationLinesCannotChangeTheStoreAndHostZEmptiesItButZsDoesNot) {
    store({"ani 7 y s", "r 0 0 99 99 1 F00"});
    ASSERT_EQ(h.pixel(50, 50), kRed565);
    // Every line that would change the store is refused; "z" still clears the screen.
    store({"ani 0 ani 5 y 1", "ani 0 tf 6 \"x\"", "ani 0 anix 7", "ani 0 anic", "ani 0 z",
           "ani 0 out \"done\"", "ani 0 y s"});
    const std::string before = h.command("ani?");
    store({"anie 0"});
    h.run_ms(20);
    EXPECT_EQ(h.take(), "done");
    EXPECT_NE(h.pixel(50, 50), kRed565);
    EXPECT_EQ(h.command("ani?"), before);
    EXPECT_EQ(h.command("ani? 5"), ">\r");
    EXPECT_EQ(h.command("ani? 6"), ">\r");
    EXPECT_EQ(h.command("ani? 7"), "// ani:7 Stopped Size: 4\rani 7 y s\r>\r");

    // "zs" keeps them running; "z" stops and deletes them.
    store({"ani 8 out \"k\"", "ani 8 y 10", "anie 8", "zs"});
    h.run_ms(50);
    EXPECT_GE(count(h.take(), 'k'), 4u);
    EXPECT_EQ(h.command("ani? 8").substr(0, 15), "// ani:8 count:");
    store({"z"});
    h.run_ms(50);
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.command("ani?"), "Free: 2048\r>\r");
}

}  // namespace
}  // namespace voxa_test
