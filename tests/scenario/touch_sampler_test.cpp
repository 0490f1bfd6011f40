// The touch sampler against the simulated panel: bursts, filters, modes and the temperature,
// watched through the ADC's conversions and the "*td2" report of the published touch state.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"

namespace voxa_test {
namespace {

// One line of "*td2": the published state every 100 ms.
struct Seen {
    int pressed;
    unsigned first;
    unsigned second;
};

constexpr unsigned kReleased = 0xFFFFFFFFu;
constexpr uint8_t kAdcZ2 = 0xCA;  // the control byte of the second plate reading

class TouchSampler : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(h.boot(), kBootNoFile); }

    // Starts "*td2" (6 s of reports), runs what the test does meanwhile, then collects the 60
    // reports.
    template <typename Actions>
    std::vector<Seen> watch(Actions actions) {
        h.send("*td2\r");
        actions();
        const std::string out = h.run_until_text("!\r", 8000);
        std::vector<Seen> seen;
        size_t pos = 0;
        while (pos < out.size()) {
            const size_t end = out.find('\r', pos);
            if (end == std::string::npos) break;
            Seen s{};
            if (std::sscanf(out.substr(pos, end - pos).c_str(), "%d %X:%X", &s.pressed, &s.first,
                            &s.second) == 3) {
                seen.push_back(s);
            }
            pos = end + 1;
        }
        EXPECT_EQ(seen.size(), 60u) << visible(out);
        return seen;
    }
    static int presses(const std::vector<Seen>& seen) {
        int n = 0;
        for (const Seen& s : seen) n += s.pressed;
        return n;
    }
    // Times (ms since the first) at which a burst of samples started, from the Z2 conversions
    // (one per sample, 1 ms apart): a longer gap starts a new burst.
    struct Burst {
        double start_ms;
        int samples;
    };
    std::vector<Burst> bursts() {
        std::vector<Burst> out;
        uint64_t last = 0;
        uint64_t t0 = 0;
        for (const auto& r : h.module().take_touch_adc_log()) {
            if (r.control != kAdcZ2) continue;
            if (out.empty()) t0 = r.t_ns;
            if (out.empty() || r.t_ns - last > 1'500'000) out.push_back({(r.t_ns - t0) / 1e6, 0});
            ++out.back().samples;
            last = r.t_ns;
        }
        return out;
    }
    void set_panel(void (*change)(simlink::TouchPanelConfig&)) {
        simlink::TouchPanelConfig c = h.module().touch_panel();
        change(c);
        h.module().set_touch_panel(c);
    }

    Harness h;
};

TEST_F(TouchSampler, SteadyTouchGivesABurstOfTsampEvery108Ms) {
    h.module().record_touch_adc(true);
    h.touch(400, 240);
    h.run_ms(1000);
    std::vector<Burst> b = bursts();
    ASSERT_GE(b.size(), 9u);
    for (size_t i = 0; i < b.size(); ++i) {
        EXPECT_EQ(b[i].samples, 8) << "burst " << i;
        if (i > 0) {
            EXPECT_NEAR(b[i].start_ms - b[i - 1].start_ms, 108.0, 0.01) << "burst " << i;
        }
    }
    // Other settings change both: 4 samples and 50 ms give a burst every 54 ms.
    EXPECT_EQ(h.command("*touchParm 4 12"), ":Samples = 4, Max span = 12\r>\r");
    EXPECT_EQ(h.command("*debounce 50"), "Debounce = 50ms\r>\r");
    h.run_ms(200);
    (void)h.module().take_touch_adc_log();
    h.run_ms(500);
    b = bursts();
    ASSERT_GE(b.size(), 8u);
    for (size_t i = 1; i < b.size(); ++i) {
        EXPECT_EQ(b[i].samples, 4) << "burst " << i;
        EXPECT_NEAR(b[i].start_ms - b[i - 1].start_ms, 54.0, 0.01) << "burst " << i;
    }
}

TEST_F(TouchSampler, ZeroDebounceKeepsSampling) {
    EXPECT_EQ(h.command("*debounce 0"), "Debounce = 0ms\r>\r");
    h.module().record_touch_adc(true);
    h.touch(400, 240);
    h.run_ms(300);
    const std::vector<Burst> b = bursts();
    // A burst of 8, one step to end the hold-off, one to start again: every 9 ms, on and on.
    ASSERT_GE(b.size(), 30u);
    EXPECT_NEAR(b.back().start_ms - b[b.size() - 2].start_ms, 9.0, 0.01);
    // And the position follows the finger.
    const std::vector<Seen> seen = watch([&] {
        h.run_ms(1000);
        h.move(100, 100);
    });
    EXPECT_NE(seen.front().first, seen.back().first);
    EXPECT_EQ(seen.back().pressed, 1);
}

TEST(TouchSamplerConfig, ZeroDebounceFromConfigIniKeepsSampling) {
    TempDir card;
    write_file(card / "config.ini", "debounce = 0\ntsamp = 4\n");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    ASSERT_EQ(h.boot(), kBootNoFileOnCard);
    EXPECT_EQ(h.command("*debounce"), "Debounce = 0ms\r>\r");
    h.module().record_touch_adc(true);
    h.touch(400, 240);
    h.run_ms(200);
    // Z2 conversions, one per sample: bursts of 4, a new one every 5 ms for as long as the
    // finger stays.
    std::vector<double> starts;
    uint64_t last = 0;
    for (const auto& r : h.module().take_touch_adc_log()) {
        if (r.control != kAdcZ2) continue;
        if (starts.empty() || r.t_ns - last > 1'500'000) starts.push_back(r.t_ns / 1e6);
        last = r.t_ns;
    }
    ASSERT_GE(starts.size(), 30u);
    EXPECT_NEAR(starts.back() - starts[starts.size() - 2], 5.0, 0.01);
}

TEST_F(TouchSampler, ShortTapsAndNoisyTouchesNeverPress) {
    EXPECT_EQ(h.command("*debounce 300"), "Debounce = 300ms\r>\r");
    // Taps shorter than the 8 samples of a burst: nothing is published.
    std::vector<Seen> seen = watch([&] {
        for (int i = 0; i < 10; ++i) {
            h.run_ms(400);
            h.tap(200 + 20 * i, 200, 7);
        }
    });
    EXPECT_EQ(presses(seen), 0);
    // A tap as long as a burst and a bit is a press, seen for the hold-off after it.
    seen = watch([&] {
        h.run_ms(1000);
        h.tap(300, 300, 12);
    });
    EXPECT_GE(presses(seen), 2);

    // Readings that scatter by up to 40 raw units spread beyond the span of 12 in every burst.
    set_panel([](simlink::TouchPanelConfig& c) { c.noise = 40; });
    seen = watch([&] {
        h.run_ms(500);
        h.touch(400, 240);
        h.run_ms(4000);
        h.release();
    });
    EXPECT_EQ(presses(seen), 0);
    // A wider span lets the same finger through.
    EXPECT_EQ(h.command("*tspan 90"), ">\r");
    seen = watch([&] {
        h.run_ms(500);
        h.touch(400, 240);
        h.run_ms(4000);
        h.release();
    });
    EXPECT_GT(presses(seen), 30);
}

TEST_F(TouchSampler, LatchAndWanderReleaseAMovingFinger) {
    EXPECT_EQ(h.command("*touchMode LW"), ">\r");
    std::vector<Seen> seen = watch([&] {
        h.touch(400, 240);
        h.run_ms(1000);
        h.move(410, 245);  // about 9 raw units: still the same touch, latched where it landed
        h.run_ms(1500);
        h.move(460, 240);  // about 55 raw units from where it landed: released
        h.run_ms(1500);
    });
    ASSERT_EQ(seen[5].pressed, 1);
    EXPECT_EQ(seen[20].pressed, 1);
    EXPECT_EQ(seen[20].first, seen[5].first);
    EXPECT_EQ(seen[20].second, seen[5].second);
    EXPECT_EQ(seen[40].pressed, 0);
    EXPECT_EQ(seen[40].first, kReleased);
    // Still released while the finger stays down, until it is lifted and touches again.
    EXPECT_EQ(seen[59].pressed, 0);
    h.release();
    seen = watch([&] {
        h.run_ms(200);
        h.touch(460, 240);
        h.run_ms(1000);
    });
    EXPECT_EQ(seen[10].pressed, 1);
}

TEST_F(TouchSampler, PressureModeAcceptsOnlyTheConfiguredWindow) {
    EXPECT_EQ(h.command("*touchMode P"), ">\r");
    for (const int pressure : {200, 249, 701, 900}) {
        const std::vector<Seen> seen = watch([&] {
            h.touch(400, 240, pressure);
            h.run_ms(2000);
            h.release();
        });
        EXPECT_EQ(presses(seen), 0) << "pressure " << pressure;
    }
    for (const int pressure : {250, 400, 700}) {
        const std::vector<Seen> seen = watch([&] {
            h.touch(400, 240, pressure);
            h.run_ms(2000);
            h.release();
        });
        EXPECT_GE(presses(seen), 15) << "pressure " << pressure;
    }
    // Without the P mode the same light touch is a press.
    EXPECT_EQ(h.command("*touchMode S"), ">\r");
    const std::vector<Seen> seen = watch([&] {
        h.touch(400, 240, 900);
        h.run_ms(2000);
        h.release();
    });
    EXPECT_GE(presses(seen), 15);
}

TEST_F(TouchSampler, ALiftIsSeenWithinOneHoldOff) {
    EXPECT_EQ(h.command("*debounce 1000"), "Debounce = 1000ms\r>\r");
    h.module().record_touch_adc(true);
    const std::vector<Seen> seen = watch([&] {
        h.touch(400, 240);
        h.run_ms(50);  // one burst (8 ms) and well into its hold-off
        h.release();
        h.run_ms(2000);
    });
    // The report 100 ms in still shows the touch (the hold-off has not ended); by the time the
    // hold-off has ended (1008 ms) and the next report is due, the lift is published.
    EXPECT_EQ(seen[0].pressed, 1);
    EXPECT_EQ(seen[8].pressed, 1);
    EXPECT_EQ(seen[10].pressed, 0);
}

TEST_F(TouchSampler, TemperatureAtTheTopOfItsRange) {
    // The diodes resolve about 1.6 degrees: the highest value below 100.0 that the panel can
    // show, and the lowest from 100.0 up, in the conversion's own steps.
    const auto tenths = [](int d) { return ((d * 25000) / 4095) * 2573 / 1000 - 2730; };
    int d = 0;
    while (tenths(d + 1) <= 999) ++d;
    const int below = tenths(d);
    const int above = tenths(d + 1);
    ASSERT_LE(below, 999);
    ASSERT_GE(above, 1000);
    static int wanted;
    wanted = below;
    set_panel([](simlink::TouchPanelConfig& c) { c.temperature = int16_t(wanted); });
    char expect[32];
    std::snprintf(expect, sizeof expect, "+%02d.%d\r>\r", below / 10, below % 10);
    EXPECT_EQ(h.command("temp"), expect);
    wanted = above;
    set_panel([](simlink::TouchPanelConfig& c) { c.temperature = int16_t(wanted); });
    EXPECT_EQ(h.command("temp"), "*****>\r");
}

TEST_F(TouchSampler, DiagnosticsLeaveTheSamplerAsTheyFoundIt) {
    // "*tr" and "*ttt" read the ADC themselves; afterwards the sampler runs again.
    h.send("*tr\r");
    h.run_ms(100);
    h.touch(400, 240);
    h.run_ms(200);
    h.release();
    std::string out = h.run_until_text(">\r", 7000);
    EXPECT_NE(out.find(","), std::string::npos) << visible(out);
    h.send("*ttt\r");
    h.run_ms(100);
    h.touch(400, 240);
    h.run_ms(100);
    h.release();
    out = h.run_until_text(">\r", 2000);
    EXPECT_NE(out.find("t 4095 4095 1\r"), std::string::npos) << visible(out);
    EXPECT_NE(out.find("t 4095 4095 2\r"), std::string::npos) << visible(out);
    EXPECT_EQ(h.command("*tt"), ">\r");  // shown once, then empty
    const std::vector<Seen> seen = watch([&] {
        h.touch(400, 240);
        h.run_ms(1000);
        h.release();
    });
    EXPECT_GE(presses(seen), 8);
    // Nobody touches: "*ttt" gives up after 10 s.
    EXPECT_EQ(h.command("*ttt", 12000), ">\r");
    EXPECT_EQ(h.command("*ever"), "touched\r>\r");
    EXPECT_EQ(h.command("*ever"), ">\r");
}

}  // namespace
}  // namespace voxa_test
