// The simulated board's LCD controller as register words: what the firmware programs through
// the board contract lands here in the layout of the i.MX21's controller, and the peek/poke
// commands see and change the same words. Everything the board derives (frame period, screen
// geometry, PWM) is decoded from these words, as the hardware does.
#pragma once

#include <cstdint>

#include "device/board.h"

namespace sim {

// Offset of the controller in the peripheral register block, and its registers.
constexpr uint32_t kLcdcOffset = 0x21000;
enum LcdcRegister : uint32_t {
    kLcdcScreenStart = 0x00,  // frame buffer address
    kLcdcSize = 0x04,         // width / 16 in bits 25-20, height in bits 9-0
    kLcdcPageWidth = 0x08,    // virtual page width in 32-bit words
    kLcdcPanelConfig = 0x18,  // bit 21: shift clock inverted
    kLcdcHorizontal = 0x1C,   // (hpw - 1) << 26 | (hfp - 1) << 8 | (hbp - 3)
    kLcdcVertical = 0x20,     // vpw << 26 | vfp << 8 | vbp
    kLcdcPwm = 0x2C,          // bits 7-0 pulse width, bit 8 enable, bit 9 pixel clock
    kLcdcDmaControl = 0x30,
    kLcdcSpan = 0x34,
};

constexpr uint32_t kLcdcScreenStartAddress = 0xC3E00000;
constexpr uint32_t kLcdcShiftClockInverted = 1u << 21;
// TFT, colour, 16 bits per pixel: the only panel mode this board shows.
constexpr uint32_t kLcdcPanelMode = (1u << 31) | (1u << 30) | (5u << 25);
constexpr uint32_t kLcdcPwmEnable = 1u << 8;
constexpr uint32_t kLcdcPwmPixelClock = 1u << 9;
constexpr uint32_t kLcdcDmaDefault = 0x00020010;

struct LcdGeometry {
    uint32_t width, height;
    uint32_t htot, vtot;  // pixel clocks per line, lines per frame
};

class LcdController {
  public:
    // Whether the block offset is one of the controller's registers (then index is set).
    static bool decode_offset(uint32_t offset, uint32_t* index);

    uint32_t read(uint32_t index) const { return regs_[index]; }
    void write(uint32_t index, uint32_t value) { regs_[index] = value; }

    // The words the firmware's set-up call stands for.
    void configure(const LcdConfig& c);
    void set_pwm(uint8_t width, bool enable, bool line_clock);

    LcdGeometry geometry() const;
    uint8_t pwm_width() const { return uint8_t(regs_[kLcdcPwm / 4] & 0xFF); }
    bool pwm_enable() const { return (regs_[kLcdcPwm / 4] & kLcdcPwmEnable) != 0; }
    bool pwm_line_clock() const { return (regs_[kLcdcPwm / 4] & kLcdcPwmPixelClock) == 0; }

  private:
    uint32_t regs_[kLcdcSpan / 4] = {};
};

}  // namespace sim
