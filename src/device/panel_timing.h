// The LCD controller set-up and the panel timing derived from the settings.
#pragma once

#include <cstdint>

extern uint32_t htot;
extern uint32_t vtot;
extern float msPerLine;
extern uint32_t msPerFrame;

// Programs the timing registers from the six settings fields and recomputes the durations.
void setLCDtiming();
// Build-default substitution for timing fields that hold 0xFF (RAM only).
void fillTimingDefaults();

void LCD_sigs_low();
void LCD_sigs_buf_ena(int on);
void LCD_sigs_active();
// Drives the two scan-direction lines from orient (0-3).
void setOrient(int orient);
