#include "touch_panel.h"

#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

// The reference points lie this far in from the screen's edges.
constexpr int kInset = 20;
// The diode the firmware reads first is taken to sit here; only the difference counts.
constexpr int kTemp0 = 1200;

int clamp10(long v) {
    return v < 0 ? 0 : v > 1023 ? 1023 : int(v);
}

// What the firmware makes of a pair of diode readings, in tenths of a degree.
int diode_tenths(int difference) {
    return ((difference * 25000) / 4095) * 2573 / 1000 - 2730;
}

// The firmware's pressure estimate from the 10-bit X, Y, Z1 and Z2 readings, in its unsigned
// 32-bit arithmetic.
uint32_t estimate(uint32_t x, uint32_t y, uint32_t z1, uint32_t z2) {
    return ((y * 130) >> 10) + ((x * (((z2 << 8) / z1) - 256)) >> 10);
}

}  // namespace

TouchPanelConfig TouchPanel::default_config(int width, int height) {
    return simlink::default_touch_panel(uint16_t(width), uint16_t(height));
}

void TouchPanel::configure(const TouchPanelConfig& config) {
    config_ = config;
    rng_ = config.seed;
    int d = 0;
    reachable_temperature(config.temperature, &d);
    temp0_ = kTemp0;
    temp1_ = kTemp0 + d;
    if (down_) update_readings();
}

int TouchPanel::reachable_temperature(int tenths, int* diode_difference) {
    int best = -kTemp0;
    for (int d = -kTemp0; d <= 4095 - kTemp0; ++d) {
        if (std::abs(diode_tenths(d) - tenths) < std::abs(diode_tenths(best) - tenths)) best = d;
    }
    if (diode_difference) *diode_difference = best;
    return diode_tenths(best);
}

void TouchPanel::raw_at(int x, int y, int* first, int* second) const {
    const double left = kInset, right = config_.width - 1 - kInset;
    const double top = kInset, bottom = config_.height - 1 - kInset;
    // The firmware's mapping measures from the top-left target and truncates towards zero, so
    // the raw values of a pixel lie in a range that runs from the pixel half a pixel away from
    // that target; its middle maps back onto the pixel.
    const auto middle = [](int p, double target) {
        return p > target ? p + 0.5 : p < target ? p - 0.5 : double(p);
    };
    const double s = (middle(x, left) - left) / (right - left);
    const double t = (middle(y, top) - top) / (bottom - top);
    const int16_t* c = config_.corners;
    auto blend = [&](int k) {
        const double v = (1 - s) * (1 - t) * c[0 + k] + s * (1 - t) * c[2 + k] + s * t * c[4 + k] +
                         (1 - s) * t * c[6 + k];
        return clamp10(std::lround(std::floor(v + 0.5)));
    };
    *first = blend(0);
    *second = blend(1);
}

void TouchPanel::press(int x, int y, int pressure) {
    // The board hands the world's finger over at every grant; a finger that stayed put keeps
    // its readings.
    if (down_ && x == x_ && y == y_ && pressure == pressure_) return;
    down_ = true;
    x_ = x;
    y_ = y;
    pressure_ = pressure;
    update_readings();
}

void TouchPanel::update_readings() {
    int first = 0, second = 0;
    raw_at(x_, y_, &first, &second);
    x_channel_ = config_.swap ? first : second;
    y_channel_ = config_.swap ? second : first;

    // Z1 and Z2 for the pressure asked: the largest Z1 (finest steps of the ratio) whose Z2
    // makes the firmware's estimate come nearest.
    const uint32_t x = uint32_t(x_channel_ ? x_channel_ : 1), y = uint32_t(y_channel_);
    const long want = pressure_;
    long best_error = -1;
    for (uint32_t z1 = 1023; z1 >= 1 && best_error != 0; --z1) {
        const long base = long((y * 130) >> 10);
        const long rest = want - base;
        const long k = rest <= 0 ? 0 : (rest * 1024 + x - 1) / long(x);
        const long z2_guess = ((256 + k) * long(z1) + 255) / 256;
        for (long z2 = z2_guess - 1; z2 <= z2_guess + 1; ++z2) {
            if (z2 < long(z1) || z2 > 1023) continue;
            const long error = std::labs(long(estimate(x, y, z1, uint32_t(z2))) - want);
            if (best_error < 0 || error < best_error) {
                best_error = error;
                z1_ = int(z1);
                z2_ = int(z2);
            }
        }
    }
}

uint16_t TouchPanel::noisy(int raw10) {
    int v = raw10;
    if (config_.noise) {
        // splitmix64: small, and the same sequence on every host.
        uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        const int span = 2 * config_.noise + 1;
        v += int(z % uint64_t(span)) - config_.noise;
    }
    return uint16_t(clamp10(v) * 4);
}

uint16_t TouchPanel::convert(uint8_t control) {
    switch ((control >> 4) & 7) {
        case 5:
            return down_ ? noisy(x_channel_) : 0;
        case 1:
            return down_ ? noisy(y_channel_) : 0;
        case 3:
            return down_ ? uint16_t(z1_ * 4) : 0;
        case 4:
            return down_ ? uint16_t(z2_ * 4) : 0;
        case 0:
            return uint16_t(temp0_);
        case 7:
            return uint16_t(temp1_);
        default:  // battery and auxiliary inputs: nothing is wired to them
            return 0;
    }
}

void touch_adc_exchange(TouchPanel& panel, const uint8_t* tx, uint8_t* rx, int length,
                        TouchAdcSink* log) {
    if (length < 1 || length > 8) return;
    uint16_t result = 0;
    int pending = 0;  // answer bytes of the last conversion still to come
    for (int i = 0; i < length; ++i) {
        const uint8_t in = tx[i];
        uint8_t out = 0;
        if (pending == 2) out = uint8_t(result >> 5);
        if (pending == 1) out = uint8_t((result & 0x1F) << 3);
        if (pending) --pending;
        rx[i] = out;
        // A control byte starts a conversion at once, even while the last one is still being
        // clocked out: its result takes over the next two bytes.
        if (in & 0x80) {
            result = panel.convert(in);
            pending = 2;
            if (log) log->conversion(in, result);
        }
    }
}

}  // namespace sim
