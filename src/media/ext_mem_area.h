// The external-memory RAM area: SDRAM that holds the bitmap/macro file loaded from the SD card,
// and, before that file is loaded at start-up, the scratch space into which config.ini and
// splash.bmp are read whole.
#pragma once

#include <cstdint>

// The board's SDRAM window for it (0xC0400000 on the module); the linker places the array
// there on the board, the simulator keeps it as ordinary memory that is only paged in where it
// is written.
constexpr uint32_t kExtMemSize = 0x1BC0000;
extern uint8_t ExtMemRamBuffer[kExtMemSize];
// Where the area lies on the module: the address a RAM image's locations are relocated for, so
// that listings show what the module shows.
constexpr uint32_t kExtMemRamAddress = 0xC0400000;
