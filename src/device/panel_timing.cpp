#include "device/panel_timing.h"

#include "base/settings_record.h"
#include "device/board.h"
#include "device/panel_config.h"

PanelTiming lcdTiming;
uint32_t htot;
uint32_t vtot;
float msPerLine;
uint32_t msPerFrame;

namespace {

constexpr uint32_t kPixelClockHz = 26000000;

void fill_default(uint8_t& field, uint8_t value) {
    if (field == kUnset) field = value;
}

uint32_t limit(uint32_t value, uint32_t low, uint32_t high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

PanelTiming programmableTiming() {
    const EepromData& e = eepromData;
    const PanelTiming& lo = kTimingMin;
    const PanelTiming& hi = kTimingMax;
    return {limit(e.hfp, lo.hfp, hi.hfp), limit(e.hpw, lo.hpw, hi.hpw),
            limit(e.hbp, lo.hbp, hi.hbp), limit(e.vfp, lo.vfp, hi.vfp),
            limit(e.vpw, lo.vpw, hi.vpw), limit(e.vbp, lo.vbp, hi.vbp)};
}

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
    lcdTiming = programmableTiming();
    const PanelTiming& t = lcdTiming;
    LcdConfig c{};
    c.width = panel::kWidth;
    c.height = panel::kHeight;
    c.hsync_width = t.hpw;
    c.h_front_porch = t.hfp;
    c.h_back_porch = t.hbp;
    c.vsync_width = t.vpw;
    c.v_front_porch = t.vfp;
    c.v_back_porch = t.vbp;
    c.shift_clock_inverted = eepromData.LCDshiftclock == 1;
    lcd_configure(c);
    htot = panel::kWidth + t.hfp + t.hpw + t.hbp;
    vtot = panel::kHeight + t.vfp + t.vpw + t.vbp;
    msPerLine = float(htot) * 1000.0f / float(kPixelClockHz);
    msPerFrame = uint32_t(msPerLine * float(vtot));
}

void LCD_sigs_low() {
    lcd_signals_active(false);
    if (panel::kBuild.panel_control_line) gpio_write(Gpio::kPanelControl, true);
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
