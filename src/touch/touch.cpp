#include "touch/touch.h"

#include "touch/control_hooks.h"

#include "base/settings_record.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "touch/hotspots.h"
#include "touch/touch_adc.h"
#include "touch/touch_map.h"

TouchState State = {-1, -1, 0};
volatile uint8_t calibratingTouch;
int debug_touch;

namespace {

// A finger that moves further than this from where it landed is released in "W" mode.
constexpr int kWanderLimit = 30;
// Hold-off between bursts while calibrating: the targets want fresh averages quickly.
constexpr uint32_t kCalibrationHoldOff = 10;
// A stored debounce can be any 32-bit value; a lifted finger must still be seen within a
// minute.
constexpr uint32_t kMaxHoldOff = 60000;
constexpr int kRangeStart = 0xFFFF;

// Mode bits of touchMode.
constexpr uint8_t kModeLatch = 0x01;
constexpr uint8_t kModePressure = 0x02;
constexpr uint8_t kModeWander = 0x04;

volatile uint8_t tState = kTouchIdle;
int sampleCount;
int sumX, sumY;
int minX, maxX, minY, maxY;
uint32_t holdTimer;
int stateX, stateY;
int burstPressure;
uint8_t touchActive;
volatile int lastPress;
volatile int pMin, pMax;
volatile uint8_t everTouched;

void set_released() {
    State.first = -1;
    State.second = -1;
    State.pressed = 0;
}

// Two settled position reads; a third when they disagree by more than the allowed span.
int read_position(uint8_t control) {
    const int scratch = touch_adc_read_double(control);
    int v = touch_adc_read_double(control);
    const int d = v > scratch ? v - scratch : scratch - v;
    if (d > eepromData.tspan) v = touch_adc_read_double(control);
    return v;
}

int distance(int a, int b) {
    return a > b ? a - b : b - a;
}

// Burst complete: publish, apply the wander rule, choose the next state.
void finish_burst() {
    const int xa = sumX / sampleCount;
    const int ya = sumY / sampleCount;
    const uint8_t mode = eepromData.touchMode;
    if (!((mode & kModeLatch) && touchActive)) {
        lastPress = burstPressure;
        stateX = xa;
        stateY = ya;
        touchActive = 1;
        const bool swap = eepromData.touchSwap && !calibratingTouch;
        State.first = swap ? xa : ya;
        State.second = swap ? ya : xa;
        State.pressed = 1;
    }
    if ((mode & kModeWander) && touchActive &&
        (distance(xa, stateX) > kWanderLimit || distance(ya, stateY) > kWanderLimit)) {
        set_released();
        tState = kTouchIdle;
        return;
    }
    int sx = touch_adc_read_double(kAdcX);
    int sy = touch_adc_read_double(kAdcY);
    convToScreenXY(&sx, &sy);
    // Inside a slider the next burst starts at once, so the slider follows the finger.
    if (touchControls().isXYinSlider(sx, sy)) {
        tState = kTouchBurstStart;
        return;
    }
    const uint32_t debounce = eepromData.debounce < kMaxHoldOff ? eepromData.debounce : kMaxHoldOff;
    holdTimer = calibratingTouch ? kCalibrationHoldOff : debounce;
    tState = kTouchHoldOff;
}

void sample() {
    if (!GetPenState()) {
        tState = kTouchIdle;
        return;
    }
    const int x = read_position(kAdcX);
    const int y = read_position(kAdcY);
    const int z1 = touch_adc_read10(kAdcZ1);
    const int z2 = touch_adc_read10(kAdcZ2);
    int p;
    if (!touch_pressure(x, y, z1, z2, &p)) {
        tState = kTouchIdle;
        return;
    }
    if ((eepromData.touchMode & kModePressure) && (p < eepromData.tplo || p > eepromData.tphi)) {
        tState = kTouchIdle;
        return;
    }
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
    if (p < pMin) pMin = p;
    if (p > pMax) pMax = p;
    burstPressure = p;
    if (maxX - minX > eepromData.tspan || maxY - minY > eepromData.tspan) {
        tState = kTouchIdle;
        return;
    }
    ++sampleCount;
    sumX += x;
    sumY += y;
    if (sampleCount < eepromData.tsamp) {
        tState = kTouchSampling;
        return;
    }
    finish_burst();
}

void start_burst() {
    sampleCount = 0;
    sumX = sumY = 0;
    minX = minY = kRangeStart;
    pMin = kRangeStart;
    maxX = maxY = 0;
    pMax = 0;
    sample();
}

}  // namespace

bool touch_pressure(int x, int y, int z1, int z2, int* pressure) {
    if (z1 == 0) return false;
    // Signed: Z2 below Z1 is a firm touch, not a wrap to a huge value. With 10-bit readings the
    // products stay well inside 32 bits.
    const int ratio = (z2 << 8) / z1 - 256;
    *pressure = ((y * 130) >> 10) + ((x * ratio) >> 10);
    return true;
}

int touch_temperature(int t0, int t1) {
    return ((t1 - t0) * 25000 / 4095) * 2573 / 1000 - 2730;
}

void KV_Touch_Init() {
    tState = kTouchDisabled;
    KV_Touch_HotSpot_Clear();
    InitTouch();
    (void)touch_adc_read_double(kAdcX);
    KV_Touch_Calibrate_from_EEPROM();
    everTouched = 0;
    touchActive = 0;
    calibratingTouch = 0;
    set_released();
    tState = kTouchIdle;
}

void KV_Update_Touch() {
    switch (tState) {
        case kTouchIdle:
            if (!GetPenState()) {
                set_released();
                touchActive = 0;
                return;
            }
            everTouched = 1;
            start_burst();
            return;
        case kTouchBurstStart:
            start_burst();
            return;
        case kTouchSampling:
            sample();
            return;
        case kTouchHoldOff:
            // A stored debounce of 0 ends the hold-off at once instead of wrapping the count.
            if (holdTimer == 0 || --holdTimer == 0) tState = kTouchIdle;
            return;
        default:
            return;
    }
}

void KV_Touch_Get_State(int* pressed, int* first, int* second) {
    int p, f, s;
    for (;;) {
        p = State.pressed;
        f = State.first;
        s = State.second;
        if (p == State.pressed && f == State.first && s == State.second) break;
    }
    if (pressed) *pressed = p;
    if (first) *first = f;
    if (second) *second = s;
}

void KV_GetLocation(int* x, int* y) {
    if (x == nullptr || y == nullptr) return;
    int pressed, first, second;
    KV_Touch_Get_State(&pressed, &first, &second);
    if (!pressed || first < 0 || second < 0) {
        *x = -1;
        *y = -1;
        return;
    }
    // Near an edge the mapping can fall just outside the panel; -1 would read as "released".
    const int sx = ADC2X(first, second);
    const int sy = ADC2Y(first, second);
    const int w = panel::kWidth;
    const int h = panel::kHeight;
    *x = sx < 0 ? 0 : sx >= w ? w - 1 : sx;
    *y = sy < 0 ? 0 : sy >= h ? h - 1 : sy;
}

void KV_Touch_Info(int* lastPressure, int* pressureMin, int* pressureMax, int* state) {
    if (lastPressure) *lastPressure = lastPress;
    if (pressureMin) *pressureMin = pMin;
    if (pressureMax) *pressureMax = pMax;
    if (state) *state = tState;
}

int KV_Touch_ever() {
    return everTouched;
}

void KV_Touch_ever_reset() {
    everTouched = 0;
}

void enableTouch(int on) {
    tState = on ? kTouchIdle : kTouchDisabled;
}

int touchEnabled() {
    return tState != kTouchDisabled;
}

int readTemp() {
    const int wasOn = touchEnabled();
    enableTouch(0);
    const int t0 = touch_adc_read12(kAdcTemp0);
    const int t1 = touch_adc_read12(kAdcTemp1);
    if (wasOn) enableTouch(1);
    return touch_temperature(t0, t1);
}
