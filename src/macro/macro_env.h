// What the macro module needs from the modules above it: the touch dispatcher that runs between
// macro lines, the abort requests waiting in the host's receive ring, and the values of the
// expansion items that other modules own. Declared here, implemented by touch, controls and the
// serial core, as base/interpreter.h is by the command module.
#pragma once

#include <cstdint>

// One step of the touch dispatcher (touch), so touches are served between macro lines.
void macroServeTouch();
// The last line received is "*abt" (core).
int macroAbortRequested();
// ESC then CR waits in the host's receive ring (core).
int macroEscapeWaiting();

// The expansion items that read other modules' state. Each returns 1 and sets *value, or 0 when
// there is no value (the item then expands to nothing).
//   which: 'r' relative to the touched hotspot, 'a' absolute; axis: 'X' or 'Y' (touch).
int macroTouchPoint(char which, char axis, int32_t* value);
// Board temperature in tenths of a degree Celsius (touch).
int macroTemperatureTenths(int32_t* value);
// Current value of linear slider n, else of circular slider n (controls).
int macroSliderValue(int n, int32_t* value);
// The host port's baud rate (core).
uint32_t macroHostBaud();
