// Check values (CRC-16/MODBUS) of the boot flash's areas: the firmware's program and boot areas
// and the Flash2 window.
#pragma once

// "*CSUM" (the program area), "*CSUMB" (the boot area), "*CEXT" with a range of the Flash2
// window, with one value (refused) or alone (the bitmap/macro file the window holds). A range
// must lie inside the window, its end not below its start: anything else is refused with
// ":invalid argument\r". The frame-buffer check "*CRC" is not this row's: it hands it on.
int row_memory_checks(char* line);
