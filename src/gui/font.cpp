#include "gui/font.h"

const GUI_CHARINFO* GUI_FindGlyph(const GUI_FONT* font, uint32_t c) {
    if (font == nullptr) return nullptr;
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
