#include "gui/font.h"

namespace gui {
int sif_glyph(const GUI_FONT* font, uint32_t c, GUI_CHARINFO* glyph);
}

const GUI_CHARINFO* GUI_FindGlyph(const GUI_FONT* font, uint32_t c) {
    if (font == nullptr || font->ranges == nullptr) return nullptr;
    for (int i = 0; i < font->numRanges; ++i) {
        const GUI_FONT_RANGE& range = font->ranges[i];
        if (c < range.first) return nullptr;  // ranges ascend: no later one can hold c
        if (c <= range.last) {
            const GUI_CHARINFO* glyph = &range.glyphs[c - range.first];
            return glyph->advance != 0 ? glyph : nullptr;
        }
    }
    return nullptr;
}

int GUI_GetGlyph(const GUI_FONT* font, uint32_t c, GUI_CHARINFO* glyph) {
    if (font == nullptr) return 0;
    if (font->sif != nullptr) return gui::sif_glyph(font, c, glyph);
    const GUI_CHARINFO* found = GUI_FindGlyph(font, c);
    if (found == nullptr) return 0;
    *glyph = *found;
    return 1;
}
