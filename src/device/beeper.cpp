#include "device/beeper.h"

// The beeper sounds nothing until its tone generator and commands are built; its tick and
// start-up are already wired into the timebase and the power-on sequence.
void KV_Beeper_Init() {}
void BeepTimerCheck() {}
void BeepImmediate(int ms) {
    (void)ms;
}
