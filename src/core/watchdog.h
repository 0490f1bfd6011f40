// The communication watchdog: a macro run from its labels when the host falls silent
// (":st_down" after the short timeout, ":lt_down" after the long one) and when it speaks again
// (":st_up", ":lt_up").
#pragma once

#include <cstdint>

// Arms it: the macro whose labels run, the short timeout and the long one (0: none), in
// seconds; the silence is measured from now.
void setupCommWatchDog(int macro, int shortSeconds, int longSeconds);
void disableCommWatchDog();
// One step; called by the main loop right after it has looked for a complete line.
void processCommWatchDog(int lineAvailable);

// "*comwdt off", "*comwdt" macro short [long] (row of the command chain).
int row_comwdt(char* line);
