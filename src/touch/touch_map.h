// The five-point calibration: raw touch readings to screen pixels.
#pragma once

// Points in the order centre, top-left, top-right, bottom-right, bottom-left.
constexpr int kCalPoints = 5;

// The installed table: screen (log) and raw (phy) coordinates of the five points.
extern int calLogX[kCalPoints];
extern int calLogY[kCalPoints];
extern int calPhyX[kCalPoints];
extern int calPhyY[kCalPoints];

// Installs a calibration (the centre point is kept but not used by the mapping).
void KV_Touch_Calibrate(const short logX[5], const short logY[5], const short phyX[5],
                        const short phyY[5]);
// The build's default table: screen points 20 pixels in from the edges and the centre.
void KV_Touch_Calibrate_Default();
// The table held in the settings record.
void KV_Touch_Calibrate_from_EEPROM();

// The raw readings of the default table, shared by every build.
extern const short kDefaultPhyX[kCalPoints];
extern const short kDefaultPhyY[kCalPoints];

// Screen x and y of a raw first (follows the screen's x) and second coordinate. The result is
// not limited to the panel; a divisor of 0 (two calibration points with equal raw values) is
// skipped and the numerator used as it is.
int ADC2X(int first, int second);
int ADC2Y(int first, int second);

// A raw X-channel and Y-channel reading, in place, to screen x and y (touchSwap decides which
// channel follows the screen's x).
void convToScreenXY(int* x, int* y);
