// Reading the words of a control's command line one at a time, as the definitions with their
// open-ended lists of pairs need it.
#pragma once

#include "gui/gui.h"

// The next word of the line, or null at its end; *rest moves past it (null after the last).
char* next_word(char** rest);
// The next word as a decimal number.
bool next_number(char** rest, int* value);
// The next word as a colour the host may use here: the three- or six-character forms only,
// converted to the library's colour value.
bool next_colour(char** rest, GUI_COLOR* colour);
