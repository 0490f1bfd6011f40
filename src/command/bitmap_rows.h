// The commands that draw stored bitmaps (rows of the command chain). Each returns a command
// result code, or kNoMatch when the line is not its command.
#pragma once

int row_bitmap(char* line);        // "xi %d%d%d"
int row_image_file(char* line);    // "xif %16s %d%d"
int row_bitmap_forms(char* line);  // "xit %d%d%d%x", "xim %d%d%d", "xic" (7), "xio" (6)
