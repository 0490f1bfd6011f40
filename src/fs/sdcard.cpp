#include "fs/sdcard.h"

// The board has no SD card driver yet: the slot reads as empty.
void SDhotplugUpdate() {}
void SDcheckHotplug() {}
int SDisInitialized() { return 0; }
