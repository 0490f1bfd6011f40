// The screen check of the controls that are defined by a rectangle (level bars, charts).
#pragma once

// Whether x0..x1 and y0..y1 lie on the screen; when not, tells the host which area is valid.
bool KV_AreaOnScreen(int x0, int y0, int x1, int y1);

// A rectangle as a host command gives it: the drawing origin added, the corners put in order
// (either order describes the same area) and then checked as above.
bool KV_HostAreaOnScreen(int* x0, int* y0, int* x1, int* y1);
