// The sliders' rows of the command chain.
#pragma once

// "sl" (eleven numbers: define a slider), "sv %d %d" (set its value).
int row_slider(char* line);
// "slc" (fifteen numbers) and "svc %d %d": circular sliders, which this firmware cannot define,
// so these lines are recognised only to be refused.
int row_circular_slider(char* line);
