// Hotspots: the table of touch rectangles, the dispatch of touches to them, press, release,
// drag and auto-repeat, the press beep and the reports to the host.
//
// Everything here runs in the main loop, except ButtonTimer (1 ms interrupt), which only counts
// typematicTimer down.
#pragma once

#include <array>
#include <cstdint>

constexpr int kHotSpotCount = 256;
constexpr int kFirstPlainHotSpot = 128;  // 0-127 are bitmap buttons
constexpr int kLastHotSpot = kHotSpotCount - 1;

// Hotspot types. A disabled entry holds its type plus kHotSpotDisabledOffset.
constexpr int kSpotInverting = 1;
constexpr int kSpotPlain = 2;  // also every slider
constexpr int kSpotMomentaryButton = 3;
constexpr int kSpotToggleButton = 4;
constexpr int kHotSpotDisabledOffset = 5;
constexpr int kSpotFree = 10;

// Option bits.
constexpr uint8_t kOptReportPress = 0x01;
constexpr uint8_t kOptReportRelease = 0x02;
constexpr uint8_t kOptReportEnable = 0x04;  // no report at all without it
constexpr uint8_t kOptNoRepeatBeep = 0x08;
constexpr uint8_t kOptCentredText = 0x10;
constexpr uint8_t kOptReportPosition = 0x20;
constexpr uint8_t kOptBeep = 0x40;

// Touch state bits.
constexpr uint8_t kTouchAutoRepeat = 0x01;
constexpr uint8_t kTouchPressLabel = 0x02;
constexpr uint8_t kTouchReleaseLabel = 0x04;
constexpr uint8_t kTouchShownPressed = 0x08;

struct HotSpot {
    int32_t type;
    int32_t x0, y0, x1, y1;  // corners included
    uint8_t pressMacro;      // 0: none
    uint8_t releaseMacro;
    uint8_t options;
    uint8_t touchState;
};

// Every entry is free at power-on. Code that changes an entry's type or rectangle here (rather
// than through the functions below) calls KV_HotSpot_TableChanged afterwards, or the search
// keeps finding the old rectangles.
extern std::array<HotSpot, kHotSpotCount> TouchHotSpots;
void KV_HotSpot_TableChanged();

// Dispatcher state (hotspot indexes or -1).
extern int previousSpot;
extern int currentSpot;
extern int tempSpot;
extern uint8_t waitForRelease;  // a press was reported and its release is still due
extern uint8_t waitForNoTouch;  // ignore touches until the screen is released
// Touch dispatch off ("touch off", and while the communication watchdog runs its macro).
extern volatile uint8_t ignoreTouch;
extern uint8_t allowPreExistingTouch;  // "*apt"
extern volatile int typematicTimer;    // ms, counted down by ButtonTimer
extern int lastHotAX, lastHotAY;       // the last reported press, absolute
extern int lastHotRX, lastHotRY;       // ... and relative to its hotspot

// Length of the press beep in ms (100 at power-on). The beeper's commands set it.
int KV_Touch_GetBeepMS();
void KV_Touch_SetBeepMS(int ms);

// One dispatch step; called by the main loop on every pass and by waits that keep touch alive.
void handle_touch();
// The button timers; called once per millisecond by the timer interrupt.
void ButtonTimer();

// The first active entry (types 1-4) whose rectangle holds (x, y), or -1; a coordinate of -1
// finds nothing.
int KV_SearchHotSpot(int x, int y);

// Applies a press (1) or release (0) to one hotspot: slider value, drawing, report and macro.
// redrawOnly draws without scheduling macros. Indexes outside 0-255 are ignored.
void updateSpot(int pressed, int spot, int report, int x, int y, int redrawOnly);
// Reports and macros of a press or release of a hotspot of type 1-3.
void spotProcess(int spot, int pressed, int noMacro, int x, int y);
// Called right after a command stored a hotspot: a touch already in progress on it does not
// press it (unless "*apt"), and a hotspot held elsewhere still gets its release.
void handle_spotNotReleasedWhenDefined(int spot);
// A hotspot that is about to stop answering touches ("xd") while the finger holds it gets its
// release now (report, screen, repeat), as the lift would have given it.
void KV_Touch_HotSpot_ReleaseIfHeld(int spot);

// Frees one entry (its macro arguments and its slider too). Returns 0 for an index outside
// 0-255 (nothing touched), else 1.
int KV_Touch_HotSpot_Unset(int spot);
// Frees all 256 entries and empties the store of macro arguments.
void KV_Touch_HotSpot_Clear();
// The hotspot half of a button's re-enabling: a disabled entry (type 6-9) gets its type back;
// unless silent, a button is redrawn in its state (through the control hooks). Returns 0 for
// an index outside 0-255, else 1.
int buttonReEnable(int index, int silent);

// Dispatcher state, timer and table at power-on (all entries free, beep 100 ms).
void KV_HotSpot_Init();
