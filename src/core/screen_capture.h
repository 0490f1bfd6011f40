// The screen saved to the SD card as a BMP file ("*getScreenAsBMPFile").
#pragma once

#include <cstdint>

// The row of the command chain.
int row_screen_capture(char* line);

// Saves the whole screen in the SD card's current directory as "VOXA%04d.BMP" with the first
// free number (0 to 999); the name is copied to name (13 bytes) when it is not null. 1 when the
// file was written whole, 0 after a message to the host.
int KV_ScreenCapture(char* name);

// The byte sink the BMP serialiser writes the capture through; file is the open FS_FILE. False
// once a write has failed.
bool WriteByte2File(uint8_t byte, void* file);
