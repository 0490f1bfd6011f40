// The panel's host commands: timing fields, the interactive timing adjustment, orientation, the
// VQ line and the peripheral register peek and poke. Each returns a command result code, or
// kNoMatch when the line is not its command.
#pragma once

int row_touchadj(char* line);      // "*touchadj"
int row_vq(char* line);            // "*vq", "*vq %d"
int row_panel_timing(char* line);  // "*hpw", "*hfp", "*hbp", "*vpw", "*vfp", "*vbp" [value]
int row_paneladj(char* line);      // "*paneladj"
int row_registers(char* line);     // "*R16 %x", "*R %x %x", "*W %x %x"
int row_orient(char* line);        // "*orient", "*orient %d"
