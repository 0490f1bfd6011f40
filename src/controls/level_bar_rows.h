// The level bar commands of the command chain.
#pragma once

int row_level_bar(char* line);  // "ld" bar x0 y0 x1 y1 orientation invert minimum background
                                // [value colour]..., "lv %d %d"
