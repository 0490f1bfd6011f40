#include "touch/touch_commands.h"

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/timebase.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "touch/calibration.h"
#include "touch/touch.h"
#include "touch/touch_adc.h"
#include "touch/touch_map.h"
#include "touch/touch_trace.h"

namespace {

constexpr int kTouchParmMax = 20;
constexpr int kModeLetterMax = 8;
constexpr uint8_t kModeLatch = 0x01;
constexpr uint8_t kModePressure = 0x02;
constexpr uint8_t kModeWander = 0x04;

// Diagnostic timing.
constexpr uint32_t kDiagPollMs = 100;
constexpr uint32_t kTdQuietMs = 5000;
constexpr uint32_t kTd2Ms = 6000;
constexpr uint32_t kTrQuietMs = 5000;
constexpr uint32_t kTrPollMs = 10;
constexpr int kTrMinChange = 3;
constexpr uint32_t kTttWaitMs = 10000;
constexpr int kTttSamples = 10;
constexpr int kTttMarker = 0xFFF;

int abs_diff(int a, int b) {
    return a > b ? a - b : b - a;
}

// The ADC belongs to the caller while the sampler is parked; afterwards the sampler is left as
// it was found (a parked sampler, e.g. by "xd all", stays parked).
class ParkedSampler {
  public:
    ParkedSampler() : wasOn_(touchEnabled()) { enableTouch(0); }
    ~ParkedSampler() {
        if (wasOn_) enableTouch(1);
    }
    ParkedSampler(const ParkedSampler&) = delete;
    ParkedSampler& operator=(const ParkedSampler&) = delete;

  private:
    int wasOn_;
};

// "*field" queries, "*field %d" sets the byte and saves.
int byte_setting(const char* args, uint8_t& field) {
    int value;
    if (kv_sscanf(args, "%d", &value) != 1) {
        txNumber(field);
        return kCmdDone;
    }
    field = uint8_t(value & 0xFF);
    KV_EEPROM_Save();
    return kCmdDone;
}

int word_setting(const char* args, uint16_t& field) {
    int value;
    if (kv_sscanf(args, "%d", &value) != 1) {
        txNumber(field);
        return kCmdDone;
    }
    field = uint16_t(value & 0xFFFF);
    KV_EEPROM_Save();
    return kCmdDone;
}

void reply_touch_mode() {
    const uint8_t m = eepromData.touchMode;
    if (m == 0) {
        kv_snprintf(out_buffer, sizeof out_buffer, "S--- (0)\r");
    } else {
        kv_snprintf(out_buffer, sizeof out_buffer, "-%c%c%c (%d)\r", (m & kModeLatch) ? 'L' : '-',
                    (m & kModePressure) ? 'P' : '-', (m & kModeWander) ? 'W' : '-', m);
    }
    txString(out_buffer);
}

// "*td": raw position, pressure, sampler state and pen line while touched.
void touch_display() {
    kv_snprintf(out_buffer, sizeof out_buffer, "TouchSwap = %d\r", eepromData.touchSwap);
    txString(out_buffer);
    uint32_t quiet = 0;
    while (quiet < kTdQuietMs) {
        KV_Delay(kDiagPollMs);
        int pressed, first, second, press, state;
        KV_Touch_Get_State(&pressed, &first, &second);
        if (!pressed) {
            quiet += kDiagPollMs;
            continue;
        }
        quiet = 0;
        KV_Touch_Info(&press, nullptr, nullptr, &state);
        kv_snprintf(out_buffer, sizeof out_buffer, "X=%3d:Y=%3d:P=%3d:S=%d:t%d\r", first, second,
                    press, state, GetPenState());
        txString(out_buffer);
    }
}

void touch_display2() {
    for (uint32_t t = 0; t < kTd2Ms; t += kDiagPollMs) {
        KV_Delay(kDiagPollMs);
        int pressed, first, second;
        KV_Touch_Get_State(&pressed, &first, &second);
        kv_snprintf(out_buffer, sizeof out_buffer, "%d %03X:%03X\r", pressed, unsigned(first),
                    unsigned(second));
        txString(out_buffer);
    }
}

// "*tr": raw readings straight from the ADC whenever the finger moves.
void touch_raw() {
    ParkedSampler parked;
    int lastX = -100;
    int lastY = -100;
    uint32_t quiet = 0;
    while (quiet < kTrQuietMs) {
        KV_Delay(kTrPollMs);
        quiet += kTrPollMs;
        if (!GetPenState()) continue;
        const int x = touch_adc_read_double(kAdcX);
        const int y = touch_adc_read_double(kAdcY);
        const int z1 = touch_adc_read10(kAdcZ1);
        if (abs_diff(x, lastX) <= kTrMinChange && abs_diff(y, lastY) <= kTrMinChange) continue;
        lastX = x;
        lastY = y;
        quiet = 0;
        kv_snprintf(out_buffer, sizeof out_buffer, "%3d,%3d,%5d\r", x, y, z1);
        txString(out_buffer);
    }
}

void trace_samples(int count, uint32_t gapMs) {
    for (int i = 0; i < count; ++i) {
        const int x = touch_adc_read_double(kAdcX);
        const int y = touch_adc_read_double(kAdcY);
        const int z1 = touch_adc_read10(kAdcZ1);
        const int z2 = touch_adc_read10(kAdcZ2);
        int p = 0;
        (void)touch_pressure(x, y, z1, z2, &p);
        ttrace(x, y, p);
        if (gapMs) KV_Delay(gapMs);
    }
}

// "*ttt": a burst of raw samples of the next touch, recorded in the trace.
void touch_trace_take() {
    {
        ParkedSampler parked;
        uint32_t waited = 0;
        while (!GetPenState() && waited < kTttWaitMs) {
            KV_Delay(1);
            ++waited;
        }
        if (GetPenState()) {
            ttrace(kTttMarker, kTttMarker, 1);
            trace_samples(kTttSamples, 0);
            ttrace(kTttMarker, kTttMarker, 2);
            trace_samples(kTttSamples, 1);
        }
    }
    TouchShowTtrace();
}

}  // namespace

void touch_format_temperature(int tenths, char* buf, int size) {
    constexpr int kLowest = -300;
    constexpr int kHighest = 999;
    if (tenths < kLowest || tenths > kHighest) {
        kv_snprintf(buf, size, "*****");
        return;
    }
    const char sign = tenths < 0 ? '-' : '+';
    const int a = tenths < 0 ? -tenths : tenths;
    kv_snprintf(buf, size, "%c%02d.%d\r", sign, a / 10, a % 10);
}

int row_touch_trace_clear(char* line) {
    if (!exact(line, "tclr")) return kNoMatch;
    ClearTtrace();
    return kCmdDone;
}

int row_debug(char* line) {
    int level;
    if (kv_sscanf(line, "*debug %d", &level) != 1) return kNoMatch;
    debug_touch = level;
    if (level == 2) {
        txString(":Display pressure option; font set to m10\r");
        GUI_SetFont(&GUI_FontMono10AA4);
    }
    return kCmdDone;
}

int row_temp(char* line) {
    if (!prefix(line, "temp")) return kNoMatch;
    char buf[16];
    touch_format_temperature(readTemp(), buf, sizeof buf);
    txString(buf);
    return kCmdDone;
}

int row_touch_parm(char* line) {
    if (!prefix(line, "*touchParm")) return kNoMatch;
    int samples, span;
    if (kv_sscanf(line, "*touchParm %d %d", &samples, &span) == 2) {
        if (samples > kTouchParmMax || span > kTouchParmMax) {
            txString(":Values too high\r");
            return kCmdFailed;
        }
        if (samples < 0 || span < 0) {
            txString(":invalid argument\r");
            return kCmdFailed;
        }
        eepromData.tsamp = uint8_t(samples);
        eepromData.tspan = uint8_t(span);
        KV_EEPROM_Save();
    }
    kv_snprintf(out_buffer, sizeof out_buffer, ":Samples = %d, Max span = %d\r", eepromData.tsamp,
                eepromData.tspan);
    txString(out_buffer);
    return kCmdDone;
}

int row_debounce(char* line) {
    if (!prefix(line, "*debounce")) return kNoMatch;
    int ms;
    if (kv_sscanf(line, "*debounce %d", &ms) == 1) {
        if (ms < 0) {
            txString(":invalid argument\r");
            return kCmdFailed;
        }
        eepromData.debounce = uint32_t(ms);
        KV_EEPROM_Save();
    }
    kv_snprintf(out_buffer, sizeof out_buffer, "Debounce = %ums\r", unsigned(eepromData.debounce));
    txString(out_buffer);
    return kCmdDone;
}

int row_get_touch(char* line) {
    if (!exact(line, "*getTouch")) return kNoMatch;
    int x, y;
    {
        ParkedSampler parked;
        x = touch_adc_read_double(kAdcX);
        y = touch_adc_read_double(kAdcY);
    }
    kv_snprintf(out_buffer, sizeof out_buffer, "X=%d, Y=%d\r", x, y);
    txString(out_buffer);
    return kCmdDone;
}

int row_default_cal(char* line) {
    if (!exact(line, "*KV")) return kNoMatch;
    KV_Touch_Calibrate_Default();
    return kCmdDone;
}

int row_ever(char* line) {
    if (!exact(line, "*ever")) return kNoMatch;
    if (KV_Touch_ever()) txString("touched\r");
    KV_Touch_ever_reset();
    return kCmdDone;
}

int row_debug_touch(char* line) {
    int level;
    if (kv_sscanf(line, "*debugTouch %d", &level) != 1) return kNoMatch;
    debug_touch = level;
    return kCmdDone;
}

int row_touch_swap(char* line) {
    if (!prefix(line, "*touchSwap")) return kNoMatch;
    int value;
    if (kv_sscanf(line, "*touchSwap %d", &value) != 1) {
        txNumber(eepromData.touchSwap);
        return kCmdDone;
    }
    eepromData.touchSwap = value ? 1 : 0;
    KV_EEPROM_Save();
    return kCmdDone;
}

int row_touch_trace(char* line) {
    if (exact(line, "*tt")) {
        TouchShowTtrace();
        return kCmdDone;
    }
    if (exact(line, "*ttt")) {
        touch_trace_take();
        return kCmdDone;
    }
    return kNoMatch;
}

int row_touch_diag(char* line) {
    if (exact(line, "*td")) {
        touch_display();
        return kCmdDone;
    }
    if (exact(line, "*tr")) {
        touch_raw();
        return kCmdDone;
    }
    if (exact(line, "*td2")) {
        touch_display2();
        return kCmdFailed;
    }
    return kNoMatch;
}

int row_cal_point(char* line) {
    int x, y;
    if (kv_sscanf(line, "*gcp %d %d", &x, &y) != 2) return kNoMatch;
    short a = 0;
    short b = 0;
    const int ok = getCalPoint(x > panel::kWidth / 2, x, y, &a, &b);
    kv_snprintf(out_buffer, sizeof out_buffer, ":   LogX:%d, LogY:%d, PhyX:%d, PhyY:%d\r", x, y, a,
                b);
    txString(out_buffer);
    return ok ? kCmdDone : kCmdFailed;
}

int row_touch_settings(char* line) {
    if (prefix(line, "*autoCal")) {
        int value;
        if (kv_sscanf(line + 8, "%d", &value) != 1) {
            txString(eepromData.autoCal == kFlagOn ? "1\r" : "0\r");
            return kCmdDone;
        }
        eepromData.autoCal = value ? kFlagOn : kUnset;
        KV_EEPROM_Save();
        return kCmdDone;
    }
    if (prefix(line, "*tspan")) return byte_setting(line + 6, eepromData.tspan);
    if (prefix(line, "*tsamp")) return byte_setting(line + 6, eepromData.tsamp);
    if (prefix(line, "*tplo")) return word_setting(line + 5, eepromData.tplo);
    if (prefix(line, "*tphi")) return word_setting(line + 5, eepromData.tphi);
    if (prefix(line, "*tpDeltaLim")) return byte_setting(line + 11, eepromData.tpDeltaLim);
    if (prefix(line, "*tcTimeout")) return byte_setting(line + 10, eepromData.tcTimeout);
    return kNoMatch;
}

int row_touch_mode(char* line) {
    if (!prefix(line, "*touchMode")) return kNoMatch;
    const char* args = line + 10;
    bool save = true;
    if (*args == 's') {
        save = false;
        ++args;
    }
    args = skipBlanks(args);
    if (*args == 0) {
        reply_touch_mode();
        return kCmdDone;
    }
    int mode;
    if (kv_sscanf(args, "%d", &mode) != 1) {
        mode = 0;
        bool standard = false;
        for (int i = 0; i < kModeLetterMax && args[i] != 0 && args[i] != ' '; ++i) {
            switch (args[i]) {
                case 'L':
                    mode |= kModeLatch;
                    break;
                case 'P':
                    mode |= kModePressure;
                    break;
                case 'W':
                    mode |= kModeWander;
                    break;
                case 'S':
                    standard = true;
                    break;
                default:
                    break;
            }
        }
        if (standard) mode = 0;
    }
    eepromData.touchMode = uint8_t(mode & 0xFF);
    if (save) KV_EEPROM_Save();
    return kCmdDone;
}
