// Hotspots and the dispatch of touches to them.
#pragma once

// One dispatch step; called by the main loop on every pass and by waits that keep touch alive.
void handle_touch();
// The button timers; called once per millisecond by the timer interrupt.
void ButtonTimer();
