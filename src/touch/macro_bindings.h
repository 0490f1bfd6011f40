// Hotspots and the macros bound to them: the labels a touch starts its macro at, and the
// commands that bind macros ("xm", "xmq", "xa", "xaq") and list them ("lsmac").
#pragma once

// Builds the label the queued macro starts at from the hotspot's type and label flags, for a
// press (event 1) or release (event 0); for a two-state button the event is its new state.
// Stores it in macroQueuedLabel and returns it (empty when none).
const char* setQueuedMacroLabel(int spot, int event);
// Whether label suits the press (event 1) or release (event 0) macro of spot; if so, sets the
// matching label flag and returns 1; else sends why and returns 0.
int checkQueuedMacroLabel(int spot, const char* label, int event);

int row_list(char* line);         // "lsmac" [n]; the other "ls" forms list the file's records
int row_macro_args(char* line);   // "xa", "xa"/"xaq" spot event macro [args]
int row_macro_bind(char* line);   // "xm"/"xmq" spot press[:label] [release[:label]]
