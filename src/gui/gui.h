// The graphics library: the only code that writes pixels into the frame buffer.
//
// One drawing context for the whole system holds colours, pen, draw mode, text state and the
// clip rectangle; the primitives read it. Every primitive clips to the clip rectangle and to the
// screen, whatever its coordinates, so no call can write outside the frame buffer. Coordinates
// are screen pixels (int); the contract is 16-bit, larger values are clipped, not wrapped.
// Radii above kGuiMaxRadius are treated as kGuiMaxRadius; negative radii draw nothing.
//
// Draw modes: in XOR mode every pixel a primitive touches is inverted exactly once (thick lines,
// joints of polylines and polygon outlines included), so drawing a figure twice restores the
// screen. GUI_Clear and GUI_ClearRect always paint the background colour.
#pragma once

#include <cstdint>

// Colour value 0x00BBGGRR.
using GUI_COLOR = uint32_t;

struct GUI_POINT {
    int16_t x;
    int16_t y;
};

// Inclusive on all sides; x1 < x0 or y1 < y0 is empty.
struct GUI_RECT {
    int16_t x0;
    int16_t y0;
    int16_t x1;
    int16_t y1;
};

// The font of text output (GUI_Init selects GUI_FontArial10).
#include "gui/font.h"

constexpr int kGuiMaxRadius = 0x7FFF;

// Draw modes.
constexpr int GUI_DRAWMODE_NORMAL = 0;
constexpr int GUI_DRAWMODE_XOR = 1;
// Skips pixel value 0 of 16-bit run-length bitmaps (the transparent colour of compressed
// bitmaps); other primitives ignore it.
constexpr int GUI_DRAWMODE_TRANS = 2;

// Text modes.
constexpr int GUI_TM_NORMAL = 0;
constexpr int GUI_TM_XOR = 1;
constexpr int GUI_TM_TRANS = 2;
constexpr int GUI_TM_REV = 4;
constexpr int GUI_TM_TRANSREV = GUI_TM_TRANS | GUI_TM_REV;

// Text alignment: one horizontal value or-ed with one vertical value.
constexpr int GUI_TA_LEFT = 0;
constexpr int GUI_TA_RIGHT = 1;
constexpr int GUI_TA_HCENTER = 2;
constexpr int GUI_TA_HORIZONTAL = 3;
constexpr int GUI_TA_TOP = 0;
constexpr int GUI_TA_BOTTOM = 4;
constexpr int GUI_TA_BASELINE = 8;
constexpr int GUI_TA_VCENTER = 12;
constexpr int GUI_TA_VERTICAL = 12;

constexpr int GUI_LS_SOLID = 0;

// Character encodings of the text functions.
constexpr int GUI_ENCODE_NONE = 0;
constexpr int GUI_ENCODE_UTF8 = 1;

// Wrap modes of GUI_DispStringInRectWrap.
constexpr int GUI_WRAPMODE_NONE = 0;
constexpr int GUI_WRAPMODE_WORD = 1;
constexpr int GUI_WRAPMODE_CHAR = 2;

// Rotations of GUI_DispStringInRectEx (the direction the text is turned on the screen).
constexpr int GUI_ROTATE_0 = 0;
constexpr int GUI_ROTATE_CCW = 1;  // reads from bottom to top
constexpr int GUI_ROTATE_180 = 2;  // upside down
constexpr int GUI_ROTATE_CW = 3;   // reads from top to bottom

struct GUI_CONTEXT {
    GUI_RECT ClipRect;  // as set; drawing uses its intersection with the screen
    GUI_COLOR Color;
    GUI_COLOR BkColor;
    uint16_t ColorIndex;  // the two colours as RGB565 pixels
    uint16_t BkColorIndex;
    uint8_t PenSize;
    uint8_t LineStyle;
    uint8_t DrawMode;
    uint8_t TextMode;
    uint16_t TextAlign;
    uint8_t Encoding;
    char DecChar;  // decimal separator of number output
    const GUI_FONT* pFont;
    int DispPosX;  // text cursor
    int DispPosY;
    int LBorder;  // x at which a new text line starts
    int OrgX;     // display origin: the frame buffer holds exactly the screen, so it stays 0, 0
    int OrgY;
};

// ---------------------------------------------------------------------------------------------
// Initialisation and queries

// The largest display the library can draw on (its XOR coverage mask is sized for it).
constexpr int kGuiMaxWidth = 800;
constexpr int kGuiMaxHeight = 600;

// Where the library draws: width x height RGB565 pixels, pixel (x, y) at
// frameBuffer[y * stride + x]. The library knows no other screen than this one.
struct GUI_DISPLAY {
    uint16_t* frameBuffer;
    int width;
    int height;
    int stride;  // pixels from one row to the next, at least width
};

// Takes the display to draw on, sets the context defaults (clip rectangle = the whole display)
// and sets the origin to (0, 0). Returns 0 on success; non-zero, changing nothing, for a null
// display or one the library cannot draw on (empty, larger than kGuiMaxWidth x kGuiMaxHeight,
// stride below width). Programming the LCD controller is the caller's business.
int GUI_Init(const GUI_DISPLAY* display);
int LCD_GetXSize();
int LCD_GetYSize();

// Copies the whole drawing context out and back.
void GUI_SaveContext_M(GUI_CONTEXT* copy);
void GUI_RestoreContext(const GUI_CONTEXT* copy);

// ---------------------------------------------------------------------------------------------
// Colours: pixel = ((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3); back: each field x 255 / max.

uint16_t LCD_Color2Index_M565(GUI_COLOR color);
GUI_COLOR LCD_Index2Color_M565(uint16_t index);
uint16_t LCD_L0_Color2Index(GUI_COLOR color);
GUI_COLOR LCD_Index2Color(uint16_t index);

// ---------------------------------------------------------------------------------------------
// State. Setters that return a value return the previous one.

GUI_COLOR GUI_SetColor(GUI_COLOR color);
GUI_COLOR GUI_GetColor();
GUI_COLOR GUI_SetBkColor(GUI_COLOR color);
GUI_COLOR GUI_GetBkColor();
uint16_t GUI_GetColorIndex();
uint16_t GUI_GetBkColorIndex();

// The pen is kept in 8 bits (the value is taken modulo 256). Primitives draw a pen of 0 as 1.
int GUI_SetPenSize(int width);
int GUI_GetPenSize();
int GUI_SetLineStyle(int style);
int GUI_GetLineStyle();
int GUI_SetDrawMode(int mode);
int GUI_GetDrawMode();
int GUI_SetTextMode(int mode);
int GUI_GetTextMode();
int GUI_SetTextAlign(int align);
int GUI_GetTextAlign();
// A null font is ignored; returns the previous font.
const GUI_FONT* GUI_SetFont(const GUI_FONT* font);
const GUI_FONT* GUI_GetFont();
int GUI_SetLBorder(int x);
int GUI_GetLBorder();
char GUI_SetDecChar(char c);
char GUI_GetDecChar();

void GUI_GotoXY(int x, int y);
void GUI_GotoX(int x);
void GUI_GotoY(int y);
int GUI_GetDispPosX();
int GUI_GetDispPosY();

void GUI_UC_SetEncodeUTF8();
void GUI_UC_SetEncodeNone();
int GUI_UC_GetEncoding();

void GUI_SetOrg(int x, int y);
int GUI_GetOrgX();
int GUI_GetOrgY();

// The clip rectangle; null selects the whole screen. Returns the previous rectangle so that a
// caller can put it back.
GUI_RECT GUI_SetClipRect(const GUI_RECT* rect);
GUI_RECT GUI_GetClipRect();

// ---------------------------------------------------------------------------------------------
// Filling and clearing (inclusive rectangles)

// Fills the clip area (normally the whole screen) with the background colour; the display
// position goes to (0, 0).
void GUI_Clear();
void GUI_ClearRect(int x0, int y0, int x1, int y1);
// Foreground colour, or inverted in XOR mode.
void GUI_FillRect(int x0, int y0, int x1, int y1);
// Outline through the four corners with the pen size (a closed four-point polygon).
void GUI_DrawRect(int x0, int y0, int x1, int y1);

// ---------------------------------------------------------------------------------------------
// Lines, points and curves: foreground colour, pen size and draw mode.

// One pixel regardless of the pen.
void GUI_DrawPixel(int x, int y);
// A round dot of the pen's diameter centred on (x, y).
void GUI_DrawPoint(int x, int y);
// Both end points included. Pens above 1 draw the segment swept by a round pen (round caps).
void GUI_DrawLine(int x0, int y0, int x1, int y1);
void GUI_DrawCircle(int x, int y, int r);
void GUI_FillCircle(int x, int y, int r);
void GUI_DrawEllipse(int x, int y, int rx, int ry);
void GUI_FillEllipse(int x, int y, int rx, int ry);
// Arc of the ellipse from a0 to a1 whole degrees: 0 points right, 90 up, angles grow
// counter-clockwise; the arc runs counter-clockwise from a0 to a1 (a1 < a0 wraps through 360),
// a sweep of 360 or more is the whole ellipse. The pen size is the thickness.
void GL_DrawArc(int x, int y, int rx, int ry, int a0, int a1);

// Polygons: points offset by (x, y). At most kGuiMaxPolygonPoints points; longer lists draw
// nothing. The fill covers the points inside by the even-odd rule plus the outline itself.
constexpr int kGuiMaxPolygonPoints = 64;
void GUI_DrawPolygon(const GUI_POINT* points, int count, int x, int y);
void GUI_DrawPolyLine(const GUI_POINT* points, int count, int x, int y);
void GUI_FillPolygon(const GUI_POINT* points, int count, int x, int y);
// destination[i] := source[i] rotated about (0, 0) by angle radians (x' = x cos - y sin,
// y' = x sin + y cos, rounded to the nearest pixel). destination may equal source.
void GUI_RotatePolygon(GUI_POINT* destination, const GUI_POINT* source, int count, float angle);

// ---------------------------------------------------------------------------------------------
// Bitmaps

struct GUI_LOGPALETTE {
    int NumEntries;
    uint8_t HasTrans;  // index 0 is not drawn
    const GUI_COLOR* pPalEntries;
};

// Identifies the pixel format of a bitmap that is not drawn through a palette.
struct GUI_BITMAP_METHODS {
    uint8_t Format;
};
extern const GUI_BITMAP_METHODS GUI_BitmapMethods565;    // 16-bit RGB565, little-endian
extern const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE8;   // run-length, 8-bit palette indices
extern const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE16;  // run-length, 16-bit RGB565
#define GUI_DRAW_BMP565 (&GUI_BitmapMethods565)
#define GUI_DRAW_RLE8 (&GUI_BitmapMethodsRLE8)
#define GUI_DRAW_RLE16 (&GUI_BitmapMethodsRLE16)

// pMethods null: 1, 2, 4 or 8 bits per pixel through pPal, leftmost pixel in the high bits
// of each byte, rows BytesPerLine apart. The run-length formats (see README) ignore
// BytesPerLine; NumBytes, when not 0, bounds how much of their stream is read.
struct GUI_BITMAP {
    uint16_t XSize;
    uint16_t YSize;
    uint16_t BytesPerLine;
    uint16_t BitsPerPixel;
    const uint8_t* pData;
    const GUI_LOGPALETTE* pPal;
    const GUI_BITMAP_METHODS* pMethods;
    uint32_t NumBytes;
};

// Draws the bitmap with its top-left corner at (x, y), clipped. In XOR mode each pixel the
// bitmap would paint is inverted instead.
void GUI_DrawBitmap(const GUI_BITMAP* bitmap, int x, int y);

// ---------------------------------------------------------------------------------------------
// Text: the current font, colours, text mode and encoding. Strings end at their NUL; in UTF-8
// a malformed sequence, like every character the font does not have, draws nothing and takes
// no room. A "\n" ends a line. Text mode, anti-aliasing and the blend: see glyph_painter.h.
//
// Alignment of GUI_DispString and GUI_DispStringAt, relative to the display position (x, y):
// left: the line starts at x; right: it ends just before x (its last column is x - 1);
// centre: it starts at x - width / 2. Top: the line's top row is y; bottom: its bottom row is
// y; baseline: the capitals stand on row y (their lowest ink is on y - 1); vertical centre:
// the top row is y - line height / 2.

// Draws s at the display position. Each line is placed by the alignment; after a "\n" the
// next line's reference point is (left border, y + line height). Afterwards the display
// position is at the right end of the last line drawn (for left-aligned text: just after it),
// on the reference row of that line.
void GUI_DispString(const char* s);
void GUI_DispStringAt(const char* s, int x, int y);
// Display position to (left border, y + line height).
void GUI_DispNextLine();

// Text inside an inclusive rectangle, clipped to it: each line aligned horizontally within it,
// the block of lines vertically (top and baseline both put the first line at the top; centred
// blocks with an odd remainder keep the extra pixel below). The display position does not
// change. A null or empty rectangle draws nothing.
void GUI_DispStringInRect(const char* s, const GUI_RECT* rect, int align);
// The same with long lines broken to the rectangle's width. GUI_WRAPMODE_WORD breaks after the
// last blank that lets the line fit (the blanks at the break are not drawn and the next line
// starts after them) and breaks a word longer than a whole line between characters;
// GUI_WRAPMODE_CHAR breaks between any two characters. A line always takes at least one
// character, however narrow the rectangle.
void GUI_DispStringInRectWrap(const char* s, const GUI_RECT* rect, int align, int wrapMode);
// The first maxLen characters of s (all of them when maxLen < 0), turned by rotation
// (GUI_ROTATE_*). A turned text is laid out in the turned rectangle, its lines running along
// the rectangle's height for the quarter turns, and the alignment applies in the text's own
// directions (left is where its lines begin).
void GUI_DispStringInRectEx(const char* s, const GUI_RECT* rect, int align, int maxLen,
                            int rotation);

// The width in pixels of the widest line of s; of one character; the line height.
int GUI_GetStringDistX(const char* s);
int GUI_GetCharDistX(uint32_t c);
int GUI_GetFontDistY();

// The first character of s in the current encoding, and the bytes it takes (0 for an empty or
// null string).
uint32_t GUI_UC_GetCharCode(const char* s);
int GUI_UC_GetCharSize(const char* s);
