#include "macro/macro.h"

int macroDepth;

// Nothing can queue a macro until macros are stored; the queue is always empty.
int pendingMacro() {
    return 0;
}
void processScheduledMacro() {}
void KV_Macro_Init() {}
