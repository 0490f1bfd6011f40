// The touch-to-macro queue and the store of macro arguments bound to hotspots, as the touch
// module calls them when a hotspot with a macro is pressed or released, freed or cleared.
#pragma once

// Builds the label the queued macro starts at (":x%d", ":r%d", ":s%d_%d" or empty) for a press
// (event 1) or release (event 0) of a hotspot; returns it.
const char* setQueuedMacroLabel(int spot, int event);
// The argument text bound to a hotspot's press (isPress 1) or release macro, or null.
const char* getMacroArgs(int spot, int isPress);
// Queues macro n (0 does nothing) to run from the main loop with a copy of args (null: none).
void scheduleMacro(int n, const char* args);
// Frees the argument slot of one hotspot event.
void releaseMacroArgs(int spot, int isPress);
// Frees every argument slot.
void clearMacroArgStore();
