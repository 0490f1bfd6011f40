// The drawing state that the screen commands share beside the graphics library's context: the
// colour syntax of the host, the drawing origin, the saved-state records and the polygon
// buffer.
#pragma once

#include <cstdint>

#include "gui/gui.h"
#include "media/fonts.h"

// The fixed palette of "s", as library colour values.
constexpr int kColorMapSize = 20;
extern const GUI_COLOR color_map[kColorMapSize];

// Host colour text as RRGGBB: three characters are the short form (each digit doubled; a digit
// that is not hexadecimal counts as 0), six are read as hexadecimal; leading white space is
// skipped. Any other length gives -1.
int atoRGB(const char* text);
// atoRGB with red and blue exchanged: the library value. An invalid text comes out white.
GUI_COLOR atoBGR(const char* text);
// RRGGBB <-> 0x00BBGGRR (the same exchange both ways).
GUI_COLOR swapRB(uint32_t value);

// The drawing origin: every coordinate of a drawing command is relative to it.
extern int Origin_X;
extern int Origin_Y;
// The origin added to a command coordinate, saturated to the int range.
int atOriginX(int x);
int atOriginY(int y);

// The text mode name that "tm" and "*STATE" report (one of "N", "R", "TR", "T", "X").
extern const char* curTextMode;

// One saved drawing state.
struct GdiRecord {
    GUI_COLOR bkColor;
    GUI_COLOR color;
    uint8_t penSize;
    uint8_t lineStyle;
    uint8_t drawMode;
    uint32_t textAlign;
    int32_t originX;
    int32_t originY;
    int32_t cursorX;  // absolute
    int32_t cursorY;
    const char* textModeName;
    uint32_t textMode;
    const FontEntry* font;  // the current font entry (KV_GetFontPtr)
};

// One record per macro nesting level ("ss"/"sr" use GDIState[macroDepth]) and the animation
// runner's own.
constexpr int kGdiStateSlots = 5;
extern GdiRecord GDIState[kGdiStateSlots];
extern GdiRecord AniGDI;

void SaveState(GdiRecord* record);
// A record that was never saved holds zeros: black on black, pen 0, origin 0, 0; its missing
// text mode name reads as "N" (the mode it restores, 0, is normal) and it keeps the font. The
// font is selected again as "f" would (a user font rebuilt into CmdFont), so the name "f"
// reports comes back with it.
void RestoreState(const GdiRecord* record);

// The left text border: x at which a new text line starts (the library's left border, kept here
// too because saved states do not carry it).
void GUIDEMO_SetTextBorder(int x);
int GUIDEMO_GetTextBorder();

// Origin := (x, y), cursor := (x, y), left text border := x.
void setOrigin(int x, int y);
// Cursor and left text border at (x, y) relative to the origin.
void setCursor(int x, int y);

// Rectangle with absolute corners: type 0 outline with the pen, 1 filled, 2 dotted outline,
// 3 outline with a one-pixel pen. Returns 1, or 0 for any other type (nothing drawn).
int GUIDEMO_DrawRect(int type, int x0, int y0, int x1, int y1);

// The polygon buffer: reference point x0, y0, then up to 10 points relative to it.
constexpr int kPolyMaxPoints = 10;
constexpr int kPolyValues = 2 + 2 * kPolyMaxPoints;
extern int16_t v[kPolyValues];
extern int polyCount;  // points of the last polygon command
extern int polyFill;   // 1: the last polygon was filled
extern uint8_t angleSense;

// Drawing state at power-on (origin 0, 0, text mode name "N", text border 0; the records are
// not touched).
void KV_DrawingState_Init();
