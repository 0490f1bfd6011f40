#include "lcd_controller.h"

#include "boards/imx21/lcdc_timing.h"

namespace sim {

bool LcdController::decode_offset(uint32_t offset, uint32_t* index) {
    if (offset < kLcdcOffset || offset >= kLcdcOffset + kLcdcSpan) return false;
    const uint32_t i = (offset - kLcdcOffset) / 4;
    switch (i * 4) {
        case kLcdcScreenStart:
        case kLcdcSize:
        case kLcdcPageWidth:
        case kLcdcPanelConfig:
        case kLcdcHorizontal:
        case kLcdcVertical:
        case kLcdcPwm:
        case kLcdcDmaControl:
            *index = i;
            return true;
        default:
            return false;
    }
}

void LcdController::configure(const LcdConfig& c) {
    regs_[kLcdcScreenStart / 4] = kLcdcScreenStartAddress;
    regs_[kLcdcSize / 4] = (uint32_t(c.width / 16) << 20) | (c.height & 0x3FF);
    regs_[kLcdcPageWidth / 4] = c.width / 2;
    regs_[kLcdcPanelConfig / 4] =
        kLcdcPanelMode | (c.shift_clock_inverted ? kLcdcShiftClockInverted : 0);
    // The module's controller is an i.MX21's: its registers read back as the chip's words.
    regs_[kLcdcHorizontal / 4] =
        imx21::lcdc_horizontal_word(c.hsync_width, c.h_front_porch, c.h_back_porch);
    regs_[kLcdcVertical / 4] =
        imx21::lcdc_vertical_word(c.vsync_width, c.v_front_porch, c.v_back_porch);
    regs_[kLcdcDmaControl / 4] = kLcdcDmaDefault;
}

void LcdController::set_pwm(uint8_t width, bool enable, bool line_clock) {
    regs_[kLcdcPwm / 4] =
        width | (enable ? kLcdcPwmEnable : 0) | (line_clock ? 0 : kLcdcPwmPixelClock);
}

LcdGeometry LcdController::geometry() const {
    const uint32_t size = regs_[kLcdcSize / 4];
    const uint32_t h = regs_[kLcdcHorizontal / 4];
    const uint32_t v = regs_[kLcdcVertical / 4];
    LcdGeometry g;
    g.width = ((size >> 20) & 0x3F) * 16;
    g.height = size & 0x3FF;
    g.htot = g.width + ((h >> 26) & 0x3F) + 1 + ((h >> 8) & 0xFF) + 1 + (h & 0xFF) + 3;
    g.vtot = g.height + ((v >> 26) & 0x3F) + ((v >> 8) & 0xFF) + (v & 0xFF);
    return g;
}

}  // namespace sim
