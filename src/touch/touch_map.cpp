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
    const Wide xL = px1 + divide((px4 - px1) * (v - py1), py4 - py1);
    const Wide xR = px2 + divide((px3 - px2) * (v - py2), py3 - py2);
    const Wide lx1 = calLogX[kTopLeft], lx2 = calLogX[kTopRight];
    return narrow(lx1 + divide((lx2 - lx1) * (u - xL), xR - xL));
}

int ADC2Y(int first, int second) {
    const Wide u = first, v = second;
    const Wide px1 = calPhyX[kTopLeft], py1 = calPhyY[kTopLeft];
    const Wide px2 = calPhyX[kTopRight], py2 = calPhyY[kTopRight];
    const Wide px3 = calPhyX[kBottomRight], py3 = calPhyY[kBottomRight];
    const Wide px4 = calPhyX[kBottomLeft], py4 = calPhyY[kBottomLeft];
    const Wide yT = py1 + divide((py2 - py1) * (u - px1), px2 - px1);
    const Wide yB = py4 + divide((py3 - py4) * (u - px4), px3 - px4);
    const Wide ly1 = calLogY[kTopLeft], ly4 = calLogY[kBottomLeft];
    return narrow(ly1 + divide((ly4 - ly1) * (v - yT), yB - yT));
}

void convToScreenXY(int* x, int* y) {
    const int rawX = *x;
    const int rawY = *y;
    const int first = eepromData.touchSwap ? rawX : rawY;
    const int second = eepromData.touchSwap ? rawY : rawX;
    *x = ADC2X(first, second);
    *y = ADC2Y(first, second);
}
