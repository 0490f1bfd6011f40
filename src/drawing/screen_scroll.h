// Moving the pixels of a screen area in place: the "k" command and the controls that scroll
// their contents (charts) share it, so both see the same checks and the same fill.
#pragma once

#include <cstdint>

// Moves the area x0..x1, y0..y1 (absolute, corners included) by n pixels in the direction:
// 'l', 'r', 'u', 'd' shift and fill the freed columns or rows with fill (an RGB565 pixel);
// 'L', 'R' rotate a row by one pixel (n at most 1; 0 leaves the area as it is). Needs
// x0 < x1 and y0 < y1, an area on the screen (else the off-screen message goes to the host)
// and 0 <= n < the area's size along the move. The frame buffer is written directly: neither
// the draw mode nor the clip rectangle apply. 1 on success, 0 when refused (nothing moved).
int KV_ScrollArea(int x0, int y0, int x1, int y1, int n, char direction, uint16_t fill);
