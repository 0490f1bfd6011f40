// The communication watchdog: macros run when the host link goes quiet or comes back.
#pragma once

// One step; called by the main loop right after it has looked for a complete line.
void processCommWatchDog(int lineAvailable);
