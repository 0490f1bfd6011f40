// The finger and the panel set by the world reach the firmware child's ADC: a stand-in firmware
// that only reads the ADC every millisecond while the pen is down, watched through the module's
// ADC log. And the control console that drives them.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/control.h"
#include "sim/module.h"
#include "sim/session.h"
#include "test_folder.h"

namespace sim {
namespace {

using Log = std::vector<simlink::TouchAdcRecord>;

int round10(int result) {
    return (result + 2) >> 2;
}

// The 10-bit readings of one channel's conversions in a log (the double read's second byte).
std::vector<int> readings(const Log& log, uint8_t control) {
    std::vector<int> r;
    for (const auto& c : log) {
        if (c.control == control) r.push_back(round10(c.result));
    }
    return r;
}

class Touch : public ::testing::Test {
  protected:
    std::unique_ptr<Module> probe_module() {
        const std::string dir = folder_.path() + "/fw";
        std::filesystem::create_directories(dir);
        std::filesystem::remove(dir + "/voxa-fw-wvga");
        std::filesystem::create_symlink(VOXA_TOUCH_PROBE, dir + "/voxa-fw-wvga");
        Module::Options options;
        options.firmware_dir = dir;
        auto m = std::make_unique<Module>(options);
        m->record_touch_adc(true);
        return m;
    }

    const voxa_test::TestFolder folder_{"sim-touch"};
};

TEST_F(Touch, FingerBeforePowerOnIsSampledWithTheDefaultPanel) {
    auto m = probe_module();
    EXPECT_FALSE(m->touch(800, 0));
    EXPECT_FALSE(m->touch(0, 480));
    EXPECT_FALSE(m->move(10, 10));  // no finger yet
    ASSERT_TRUE(m->touch(399, 239));
    m->power_on();
    m->run_for_ms(5.5);
    ASSERT_EQ(m->status(), Module::Status::kRunning) << m->stop_reason();
    const Log log = m->take_touch_adc_log();
    // The diodes at start, then six conversions each millisecond.
    ASSERT_EQ(log.size(), 2u + 5 * 6) << log.size();
    EXPECT_EQ(log[0].control, 0x86);
    EXPECT_EQ(log[1].control, 0xF6);
    // 25.0 degrees, as near as the diodes resolve it.
    const int tenths = ((log[1].result - log[0].result) * 25000 / 4095) * 2573 / 1000 - 2730;
    EXPECT_NEAR(tenths, 250, 8);
    EXPECT_EQ(log[2].control, 0xD3);
    EXPECT_EQ(log[2].t_ns, 1'000'000u);
    EXPECT_EQ(log[8].t_ns, 2'000'000u);
    EXPECT_EQ(readings(log, 0xD2), std::vector<int>(5, 500));  // X channel: the y axis
    EXPECT_EQ(readings(log, 0x92), std::vector<int>(5, 500));  // Y channel: the x axis
    const int z1 = readings(log, 0xBA).at(0), z2 = readings(log, 0xCA).at(0);
    const uint32_t p = ((500u * 130) >> 10) + ((500u * ((uint32_t(z2) << 8) / z1 - 256)) >> 10);
    EXPECT_NEAR(p, 400, 2);
    EXPECT_TRUE(m->take_touch_adc_log().empty());
}

TEST_F(Touch, ChangesReachTheChildWhenItsNextSliceStarts) {
    auto m = probe_module();
    m->power_on();
    m->run_for_ms(3.5);
    EXPECT_EQ(m->take_touch_adc_log().size(), 2u);  // pen up: only the diodes

    ASSERT_TRUE(m->touch(20, 459, 300));
    m->run_for_ms(1);
    Log log = m->take_touch_adc_log();
    EXPECT_EQ(readings(log, 0x92), std::vector<int>{850});
    EXPECT_EQ(readings(log, 0xD2), std::vector<int>{851});

    ASSERT_TRUE(m->move(779, 20));
    EXPECT_FALSE(m->move(-1, 20));
    m->run_for_ms(1);
    log = m->take_touch_adc_log();
    EXPECT_EQ(readings(log, 0x92), std::vector<int>{150});
    EXPECT_EQ(readings(log, 0xD2), std::vector<int>{150});

    // A drag: one position per millisecond along the line, the end exact.
    ASSERT_TRUE(m->drag(20, 20, 10));
    EXPECT_EQ(m->now_ns(), 15'500'000u);
    log = m->take_touch_adc_log();
    const std::vector<int> along = readings(log, 0x92);
    ASSERT_EQ(along.size(), 10u);
    for (size_t i = 1; i < along.size(); ++i) EXPECT_GT(along[i], along[i - 1]) << i;
    m->run_for_ms(1);
    EXPECT_EQ(readings(m->take_touch_adc_log(), 0x92), std::vector<int>{850});

    // Another panel: swapped channels, and the finger keeps its place across a power cycle.
    simlink::TouchPanelConfig c = m->touch_panel();
    c.swap = 1;
    m->set_touch_panel(c);
    m->power_cycle();
    m->run_for_ms(1.5);
    log = m->take_touch_adc_log();
    EXPECT_EQ(readings(log, 0xD2), std::vector<int>{850});
    EXPECT_EQ(readings(log, 0x92), std::vector<int>{150});

    m->release();
    m->run_for_ms(5);
    EXPECT_TRUE(m->take_touch_adc_log().empty());
    EXPECT_FALSE(m->drag(30, 30, 5));
}

// An endpoint that a test types into and reads the answers of.
class Typed final : public Endpoint {
  public:
    void add_poll_fds(std::vector<pollfd>*, bool) override {}
    std::string service(const Intake&) override {
        std::string s;
        s.swap(input);
        return s;
    }
    void write(std::string_view bytes, uint64_t now_ns) override {
        output.append(bytes);
        times.push_back(now_ns);
    }
    bool opened() const override { return true; }
    std::string input;
    std::string output;
    std::vector<uint64_t> times;
};

TEST_F(Touch, ConsoleAnswersEachLineWhenItIsDone) {
    auto m = probe_module();
    Session session(*m, false);
    session.power_on();
    auto typed = std::make_unique<Typed>();
    Typed& io = *typed;
    ControlConsole console(session, std::move(typed));

    io.input = "touch 100 100 350\nmove 200 100\r\ndrag 300 100 20\n  \ntap 10 10 5\n";
    console.serve();
    EXPECT_EQ(io.output, "ok\nok\nok\nok\n");
    ASSERT_EQ(io.times.size(), 4u);
    EXPECT_EQ(io.times[1], 0u);
    EXPECT_EQ(io.times[2], 20'000'000u);  // the drag's answer when it is over
    EXPECT_EQ(io.times[3], 25'000'000u);
    EXPECT_FALSE(m->touched());
    const Log log = m->take_touch_adc_log();
    EXPECT_EQ(readings(log, 0x92).size(), 25u);

    io.output.clear();
    io.input =
        "touch 800 10\nmove 1 1\nfly\nsend \"vers\\r\"\npanel noise=3 seed=9\npanel warp=1\n"
        "touch 5\n";
    console.serve();
    EXPECT_EQ(io.output,
              "error: 800,10 is off the 800x480 panel\n"
              "error: no finger is on the panel (touch first)\n"
              "error: unknown command 'fly'\n"
              "error: 'send' is for scripts; the console takes touch, move, drag, release, tap, "
              "panel, sd, wait, power-cycle, power-off, power-on and reset\n"
              "ok\n"
              "error: unknown panel setting 'warp=1' (corners=, swap=, noise=, seed=, pressure=, "
              "temp= or default)\n"
              "error: touch needs X Y and optionally a pressure\n");
    EXPECT_EQ(m->touch_panel().noise, 3);
    EXPECT_EQ(m->touch_panel().seed, 9u);

    // A line comes in pieces; it is carried out once whole.
    io.output.clear();
    io.input = "wai";
    console.serve();
    EXPECT_EQ(io.output, "");
    io.input = "t 5\npower-cycle\n";
    console.serve();
    EXPECT_EQ(io.output, "ok\nok\n");
    EXPECT_EQ(m->power_ons(), 2);
}

}  // namespace
}  // namespace sim
