// Start-up and run-time loading of the bitmap/macro file: the load order of the card, splash.bmp,
// flash2.ini and the Flash2 window, the copy into the window with its progress display, the demo
// macro of rundemo.ini, and the commands that load ("*LOAD", "*LOADF", "*flash2ram", "*sdload").
#pragma once

#include <cstdint>

struct FS_FILE;

// Progress display for long flash work: the build's progress font, a cleared screen, the title
// at the origin + (10, 10); each dot toggles the SD card LED, a new line every 64 dots.
void startProgressDots(const char* title);
void addProgressDot();

// Copies the image of size bytes in the RAM area (already relocated for the window) into the
// Flash2 window: sectors that do not read erased are erased, the image is programmed with its
// magic left erased, verified, and the magic is programmed last, so that an interrupted copy
// never leaves an image that passes the header check. 0 on success, else a failure code.
int CopyMemToFlash2(uint32_t size);
// Loads the opened file into the RAM area, relocates it for the window and copies it there. 0
// on success; 21 when the file could not be read (with its message), another code when the
// flash could not be erased, programmed or verified.
int CopyBinFileToFlash2(FS_FILE* file, const char* name);

// The start-up load order (also "*LOAD"); 1 when an image is ready.
int KV_Load_ExtMem();
// The demo macro number from rundemo.ini (low 8 bits of "demomac"), 0 when there is none.
int KV_Check_Demo();
// rundemo.ini larger than this (less one byte for the terminator) is not loaded.
constexpr uint32_t kDemoFileBufferSize = 1024;

int row_loadf(char* line);      // "*LOADF", "*loadf"
int row_load(char* line);       // "*LOAD", "*load"
int row_sdload(char* line);     // "*sdload %16s" [macro]
int row_flash2ram(char* line);  // "*flash2ram"
