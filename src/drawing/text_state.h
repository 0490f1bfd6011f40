// The text mode the text commands keep beside the graphics library's, and the text output
// helpers they share with the controls that draw text.
#pragma once

#include <cstdint>

// The mode last accepted by setTextMode; texts drawn without a mode word use it again.
extern uint8_t lastTextMode;

// Text state at power-on: lastTextMode normal.
void KV_Text_Init();

// Takes a mode word by its start: "N" normal, "R" reverse, "TR" transparent and reverse, "T"
// transparent, "X" XOR, tried in this order (so "TRx" is transparent and reverse, "Tx"
// transparent). On a match sets lastTextMode, the library's text mode and the mode name
// (curTextMode) and returns 1; otherwise changes nothing and returns 0.
int setTextMode(const char* word);
// The same, also telling how many characters of word the mode name took (0 when none).
int setTextModeLength(const char* word, int* length);
int getTextMode();

// Draws s at the absolute position (x, y) with the current font, mode and alignment. A first
// byte ESC (0x1B) draws the rest of s as UTF-8 without changing the encoding setting. After
// right-aligned text the cursor and left border go to the text's left end, so that the next
// right-aligned text continues to its left.
void KV_DispStringAt(const char* s, int x, int y);
// Draws s centred both ways in the absolute rectangle, with the same ESC rule.
void KV_DispStringCenter(const char* s, int x0, int y0, int x1, int y1);

// The letters of "ta" for an alignment: horizontal L, C or R and vertical T, C, B or L
// (baseline); X for a value with no letter.
char alignLetterH(int align);
char alignLetterV(int align);
