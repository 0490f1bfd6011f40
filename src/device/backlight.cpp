#include "device/backlight.h"

#include "base/settings_record.h"
#include "device/board.h"

namespace {

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
