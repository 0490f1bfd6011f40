// The simulated touch panel at its ADC: what the firmware's sampler, mapping and pressure test
// will make of the readings it produces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "boards/sim/standalone.h"
#include "boards/sim/touch_panel.h"
#include "device/board.h"

namespace {

using sim::TouchPanel;
using simlink::TouchPanelConfig;

struct Point {
    int x, y;
};

// The firmware's raw-to-screen mapping with its five-point table (the centre is not used):
// signed integers, truncating division, a division by zero skipped.
struct Calibration {
    int lx[5], ly[5], px[5], py[5];
};

int div_or_keep(int a, int b) {
    return b == 0 ? a : a / b;
}

Point map_to_screen(const Calibration& c, int u, int v) {
    const int xl = c.px[1] + div_or_keep((c.px[4] - c.px[1]) * (v - c.py[1]), c.py[4] - c.py[1]);
    const int xr = c.px[2] + div_or_keep((c.px[3] - c.px[2]) * (v - c.py[2]), c.py[3] - c.py[2]);
    const int x = c.lx[1] + div_or_keep((c.lx[2] - c.lx[1]) * (u - xl), xr - xl);
    const int yt = c.py[1] + div_or_keep((c.py[2] - c.py[1]) * (u - c.px[1]), c.px[2] - c.px[1]);
    const int yb = c.py[4] + div_or_keep((c.py[3] - c.py[4]) * (u - c.px[4]), c.px[3] - c.px[4]);
    const int y = c.ly[1] + div_or_keep((c.ly[4] - c.ly[1]) * (v - yt), yb - yt);
    return {x, y};
}

Calibration default_calibration(int width, int height) {
    const int r = width - 21, b = height - 21;
    return {{width / 2 - 1, 20, r, r, 20},
            {height / 2 - 1, 20, 20, b, b},
            {500, 850, 150, 150, 850},
            {500, 150, 150, 850, 850}};
}

// The 12-bit result of one exchange of a control byte and two answer bytes.
int read_once(TouchPanel& panel, uint8_t control) {
    uint8_t io[3] = {control, 0, 0};
    sim::touch_adc_exchange(panel, io, io, 3, nullptr);
    return (io[1] << 5) + (io[2] >> 3);
}

int round10(int result) {
    return (result + 2) >> 2;
}

// What the firmware's pressure estimate makes of one sample, in its unsigned arithmetic.
uint32_t firmware_pressure(TouchPanel& panel) {
    const uint32_t x = uint32_t(round10(read_once(panel, sim::kAdcX)));
    const uint32_t y = uint32_t(round10(read_once(panel, sim::kAdcY)));
    const uint32_t z1 = uint32_t(round10(read_once(panel, sim::kAdcZ1)));
    const uint32_t z2 = uint32_t(round10(read_once(panel, sim::kAdcZ2)));
    return ((y * 130) >> 10) + ((x * (((z2 << 8) / z1) - 256)) >> 10);
}

TEST(TouchPanel, DefaultPanelMapsBackThroughTheDefaultCalibration) {
    const struct { int width, height; } screens[] = {{800, 480}, {800, 600}, {640, 480}};
    for (const auto& s : screens) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        TouchPanel panel(TouchPanel::default_config(s.width, s.height));
        const Calibration cal = default_calibration(s.width, s.height);
        // The five calibration targets come back exactly, through the ADC and the 10-bit
        // rounding, with the Y channel as the first coordinate.
        for (int i = 0; i < 5; ++i) {
            panel.press(cal.lx[i], cal.ly[i], 400);
            const int u = round10(read_once(panel, sim::kAdcY));
            const int v = round10(read_once(panel, sim::kAdcX));
            EXPECT_NEAR(u, cal.px[i], 1) << "point " << i;
            EXPECT_NEAR(v, cal.py[i], 1) << "point " << i;
            const Point p = map_to_screen(cal, u, v);
            EXPECT_EQ(p.x, cal.lx[i]) << "point " << i;
            EXPECT_EQ(p.y, cal.ly[i]) << "point " << i;
        }
        // Every pixel: the raw axis along x is coarser than the pixels, so a pixel may come
        // back as its neighbour, never further away.
        int exact = 0, total = 0;
        for (int y = 0; y < s.height; y += 7) {
            for (int x = 0; x < s.width; x += 3) {
                int u, v;
                panel.raw_at(x, y, &u, &v);
                const Point p = map_to_screen(cal, u, v);
                ASSERT_LE(std::abs(p.x - x), 1) << x << "," << y;
                ASSERT_EQ(p.y, y) << x << "," << y;
                exact += p.x == x;
                ++total;
            }
        }
        EXPECT_GT(exact, total * 85 / 100);
    }
}

TEST(TouchPanel, CornersSkewMirrorAndSwapTheReadings) {
    TouchPanelConfig c = TouchPanel::default_config(800, 480);
    // Mirrored in x, skewed and offset: the readings at the reference points are the corners.
    const int16_t corners[8] = {100, 200, 900, 180, 880, 800, 120, 840};
    for (int i = 0; i < 8; ++i) c.corners[i] = corners[i];
    TouchPanel panel(c);
    const Point refs[4] = {{20, 20}, {779, 20}, {779, 459}, {20, 459}};
    for (int i = 0; i < 4; ++i) {
        int u, v;
        panel.raw_at(refs[i].x, refs[i].y, &u, &v);
        EXPECT_NEAR(u, corners[2 * i], 1) << "corner " << i;
        EXPECT_NEAR(v, corners[2 * i + 1], 1) << "corner " << i;
    }
    // Half way along the top edge, bilinear.
    int u, v;
    panel.raw_at(399, 20, &u, &v);
    EXPECT_NEAR(u, 500, 1);
    EXPECT_NEAR(v, 190, 1);

    panel.press(600, 100, 400);
    int first, second;
    panel.raw_at(600, 100, &first, &second);
    EXPECT_EQ(round10(read_once(panel, sim::kAdcY)), first);
    EXPECT_EQ(round10(read_once(panel, sim::kAdcX)), second);
    c.swap = 1;
    panel.configure(c);
    EXPECT_EQ(round10(read_once(panel, sim::kAdcX)), first);
    EXPECT_EQ(round10(read_once(panel, sim::kAdcY)), second);
}

TEST(TouchPanel, PressureComesOutAsAskedAcrossThePanel) {
    for (const bool swap : {false, true}) {
        TouchPanelConfig c = TouchPanel::default_config(800, 480);
        c.swap = swap;
        TouchPanel panel(c);
        for (int y = 0; y < 480; y += 37) {
            for (int x = 0; x < 800; x += 53) {
                for (const int p : {150, 250, 400, 555, 700, 900}) {
                    panel.press(x, y, p);
                    const long got = long(firmware_pressure(panel));
                    ASSERT_LE(std::labs(got - p), 2) << x << "," << y << " p " << p;
                }
            }
        }
    }
}

TEST(TouchPanel, TemperatureReadsAsTheNearestValueTheDiodesResolve) {
    auto firmware_tenths = [](TouchPanel& panel) {
        const int t0 = read_once(panel, sim::kAdcTemp0);
        const int t1 = read_once(panel, sim::kAdcTemp1);
        return ((t1 - t0) * 25000 / 4095) * 2573 / 1000 - 2730;
    };
    TouchPanel panel;
    EXPECT_EQ(firmware_tenths(panel), TouchPanel::reachable_temperature(250));
    EXPECT_NEAR(firmware_tenths(panel), 250, 8);
    // The two sides of the firmware's upper limit of 99.9 degrees.
    TouchPanelConfig c = panel.config();
    for (const int asked : {990, 1005, -300, 0, 999, 1000}) {
        c.temperature = int16_t(asked);
        panel.configure(c);
        const int got = firmware_tenths(panel);
        EXPECT_EQ(got, TouchPanel::reachable_temperature(asked)) << asked;
        EXPECT_LE(std::abs(got - asked), 10) << asked;
    }
    c.temperature = 990;
    panel.configure(c);
    EXPECT_EQ(firmware_tenths(panel), 990);
    c.temperature = 1005;
    panel.configure(c);
    EXPECT_EQ(firmware_tenths(panel), 1005);
}

TEST(TouchPanel, NoiseIsBoundedAndFollowsItsSeed) {
    TouchPanelConfig c = TouchPanel::default_config(800, 480);
    c.noise = 3;
    c.seed = 7;
    auto readings = [](TouchPanelConfig config) {
        TouchPanel panel(config);
        panel.press(300, 200, 400);
        std::vector<int> r;
        for (int i = 0; i < 200; ++i) r.push_back(round10(read_once(panel, sim::kAdcX)));
        return r;
    };
    const std::vector<int> a = readings(c), b = readings(c);
    EXPECT_EQ(a, b);
    c.seed = 8;
    EXPECT_NE(readings(c), a);
    int u, v;
    TouchPanel(c).raw_at(300, 200, &u, &v);
    int low = 1024, high = -1;
    for (const int r : a) {
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_GE(low, v - 3);
    EXPECT_LE(high, v + 3);
    EXPECT_GT(high - low, 3);  // it does spread
}

TEST(TouchPanel, SpiExchangeCarriesEachResultInTheTwoBytesAfterItsControlByte) {
    TouchPanel panel;
    panel.press(100, 300, 400);
    const int x = read_once(panel, sim::kAdcX);
    const int y = read_once(panel, sim::kAdcY);
    ASSERT_NE(x, y);

    // The double read: the result of the second control byte in the last two bytes.
    uint8_t tx[4] = {0xD3, 0xD2, 0, 0}, rx[4];
    sim::touch_adc_exchange(panel, tx, rx, 4, nullptr);
    EXPECT_EQ(rx[0], 0);
    EXPECT_EQ(rx[1], x >> 5);
    EXPECT_EQ((rx[2] << 5) + (rx[3] >> 3), x);
    // A control byte as the second answer byte; then bytes beyond the answer read 0.
    uint8_t io[7] = {0x93, 0, sim::kAdcX, 0, 0, 0, 0};
    sim::touch_adc_exchange(panel, io, io, 7, nullptr);
    EXPECT_EQ((io[1] << 5) + (io[2] >> 3), y);
    EXPECT_EQ((io[3] << 5) + (io[4] >> 3), x);
    EXPECT_EQ(io[5], 0);
    EXPECT_EQ(io[6], 0);
    // All twelve bits: the seven high ones in the first answer byte, the five low ones at the
    // top of the second.
    const int t1 = read_once(panel, sim::kAdcTemp1);
    ASSERT_NE(t1 & 0x1F, 0);
    uint8_t twelve[3] = {sim::kAdcTemp1, 0, 0};
    sim::touch_adc_exchange(panel, twelve, twelve, 3, nullptr);
    EXPECT_EQ(twelve[1], t1 >> 5);
    EXPECT_EQ(twelve[2], (t1 & 0x1F) << 3);
    TouchPanelConfig c = panel.config();
    for (int16_t& k : c.corners) k = 1023;
    panel.configure(c);
    uint8_t full[3] = {0x92, 0, 0};
    sim::touch_adc_exchange(panel, full, full, 3, nullptr);
    EXPECT_EQ(full[1], 0x7F);
    EXPECT_EQ(full[2], 0xE0);  // 1023 raw units are 4092

    // A lifted finger: the positions and Z1 read 0.
    panel.lift();
    EXPECT_EQ(read_once(panel, sim::kAdcX), 0);
    EXPECT_EQ(read_once(panel, sim::kAdcY), 0);
    EXPECT_EQ(read_once(panel, sim::kAdcZ1), 0);
}

// The board contract as the firmware calls it, on the board of the test process.
TEST(TouchPanel, BoardAnswersThroughTheContractAndLogsEachConversion) {
    auto& board = sim::Standalone::instance();
    board.release();
    board.take_touch_adc_log();
    EXPECT_EQ(GetPenState(), 0);
    EXPECT_FALSE(board.touch(800, 10));
    EXPECT_FALSE(board.move(10, 10));
    ASSERT_TRUE(board.touch(399, 239, 300));
    EXPECT_EQ(GetPenState(), 1);

    const uint64_t t0 = board.machine().now();
    uint8_t io[4] = {0x93, 0x92, 0, 0};
    touch_spi_exchange(io, io, 4);
    EXPECT_EQ(round10((io[2] << 5) + (io[3] >> 3)), 500);
    board.run_for_ns(3'000'000);
    uint8_t z[3] = {sim::kAdcZ1, 0, 0};
    touch_spi_exchange(z, z, 3);

    const auto log = board.take_touch_adc_log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].control, 0x93);
    EXPECT_EQ(log[1].control, 0x92);
    EXPECT_EQ(log[1].result, 2000);
    EXPECT_EQ(log[1].t_ns, t0);
    EXPECT_EQ(log[2].control, sim::kAdcZ1);
    EXPECT_EQ(log[2].t_ns, t0 + 3'000'000);
    EXPECT_TRUE(board.take_touch_adc_log().empty());

    ASSERT_TRUE(board.move(20, 20));
    uint8_t again[4] = {0x93, 0x92, 0, 0};
    touch_spi_exchange(again, again, 4);
    EXPECT_EQ(round10((again[2] << 5) + (again[3] >> 3)), 850);
    board.release();
    EXPECT_EQ(GetPenState(), 0);
    board.take_touch_adc_log();
}

}  // namespace
