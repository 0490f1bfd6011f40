// Commands of the hotspots and of touch dispatch (rows of the command chain). Each returns a
// command result code, or kNoMatch when the line is not its command.
#pragma once

int row_typematic(char* line);        // "typematic", "typematics", with delay and repeat
int row_hotspot(char* line);          // "x %d %d %d %d %d"
int row_hotspot_kinds(char* line);    // "xs", "xsnb", "xt", "xst", "xxy", "xxynb"
int row_hotspot_options(char* line);  // "xset %d %c%c"
int row_hotspot_disable(char* line);  // "xd %d", "xd %d %d", "xd all"
int row_hotspot_enable(char* line);   // "xe", "xes": one, a range, "all"
int row_touch(char* line);            // "touch", "touch on", "touch off"
int row_apt(char* line);              // "*apt"
int row_reports_off(char* line);      // "*xn off"
int row_hotspot_remove(char* line);   // "xc all", "xc %d"
