// Rows of the command chain for text and fonts: drawing text at the cursor, at a position or in
// a box, the text mode, alignment and encoding, and font selection and listing.
#pragma once

int row_text_plain(char* line);   // "tu "
int row_text_width(char* line);   // "t? \""
int row_text(char* line);         // "ts", "t "
int row_text_inline(char* line);  // "T \""
int row_text_align(char* line);   // "ta"
int row_text_mode(char* line);    // "tm"
int row_font(char* line);         // "f", "f?", "f %9s"
int row_utf8(char* line);         // "utf8"
