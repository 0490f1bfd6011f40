// Check values (CRC-16/MODBUS) of the frame buffer and of the boot flash's areas: the firmware's
// program and boot areas and the Flash2 window.
#pragma once

// "*CRC" (the panel's part of the frame buffer, width x height pixels in memory order), "*CSUM"
// (the program area), "*CSUMB" (the boot area), "*CEXT" with a range of the Flash2 window, with
// one value (refused) or alone (the bitmap/macro file the window holds). A range must lie inside
// the window, its end not below its start: anything else is refused with ":invalid argument\r".
int row_memory_checks(char* line);
