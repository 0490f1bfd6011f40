// The beeper, repeating beeps and alarms as the board sounds them, read from the module's sound
// timeline in virtual time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"
#include "src/device/board.h"

namespace voxa_test {
namespace {

constexpr double kDefaultHz = 2600.1;  // 16,666,666 / (2 x 3205)
constexpr int kDefaultDuty = 80;       // volume 200 of 255, of a 102-count period

class Beeper : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }

    // Sends a line and runs until its prompt; the sound changes from then on are what the
    // helpers below look at.
    std::string start(std::string_view line) {
        t0 = h.module().now_ns();
        return h.command(line);
    }
    // The sound changes since the last start().
    std::vector<sim::SoundState> changes() {
        std::vector<sim::SoundState> out;
        for (const auto& s : h.module().sound()) {
            if (s.t_ns >= t0) out.push_back(s);
        }
        return out;
    }
    double ms(uint64_t t_ns) const { return double(t_ns - t0) / 1e6; }
    // Milliseconds between two changes.
    static double span(const sim::SoundState& a, const sim::SoundState& b) {
        return double(b.t_ns - a.t_ns) / 1e6;
    }
    bool audible_now() {
        const auto& s = h.module().sound().back();
        return s.on && s.duty > 0;
    }
    // A reset keeps the EEPROM: what was saved comes back, the rest is gone.
    void reset() {
        h.send("*RESET\r");
        ASSERT_EQ(h.run_until_text(">\r", 5000), kBootNoFile);
    }

    Harness h;
    uint64_t t0 = 0;
};

TEST_F(Beeper, SingleBeepLastsItsLengthAndZeroSilencesIt) {
    ASSERT_EQ(start("beep 100"), ">\r");
    h.run_ms(300);
    auto c = changes();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_TRUE(c[0].on);
    EXPECT_NEAR(c[0].hz(), kDefaultHz, 0.1);
    EXPECT_EQ(c[0].duty, kDefaultDuty);
    EXPECT_FALSE(c[0].external);
    EXPECT_FALSE(c[1].on);
    EXPECT_NEAR(span(c[0], c[1]), 100, 1);

    ASSERT_EQ(start("beep 1000"), ">\r");
    h.run_ms(300);
    EXPECT_TRUE(audible_now());
    ASSERT_EQ(start("beep 0"), ">\r");
    h.run_ms(1000);
    c = changes();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_FALSE(c[0].on);
    EXPECT_LT(ms(c[0].t_ns), 1);
}

TEST_F(Beeper, BeepwRepliesWhenTheBeepHasEnded) {
    t0 = h.module().now_ns();
    h.send("beepw 50\r");
    h.run_ms(200);
    const auto out = h.take_timed();
    ASSERT_EQ(out.size(), 2u);
    const auto c = changes();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR(span(c[0], c[1]), 50, 1);
    EXPECT_GE(out[0].t_ns, c[1].t_ns);
    EXPECT_LT(double(out[1].t_ns - c[1].t_ns) / 1e6, 2);
    EXPECT_EQ(h.command("beepw 0"), ">\r");
}

TEST_F(Beeper, RepeatKeepsExactPhasesUntilStopped) {
    ASSERT_EQ(start("rb 200 300"), ">\r");
    h.run_ms(5000 + 100);
    auto c = changes();
    ASSERT_GE(c.size(), 20u);
    for (size_t i = 0; i + 1 < 20; ++i) {
        EXPECT_EQ(c[i].on, i % 2 == 0) << i;
        // The first on phase starts with the command, between two ticks.
        const double want = c[i].on ? 200 : 300;
        EXPECT_NEAR(span(c[i], c[i + 1]), want, i == 0 ? 1 : 0.1) << "phase " << i;
    }
    ASSERT_EQ(start("rb 0 0"), ">\r");
    EXPECT_FALSE(h.module().sound().back().on);
    h.run_ms(2000);
    EXPECT_LE(changes().size(), 1u);

    // An on-time of 0 sounds nothing, whatever the off-time.
    ASSERT_EQ(start("rb 0 100"), ">\r");
    h.run_ms(1000);
    EXPECT_TRUE(changes().empty());
    // An off-time of 0 is a steady tone.
    ASSERT_EQ(start("rb 50 0"), ">\r");
    h.run_ms(500);
    EXPECT_EQ(changes().size(), 1u);
    EXPECT_TRUE(audible_now());
    ASSERT_EQ(h.command("rb 0 0"), ">\r");
    EXPECT_FALSE(audible_now());
}

TEST_F(Beeper, AlarmsSoundTheirPatternsForTheBeepsLength) {
    // Type 1: f + 750 for 16 ms, then 16 ms of silence; it ends inside a tone.
    ASSERT_EQ(start("al 1 490"), ">\r");
    h.run_ms(1000);
    auto c = changes();
    ASSERT_GE(c.size(), 20u);
    for (size_t i = 2; i + 2 < c.size(); ++i) {
        EXPECT_NEAR(span(c[i], c[i + 1]), 16, 0.1) << i;
        if (c[i].on) {
            EXPECT_NEAR(c[i].hz(), 3350.7, 0.1) << i;
        }
    }
    EXPECT_FALSE(c.back().on);
    EXPECT_NEAR(ms(c.back().t_ns), 490, 1.5);

    // Type 2: f + 500 and f, 4 ms each.
    ASSERT_EQ(start("al 2 200"), ">\r");
    h.run_ms(500);
    c = changes();
    ASSERT_GE(c.size(), 40u);
    for (size_t i = 2; i + 2 < c.size(); ++i) {
        EXPECT_TRUE(c[i].on);
        EXPECT_NEAR(span(c[i], c[i + 1]), 4, 0.1) << i;
        EXPECT_NEAR(c[i].hz(), c[i].hz() > 2800 ? 3100.1 : kDefaultHz, 0.1) << i;
        EXPECT_NE(c[i].compare, c[i + 1].compare) << i;
    }
    EXPECT_NEAR(ms(c.back().t_ns), 200, 1.5);

    // Type 3: f + 386 and f, 251 ms each, and silence at 2 s.
    ASSERT_EQ(start("al 3 2000"), ">\r");
    h.run_ms(3000);
    c = changes();
    ASSERT_GE(c.size(), 9u);
    EXPECT_NEAR(c[1].hz(), 2986.8, 0.1);
    for (size_t i = 1; i + 2 < c.size(); ++i) EXPECT_NEAR(span(c[i], c[i + 1]), 251, 0.1) << i;
    EXPECT_FALSE(c.back().on);
    EXPECT_NEAR(ms(c.back().t_ns), 2000, 1.5);

    // Type 4 fails and leaves the beeper silent.
    ASSERT_EQ(start("al 4 500"), "!\r");
    h.run_ms(600);
    EXPECT_TRUE(changes().empty());
}

TEST_F(Beeper, AlarmsEndWithTheirBeepAndWithEveryStop) {
    // A zero-length alarm ends at once, and stays silent.
    ASSERT_EQ(start("al 1 0"), ">\r");
    h.run_ms(1000);
    EXPECT_TRUE(changes().empty());

    // "beep 0" ends a running alarm, not just its current step.
    ASSERT_EQ(h.command("al 2 5000"), ">\r");
    h.run_ms(100);
    ASSERT_EQ(start("beep 0"), ">\r");
    const size_t until_prompt = changes().size();
    EXPECT_FALSE(audible_now());
    h.run_ms(1000);
    EXPECT_EQ(changes().size(), until_prompt) << "the alarm went on";

    // An alarm repeat is silent in its off phases, and "rb 0 0" stops it there too.
    ASSERT_EQ(start("rb 50 100 2"), ">\r");
    h.run_ms(70);
    const uint64_t off_phase = h.module().now_ns();
    EXPECT_FALSE(audible_now());
    ASSERT_EQ(h.command("rb 0 0"), ">\r");
    h.run_ms(1000);
    for (const auto& s : changes()) {
        if (s.t_ns >= off_phase) {
            EXPECT_FALSE(s.on) << ms(s.t_ns);
        }
    }
    EXPECT_FALSE(audible_now());
}

TEST_F(Beeper, OddFrequenciesNeverStopTheModule) {
    // Each of these would divide by zero on the way to the timer's compare value.
    for (const char* set : {"bfs 0", "bfs 65536", "bfs 131072"}) {
        ASSERT_EQ(h.command(set), ">\r") << set;
        ASSERT_EQ(start("beep 50"), ">\r") << set;
        h.run_ms(100);
        EXPECT_FALSE(audible_now()) << set;
        EXPECT_EQ(h.module().status(), sim::Module::Status::kRunning) << set;
    }
    // The alarm's high tone reaches 65536 Hz.
    ASSERT_EQ(h.command("bf 64786"), ">\r");
    ASSERT_EQ(start("al 1 100"), ">\r");
    h.run_ms(200);
    EXPECT_EQ(h.command("bf"), "64786\r>\r");
    // A frequency of 0 in the stored settings, as "bf 0" or a config.ini may leave it.
    ASSERT_EQ(h.command("bf 0"), ">\r");
    reset();
    ASSERT_EQ(start("beep 50"), ">\r");
    h.run_ms(100);
    EXPECT_EQ(h.command("bf"), "0\r>\r");
    EXPECT_EQ(h.module().status(), sim::Module::Status::kRunning);
}

TEST(BeeperConfig, AZeroFrequencyFromConfigIniIsSilence) {
    TempDir card;
    write_file(card / "config.ini", "beepFreq = 0\r\n");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    h.boot();
    EXPECT_EQ(h.command("bf"), "0\r>\r");
    EXPECT_EQ(h.command("beep 50"), ">\r");
    EXPECT_EQ(h.command("al 2 50"), ">\r");
    h.run_ms(100);
    EXPECT_EQ(h.module().status(), sim::Module::Status::kRunning);
    EXPECT_FALSE(h.module().sound().back().on);
    EXPECT_EQ(h.command("bf"), "0\r>\r");
}

TEST_F(Beeper, FrequencyIsUsedFromTheNextStartAndSavedByBf) {
    EXPECT_EQ(h.command("bf"), "2600\r>\r");
    ASSERT_EQ(h.command("beep 1000"), ">\r");
    ASSERT_EQ(start("bfs 1000"), ">\r");
    h.run_ms(100);
    EXPECT_TRUE(changes().empty()) << "a running tone keeps its pitch";
    EXPECT_EQ(h.command("bf"), "1000\r>\r");
    ASSERT_EQ(h.command("beep 0"), ">\r");
    ASSERT_EQ(start("beep 50"), ">\r");
    auto c = changes();
    ASSERT_FALSE(c.empty());
    EXPECT_NEAR(c[0].hz(), 1000.0, 0.1);
    reset();
    EXPECT_EQ(h.command("bf"), "2600\r>\r");
    ASSERT_EQ(h.command("bf 1500"), ">\r");
    reset();
    EXPECT_EQ(h.command("bf"), "1500\r>\r");
}

TEST_F(Beeper, VolumeRangeCeilingAndSaving) {
    ASSERT_EQ(h.command("bMaX 128"), ">\r");
    ASSERT_EQ(h.command("bv 255"), ">\r");
    EXPECT_EQ(h.module().board().audio_duty, 128 * 102 / 255);
    EXPECT_EQ(h.command("bv"), "255\r>\r");
    ASSERT_EQ(h.command("bMaX 255"), ">\r");
    ASSERT_EQ(h.command("bv -300"), ">\r");
    EXPECT_EQ(h.command("bv  "), "0\r>\r");
    EXPECT_EQ(h.module().board().audio_duty, 0);
    ASSERT_EQ(h.command("bv+30"), ">\r");
    EXPECT_EQ(h.command("bv"), "30\r>\r");
    EXPECT_EQ(h.command("bv 256"), "!\r");
    EXPECT_EQ(h.command("bv  -5"), "!\r") << "a sign third is no change";
    EXPECT_EQ(h.command("bv x"), "!\r");
    EXPECT_EQ(h.command("bv"), "30\r>\r");
    ASSERT_EQ(h.command("bvs 255"), ">\r");
    EXPECT_EQ(h.module().board().audio_duty, 102);
    EXPECT_EQ(h.command("bvs"), "255\r>\r");
    reset();
    EXPECT_EQ(h.command("bv"), "30\r>\r");
    EXPECT_EQ(h.module().board().audio_duty, 30 * 102 / 255);
}

TEST_F(Beeper, SpeakerRouteIsSavedAndOtherWordsRefused) {
    EXPECT_EQ(h.command("*spkr"), "off\r>\r");
    EXPECT_TRUE(h.module().board().gpio[int(Gpio::kSpeakerSelect)]);
    ASSERT_EQ(h.command("*spkr on"), ">\r");
    EXPECT_FALSE(h.module().board().gpio[int(Gpio::kSpeakerSelect)]);
    ASSERT_EQ(start("beep 20"), ">\r");
    const auto c = changes();
    ASSERT_FALSE(c.empty());
    EXPECT_TRUE(c[0].external);
    EXPECT_EQ(h.command("*spkr"), "on\r>\r");
    EXPECT_EQ(h.command("*spkr maybe"), "!\r");
    EXPECT_EQ(h.command("*spkr  "), "!\r");
    reset();
    EXPECT_EQ(h.command("*spkr"), "on\r>\r");
    ASSERT_EQ(h.command("*spkr off"), ">\r");
    EXPECT_EQ(h.command("*spkr"), "off\r>\r");
}

TEST_F(Beeper, BbSetsThePressBeep) {
    ASSERT_EQ(h.command("bb 25"), ">\r");
    ASSERT_EQ(h.command("xs 130 100 100 199 149"), ">\r");
    t0 = h.module().now_ns();
    ASSERT_TRUE(h.tap(150, 120, 100));
    h.run_ms(500);
    const auto c = changes();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR(span(c[0], c[1]), 250, 1);
}

}  // namespace
}  // namespace voxa_test
