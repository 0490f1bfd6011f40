// The 4-wire resistive touch panel and its serial ADC, as the firmware meets them: a finger at
// a screen position with a pressure becomes X, Y, Z1 and Z2 conversions, the board's
// temperature two diode readings, and the pen-down line follows the finger.
//
// The panel is the inverse of a raw calibration (see simlink::TouchPanelConfig): by default the
// one the firmware installs as its default, so that an uncalibrated module reports the pixels
// that were touched. Pure model: no time, no I/O; the board logs what it converts.
#pragma once

#include <cstdint>

#include "protocol.h"

namespace sim {

using simlink::TouchPanelConfig;

// Control bytes of the conversions the firmware makes (the two low bits only power the
// reference and the pen interrupt; they do not change the measurement).
constexpr uint8_t kAdcX = 0xD2;
constexpr uint8_t kAdcY = 0x92;
constexpr uint8_t kAdcZ1 = 0xBA;
constexpr uint8_t kAdcZ2 = 0xCA;
constexpr uint8_t kAdcTemp0 = 0x86;
constexpr uint8_t kAdcTemp1 = 0xF6;

class TouchPanel {
  public:
    // The inverse of the default calibration of a width x height screen.
    static TouchPanelConfig default_config(int width, int height);

    TouchPanel() : TouchPanel(default_config(800, 480)) {}
    explicit TouchPanel(const TouchPanelConfig& config) { configure(config); }

    // A new panel (its noise starts again from the seed). The finger stays where it is.
    void configure(const TouchPanelConfig& config);
    const TouchPanelConfig& config() const { return config_; }

    // The finger. Positions are screen pixels; pressure is in the firmware's units (a lighter
    // touch is a larger number).
    void press(int x, int y, int pressure);
    void lift() { down_ = false; }
    bool touched() const { return down_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int pressure() const { return pressure_; }
    bool on_screen(int x, int y) const {
        return x >= 0 && y >= 0 && x < config_.width && y < config_.height;
    }

    // The raw 10-bit (first, second) pair of a screen point, without noise.
    void raw_at(int x, int y, int* first, int* second) const;
    // The 12-bit result of the conversion a control byte starts.
    uint16_t convert(uint8_t control);

    // The temperature the diodes can show nearest to tenths (the ADC resolves steps of about
    // 1.6 degrees), in tenths as the firmware computes it, and the diode difference for it.
    static int reachable_temperature(int tenths, int* diode_difference = nullptr);

  private:
    uint16_t noisy(int raw10);
    void update_readings();

    TouchPanelConfig config_{};
    uint64_t rng_ = 0;
    bool down_ = false;
    int x_ = 0;
    int y_ = 0;
    int pressure_ = 400;
    // The readings of the finger as it rests, 10 bits (X and Y channel, Z1, Z2).
    int x_channel_ = 0;
    int y_channel_ = 0;
    int z1_ = 0;
    int z2_ = 0;
    int temp0_ = 0;
    int temp1_ = 0;
};

// One SPI exchange with chip select held: the byte stream of src/device/board.h. rx may be tx.
// Every conversion started is passed to log (if given) with its control byte and result.
struct TouchAdcSink {
    virtual void conversion(uint8_t control, uint16_t result) = 0;

  protected:
    ~TouchAdcSink() = default;
};
void touch_adc_exchange(TouchPanel& panel, const uint8_t* tx, uint8_t* rx, int length,
                        TouchAdcSink* log);

}  // namespace sim
