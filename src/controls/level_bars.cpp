#include "controls/level_bars.h"

#include <algorithm>

std::array<LevelBar, kLevelBarCount> LevelBars;

namespace {

bool valid_bar(int bar) {
    return bar >= 0 && bar < kLevelBarCount;
}

// Fills the pixel offsets a..b of the bar (nothing when b < a); the bar grows from y1 upward,
// or from y0 downward when inverted, and horizontally from x0 (x1 when inverted).
void fill_offsets(const ValueMapping& m, int a, int b, GUI_COLOR colour) {
    if (b < a) return;
    const GUI_COLOR before = GUI_SetColor(colour);
    const bool inverted = m.flags & kMapInvert;
    if (m.orientation == kMapAlongY) {
        if (inverted) {
            GUI_FillRect(m.x0, m.y0 + a, m.x1, m.y0 + b);
        } else {
            GUI_FillRect(m.x0, m.y1 - b, m.x1, m.y1 - a);
        }
    } else if (inverted) {
        GUI_FillRect(m.x1 - b, m.y0, m.x1 - a, m.y1);
    } else {
        GUI_FillRect(m.x0 + a, m.y0, m.x0 + b, m.y1);
    }
    GUI_SetColor(before);
}

// A value's offset on the bar: above the maximum the bar is full, below the minimum empty.
int offset_of(const ValueMapping& m, int value) {
    const int32_t p = KV_ValueToPixel(m, value);
    return p == kMapAboveMaximum ? m.span : p;
}

}  // namespace

void KV_LevelBar_Init() {
    LevelBars = {};
}

int KV_LevelBar_Setup(int bar, int defined, int orientation, int invert, int x0, int y0, int x1,
                      int y1, int minimum, GUI_COLOR background) {
    if (!valid_bar(bar)) return 0;
    LevelBar& b = LevelBars[size_t(bar)];
    b.defined = 0;
    b.segments = 0;
    if (!KV_Chart_Common(&b.mapping, x0, y0, x1, y1, orientation, invert, 0, minimum, background)) {
        return 0;
    }
    b.defined = defined;
    return 1;
}

int KV_LevelBar_Add_Color(int bar, GUI_COLOR colour, int value) {
    if (!valid_bar(bar)) return 0;
    LevelBar& b = LevelBars[size_t(bar)];
    if (b.segments >= kLevelBarSegments || value < b.mapping.minimum) return 0;
    if (b.segments == 0) {
        b.mapping.maximum = value;
    } else if (value > b.mapping.maximum) {
        return 0;
    }
    b.colours[b.segments] = colour;
    b.ends[b.segments] = offset_of(b.mapping, value);
    ++b.segments;
    return 1;
}

int KV_LevelBar_Show(int bar, int value) {
    if (!valid_bar(bar)) return 0;
    const LevelBar& b = LevelBars[size_t(bar)];
    if (!b.defined || b.segments == 0) return 0;
    const ValueMapping& m = b.mapping;
    const int p = offset_of(m, value);
    // The segments were given from the top of the scale down, so the last one starts the bar.
    int from = 0;
    for (int k = b.segments - 1; k >= 0; --k) {
        const int end = std::min(p, int(b.ends[k]));
        fill_offsets(m, from, end, b.colours[k]);
        from = end + 1;
        if (p < from) break;
    }
    // Up to and including the last offset: the span counts pixels between the two ends.
    fill_offsets(m, from, m.span, m.background);
    return 1;
}
