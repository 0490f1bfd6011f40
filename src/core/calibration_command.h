// The touch calibration command: it resets the screen afterwards, which only the start-up code
// (this module) can do.
#pragma once

int row_calibrate(char* line);  // "tc"
