#include "macro/hotspot_macros.h"

// Macros cannot be stored yet, so no hotspot can be bound to one: nothing is ever queued and
// there are no arguments to keep. The macro runner fills these in.

const char* setQueuedMacroLabel(int, int) {
    return "";
}
const char* getMacroArgs(int, int) {
    return nullptr;
}
void scheduleMacro(int, const char*) {}
void releaseMacroArgs(int, int) {}
void clearMacroArgStore() {}
