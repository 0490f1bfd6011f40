#include "touch/touch_map.h"

#include "base/settings_record.h"
#include "device/panel_config.h"

int calLogX[kCalPoints];
int calLogY[kCalPoints];
int calPhyX[kCalPoints];
int calPhyY[kCalPoints];

const short kDefaultPhyX[kCalPoints] = {500, 850, 150, 150, 850};
const short kDefaultPhyY[kCalPoints] = {500, 150, 150, 850, 850};

namespace {

enum Point { kCentre = 0, kTopLeft = 1, kTopRight = 2, kBottomRight = 3, kBottomLeft = 4 };

// Degenerate tables must not trap: a zero divisor leaves the numerator as it is. Tables come
// from the EEPROM as any 16-bit values, so the products are formed in 64 bits.
using Wide = long long;
Wide divide(Wide numerator, Wide divisor) {
    return divisor == 0 ? numerator : numerator / divisor;
}

int narrow(Wide v) {
    constexpr Wide kMax = 0x7FFFFFFF;
    return int(v > kMax ? kMax : v < -kMax ? -kMax : v);
}

// The value at t on the straight line through (t0, a) and (t1, b): every edge and both
// coordinates of the mapping are this one interpolation.
Wide along(Wide a, Wide b, Wide t, Wide t0, Wide t1) {
    return a + divide((b - a) * (t - t0), t1 - t0);
}

}  // namespace

void KV_Touch_Calibrate(const short logX[5], const short logY[5], const short phyX[5],
                        const short phyY[5]) {
    for (int i = 0; i < kCalPoints; ++i) {
        calLogX[i] = logX[i];
        calLogY[i] = logY[i];
        calPhyX[i] = phyX[i];
        calPhyY[i] = phyY[i];
    }
}

void KV_Touch_Calibrate_Default() {
    short logX[kCalPoints];
    short logY[kCalPoints];
    for (int i = 0; i < kCalPoints; ++i) {
        logX[i] = panel::kBuild.cal_log_x[i];
        logY[i] = panel::kBuild.cal_log_y[i];
    }
    KV_Touch_Calibrate(logX, logY, kDefaultPhyX, kDefaultPhyY);
}

void KV_Touch_Calibrate_from_EEPROM() {
    short logX[kCalPoints];
    short logY[kCalPoints];
    short phyX[kCalPoints];
    short phyY[kCalPoints];
    for (int i = 0; i < kCalPoints; ++i) {
        logX[i] = eepromData.calLogX[i];
        logY[i] = eepromData.calLogY[i];
        phyX[i] = eepromData.calPhyX[i];
        phyY[i] = eepromData.calPhyY[i];
    }
    KV_Touch_Calibrate(logX, logY, phyX, phyY);
}

int ADC2X(int first, int second) {
    const Wide u = first, v = second;
    const Wide px1 = calPhyX[kTopLeft], py1 = calPhyY[kTopLeft];
    const Wide px2 = calPhyX[kTopRight], py2 = calPhyY[kTopRight];
    const Wide px3 = calPhyX[kBottomRight], py3 = calPhyY[kBottomRight];
    const Wide px4 = calPhyX[kBottomLeft], py4 = calPhyY[kBottomLeft];
    const Wide xL = along(px1, px4, v, py1, py4);  // left edge at this v
    const Wide xR = along(px2, px3, v, py2, py3);  // right edge
    return narrow(along(calLogX[kTopLeft], calLogX[kTopRight], u, xL, xR));
}

int ADC2Y(int first, int second) {
    const Wide u = first, v = second;
    const Wide px1 = calPhyX[kTopLeft], py1 = calPhyY[kTopLeft];
    const Wide px2 = calPhyX[kTopRight], py2 = calPhyY[kTopRight];
    const Wide px3 = calPhyX[kBottomRight], py3 = calPhyY[kBottomRight];
    const Wide px4 = calPhyX[kBottomLeft], py4 = calPhyY[kBottomLeft];
    const Wide yT = along(py1, py2, u, px1, px2);  // top edge at this u
    const Wide yB = along(py4, py3, u, px4, px3);  // bottom edge
    return narrow(along(calLogY[kTopLeft], calLogY[kBottomLeft], v, yT, yB));
}

void convToScreenXY(int* x, int* y) {
    const int rawX = *x;
    const int rawY = *y;
    const int first = eepromData.touchSwap ? rawX : rawY;
    const int second = eepromData.touchSwap ? rawY : rawX;
    *x = ADC2X(first, second);
    *y = ADC2Y(first, second);
}
