#include "controls/animation.h"

#include "device/timebase.h"

volatile int ExecState;

void init_animation() {
    animateTimer = -1;
}

// No animation can be stored yet, so a scheduler step has nothing to run.
void handle_animation() {}
