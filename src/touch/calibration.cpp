#include "touch/calibration.h"

#include "base/format.h"
#include "base/host_text.h"
#include "base/settings_record.h"
#include "device/beeper.h"
#include "device/panel_config.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "touch/touch.h"
#include "touch/touch_map.h"

namespace {

constexpr int kCentred = GUI_TA_HCENTER | GUI_TA_VCENTER;
constexpr int kMsPerSecond = 1000;
constexpr uint32_t kPointPollMs = 50;
constexpr uint32_t kLiftPollMs = 100;
constexpr uint32_t kVerifyPollMs = 10;
constexpr int kPointSamples = 3;
constexpr int kBeepMs = 100;
constexpr uint32_t kFingerCheckMs = 5000;
constexpr uint32_t kFingerPollMs = 100;
constexpr uint32_t kErrorShowMs = 2000;
constexpr uint32_t kSavedShowMs = 1000;
constexpr int kHitRadius = 12;
constexpr uint8_t kModePressure = 0x02;

// Colour-map entries of the targets and circles.
constexpr int kMapBlack = 0;
constexpr int kMapWhite = 1;
constexpr int kMapCircle = 17;

// Text rows: the SVGA panel is 120 lines taller, and its texts sit 60 lines lower.
constexpr int kCentreX = panel::kWidth / 2;
constexpr int kRowShift = (panel::kHeight - 480) / 2;
constexpr int kMessageY = 180 + kRowShift;
constexpr int kCountdownY = 300 + kRowShift;
constexpr int kThenY = 216 + kRowShift;
constexpr int kSaveY = 232 + kRowShift;
constexpr int kSavedY = 240 + kRowShift;

// Order of the verification circles 1 to 4 among the calibration points.
constexpr int kCirclePoint[4] = {4, 1, 2, 3};

int lastShownSeconds = -1;
int prMin[4];
int prMax[4];

void text_centred(const char* s, int x, int y) {
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetTextAlign(kCentred);
    GUI_DispStringAt(s, x, y);
    GUI_SetTextAlign(GUI_TA_LEFT);
}

void white_screen() {
    GUI_SetBkColor(color_map[kMapWhite]);
    GUI_SetColor(color_map[kMapBlack]);
    GUI_Clear();
}

bool pressed_now() {
    int pressed;
    KV_Touch_Get_State(&pressed, nullptr, nullptr);
    return pressed != 0;
}

void start_countdown(int seconds) {
    gpTimer = uint32_t(seconds < 0 ? 0 : seconds) * kMsPerSecond;
    lastShownSeconds = -1;
}

uint32_t timeout_seconds() {
    return eepromData.tcTimeout;
}

// Waits for the finger to be lifted and then for a new touch, each within tcTimeout seconds.
// Returns whether the new touch came.
bool wait_release_and_touch() {
    start_countdown(int(timeout_seconds()));
    while (pressed_now() && gpTimer) KV_Delay(kLiftPollMs);
    start_countdown(int(timeout_seconds()));
    while (!pressed_now() && gpTimer) KV_Delay(kLiftPollMs);
    return pressed_now();
}

// Target positions of this build, at the drawing origin.
int target_x(int i) {
    return panel::kBuild.cal_log_x[i] + Origin_X;
}
int target_y(int i) {
    return panel::kBuild.cal_log_y[i] + Origin_Y;
}

void report_pressure_fault(const char* headline, const char* label, const int values[4],
                           int limit) {
    kv_snprintf(out_buffer, sizeof out_buffer, ":%s\r", headline);
    txString(out_buffer);
    kv_snprintf(out_buffer, sizeof out_buffer, "%s\n", headline);
    GUI_DispString(out_buffer);
    kv_snprintf(out_buffer, sizeof out_buffer, ":Measured Pressure %s = %d %d %d %d; limit %d\r",
                label, values[0], values[1], values[2], values[3], limit);
    txString(out_buffer);
    GUI_DispString(out_buffer);
    GUI_DispString("\n\n");
}

// Pressure limits checked against the pressures measured on the circles; the calibration is
// saved whatever the outcome.
void check_pressures() {
    bool low = false;
    bool high = false;
    for (int i = 0; i < 4; ++i) {
        if (prMin[i] < eepromData.tplo) low = true;
        if (prMax[i] > eepromData.tphi) high = true;
    }
    if (!low && !high) return;
    white_screen();
    GUI_SetFont(&GUI_FontMono10AA4);
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUI_DispStringAt("TouchMode P (pressure) fault: \n\n", 0, 50);
    if (low) {
        report_pressure_fault("*** CAL PRESSURE LESS THAN CURRENT LIMIT ***", "Min", prMin,
                              eepromData.tplo);
    }
    if (high) {
        report_pressure_fault("*** CAL PRESSURE MORE THAN CURRENT LIMIT ***", "Max", prMax,
                              eepromData.tphi);
    }
    GUI_DispString("Touch display to continue...");
    (void)wait_release_and_touch();
}

void report_debug_pressures() {
    kv_snprintf(out_buffer, sizeof out_buffer, "Pressure Min = %d %d %d %d\r", prMin[0], prMin[1],
                prMin[2], prMin[3]);
    txString(out_buffer);
    kv_snprintf(out_buffer, sizeof out_buffer, "Pressure Max = %d %d %d %d\r", prMax[0], prMax[1],
                prMax[2], prMax[3]);
    txString(out_buffer);
    white_screen();
    GUI_SetFont(&GUI_Font16_1);
    GUI_DispStringAt("Please touch display to continue...", 0, 0);
    (void)wait_release_and_touch();
}

void save_calibration(const short a[5], const short b[5]) {
    for (int i = 0; i < kCalPoints; ++i) {
        eepromData.calLogX[i] = int16_t(target_x(i));
        eepromData.calPhyX[i] = a[i];
        eepromData.calLogY[i] = int16_t(target_y(i));
        eepromData.calPhyY[i] = b[i];
    }
    eepromData.calLayout = kCalLayoutFivePoint;
    KV_EEPROM_Save();
    KV_Touch_Calibrate_from_EEPROM();
    white_screen();
    text_centred("NEW CALIBRATION SAVED", kCentreX + Origin_X, kSavedY + Origin_Y);
    KV_Delay(kSavedShowMs);
    white_screen();
}

// The steps between the finger check and the save; returns 0 when abandoned.
int run_calibration(uint8_t savedMode) {
    short a[kCalPoints];
    short b[kCalPoints];
    white_screen();
    text_centred("CALIBRATING TOUCH SCREEN", kCentreX + Origin_X, kMessageY + Origin_Y);
    calibratingTouch = 1;
    for (int i = 0; i < kCalPoints; ++i) {
        const int rightSide = (i == 2 || i == 3);
        if (!getCalPoint(rightSide, target_x(i), target_y(i), &a[i], &b[i])) return 0;
    }
    // Bottom-left and bottom-right differ only in the screen's x: the raw channel that changes
    // most between them is the one that follows x.
    const int acrossX = a[4] > a[3] ? a[4] - a[3] : a[3] - a[4];
    const int acrossY = a[2] > a[3] ? a[2] - a[3] : a[3] - a[2];
    if (acrossX > acrossY) {
        eepromData.touchSwap = 0;
    } else {
        eepromData.touchSwap = 1;
        for (int i = 0; i < kCalPoints; ++i) {
            const short t = a[i];
            a[i] = b[i];
            b[i] = t;
        }
    }
    short logX[kCalPoints];
    short logY[kCalPoints];
    for (int i = 0; i < kCalPoints; ++i) {
        logX[i] = short(target_x(i));
        logY[i] = short(target_y(i));
    }
    KV_Touch_Calibrate(logX, logY, a, b);
    calibratingTouch = 0;

    white_screen();
    text_centred("Touch anywhere to see alignment", kCentreX + Origin_X, kMessageY + Origin_Y);
    text_centred("Then, touch circles 1 - 4", kCentreX + Origin_X, kThenY + Origin_Y);
    text_centred("to save new calibration", kCentreX + Origin_X, kSaveY + Origin_Y);
    for (int n = 0; n < 4; ++n) {
        const int p = kCirclePoint[n];
        if (!doVerify(target_x(p), target_y(p), n + 1, int(timeout_seconds()))) return 0;
    }
    if (savedMode & kModePressure) check_pressures();
    if (debug_touch) report_debug_pressures();
    eepromData.touchMode = savedMode;
    save_calibration(a, b);
    return 1;
}

}  // namespace

void showTimeout() {
    const int seconds = int(gpTimer / kMsPerSecond);
    if (seconds == lastShownSeconds) return;
    lastShownSeconds = seconds;
    char buf[40];
    kv_snprintf(buf, sizeof buf, "(Timeout in %2d seconds) ", seconds + 1);
    text_centred(buf, kCentreX + Origin_X, kCountdownY + Origin_Y);
}

void doCalCircle(int x, int y) {
    GUI_SetColor(color_map[kMapBlack]);
    GUI_FillCircle(x, y, 15);
    GUI_SetColor(color_map[kMapWhite]);
    GUI_FillCircle(x, y, 11);
    GUI_SetColor(color_map[kMapBlack]);
    GUI_DrawLine(x - 10, y, x + 10, y);
    GUI_DrawLine(x, y - 10, x, y + 10);
}

void doVerifyCircle(int x, int y, int number) {
    GUI_SetColor(color_map[kMapCircle]);
    GUI_DrawCircle(x, y, 13);
    GUI_DrawCircle(x, y, 12);
    GUI_SetColor(color_map[kMapBlack]);
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetTextAlign(GUI_TA_LEFT);
    char buf[4];
    kv_snprintf(buf, sizeof buf, "%d", number);
    GUI_DispStringAt(buf, x - 3, y - 7);
}

void doCalMark(int x, int y) {
    GUI_SetColor(color_map[kMapBlack]);
    GUI_DrawLine(x - 5, y, x + 5, y);
    GUI_DrawLine(x, y - 5, x, y + 5);
}

int getCalPoint(int rightSide, int x, int y, short* a, short* b) {
    doCalCircle(x, y);
    GUI_SetFont(&GUI_Font16B_1);
    const int textX = rightSide ? x - 20 : x + 20;
    const int align = rightSide ? GUI_TA_RIGHT : GUI_TA_LEFT;
    GUI_SetTextAlign(align);
    GUI_DispStringAt("Press here", textX, y - 10);
    GUI_SetTextAlign(GUI_TA_LEFT);

    int sumA = 0;
    int sumB = 0;
    int count = 0;
    start_countdown(int(timeout_seconds()));
    while (count < kPointSamples) {
        if (gpTimer == 0) {
            white_screen();
            return 0;
        }
        KV_Delay(kPointPollMs);
        int pressed, first, second;
        KV_Touch_Get_State(&pressed, &first, &second);
        if (pressed) {
            sumA += first;
            sumB += second;
            ++count;
        }
        showTimeout();
    }
    BeepImmediate(kBeepMs);
    *a = short(sumA / kPointSamples);
    *b = short(sumB / kPointSamples);
    white_screen();
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetTextAlign(align);
    GUI_DispStringAt("OK", textX, y - 10);
    GUI_SetTextAlign(GUI_TA_LEFT);
    start_countdown(int(timeout_seconds()));
    while (gpTimer) {
        KV_Delay(kLiftPollMs);
        if (!pressed_now()) return 1;
    }
    return 0;
}

int doVerify(int x, int y, int number, int timeoutSeconds) {
    doVerifyCircle(x, y, number);
    start_countdown(timeoutSeconds);
    // Only a touch coming down counts (and restarts the countdown): a finger resting or sliding
    // from elsewhere neither hits the circle nor keeps the countdown alive.
    bool wasPressed = pressed_now();
    while (gpTimer) {
        KV_Delay(kVerifyPollMs);
        const bool isPressed = pressed_now();
        const bool cameDown = isPressed && !wasPressed;
        wasPressed = isPressed;
        if (!cameDown) continue;
        int tx, ty;
        KV_GetLocation(&tx, &ty);
        if (tx < 0) continue;
        doCalMark(tx, ty);
        start_countdown(timeoutSeconds);
        const int dx = tx - x;
        const int dy = ty - y;
        if (dx >= -kHitRadius && dx <= kHitRadius && dy >= -kHitRadius && dy <= kHitRadius) {
            int lo, hi;
            KV_Touch_Info(nullptr, &lo, &hi, nullptr);
            if (number >= 1 && number <= 4) {
                prMin[number - 1] = lo;
                prMax[number - 1] = hi;
            }
            BeepImmediate(kBeepMs);
            return 1;
        }
    }
    return 0;
}

int doCalibration() {
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetPenSize(2);
    KV_Touch_Calibrate_Default();
    const uint8_t savedMode = eepromData.touchMode;
    const uint8_t savedSwap = eepromData.touchSwap;
    eepromData.touchMode = 0;

    if (pressed_now()) {
        white_screen();
        text_centred("PLEASE REMOVE FINGER\nSO CALIBRATION CAN START", kCentreX + Origin_X,
                     kMessageY + Origin_Y);
        for (uint32_t t = 0; t < kFingerCheckMs && pressed_now(); t += kFingerPollMs)
            KV_Delay(kFingerPollMs);
        if (pressed_now()) {
            white_screen();
            text_centred("ERROR - SENSOR BEING TOUCHED\nBEFORE CALIBRATION CAN START",
                         kCentreX + Origin_X, kMessageY + Origin_Y);
            KV_Delay(kErrorShowMs);
            KV_Touch_Calibrate_from_EEPROM();
            eepromData.touchMode = savedMode;
            GUI_SetTextAlign(GUI_TA_LEFT);
            return 0;
        }
    }
    const int saved = run_calibration(savedMode);
    if (!saved) {
        calibratingTouch = 0;
        KV_Touch_Calibrate_from_EEPROM();
        eepromData.touchSwap = savedSwap;
        white_screen();
    }
    eepromData.touchMode = savedMode;
    GUI_SetTextAlign(GUI_TA_LEFT);
    return saved;
}
