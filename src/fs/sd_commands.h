// Host commands on the SD card (rows of the command chain).
#pragma once

constexpr int kDirectoryNameSize = 17;
// The directory named by the last "*cd" (or "*sdload"), at most 16 characters.
extern char directory[kDirectoryNameSize];

int row_ls(char* line);     // "*ls": list the current directory
int row_cd(char* line);     // "*cd %16s": change directory
int row_sdled(char* line);  // "*sdled %d": the card's LED
int row_fopen(char* line);  // "fopen": write test, mytest.ini of 10,240 bytes
