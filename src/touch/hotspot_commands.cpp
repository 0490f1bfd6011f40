#include "touch/hotspot_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "drawing/drawing_state.h"
#include "touch/control_hooks.h"
#include "touch/hotspots.h"
#include "touch/touch.h"

namespace {

constexpr int kTypematicMax = 255;
constexpr int kTypematicUnitMs = 10;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool valid_index(int spot) {
    return spot >= 0 && spot <= kLastHotSpot;
}

struct Kind {
    const char* form;
    int type;
    uint8_t options;
    uint8_t touchState;
};

constexpr uint8_t kReportPress = kOptReportPress | kOptReportEnable;
constexpr uint8_t kReportPosition = kOptReportPress | kOptReportPosition | kOptReportEnable;

constexpr Kind kInverting = {"x %d %d %d %d %d", kSpotInverting, kReportPress | kOptBeep, 0};
// The forms differ only in their keyword; each is a literal template of five decimals, so no
// form can take another's line.
constexpr Kind kKinds[] = {
    {"xs %d %d %d %d %d", kSpotPlain, kReportPress | kOptBeep, 0},
    {"xsnb %d %d %d %d %d", kSpotPlain, kReportPress, 0},
    {"xt %d %d %d %d %d", kSpotInverting, kReportPress | kOptBeep, kTouchAutoRepeat},
    {"xst %d %d %d %d %d", kSpotPlain, kReportPress | kOptNoRepeatBeep | kOptBeep,
     kTouchAutoRepeat},
    {"xxy %d %d %d %d %d", kSpotPlain, kReportPosition | kOptBeep, 0},
    {"xxynb %d %d %d %d %d", kSpotPlain, kReportPosition, 0},
};

// Frees the entry, stores the new hotspot and applies the touch-in-progress rule.
int define(int spot, const int corners[4], const Kind& kind) {
    if (spot < kFirstPlainHotSpot || spot > kLastHotSpot) return kCmdFailed;
    // Redefining the hotspot the finger holds: its release (and its screen) comes first.
    if (spot == previousSpot && (TouchHotSpots[spot].touchState & kTouchShownPressed)) {
        updateSpot(0, spot, 1, -1, -1, 0);
        previousSpot = -1;
    }
    KV_Touch_HotSpot_Unset(spot);
    HotSpot& h = TouchHotSpots[spot];
    h.type = kind.type;
    h.x0 = atOriginX(corners[0]);
    h.y0 = atOriginY(corners[1]);
    h.x1 = atOriginX(corners[2]);
    h.y1 = atOriginY(corners[3]);
    h.options = kind.options;
    h.touchState = kind.touchState;
    KV_HotSpot_TableChanged();
    handle_spotNotReleasedWhenDefined(spot);
    return kCmdDone;
}

int define_from(const char* line, const Kind& kind) {
    int spot, corners[4];
    if (kv_sscanf(line, kind.form, &spot, &corners[0], &corners[1], &corners[2], &corners[3]) !=
        5) {
        return kNoMatch;
    }
    return define(spot, corners, kind);
}

void reply_typematic() {
    kv_snprintf(out_buffer, sizeof out_buffer, "Delay %dms, Repeat %dms\r",
                eepromData.typematicDelay * kTypematicUnitMs,
                eepromData.typematicRepeat * kTypematicUnitMs);
    txString(out_buffer);
}

bool is_slider(int spot) {
    const TouchControlHooks& c = touchControls();
    return c.sliderFind(spot) >= 0 || c.circSliderFind(spot) >= 0;
}

// "xset": the option letter's bit switched on or off; false for an unknown letter.
bool set_option(int spot, char letter, bool on) {
    HotSpot& h = TouchHotSpots[spot];
    uint8_t* field = &h.options;
    uint8_t bit;
    switch (letter) {
        case 'p':
            bit = kOptReportPress;
            break;
        case 'r':
            bit = kOptReportRelease;
            break;
        case 'b':
            bit = kOptBeep;
            break;
        case 'T':
            bit = kOptNoRepeatBeep;
            break;
        case 't':
            field = &h.touchState;
            bit = kTouchAutoRepeat;
            break;
        case 'x':
            if (spot < kFirstPlainHotSpot) return false;
            bit = kOptReportPosition;
            break;
        default:
            return false;
    }
    *field = on ? uint8_t(*field | bit) : uint8_t(*field & ~bit);
    return true;
}

void disable(int spot) {
    HotSpot& h = TouchHotSpots[spot];
    if (h.type >= kSpotInverting && h.type <= kSpotToggleButton) {
        h.type += kHotSpotDisabledOffset;
        KV_HotSpot_TableChanged();
    }
}

}  // namespace

int row_typematic(char* line) {
    if (!prefix(line, "typematic")) return kNoMatch;
    const char* args = line + std::strlen("typematic");
    const bool save = *args != 's';
    if (!save) ++args;
    int delay, repeat;
    const int n = kv_sscanf(args, "%d %d", &delay, &repeat);
    // A value above 255 makes the line no typematic command.
    if ((n >= 1 && delay > kTypematicMax) || (n == 2 && repeat > kTypematicMax)) return kNoMatch;
    if (n == 2) {
        if (delay < 0 || repeat < 0) return kCmdFailed;
        eepromData.typematicDelay = uint8_t(delay);
        eepromData.typematicRepeat = uint8_t(repeat);
        if (save) KV_EEPROM_Save();
    } else if (n == 1) {
        return kCmdFailed;
    }
    reply_typematic();
    return kCmdDone;
}

int row_hotspot(char* line) {
    // Only a digit right after the blank: "x -1 ..." and the other kinds are not this command.
    if (line[0] != 'x' || line[1] != ' ' || !is_digit(line[2])) return kNoMatch;
    return define_from(line, kInverting);
}

int row_hotspot_kinds(char* line) {
    for (const Kind& kind : kKinds) {
        const int r = define_from(line, kind);
        if (r != kNoMatch) return r;
    }
    return kNoMatch;
}

int row_hotspot_options(char* line) {
    int spot;
    char c[2];
    const int n = kv_sscanf(line, "xset %d %c%c", &spot, &c[0], &c[1]);
    if (n < 2) return kNoMatch;
    if (!valid_index(spot) || TouchHotSpots[spot].type == kSpotFree || is_slider(spot)) {
        return kCmdFailed;
    }
    bool on = true;
    char letter = c[0];
    if (c[0] == '+' || c[0] == '-') {
        if (n < 3) return kCmdFailed;
        on = c[0] == '+';
        letter = c[1];
    }
    return set_option(spot, letter, on) ? kCmdDone : kCmdFailed;
}

int row_hotspot_disable(char* line) {
    if (!prefix(line, "xd")) return kNoMatch;
    if (prefix(line, "xd all")) {
        enableTouch(0);
        return kCmdDone;
    }
    int first, last;
    const int n = kv_sscanf(line, "xd %d %d", &first, &last);
    if (n < 1) return kCmdFailed;
    if (n == 1) last = first;
    if (!valid_index(first) || !valid_index(last)) return kCmdFailed;
    for (int i = first; i <= last; ++i) {
        KV_Touch_HotSpot_ReleaseIfHeld(i);
        disable(i);
    }
    return kCmdDone;
}

int row_hotspot_enable(char* line) {
    if (!prefix(line, "xe")) return kNoMatch;
    const char* args = line + 2;
    const int silent = *args == 's' ? 1 : 0;
    args += silent;
    if (*args && prefix(args + 1, "all")) {
        enableTouch(1);
        return kCmdDone;
    }
    int first, last;
    const int n = kv_sscanf(args, "%d %d", &first, &last);
    if (n == 1) return buttonReEnable(first, silent) ? kCmdDone : kCmdFailed;
    if (n == 2) {
        for (int i = first; i <= last; ++i) {
            if (!buttonReEnable(i, silent)) return kCmdFailed;
        }
    }
    return kCmdDone;
}

int row_touch(char* line) {
    if (!prefix(line, "touch")) return kNoMatch;
    if (std::strstr(line, "off")) {
        ignoreTouch = 1;
    } else if (std::strstr(line, "on")) {
        ignoreTouch = 0;
        if (!allowPreExistingTouch) waitForNoTouch = 1;
    } else {
        txString(ignoreTouch ? "touch off\r" : "touch on\r");
    }
    return kCmdDone;
}

int row_apt(char* line) {
    if (!prefix(line, "*apt")) return kNoMatch;
    allowPreExistingTouch = 1;
    return kCmdDone;
}

int row_reports_off(char* line) {
    if (!exact(line, "*xn off")) return kNoMatch;
    for (HotSpot& h : TouchHotSpots) h.options &= uint8_t(~kOptReportEnable);
    return kCmdDone;
}

int row_hotspot_remove(char* line) {
    if (prefix(line, "xc all")) {
        KV_Touch_HotSpot_Clear();
        return kCmdDone;
    }
    int spot;
    if (kv_sscanf(line, "xc %d", &spot) != 1) return kNoMatch;
    if (spot < kFirstPlainHotSpot || spot > kLastHotSpot) {
        perr(":touch index must be %d to %d\r", kFirstPlainHotSpot, kLastHotSpot);
        return kCmdFailed;
    }
    KV_Touch_HotSpot_Unset(spot);
    return kCmdDone;
}
