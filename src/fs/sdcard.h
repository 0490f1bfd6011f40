// The SD card slot: card detect and mounting.
#pragma once

// Card-detect debounce; called once per millisecond by the timer interrupt.
void SDhotplugUpdate();
// Main-loop side of the hot-plug handling: mounts a card that was inserted.
void SDcheckHotplug();
// 1 when a mounted card is available.
int SDisInitialized();
