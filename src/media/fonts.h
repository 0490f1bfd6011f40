// The font table: short font names ("m12", "24B", ...) to built-in fonts, the user fonts of
// the bitmap/macro image, and the font that text commands draw with.
#pragma once

#include <cstdint>

#include "gui/font.h"

// Built-in names, in search order; fontTable holds one more entry, whose name is null.
constexpr int kFontTableSize = 71;
// The name field of a user font record: at most 9 characters and the NUL.
constexpr int kFontNameSize = 10;

// A selectable font. Built-in entries carry the font; a user font (font == null) carries the
// place of its font data in the image instead.
struct FontEntry {
    const char* name;
    const GUI_FONT* font;
    const uint8_t* sifData;  // user font: its data, which should begin with G U I P
    uint32_t sifSize;        // user font: bytes from sifData to the end of its record
    uint8_t sifKind;         // user font: 0 or 0xFF 1 bit, 2 AA2, 3 AA4
};

extern const FontEntry fontTable[kFontTableSize + 1];

// The font object that a selected user font is built into (one user font at a time).
extern GUI_FONT CmdFont;

// Power-on state: the current font is the library's start-up font ("10s"), the name
// enumeration starts at the first name, no image is known.
void KV_Fonts_Init();

// Makes [image, image + size) the bitmap/macro image whose user font records KV_FindFont
// searches; null (or size 0) forgets it. The image must stay in place while it is set.
// address is where the image's own locations say it lies (0: offsets and window addresses
// only).
void KV_SetFontImage(const uint8_t* image, uint32_t size, uint32_t address = 0);

// The entry named name (case-sensitive): the first built-in entry of that name, else the first
// user font record of that name in the image, else null. A user font entry stays valid until
// the next KV_FindFont.
const FontEntry* KV_FindFont(const char* name);

// Makes entry's font the library's current font: a built-in font directly, a user font built
// into fontObject. Returns 1 on success; 0 for a user font when fontObject is null, when its
// data are not a valid font of its kind (fontObject and the library's font are then left as
// they were), or when its kind is unknown (which also sends a message).
int KV_SetFont(const FontEntry* entry, GUI_FONT* fontObject);

// Makes entry the current entry and its font the library's current font (a user font built
// into CmdFont). A user font entry is copied, so it may come from KV_FindFont. Returns
// KV_SetFont's result; the entry becomes current even when its font could not be built (the
// library then keeps its font). A null entry changes nothing and returns 0.
int KV_SelectFont(const FontEntry* entry);

// Selects the font named name for command text (into CmdFont) and makes it the current entry.
// Returns 0, changing nothing, when the name is unknown; else 1.
int GUIDEMO_SetFont(const char* name);

// The current entry and its name.
const FontEntry* KV_GetFontPtr();
const char* KV_GetCurrentFontName();

// The built-in names one per call in table order; after the last, null once, then again
// from the first.
const char* KV_FontName();

// User font names in directory order: finds the first user font record at directory index
// *index or later, copies its name into name, sets *index past it and returns 1; returns 0
// when there is none (or no valid image).
int KV_UserFontName(uint32_t* index, char name[kFontNameSize]);
