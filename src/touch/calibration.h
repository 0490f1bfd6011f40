// Interactive five-point calibration of the touch screen. Every routine blocks the main loop
// (the sampler keeps running in the interrupt) and every wait is bounded by tcTimeout seconds.
#pragma once

// The whole procedure: five targets, the channel exchange, four verification circles, the
// optional pressure check and the save. Returns 1 when a new calibration was saved, 0 when it
// was abandoned (the previous calibration and touchSwap are back). touchMode and the text
// alignment are restored on every way out.
int doCalibration();
// One target at (x, y): the averages of three readings of State into *a and *b. 1 on success,
// 0 when the target was not touched, or the finger not lifted, within tcTimeout seconds.
int getCalPoint(int rightSide, int x, int y, short* a, short* b);
// One numbered verification circle: 1 when a touch comes down within 12 pixels of its centre,
// 0 when no touch comes down for timeoutSeconds.
int doVerify(int x, int y, int number, int timeoutSeconds);
void doCalCircle(int x, int y);
void doVerifyCircle(int x, int y, int number);
void doCalMark(int x, int y);
// Redraws the countdown of the general-purpose timer when its whole seconds change.
void showTimeout();
