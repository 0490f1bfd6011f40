// The host commands of the bitmap buttons. Each returns a command result code, or kNoMatch when
// the line is not its command.
#pragma once

int row_button_state(char* line);  // "ssb %d %d"
int row_button(char* line);        // "bd", "bdc" (four numbers, then texts), "bc %d"
