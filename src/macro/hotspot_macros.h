// The store of argument strings bound to hotspots' press and release macros ("xa"): 100 slots
// whose text lives in one 8000-byte pool. Pool space is handed out in order and never given
// back; a freed slot keeps its text area for a later string that fits it.
#pragma once

constexpr int kArgStoreSlots = 100;
constexpr int kArgStorePoolSize = 8000;

// Binds text to the press (isPress 1) or release macro of spot. Returns 1, or 0 after its
// message when no slot or no pool space is left.
int assignMacroArgs(int spot, int isPress, const char* text);
// The argument text bound to a hotspot's press or release macro, or null.
const char* getMacroArgs(int spot, int isPress);
// Frees the slot of one hotspot event (its text area stays with the slot).
void releaseMacroArgs(int spot, int isPress);
// Frees every slot and empties the pool.
void clearMacroArgStore();
// Pool bytes never handed out.
int getMacroArgBytesAvailable();
