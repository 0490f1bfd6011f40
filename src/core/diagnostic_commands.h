// Diagnostics that look at what the firmware itself produces: a frame-buffer row as numbers and
// the time a command line takes (rows of the command chain).
#pragma once

// "*FB %d": the row's pixels as "%04X," pieces, the last without a comma, no line end. Rows
// outside the panel are refused.
int row_fb_dump(char* line);

// "*speedtest n <command>": runs the command n times and replies the mean time per run in
// milliseconds. n below 1, or no command between the angle brackets, is refused without running
// anything.
int row_speedtest(char* line);
