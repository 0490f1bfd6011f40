// The value mapping against the same formulas computed in 128 bits, where nothing overflows.
#include "controls/value_mapping.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

using wide = __int128;

wide trunc_div(wide a, wide b) {
    return a / b;  // C++ truncates toward zero, as the firmware's formulas do
}

int32_t reference_pixel(const ValueMapping& m, int32_t value) {
    if (value < m.minimum) return -1;
    if (value > m.maximum) return -2;
    const wide range = wide(m.maximum) - m.minimum;
    if (range <= 0) return -1;
    const wide p = trunc_div(10 * wide(m.span) * (wide(value) - m.minimum), range);
    return int32_t(p < 0 ? trunc_div(p - 5, 10) : trunc_div(p + 5, 10));
}

int32_t reference_value(const ValueMapping& m, int32_t coordinate) {
    const wide start = m.orientation == 0 ? m.y0 : m.x0;
    wide d = wide(coordinate) - start;
    if (d < 0) d = 0;
    if (d > m.span) d = m.span;
    const wide range = wide(m.maximum) - m.minimum;
    const wide v = m.span > 0 ? trunc_div(trunc_div(range * d * 2, m.span) + 1, 2) : 0;
    return int32_t(m.flags & kMapInvert ? m.maximum - v : m.minimum + v);
}

ValueMapping vertical(int y0, int y1, int minimum, int maximum, bool invert = false) {
    ValueMapping m{};
    EXPECT_EQ(KV_Chart_Common(&m, 10, y0, 30, y1, kMapAlongY, invert, maximum, minimum, 0), 1);
    return m;
}

TEST(ValueMapping, SetUpStoresAxisSpanAndFlagsAndRefusesOtherOrientations) {
    ValueMapping m = vertical(20, 220, 0, 100, true);
    EXPECT_EQ(m.span, 200);
    EXPECT_EQ(m.flags, kMapInvert | kMapRetrace | kMapEraseAhead);
    ValueMapping h{};
    ASSERT_EQ(KV_Chart_Common(&h, 5, 0, 805, 9, kMapAlongX, 0, 1, 0, 0x123), 1);
    EXPECT_EQ(h.span, 800);
    EXPECT_EQ(h.background, 0x123u);
    const ValueMapping before = m;
    EXPECT_EQ(KV_Chart_Common(&m, 0, 0, 1, 1, 2, 0, 5, 0, 0), 0);
    EXPECT_EQ(KV_Chart_Common(&m, 0, 0, 1, 1, -1, 0, 5, 0, 0), 0);
    EXPECT_EQ(m.span, before.span);
    EXPECT_EQ(m.maximum, before.maximum);
}

TEST(ValueMapping, RoundsHalfUpBothWays) {
    // 200 pixels for 0..100: 3 pixels are 1.5 units (2), and 1 unit is 2 pixels.
    const ValueMapping m = vertical(20, 220, 0, 100);
    EXPECT_EQ(KV_PixelToValue(m, 23), 2);
    EXPECT_EQ(KV_ValueToPixel(m, 1), 2);
    EXPECT_EQ(KV_PixelToValue(m, 22), 1);
    // Clamped to the axis's ends; inverted puts the maximum at the start.
    EXPECT_EQ(KV_PixelToValue(m, -5000), 0);
    EXPECT_EQ(KV_PixelToValue(m, 5000), 100);
    const ValueMapping inv = vertical(20, 220, 0, 100, true);
    EXPECT_EQ(KV_PixelToValue(inv, 20), 100);
    EXPECT_EQ(KV_PixelToValue(inv, 220), 0);
    // 3 pixels for 0..7: 1 unit is 0.43 pixels (0), 2 units 0.86 (1).
    const ValueMapping coarse = vertical(0, 3, 0, 7);
    EXPECT_EQ(KV_ValueToPixel(coarse, 1), 0);
    EXPECT_EQ(KV_ValueToPixel(coarse, 2), 1);
}

TEST(ValueMapping, ValuesOutsideTheLimitsAndDegenerateScales) {
    const ValueMapping m = vertical(0, 199, 0, 100);
    EXPECT_EQ(KV_ValueToPixel(m, -1), kMapBelowMinimum);
    EXPECT_EQ(KV_ValueToPixel(m, 101), kMapAboveMaximum);
    EXPECT_EQ(KV_ValueToPixel(m, 100), 199);
    // No range: no pixel; no span: the value at the start.
    const ValueMapping flat = vertical(0, 199, 50, 50);
    EXPECT_EQ(KV_ValueToPixel(flat, 50), kMapBelowMinimum);
    EXPECT_EQ(KV_PixelToValue(flat, 120), 50);
    const ValueMapping dot = vertical(40, 40, -10, 10);
    EXPECT_EQ(KV_PixelToValue(dot, 40), -10);
    EXPECT_EQ(KV_ValueToPixel(dot, 10), 0);
    // A corner order giving a negative span rounds away from zero, as the positive side does.
    const ValueMapping back = vertical(100, 0, 0, 100);
    EXPECT_EQ(KV_ValueToPixel(back, 1), -1);
    EXPECT_EQ(KV_ValueToPixel(back, 50), -50);
}

TEST(ValueMapping, WideLimitsMatchA128BitReferenceAndStayInRange) {
    std::mt19937 rng(7);
    const int32_t limits[] = {INT_MIN, INT_MIN + 1, -268000,     -1,     0,
                              1,       268000,      INT_MAX - 1, INT_MAX};
    auto any = [&](std::uniform_int_distribution<int32_t> d) { return d(rng); };
    std::uniform_int_distribution<int32_t> all(INT_MIN, INT_MAX), spans(0, 1000);
    for (int i = 0; i < 200000; ++i) {
        int32_t lo = i % 3 ? any(all) : limits[rng() % 9];
        int32_t hi = i % 5 ? any(all) : limits[rng() % 9];
        if (lo > hi) std::swap(lo, hi);
        const int span = i % 7 ? any(spans) : int(rng() % 3);
        const bool invert = rng() & 1;
        ValueMapping m{};
        ASSERT_EQ(KV_Chart_Common(&m, 0, 0, 5, span, kMapAlongY, invert, hi, lo, 0), 1);
        // Mostly a value within the limits (wrapping arithmetic: the range may be all of int32).
        const uint32_t width = uint32_t(hi) - uint32_t(lo) + 1u;
        const uint32_t pick = width ? uint32_t(any(all)) % width : uint32_t(any(all));
        const int32_t value = i % 4 ? int32_t(uint32_t(lo) + pick) : any(all);
        const int32_t p = KV_ValueToPixel(m, value);
        ASSERT_EQ(p, reference_pixel(m, value)) << lo << " " << hi << " " << span << " " << value;
        if (value >= lo && value <= hi && hi > lo) {
            ASSERT_TRUE(p >= 0 && p <= span);
        }
        const int32_t y = int32_t(rng() % uint32_t(span + 41)) - 20;
        const int32_t v = KV_PixelToValue(m, y);
        ASSERT_EQ(v, reference_value(m, y)) << lo << " " << hi << " " << span << " " << y;
        ASSERT_TRUE(v >= lo && v <= hi);
    }
}

}  // namespace
