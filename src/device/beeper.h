// The beeper and alarm sounds.
#pragma once

// Beeper state and the tone off: called once at start-up.
void KV_Beeper_Init();
// The beeper's step, once per millisecond from the timer interrupt.
void BeepTimerCheck();
// A single beep of ms milliseconds (a running one restarts with the new length); 0 switches
// the tone off now.
void BeepImmediate(int ms);
