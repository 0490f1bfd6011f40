// Command rows of touch sensing, its settings and diagnostics (rows of the command chain).
#pragma once

int row_touch_trace_clear(char* line);  // "tclr"
int row_debug(char* line);              // "*debug %d"
int row_temp(char* line);               // "temp"
int row_touch_parm(char* line);         // "*touchParm"
int row_debounce(char* line);           // "*debounce"
int row_get_touch(char* line);          // "*getTouch"
int row_default_cal(char* line);        // "*KV"
int row_ever(char* line);               // "*ever"
int row_debug_touch(char* line);        // "*debugTouch %d"
int row_touch_swap(char* line);         // "*touchSwap"
int row_touch_trace(char* line);        // "*tt", "*ttt"
int row_touch_diag(char* line);         // "*td", "*tr", "*td2"
int row_cal_point(char* line);          // "*gcp %d %d"
int row_touch_settings(char* line);     // "*autoCal", "*tspan", "*tplo", "*tphi", ...
int row_touch_mode(char* line);         // "*touchMode"

// "%+05.1f" of a temperature in tenths of a degree, or "*****" (no line end) outside -30.0 to
// 99.9; buf holds at least 8 bytes.
void touch_format_temperature(int tenths, char* buf, int size);
