// Erasing and programming the Flash2 window, where a bitmap/macro file is kept and used in
// place. Offsets and sector numbers count from the window's start; nothing here can reach the
// firmware's own image below it.
#pragma once

#include <cstdint>

constexpr int kFlash2Sectors = 222;

// Results of KV_ExtMem_ProgramArea.
constexpr int kProgramOk = 0;
constexpr int kProgramPastEnd = 1;  // offset + length leaves the window
constexpr int kProgramNoData = 2;
// The board refused a block (or the device failed it): what was written before stays. The
// host commands turn this into their write-failure replies like any other non-zero result.
constexpr int kProgramRefused = 3;
constexpr int kProgramOddLength = 5;

// Programs length bytes (even) from data at the window offset. The range must read erased to
// read back as data (NOR programming only clears bits). The write goes to the board in blocks
// that never cross a 64 KB boundary. Checks in the order odd length, null data, range; a zero
// length programs nothing and succeeds.
int KV_ExtMem_ProgramArea(uint32_t offset, const uint8_t* data, uint32_t length);

// Erases 128 KB sector n of the window (0 .. kFlash2Sectors - 1) unless it already reads erased.
// 0 on success; non-zero for a sector outside the window (nothing is touched) or when the board
// fails the erase.
int KV_ExtMem_Erase_Sector(int n);
