// The 1 ms timebase: the heartbeat interrupt, the software timers it counts, and the delays
// that busy-wait on the timer's counter.
#pragma once

#include <cstdint>

constexpr uint32_t kTimerCompare = 16625;  // counts per millisecond at 16.625 MHz

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
