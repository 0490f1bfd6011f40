// Waiting for the panel's scan position, so that drawing does not tear the picture.
#pragma once

// Waits until the scan has just passed frame-buffer line `line` (limited to the screen),
// reckoned from the end-of-frame timer and the panel timing; never longer than two frames.
void wvr(int line);
