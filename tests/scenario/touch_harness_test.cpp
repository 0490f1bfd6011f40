// The harness's touch operations in virtual time, seen at the ADC of a stand-in firmware that
// reads it every millisecond while the pen is down.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace {

using voxa_test::Harness;

// A firmware folder with the stand-in as the WVGA build.
sim::Module::Options probe_options(const std::string& dir) {
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir + "/voxa-fw-wvga");
    std::filesystem::create_symlink(VOXA_TOUCH_PROBE, dir + "/voxa-fw-wvga");
    sim::Module::Options o;
    o.firmware_dir = dir;
    return o;
}

// The screen x of each Y-channel sample (the default panel: raw 850 at x 20 to 150 at x 779).
std::vector<int> y_channel(const std::vector<simlink::TouchAdcRecord>& log) {
    std::vector<int> r;
    for (const auto& c : log) {
        if (c.control == 0x92) r.push_back((c.result + 2) >> 2);
    }
    return r;
}

TEST(TouchHarness, TouchTapAndDragInVirtualTime) {
    const std::string dir = std::filesystem::temp_directory_path().string() +
                            "/voxa-touch-harness-" + std::to_string(getpid());
    Harness h(probe_options(dir));
    h.module().record_touch_adc(true);
    h.module().power_on();
    h.run_ms(0.5);

    EXPECT_TRUE(h.tap(399, 239, 30));
    EXPECT_FALSE(h.module().touched());
    h.run_ms(10);
    EXPECT_EQ(y_channel(h.module().take_touch_adc_log()), std::vector<int>(30, 500));

    EXPECT_TRUE(h.touch(20, 100));
    EXPECT_TRUE(h.drag(779, 100, 40));
    EXPECT_TRUE(h.move(399, 100));
    h.run_ms(2);
    h.release();
    h.run_ms(5);
    const std::vector<int> dragged = y_channel(h.module().take_touch_adc_log());
    ASSERT_EQ(dragged.size(), 42u);
    EXPECT_LT(dragged.front(), 850);  // the first sample is a step along already
    EXPECT_EQ(dragged[39], 150);
    EXPECT_EQ(dragged[40], 500);
    for (size_t i = 1; i < 40; ++i) EXPECT_LT(dragged[i], dragged[i - 1]) << i;

    // A panel set up the other way round carries the x axis on the X channel.
    EXPECT_TRUE(h.panel("swap=1 noise=0"));
    EXPECT_NONFATAL_FAILURE(h.panel("swap=2"), "swap is 0 or 1");
    EXPECT_TRUE(h.tap(20, 100, 1));
    h.run_ms(1);
    const auto swapped = h.module().take_touch_adc_log();
    ASSERT_EQ(swapped.size(), 6u);
    EXPECT_EQ(swapped[1].control, 0xD2);
    EXPECT_EQ((swapped[1].result + 2) >> 2, 850);

    EXPECT_NONFATAL_FAILURE(h.touch(800, 0), "off the panel");
    EXPECT_NONFATAL_FAILURE(h.move(10, 10), "no finger down");
    EXPECT_NONFATAL_FAILURE(h.drag(10, 10, 5), "no finger down");
    EXPECT_NONFATAL_FAILURE(h.tap(-1, 5, 5), "off the panel");
    h.run_ms(5);
    EXPECT_TRUE(h.module().take_touch_adc_log().empty());
    std::filesystem::remove_all(dir);
}

}  // namespace
