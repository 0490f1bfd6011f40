// The bitmap/macro file on the SD card: finding it, checking its header and loading it into the
// RAM area. The start-up order, the copy into the Flash2 window and the commands that use these
// are the core's (they need the panel's progress display and the backlight).
#pragma once

#include <cstdint>

struct FS_FILE;

// The card's file name ("VOXA....BIN") as findVoxaBin returns it.
constexpr int kBinNameSize = 13;

// The first entry of the current directory whose name starts with "voxa" and whose extension is
// "bin" (case ignored): 1 with its name, else 0.
int findVoxaBin(char* nameOut);
// Header checks of an opened file, each refusal with its message; 1 when acceptable.
int SDvalidateBin(FS_FILE* file);
// Reads length bytes of the opened file from its start into the RAM area in the file system's
// largest pieces; false on a short read.
bool SD_ReadWholeFile(FS_FILE* file, uint8_t* destination, uint32_t length);
// Loads the opened (validated) file into the RAM area, relocates it and makes it current:
// ":loading %dKB bitmap/macro file from SD card...\r", ":SD card error %d\r" on a short read.
// Returns 1 on success.
int SDLoadBinFileToRam(FS_FILE* file);
// findVoxaBin, open, SDvalidateBin, SDLoadBinFileToRam, close. Returns 1 on success.
int KV_Load_VoxaBin_To_ExtMem();
