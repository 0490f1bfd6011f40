// The scrolling text box commands of the command chain. "stdump" is tested before "std", and
// "std" before the other "st" forms.
#pragma once

int row_stb_dump(char* line);    // "stdump %d"
int row_stb_define(char* line);  // "std %d %d %d %d %d %d" (define), "std %d" (query)
int row_stb_text(char* line);    // "stc %d", "sta %d" and "stp %d" with a quoted text
int row_stb_scroll(char* line);  // "sts %d %c %d", "sts %d %c"
int row_stb_show(char* line);    // "stg %d %d %d", "stg %d %d"
