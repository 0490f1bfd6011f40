// The record listing of the current bitmap/macro file ("ls", "lsbmp", "lsbmp %d").
#pragma once

// Lists the records of the current image for a line that starts with "ls" and is not "lsmac":
// "lsbmp" with the descriptor dumps of its bitmaps and the total, "lsbmp %d" one record with
// its dump, any other such line all records without dumps. Returns the command result.
int KV_ListRecords(const char* line);

// Pixel bytes shown by a descriptor dump (fewer when the record holds fewer).
constexpr int kListedPixelBytes = 16;
