#include "macro/macro.h"

uint8_t macroVerbose;
int macroDepth;

// Nothing can queue a macro until macros are stored; the queue is always empty.
int pendingMacro() {
    return 0;
}
void processScheduledMacro() {}
void KV_Macro_Init() {}
