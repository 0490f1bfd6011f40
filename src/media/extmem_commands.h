// Commands of the external memory that need no bitmap/macro file (rows of the command chain).
#pragma once

// "xmpmax" (the longest data line "xmp" takes) and "fopen" (the SD card write test), which
// share one row of the chain.
int row_extmem_limits(char* line);
