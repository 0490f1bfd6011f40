// Animations: stored command sequences replayed on a timer.
#pragma once

// ExecState while animation lines execute.
constexpr int kExecAnimation = 3;
extern volatile int ExecState;

// Empties the animation store: all slots cleared, animateTimer -1.
void init_animation();
// The scheduler; called by the main loop on every pass.
void handle_animation();
