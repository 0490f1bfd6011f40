// The beeper and alarm sounds.
#pragma once

// Beeper state and the tone off: called once at start-up.
void KV_Beeper_Init();
// The beeper's step, once per millisecond from the timer interrupt.
void BeepTimerCheck();
// One beep of ms milliseconds, started now (button presses, calibration). The tone generator is
// not built yet, so it sounds nothing.
void BeepImmediate(int ms);
