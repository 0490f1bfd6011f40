// The SD card slot: card detect, mounting, the card's LED and the host controller's status.
#pragma once

#include <cstdint>

// Card-detect debounce; called once per millisecond by the timer interrupt.
void SDhotplugUpdate();
// Main-loop side of the hot-plug handling: mounts a card that was inserted (powering and
// initialising it first) and forgets one that was removed.
void SDcheckHotplug();
// 1 when a mounted card is available.
int SDisInitialized();
// Start-up: brings up the card that sits in the slot and mounts it; the outcome sets the
// hot-plug state (initialised or failed). Returns 1 when a card is mounted.
int initialize_media();

// SD card LED (also "*sdled").
void SD_led(int on);
void SD_ledToggle();

// The SD host controller's error bits after the last transfer: 1 when none is set. With report
// set, each error found is sent to the host (in a fixed order).
int KVReportSDStatusErrors(int report);
