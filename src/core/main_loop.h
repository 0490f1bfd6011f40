// Start-up and the main loop: the spine of the firmware.
#pragma once

#include <cstdint>

#include "core/serial.h"

extern char myBuf[kLineBufSize];
extern char expBuf[kLineBufSize];
extern char locBuf[kLineBufSize];
extern uint8_t splashShown;
extern uint8_t macroNotify;    // which ends of a queued macro are announced ("*macnote")
extern uint32_t userLedState;  // the host has taken the user LED for itself

// The values of macroNotify that announce something; any other value announces nothing.
constexpr uint8_t kMacroNotifyStart = 1;  // "m%d\r" before the macro runs
constexpr uint8_t kMacroNotifyEnd = 2;    // "e%d\r" after it
constexpr uint8_t kMacroNotifyBoth = 3;

void InitEverything();
// What KV_main does before the main loop: the stored settings, the ports, the modules' state,
// the graphics library and the panel switched on.
void power_on_init();
// Programs the LCD controller for this build's panel and starts the graphics library on the
// board's frame buffer (the panel's size, rows without gaps).
void KV_GUI_Init();
[[noreturn]] void KV_main();
// The main loop: its set-up (screen, banner, first prompt), then passes forever.
[[noreturn]] void GUIDEMO_main();
// The two halves of GUIDEMO_main, for benchmarks that drive the loop one pass at a time. A pass
// serves the card slot, the touch panel, animations and queued macros, then takes at most one
// host line and sends its reply; it idles only when it found nothing to do.
void main_loop_setup();
void main_loop_pass();

// Screen reset: clears the controls, origin to (0, 0); how = -1 keeps the picture, 0 clears to
// the background colour, another value draws that bitmap at (0, 0). Text cursor and left border
// go to 0.
void GUIDEMO_Clear(int how);

// Writes the version text ("VOXA5-PLUS V1.4.0 WVGA " and the configuration name in quotes when
// one is set). buf must hold kVersionTextSize bytes.
constexpr int kVersionTextSize = 64;
void KV_Copy_Version(char* buf);

// The start-up banner, line by line (1-based; 0 when the line is not shown). Each line fits
// kLineBufSize.
int KV_BannerLine(int line, char* buf);

// Log hooks of the graphics library.
void GUI_X_Init();
void GUI_X_Warn(const char* s);
void GUI_X_ErrorOut(const char* s);
void GUI_X_Log(const char* s);
