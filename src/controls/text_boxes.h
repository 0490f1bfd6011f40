// Scrolling text boxes: screen rectangles of text lines in a fixed-pitch font. Lines appended at
// the bottom push the others up, lines prepended at the top push them down. Boxes 0 and 1 may be
// buffered: they keep the last 100 lines (80 characters each) in a ring, and the host moves the
// view through them line by line and column by column. A box draws with the drawing state that
// was current when it was defined, whatever the host's state is later, and every operation
// leaves the host's state as it found it.
#pragma once

#include <cstdint>

#include "drawing/drawing_state.h"
#include "media/fonts.h"

constexpr int kScrollBoxes = 10;
constexpr int kScrollBuffers = 2;  // boxes 0 and 1 can be buffered
constexpr int kScrollBufLines = 100;
constexpr int kScrollBufChars = 80;

// Box types.
constexpr int32_t kBoxUndefined = -1;
constexpr int32_t kBoxPlain = 0;
constexpr int32_t kBoxBuffered = 1;

// A saved drawing state that owns the entry of its font when that is a user font. The font
// module keeps the current user font in one shared slot, which the next selection of a user
// font overwrites; a state that only points at that slot would come back with the wrong font.
struct FrozenState {
    GdiRecord gdi;
    FontEntry userFont;
    char userFontName[kFontNameSize];
};

struct ScrollBox {
    int32_t type;
    int32_t x0, y0, x1, y1;  // the text area: absolute, inclusive, centred in the given rectangle
    int32_t dispLines;       // lines that fit
    int32_t dispChars;       // characters per line that fit
    int32_t fHt, fWd;        // line height and character width of the box's font
    int32_t numLines;        // lines on the screen, from the top row
    FrozenState state;       // font, colours and modes of the definition; normal text, left
};

// The lines of a buffered box. Ring indices are taken modulo kScrollBufLines; line 1 is the
// oldest stored line, at ring index bufTopLine.
struct ScrollBuffer {
    int32_t box;          // the box it belongs to, -1 unused
    int32_t curLine;      // ring index of the line on the box's top row
    int32_t curChar;      // column (from 0) at the box's left edge
    int32_t bufTopLine;   // ring index of the oldest line
    int32_t numBufLines;  // 0..kScrollBufLines
    char lines[kScrollBufLines][kScrollBufChars + 1];
};

extern ScrollBox stbCommon[kScrollBoxes];
extern ScrollBuffer stbBuffer[kScrollBuffers];
// The caller's drawing state while a box draws.
extern FrozenState stbTempState;

// Every box undefined, both buffers empty and unused (start-up and screen reset).
void STB_InitScrollTB_Resources();

// Defines box (0-9 plain, 0-1 buffered) over x0..x1, y0..y1 relative to the origin, in the
// current font, which must be fixed-pitch, with room for two lines of one character; the box
// must lie on the screen. Clears the text area. Returns 1, or 0 leaving the box as it was.
int STB_DefineScrollTB(int box, int type, int x0, int y0, int x1, int y1);
// Lines and characters that fit, and the buffer's size (100 and 80, or 0 and 0 for a plain
// box). Returns 0 for a box that is not defined.
int STB_QueryScrollTB(int box, int* lines, int* chars, int* bufLines, int* bufChars);

// The operations below return 1, or 0 without a message (no such box, text too long, a move
// that the box cannot make).

// Clears the box; a buffered box forgets its lines.
int STB_ClearScrollTB(int box);
// A new line at the bottom (plain boxes: at most dispChars characters; buffered: 80). A
// buffered box whose view is away from the end keeps its view and only stores the line.
int STB_AppendScrollTB(int box, const char* text);
// A new line at the top; a buffered box draws it only while its view shows the start.
int STB_PrependScrollTB(int box, const char* text);
// Moves a buffered box's view: 'U' to the oldest line, 'D' to the newest lines, 'L' to the
// first column, 'R' to the last (count 0); 'u', 'd' by count lines (1-99), 'l', 'r' by count
// columns (1-79), stopping at the buffer's edges. A move that leaves the view where it is draws
// nothing.
int STB_ScrollDisplay(int box, char direction, int count);
// Shows a buffered box from stored line `line` (1-100; a line beyond the stored ones shows the
// newest) and column (1-80, limited so that the view can reach the 80th character).
int STB_DisplayFromLineChar(int box, int line, int column);

// The "stdump" listing of a box, sent to the host: its record, and for a buffered box the buffer
// and every stored line from the oldest. Returns 0 after ":Invalid Index" for a number outside
// 0-9, else 1 (an undefined box is listed as such).
int STB_Dump(int box);
