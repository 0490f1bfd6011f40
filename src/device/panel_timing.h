// The LCD controller set-up and the panel timing derived from the settings.
#pragma once

#include <cstdint>

// Porches and pulse widths in pixel clocks (horizontal) and lines (vertical).
struct PanelTiming {
    uint32_t hfp, hpw, hbp, vfp, vpw, vbp;
};

// Smallest and largest value the controller's timing words can hold for each field; a settings
// value outside is programmed as the nearest of the two.
inline constexpr PanelTiming kTimingMin{1, 1, 3, 0, 0, 0};
inline constexpr PanelTiming kTimingMax{256, 64, 258, 255, 63, 255};

// What the controller runs since the last setLCDtiming(); htot, vtot and the durations, and the
// scan-position wait, are reckoned from it rather than from the settings.
extern PanelTiming lcdTiming;
extern uint32_t htot;
extern uint32_t vtot;
extern float msPerLine;
extern uint32_t msPerFrame;

// The settings' six fields limited to the ranges the panels and controller take.
PanelTiming programmableTiming();

// Programs the timing registers from the six settings fields and recomputes the durations.
void setLCDtiming();
// Build-default substitution for timing fields that hold 0xFF (RAM only).
void fillTimingDefaults();

void LCD_sigs_low();
void LCD_sigs_buf_ena(int on);
void LCD_sigs_active();
// Drives the two scan-direction lines from orient (0-3).
void setOrient(int orient);
