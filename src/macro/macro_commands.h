// Commands that run macros and choose the start-up macros (rows of the command chain). Each
// returns a command result code, or kNoMatch when the line is not its command.
#pragma once

// "m" n [args], "m" name [args], with an optional label; the binary line 0x82 'M' n.
int row_macro_run(char* line);
int row_start_macros(char* line);  // "*PONMAC", "*DEMOMAC", "*SPL"
