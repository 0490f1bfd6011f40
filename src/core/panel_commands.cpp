#include "core/panel_commands.h"

#include "base/format.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "gui/gui.h"

namespace {

constexpr char kCR = '\r';
constexpr char kEsc = 27;
constexpr char kSave = '!';
// The adjustment keys never take a field beyond this, nor beyond what its register field holds.
constexpr uint32_t kAdjustMax = 200;

struct TimingField {
    const char* keyword;
    uint8_t EepromData::*field;
    int mask;
};

constexpr TimingField kTimingFields[] = {
    {"*hpw", &EepromData::hpw, 63},  {"*hfp", &EepromData::hfp, 255},
    {"*hbp", &EepromData::hbp, 255}, {"*vpw", &EepromData::vpw, 63},
    {"*vfp", &EepromData::vfp, 63},  {"*vbp", &EepromData::vbp, 63},
};

void send_status_line() {
    const EepromData& e = eepromData;
    kv_snprintf(out_buffer, sizeof out_buffer,
                "hfp %2d  hpw %2d  hbp %2d (HTOT %3d) / vfp %2d  vpw %2d  vbp %2d (VTOT %3d)\r",
                e.hfp, e.hpw, e.hbp, int(htot), e.vfp, e.vpw, e.vbp, int(vtot));
    txString(out_buffer);
}

void draw_test_pattern() {
    const int right = panel::kWidth - 1, bottom = panel::kHeight - 1;
    const int mid_x = panel::kWidth / 2, mid_y = panel::kHeight / 2;
    const int pen = GUI_SetPenSize(1);
    GUI_DrawLine(0, 0, right, bottom);
    GUI_DrawLine(right, 0, 0, bottom);
    GUI_DrawLine(mid_x, 0, right, mid_y);
    GUI_DrawLine(right, mid_y, mid_x, bottom);
    GUI_DrawLine(mid_x, bottom, 0, mid_y);
    GUI_DrawLine(0, mid_y, mid_x, 0);
    GUI_SetPenSize(pen);
}

void open_adjustment(const char* title) {
    txString(":\r");
    txString(title);
    txString(":Use number pad (4=left,6=right,2=down,1=up) for image adjust\r");
    txString(":Hit w for pulse width, f for front porch b for back porch\r");
    txString(":(return or escape to end, ! to save changes and quit)\r");
    txString("\r");
    send_status_line();
    draw_test_pattern();
}

// One of the three pairs the keys act on: the horizontal and the vertical member, with the
// range each may be stepped through.
struct Pair {
    uint8_t EepromData::*horizontal;
    uint8_t EepromData::*vertical;
    uint32_t h_min, h_max, v_min, v_max;
};

constexpr uint32_t lower(uint32_t field_min) {
    return field_min > 1 ? field_min : 1;
}
constexpr uint32_t upper(uint32_t field_max) {
    return field_max < kAdjustMax ? field_max : kAdjustMax;
}

constexpr Pair kBackPorch{&EepromData::hbp,      &EepromData::vbp,      lower(kTimingMin.hbp),
                          upper(kTimingMax.hbp), lower(kTimingMin.vbp), upper(kTimingMax.vbp)};
constexpr Pair kFrontPorch{&EepromData::hfp,      &EepromData::vfp,      lower(kTimingMin.hfp),
                           upper(kTimingMax.hfp), lower(kTimingMin.vfp), upper(kTimingMax.vfp)};
constexpr Pair kPulseWidth{&EepromData::hpw,      &EepromData::vpw,      lower(kTimingMin.hpw),
                           upper(kTimingMax.hpw), lower(kTimingMin.vpw), upper(kTimingMax.vpw)};

// A value set outside the range by "*hbp" and the like (programmed as the nearest one the field
// holds) comes back into it on the first key, instead of refusing every step from there.
void step(uint8_t& field, int by, uint32_t low, uint32_t high) {
    const int v = field + by;
    field = uint8_t(v < int(low) ? int(low) : v > int(high) ? int(high) : v);
}

// Reads keys until the operator ends; adjust false only redisplays.
void run_adjustment(bool adjust) {
    const Pair* pair = &kBackPorch;
    for (;;) {
        const int c = waitChar();
        txString("\r");
        if (c == kCR || c == kEsc) return;
        if (c == kSave) {
            KV_EEPROM_Save();
            return;
        }
        if (adjust) {
            EepromData& e = eepromData;
            switch (c) {
                case 'b':
                    pair = &kBackPorch;
                    break;
                case 'f':
                    pair = &kFrontPorch;
                    break;
                case 'w':
                    pair = &kPulseWidth;
                    break;
                case '4':
                    step(e.*pair->horizontal, -1, pair->h_min, pair->h_max);
                    break;
                case '6':
                    step(e.*pair->horizontal, +1, pair->h_min, pair->h_max);
                    break;
                case '2':
                    step(e.*pair->vertical, +1, pair->v_min, pair->v_max);
                    break;
                case '1':  // what the instructions call up
                case '8':  // up on the number pad
                    step(e.*pair->vertical, -1, pair->v_min, pair->v_max);
                    break;
                default:
                    break;
            }
        }
        setLCDtiming();
        send_status_line();
    }
}

bool in_block(uint32_t offset, uint32_t size) {
    return offset < kRegisterBlockSize && kRegisterBlockSize - offset >= size;
}

}  // namespace

int row_touchadj(char* line) {
    if (!prefix(line, "*touchadj")) return kNoMatch;
    open_adjustment(":Touch Operation Adjustment\r");
    run_adjustment(false);
    return kCmdDone;
}

int row_paneladj(char* line) {
    if (!prefix(line, "*paneladj")) return kNoMatch;
    open_adjustment(":Panel Timing Adjustment\r");
    run_adjustment(true);
    return kCmdDone;
}

int row_panel_timing(char* line) {
    for (const TimingField& f : kTimingFields) {
        if (!prefix(line, f.keyword)) continue;
        uint8_t& field = eepromData.*f.field;
        int value;
        if (kv_sscanf(line + 4, "%d", &value) != 1) {
            txNumber(field);
            return kCmdDone;
        }
        value &= f.mask;
        field = uint8_t(value == 0 ? 1 : value);
        setLCDtiming();
        return kCmdDone;
    }
    return kNoMatch;
}

int row_vq(char* line) {
    if (!prefix(line, "*vq")) return kNoMatch;
    int value;
    if (kv_sscanf(line + 3, "%d", &value) != 1) {
        txNumber(gpio_read(Gpio::kVqSelect) ? 1 : 0);
        return kCmdDone;
    }
    gpio_write(Gpio::kVqSelect, (value & 1) != 0);
    return kCmdDone;
}

int row_orient(char* line) {
    if (!prefix(line, "*orient")) return kNoMatch;
    int value;
    if (kv_sscanf(line + 7, "%d", &value) != 1) {
        txNumber(eepromData.orient);
        return kCmdDone;
    }
    eepromData.orient = uint8_t(value & 3);
    setOrient(eepromData.orient);
    KV_EEPROM_Save();
    return kCmdDone;
}

int row_registers(char* line) {
    unsigned a, b;
    if (kv_sscanf(line, "*R16 %x", &a) == 1) {
        if (!in_block(a, 2)) return kCmdFailed;
        kv_snprintf(out_buffer, sizeof out_buffer, "0x%08X = %04X\r",
                    unsigned(kRegisterBlockBase + a), unsigned(register_read16(a)));
        txString(out_buffer);
        return kCmdDone;
    }
    if (prefix(line, "*R")) {
        const int n = kv_sscanf(line, "*R %x %x", &a, &b);
        if (n < 1) return kCmdFailed;
        if (n == 1) b = a;
        if (b < a) return kCmdDone;
        // The whole range is checked before anything is read, so a range that runs off the
        // block reads nothing rather than part of it.
        if (!in_block(a, 4) || !in_block(b, 4)) return kCmdFailed;
        for (uint32_t offset = a;; offset += 4) {
            kv_snprintf(out_buffer, sizeof out_buffer, "Reg 0x%08x = %08x\r",
                        unsigned(kRegisterBlockBase + offset), unsigned(register_read32(offset)));
            txString(out_buffer);
            if (b - offset < 4) break;
        }
        return kCmdDone;
    }
    if (kv_sscanf(line, "*W %x %x", &a, &b) == 2) {
        if (!in_block(a, 4)) return kCmdFailed;
        register_write32(a, b);
        kv_snprintf(out_buffer, sizeof out_buffer, "Reg 0x%08X <- %08X\r",
                    unsigned(kRegisterBlockBase + a), unsigned(register_read32(a)));
        txString(out_buffer);
        return kCmdDone;
    }
    return kNoMatch;
}
