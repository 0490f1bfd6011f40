// Bitmap buttons: a face bitmap per state with a text on it, living on hotspots 0-127. The
// hotspot entry of the same index says whether the button exists, its kind (momentary or
// toggle), whether it is enabled, its reports and macros; the record here holds what is needed
// to draw it.
#pragma once

#include <cstdint>

#include "gui/gui.h"
#include "media/bitmaps.h"
#include "media/fonts.h"

constexpr int kButtonCount = 128;
constexpr int kButtonTextSize = 80;  // 79 characters and the NUL

struct ButtonRecord {
    uint8_t state;     // 0 up / off, 1 down / on
    int32_t textX[2];  // absolute text position per state (a momentary button uses text 0)
    int32_t textY[2];
    FontEntry font;  // the font current at definition (a user font's entry is copied)
    GUI_COLOR colour;
    char text[2][kButtonTextSize];
    BitmapHandle image[2];  // face per state
};

// Kept after the hotspot is freed: only the hotspot says whether a button exists.
extern ButtonRecord buttonInfo[kButtonCount];

// The built-in 64 x 64 faces (up, down), taken by a button whose image number names no bitmap.
BitmapHandle kv_bmbutton_up();
BitmapHandle kv_bmbutton_dn();

// "bd"/"bdc": defines button index at (x, y) (absolute), of the host's type (negative: defined,
// drawn, then disabled); line is the whole command line, from which the quoted texts and the
// numbers after them are read (it is overwritten). centred 1 centres the text in the face.
// Returns 1, or 0 after its message (none for a bad index).
int cmd_ButtonDefine(char* line, int index, int x, int y, int type, int centred);

// Draws button index in state s (stored as its state), with its font, colour and text, the
// host's drawing state kept. synced waits for the panel's scan to pass the face first.
void KV_Button_Draw(int index, int state, bool synced);

// "ssb": sets the state of button n to s (0 or 1) as a press without report would. Returns 0
// for n outside 0-127 or s outside 0-1, else 1.
int KV_Button_SetState(int n, int s);
// "bc": removes button n (its hotspot; the face stays on the screen). 0 for n outside 0-127.
int KV_Button_Remove(int n);

// Empties the records and gives the touch module the buttons' drawing hooks.
void KV_Buttons_Init();
