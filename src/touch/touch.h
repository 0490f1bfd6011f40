// Touch sensing: the sampler that the millisecond interrupt runs, the touch state it publishes
// and the entry points the hotspot layer, the sliders and calibration read it through.
#pragma once

#include <cstdint>

// The touch as the sampler last published it. Each field is written in one store by the
// interrupt; a reader in the main loop reads until two reads agree (touch_read_state).
// Released: first and second -1, pressed 0. first is the raw channel that follows the screen's
// x (the Y channel, or the X channel with touchSwap set and no calibration running).
struct TouchState {
    volatile int32_t first;
    volatile int32_t second;
    volatile uint8_t pressed;
};
extern TouchState State;

// Sampler states.
enum TouchSamplerState : uint8_t {
    kTouchIdle = 0,
    kTouchBurstStart = 2,
    kTouchSampling = 3,
    kTouchHoldOff = 5,
    kTouchDisabled = 6,
};

// Set by calibration: short hold-off, channels never exchanged.
extern volatile uint8_t calibratingTouch;
// The touch debug level ("*debug", "*debugTouch"): 1 crosses at touches, 2 also the pressure
// range; calibration reports its pressures when it is set.
extern int debug_touch;

// Hotspots cleared, controller initialised, one dummy reading, calibration loaded from the
// settings, Ever_touched cleared.
void KV_Touch_Init();
// One sampling step; called once per millisecond by the timer interrupt.
void KV_Update_Touch();

// Copies State (read until two reads agree); any pointer may be null.
void KV_Touch_Get_State(int* pressed, int* first, int* second);
// Screen position of the current touch, limited to the panel; -1, -1 when released. Nothing is
// written unless both pointers are non-null.
void KV_GetLocation(int* x, int* y);
// Diagnostic snapshot: last pressure, pressure range of the last burst, sampler state. Null
// pointers are skipped.
void KV_Touch_Info(int* lastPressure, int* pressureMin, int* pressureMax, int* state);
// Any touch since start-up or since the last reset.
int KV_Touch_ever();
void KV_Touch_ever_reset();
// 0 parks the sampler (state 6) so the main loop may use the ADC; non-zero returns it to idle.
void enableTouch(int on);
// Whether the sampler is running (not parked).
int touchEnabled();
// Board temperature in tenths of a degree Celsius (the sampler is parked around the reading
// and left as it was found).
int readTemp();

// The arithmetic of one sample, kept apart so it can be checked without a panel.
// Pressure estimate from 10-bit readings (0 to 1023) of x, y and the plates; a lighter touch
// gives a larger value. A Z1 of 0 (no contact) has no pressure: returns false and the sample
// must be dropped.
bool touch_pressure(int x, int y, int z1, int z2, int* pressure);
// Tenths of a degree from the two diode readings (12-bit).
int touch_temperature(int t0, int t1);
