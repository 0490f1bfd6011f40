// The host's commands on the Flash2 window: "xma" (sizes), "xmc" (erase) and "xmp" (program from
// text lines).
#pragma once

// "xma"; "xmc %x %d" (key 0xFEEC or 0xFEEB, optional sector; without one every sector of the
// window); "xmp %x %x %d" (offset high and low halves, verbose), which runs the line protocol
// until the end escape or an error. Binary command lines are not recognised during "xmp" (its
// data lines are plain text whatever their bytes); recognition comes back at every exit unless
// "*BMOFF" switched it off for good.
int row_extmem(char* line);
