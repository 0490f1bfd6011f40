// The 1 ms timebase: the heartbeat interrupt, the software timers it counts, and the delays
// that busy-wait on the timer's counter.
#pragma once

#include <cstdint>

#include "device/board.h"

// Counts of the timer's clock per millisecond: the compare value of the 1 ms tick.
constexpr uint32_t kTimerCompare = kTimerClockHz / 1000;
static_assert(kTimerCompare * 1000 == kTimerClockHz, "the tick must be exactly 1 ms");

// Software timers. The main loop arms one with a single store and polls it; the interrupt
// counts it. Readers of the free-running values use the functions below.
extern volatile uint32_t msCounter32;
extern volatile uint32_t frameTimer;
extern volatile uint32_t delayTimer;
extern volatile uint32_t gpTimer;
extern volatile uint32_t wvrTimer;
extern volatile int32_t animateTimer;
extern volatile uint32_t ledFlashTimer;
extern volatile uint32_t ledFlashVal;

// Work of the modules above this one that the 1 ms interrupt runs, each at its place within
// the tick: after the beeper the button timers, after the animation timer the touch sampler,
// after the activity LED the SD card-detect debounce. The modules' functions are installed at
// start-up, before the timer runs (KV_TimerSetTick); an empty slot is skipped.
enum class TickSlot : uint8_t { kButtons, kTouch, kSdCard, kCount };
using TickFn = void (*)();
void KV_TimerSetTick(TickSlot slot, TickFn fn);

void KV_TimerInit();
void KV_TimerDisable();
void KV_TimerEnable();

void KV_Delay_uSec(uint32_t us);
void KV_Delay(uint32_t ms);

uint32_t KV_TimerGetRawCount();
uint32_t KV_TimerElapsedMicroSecs(uint32_t start);
uint32_t KV_TimerGetMsCount();
uint32_t KV_TimerGetFrameTime();

// Activity LED: toggled every period ms by the interrupt; 0 stops flashing and switches it off.
void FlashLed(uint32_t period);
void Led(int on);
void LedToggle();
