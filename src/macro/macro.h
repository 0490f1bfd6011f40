// Macros: the queue of macros scheduled by touches and commands, and their runner.
#pragma once

#include <cstdint>

// Nesting depth of the running macro: 0 for host lines, up to 4. Selects the saved drawing
// state of "ss"/"sr".
extern int macroDepth;

// The queued macro number, 0 if none.
int pendingMacro();
// Runs the queued macro, if any.
void processScheduledMacro();
// Macro state at start-up.
void KV_Macro_Init();
