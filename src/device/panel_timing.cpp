#include "device/panel_timing.h"

#include "base/settings_record.h"
#include "device/board.h"
#include "device/panel_config.h"

uint32_t htot;
uint32_t vtot;
float msPerLine;
uint32_t msPerFrame;

namespace {

constexpr uint32_t kPixelClockHz = 26000000;

void fill_default(uint8_t& field, uint8_t value) {
    if (field == kUnset) field = value;
}

// Register fields hold a value minus an offset; a value below the offset would borrow into the
// neighbouring fields, so it is clamped to the smallest the field can express.
uint32_t field(uint32_t value, uint32_t offset, uint32_t mask) {
    return (value > offset ? value - offset : 0) & mask;
}

}  // namespace

void fillTimingDefaults() {
    const auto& t = panel::kBuild.timing;
    fill_default(eepromData.hfp, t.hfp);
    fill_default(eepromData.hpw, t.hpw);
    fill_default(eepromData.hbp, t.hbp);
    fill_default(eepromData.vfp, t.vfp);
    fill_default(eepromData.vpw, t.vpw);
    fill_default(eepromData.vbp, t.vbp);
}

void setLCDtiming() {
    const EepromData& e = eepromData;
    LcdConfig c{};
    c.width = panel::kWidth;
    c.height = panel::kHeight;
    c.horizontal_timing =
        (field(e.hpw, 1, 0x3F) << 26) | (field(e.hfp, 1, 0xFF) << 8) | field(e.hbp, 3, 0xFF);
    c.vertical_timing = (uint32_t(e.vpw & 0x3F) << 26) | (uint32_t(e.vfp) << 8) | e.vbp;
    c.shift_clock_inverted = e.LCDshiftclock == 1;
    lcd_configure(c);
    htot = panel::kWidth + e.hfp + e.hpw + e.hbp;
    vtot = panel::kHeight + e.vfp + e.vpw + e.vbp;
    msPerLine = float(htot) * 1000.0f / float(kPixelClockHz);
    msPerFrame = uint32_t(msPerLine * float(vtot));
}

void LCD_sigs_low() {
    lcd_signals_active(false);
    if (&panel::kBuild == &panel::kWvga) gpio_write(Gpio::kPanelControl, true);
}

void LCD_sigs_buf_ena(int on) {
    gpio_write(Gpio::kLcdBuffers, on == 0);
}

void LCD_sigs_active() {
    lcd_signals_active(true);
    lcd_clock_enable(true);
    setOrient(eepromData.orient);
}

void setOrient(int orient) {
    gpio_write(Gpio::kOrient0, (orient & 1) != 0);
    gpio_write(Gpio::kOrient1, (orient & 2) != 0);
}
