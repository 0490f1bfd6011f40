#include "device/backlight.h"

#include "device/board.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "device/timebase.h"
#include "settings/settings.h"

namespace {

constexpr int kSignalSettleMs = 50;  // LCD lines active before the backlight comes on

uint8_t screenLit;
uint8_t inverterOn;
uint8_t pwmWidth = 0xFF;

// The PWM output follows the inverter when pwmIsEnable is 1 and is always on otherwise.
void apply_pwm() {
    const bool lineClock = eepromData.pwmIsEnable == 1;
    const bool enable = lineClock ? inverterOn != 0 : true;
    lcd_pwm_set(pwmWidth, enable, lineClock);
}

void drive_inverter(bool on) {
    inverterOn = on ? 1 : 0;
    // Active-high enable: driven low to switch the inverter on.
    const bool level = eepromData.invEnaHiTrue == 1 ? !on : on;
    gpio_write(Gpio::kInverterEnable, level);
    apply_pwm();
}

}  // namespace

void KV_Panel_Power(int on) {
    gpio_write(Gpio::kPanelPower, (on & 0xFF) == 0);
}

void KV_External_Inverter_On() {
    drive_inverter(true);
}
void KV_External_Inverter_Off() {
    drive_inverter(false);
}

int KV_Brite_PwmValue(int b) {
    const int max = eepromData.maxBrite;
    const int min = eepromData.minBrite;
    int v;
    if (max > min) {
        v = min + b * (max - min) / 255;
        if (v > max) v = max;
    } else {
        v = max + (255 - b) * (min - max) / 255;
        if (v > min) v = min;
    }
    return v;
}

void KV_Brite_Set(int b) {
    eepromData.brite = uint8_t(b);
    pwmWidth = uint8_t(255 - KV_Brite_PwmValue(eepromData.brite));
    apply_pwm();
}

void KV_Visibility_Init() {
    if (screenLit) return;
    screenLit = 1;
    KV_External_Inverter_On();
    KV_Brite_Set(eepromData.brite);
}

void setLCDpwmClock() {
    apply_pwm();
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
