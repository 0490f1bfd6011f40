#include "device/display.h"

#include "device/backlight.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "device/timebase.h"

namespace {

constexpr int kNarrowPanelWidth = 320;
constexpr int kSignalSettleMs = 50;  // LCD lines active before the backlight comes on

}  // namespace

void InitLCD(int width) {
    gpio_write(Gpio::kVqSelect, width != kNarrowPanelWidth);
    InitLCD_VGA();
}

void InitLCD_VGA() {
    fillTimingDefaults();
    setLCDtiming();
    setLCDpwmClock();
    lcd_clock_enable(true);
}

void KV_Display_On() {
    LCD_sigs_low();
    LCD_sigs_buf_ena(1);
    KV_Panel_Power(1);
    KV_Delay(panel::kBuild.power_on_wait_ms);
    LCD_sigs_active();
    KV_Delay(kSignalSettleMs);
    KV_External_Inverter_On();
}

void KV_Display_Off() {
    KV_External_Inverter_Off();
    LCD_sigs_low();
    KV_Delay(panel::kBuild.power_on_wait_ms);
    KV_Panel_Power(0);
}
