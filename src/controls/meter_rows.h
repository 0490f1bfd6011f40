// Rows of the command chain for the needle meters.
#pragma once

int row_meter_define(char* line);  // "md ", "mdb "
int row_meter_value(char* line);   // "mv %d %d"
int row_meter_band(char* line);    // "mvb %d %d %d %d %d %d %3s %3s", 2 to 8 items
