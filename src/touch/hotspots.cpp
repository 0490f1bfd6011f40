#include "touch/hotspots.h"

#include <array>
#include <cstdint>

#include "base/format.h"
#include "base/host_text.h"
#include "base/settings_record.h"
#include "device/beeper.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "macro/hotspot_macros.h"
#include "macro/macro.h"
#include "touch/macro_bindings.h"
#include "touch/control_hooks.h"
#include "touch/touch.h"

namespace {

constexpr int kNoSpot = -1;
constexpr int kInitialBeepMs = 100;
constexpr int kTypematicUnitMs = 10;  // the settings count delay and repeat in 10 ms
constexpr int kCrossHalf = 5;         // the debug cross spans 2 * 5 + 1 pixels
constexpr int kOutBufSize = 32;

constexpr HotSpot kFreeSpot = {kSpotFree, 0, 0, 0, 0, 0, 0, 0, 0};

constexpr std::array<HotSpot, kHotSpotCount> all_free() {
    std::array<HotSpot, kHotSpotCount> table{};
    for (HotSpot& h : table) h = kFreeSpot;
    return table;
}

int beepMS = kInitialBeepMs;
char OutBuf[kOutBufSize];

bool valid_index(int spot) {
    return spot >= 0 && spot <= kLastHotSpot;
}

// Auto-repeat counts for the types a press and release both act on (not toggle buttons).
bool repeats(int spot) {
    const HotSpot& h = TouchHotSpots[spot];
    return (h.touchState & kTouchAutoRepeat) && h.type >= kSpotInverting &&
           h.type <= kSpotMomentaryButton;
}

bool shown_pressed(int spot) {
    return valid_index(spot) && (TouchHotSpots[spot].touchState & kTouchShownPressed);
}

// KV_GetLocation takes the sampler's State only when two reads agree, so a position is never
// half of a press and half of a release.
void read_location(int* x, int* y) {
    KV_GetLocation(x, y);
}

// The 1 ms interrupt counts the timer down; like every value shared with an interrupt it is
// read until two reads agree.
int typematic_left() {
    int a = typematicTimer;
    for (int b = typematicTimer; a != b; b = typematicTimer) a = b;
    return a;
}

// A hotspot's corner may lie anywhere in the int range (the host's coordinates plus the
// origin, saturated), so the offset of a point in it is taken wide and saturated.
int offset_in(int v, int corner) {
    const int64_t d = int64_t(v) - int64_t(corner);
    return d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : int(d);
}

bool is_touched(int x, int y) {
    return !(x == -1 && y == -1);
}

void send_report(const char* text, const uint8_t* bytes, int n) {
    if (binaryResponses) {
        txBinary(bytes, n);
    } else {
        txNotify(text);
    }
}

void report_press(int spot, bool with_position) {
    if (with_position) {
        kv_snprintf(OutBuf, sizeof OutBuf, "x%d %d %d\r", spot, lastHotRX, lastHotRY);
        const uint8_t bytes[6] = {'Y',
                                  uint8_t(spot),
                                  uint8_t(lastHotRX & 0xFF),
                                  uint8_t((lastHotRX >> 8) & 0xFF),
                                  uint8_t(lastHotRY & 0xFF),
                                  uint8_t((lastHotRY >> 8) & 0xFF)};
        send_report(OutBuf, bytes, 6);
        return;
    }
    kv_snprintf(OutBuf, sizeof OutBuf, "x%d\r", spot);
    const uint8_t bytes[2] = {'X', uint8_t(spot)};
    send_report(OutBuf, bytes, 2);
}

void report_release(int spot) {
    kv_snprintf(OutBuf, sizeof OutBuf, "r%d\r", spot);
    const uint8_t bytes[2] = {'R', uint8_t(spot)};
    send_report(OutBuf, bytes, 2);
}

void report_state(int spot, int state) {
    kv_snprintf(OutBuf, sizeof OutBuf, "s%d %d\r", spot, state);
    const uint8_t bytes[3] = {'S', uint8_t(spot), uint8_t(state)};
    send_report(OutBuf, bytes, 3);
}

void report_value(int spot, int value) {
    kv_snprintf(OutBuf, sizeof OutBuf, "l%d:%d\r", spot, value);
    const uint8_t bytes[4] = {'L', uint8_t(spot), uint8_t(value & 0xFF),
                              uint8_t((value >> 8) & 0xFF)};
    send_report(OutBuf, bytes, 4);
}

void queue_macro(int spot, int event, int isPress, int macro) {
    if (!macro) return;
    setQueuedMacroLabel(spot, event);
    scheduleMacro(macro, getMacroArgs(spot, isPress));
}

// A button draws its bitmap and text with its own colours and font; the host's drawing state
// must come back afterwards.
struct KeepDrawingState {
    GdiRecord saved;
    int border;
    KeepDrawingState() : border(GUIDEMO_GetTextBorder()) { SaveState(&saved); }
    ~KeepDrawingState() {
        RestoreState(&saved);
        GUIDEMO_SetTextBorder(border);
    }
};

void debug_draw(int x, int y) {
    GUI_DrawLine(x - kCrossHalf, y - kCrossHalf, x + kCrossHalf, y + kCrossHalf);
    GUI_DrawLine(x - kCrossHalf, y + kCrossHalf, x + kCrossHalf, y - kCrossHalf);
    if (debug_touch == 2) {
        int pmin = 0, pmax = 0;
        KV_Touch_Info(nullptr, &pmin, &pmax, nullptr);
        char text[kOutBufSize];
        kv_snprintf(text, sizeof text, "Pmin %5d; Pmax %5d", pmin, pmax);
        GUI_DispStringAt(text, 0, 0);
    }
}

// The slider part of a press: returns true when the hotspot belongs to a slider.
bool slider_press(int spot, int x, int y, int redrawOnly) {
    const TouchControlHooks& c = touchControls();
    int before, after;
    if (const int s = c.sliderFind(spot); s >= 0) {
        before = c.sliderValue(s);
        after = c.sliderTouched(s, x, y);
    } else if (const int s2 = c.circSliderFind(spot); s2 >= 0) {
        before = c.circSliderValue(s2);
        after = c.circSliderTouched(s2, x, y);
    } else {
        return false;
    }
    if (after == before) return true;
    const HotSpot& h = TouchHotSpots[spot];
    if (h.options & kOptReportEnable) report_value(spot, after);
    if (!redrawOnly) queue_macro(spot, 1, 1, h.pressMacro);
    return true;
}

bool is_slider(int spot) {
    const TouchControlHooks& c = touchControls();
    return c.sliderFind(spot) >= 0 || c.circSliderFind(spot) >= 0;
}

void free_entry(int spot) {
    TouchHotSpots[spot] = kFreeSpot;
    KV_HotSpot_TableChanged();
}

// The search index: the screen in square cells, each with the set of active entries whose
// rectangle meets it, so a touch tries only the few entries of its cell, lowest index first,
// however full the table is. Rebuilt on the first search after the table changed. Points
// outside the grid (off the panel) are searched entry by entry.
constexpr int kCellShift = 6;  // 64-pixel cells
constexpr int kGridCells = 16;
constexpr int kGridSpan = kGridCells << kCellShift;  // 1024: wider and taller than any panel
constexpr int kSetWords = kHotSpotCount / 64;

struct SpotSet {
    uint64_t bits[kSetWords];
};
SpotSet spotGrid[kGridCells][kGridCells];
bool gridStale = true;

bool holds(const HotSpot& h, int x, int y) {
    // Types 1-4 are one unsigned range test.
    return uint32_t(h.type - kSpotInverting) <= uint32_t(kSpotToggleButton - kSpotInverting) &&
           x >= h.x0 && x <= h.x1 && y >= h.y0 && y <= h.y1;
}

int clamp_cell(int v) {
    return v < 0 ? 0 : v >= kGridSpan ? kGridCells - 1 : v >> kCellShift;
}

void rebuild_grid() {
    for (auto& row : spotGrid) {
        for (SpotSet& cell : row) {
            for (uint64_t& w : cell.bits) w = 0;
        }
    }
    for (int i = 0; i < kHotSpotCount; ++i) {
        const HotSpot& h = TouchHotSpots[size_t(i)];
        if (h.type < kSpotInverting || h.type > kSpotToggleButton) continue;
        if (h.x0 > h.x1 || h.y0 > h.y1 || h.x1 < 0 || h.y1 < 0 || h.x0 >= kGridSpan ||
            h.y0 >= kGridSpan) {
            continue;
        }
        const int cx1 = clamp_cell(h.x1), cy1 = clamp_cell(h.y1);
        for (int cy = clamp_cell(h.y0); cy <= cy1; ++cy) {
            for (int cx = clamp_cell(h.x0); cx <= cx1; ++cx) {
                spotGrid[cy][cx].bits[i / 64] |= uint64_t(1) << (i % 64);
            }
        }
    }
    gridStale = false;
}

}  // namespace

std::array<HotSpot, kHotSpotCount> TouchHotSpots = all_free();

int previousSpot = kNoSpot;
int currentSpot = kNoSpot;
int tempSpot = kNoSpot;
uint8_t waitForRelease;
uint8_t waitForNoTouch;
volatile uint8_t ignoreTouch;
uint8_t allowPreExistingTouch;
volatile int typematicTimer;
int lastHotAX, lastHotAY;
int lastHotRX, lastHotRY;

int KV_Touch_GetBeepMS() {
    return beepMS;
}
void KV_Touch_SetBeepMS(int ms) {
    beepMS = ms;
}

void ButtonTimer() {
    if (typematicTimer) typematicTimer = typematicTimer - 1;
}

void KV_HotSpot_TableChanged() {
    gridStale = true;
}

int KV_SearchHotSpot(int x, int y) {
    if (x == -1 || y == -1) return kNoSpot;
    if (uint32_t(x) >= uint32_t(kGridSpan) || uint32_t(y) >= uint32_t(kGridSpan)) {
        for (int i = 0; i < kHotSpotCount; ++i) {
            if (holds(TouchHotSpots[size_t(i)], x, y)) return i;
        }
        return kNoSpot;
    }
    if (gridStale) rebuild_grid();
    const SpotSet& cell = spotGrid[y >> kCellShift][x >> kCellShift];
    for (int w = 0; w < kSetWords; ++w) {
        for (uint64_t bits = cell.bits[w]; bits; bits &= bits - 1) {
            const int i = w * 64 + __builtin_ctzll(bits);
            if (holds(TouchHotSpots[size_t(i)], x, y)) return i;
        }
    }
    return kNoSpot;
}

void spotProcess(int spot, int pressed, int noMacro, int x, int y) {
    if (!valid_index(spot)) return;
    const HotSpot& h = TouchHotSpots[spot];
    if (pressed) {
        if ((h.options & kOptReportEnable) && (h.options & kOptReportPress) && !waitForRelease) {
            lastHotAX = x;
            lastHotAY = y;
            lastHotRX = offset_in(x, h.x0);
            lastHotRY = offset_in(y, h.y0);
            report_press(spot, h.options & kOptReportPosition);
            waitForRelease = 1;
        }
        if (!noMacro) queue_macro(spot, 1, 1, h.pressMacro);
        return;
    }
    if ((h.options & kOptReportEnable) && (h.options & kOptReportRelease)) report_release(spot);
    if (!noMacro) queue_macro(spot, 0, 0, h.releaseMacro);
    waitForRelease = 0;
}

void updateSpot(int pressed, int spot, int report, int x, int y, int redrawOnly) {
    if (!valid_index(spot)) return;
    HotSpot& h = TouchHotSpots[spot];
    const int type = h.type;
    if (spot >= kFirstPlainHotSpot && type != kSpotInverting && type != kSpotPlain) return;
    if (pressed && slider_press(spot, x, y, redrawOnly)) return;
    if (pressed && report && beepMS && (h.options & kOptBeep) && !is_slider(spot)) {
        const bool repeating = (h.options & kOptNoRepeatBeep) && typematic_left() != 0;
        if (!repeating) BeepImmediate(beepMS);
    }
    switch (type) {
        case kSpotInverting: {
            const int mode = GUI_SetDrawMode(GUI_DRAWMODE_XOR);
            GUI_FillRect(h.x0, h.y0, h.x1, h.y1);
            GUI_SetDrawMode(mode);
            break;
        }
        case kSpotMomentaryButton: {
            KeepDrawingState keep;
            touchControls().buttonShow(spot, pressed ? 1 : 0);
            break;
        }
        case kSpotToggleButton: {
            if (!pressed) break;
            const int state = touchControls().buttonState(spot) ? 0 : 1;
            {
                KeepDrawingState keep;
                touchControls().buttonShow(spot, state);
            }
            if (h.options & kOptReportEnable) report_state(spot, state);
            if (!redrawOnly) queue_macro(spot, state, state, state ? h.pressMacro : h.releaseMacro);
            break;
        }
        default:
            break;
    }
    if (type >= kSpotInverting && type <= kSpotMomentaryButton && report) {
        spotProcess(spot, pressed, redrawOnly, x, y);
    }
}

void handle_touch() {
    if (ignoreTouch) return;
    // The pass of almost every main-loop turn: no finger, nothing held. A pressed flag of 0 is a
    // released State whatever its coordinates say, so the one byte decides.
    if (!State.pressed && previousSpot == kNoSpot) {
        waitForNoTouch = 0;
        waitForRelease = 0;
        tempSpot = currentSpot = kNoSpot;
        return;
    }
    int x, y;
    read_location(&x, &y);
    const bool touched = is_touched(x, y);
    if (debug_touch && touched) debug_draw(x, y);
    if (waitForNoTouch) {
        if (touched) return;
        waitForNoTouch = 0;
    }
    int spot = KV_SearchHotSpot(x, y);
    tempSpot = spot;
    if (touched) {
        // A finger that slides off a hotspot does not release it.
        if (spot < 0) return;
    } else {
        waitForRelease = 0;
        spot = kNoSpot;
    }
    currentSpot = spot;
    if (spot != previousSpot) {
        if (shown_pressed(previousSpot)) {
            updateSpot(0, previousSpot, 1, x, y, 0);
            TouchHotSpots[previousSpot].touchState &= uint8_t(~kTouchShownPressed);
        }
        updateSpot(1, spot, 1, x, y, 0);
        if (spot >= 0) {
            TouchHotSpots[spot].touchState |= kTouchShownPressed;
            if (repeats(spot) && typematic_left() == 0) {
                typematicTimer = eepromData.typematicDelay * kTypematicUnitMs;
            }
        }
        if (valid_index(previousSpot) && repeats(previousSpot)) typematicTimer = 0;
        previousSpot = spot;
        return;
    }
    if (spot < 0) return;
    if (repeats(spot) && typematic_left() == 0) {
        // Each repetition is a release now and a press on the next pass.
        updateSpot(0, spot, 1, x, y, 0);
        typematicTimer = eepromData.typematicRepeat * kTypematicUnitMs;
        previousSpot = kNoSpot;
    }
    if (spot >= kFirstPlainHotSpot && touchControls().isXYinSlider(x, y)) {
        updateSpot(1, spot, 1, x, y, 0);
    }
}

namespace {

// A held hotspot loses the touch: its release report, its screen back, its repeat stopped.
void give_release(int held, int x, int y) {
    updateSpot(0, held, 1, x, y, 0);
    TouchHotSpots[held].touchState &= uint8_t(~kTouchShownPressed);
    if (repeats(held)) typematicTimer = 0;
}

}  // namespace

void handle_spotNotReleasedWhenDefined(int spot) {
    if (!valid_index(spot)) return;
    int x, y;
    read_location(&x, &y);
    const HotSpot& h = TouchHotSpots[spot];
    const bool on_new = is_touched(x, y) && x >= h.x0 && x <= h.x1 && y >= h.y0 && y <= h.y1;
    const int held = shown_pressed(previousSpot) && previousSpot != spot ? previousSpot : kNoSpot;
    if (allowPreExistingTouch) {
        // The touch in progress is to press what it lies on; while that is not the new hotspot,
        // the one it holds keeps it (and gets its release when the finger moves or lifts).
        if (held >= 0 && KV_SearchHotSpot(x, y) != spot) return;
    } else if (!on_new) {
        return;
    }
    // The hotspot held so far loses the touch: it gets its release (and its screen back).
    if (held >= 0) give_release(held, x, y);
    previousSpot = allowPreExistingTouch ? kNoSpot : spot;
}

void KV_Touch_HotSpot_ReleaseIfHeld(int spot) {
    if (!valid_index(spot) || spot != previousSpot || !shown_pressed(spot)) return;
    int x, y;
    read_location(&x, &y);
    give_release(spot, x, y);
    previousSpot = kNoSpot;
}

int KV_Touch_HotSpot_Unset(int spot) {
    if (!valid_index(spot)) return 0;
    releaseMacroArgs(spot, 1);
    releaseMacroArgs(spot, 0);
    const TouchControlHooks& c = touchControls();
    if (const int s = c.sliderFind(spot); s >= 0) c.sliderUnset(s);
    free_entry(spot);
    return 1;
}

void KV_Touch_HotSpot_Clear() {
    for (int i = 0; i < kHotSpotCount; ++i) KV_Touch_HotSpot_Unset(i);
    clearMacroArgStore();
}

int buttonReEnable(int index, int silent) {
    if (!valid_index(index)) return 0;
    HotSpot& h = TouchHotSpots[index];
    // Only a disabled entry has a type to give back; a free one stays free.
    if (h.type > kSpotToggleButton && h.type < kSpotFree) {
        h.type -= kHotSpotDisabledOffset;
        KV_HotSpot_TableChanged();
    }
    if (!silent && (h.type == kSpotMomentaryButton || h.type == kSpotToggleButton)) {
        touchControls().buttonRedraw(index);
    }
    return 1;
}

void KV_HotSpot_Init() {
    for (int i = 0; i < kHotSpotCount; ++i) free_entry(i);
    previousSpot = currentSpot = tempSpot = kNoSpot;
    waitForRelease = waitForNoTouch = 0;
    ignoreTouch = 0;
    allowPreExistingTouch = 0;
    typematicTimer = 0;
    lastHotAX = lastHotAY = lastHotRX = lastHotRY = 0;
    beepMS = kInitialBeepMs;
}
