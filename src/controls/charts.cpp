#include "controls/charts.h"

#include <utility>

#include "base/host_text.h"
#include "drawing/screen_scroll.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"

Chart chart[kChartCount];

namespace {

constexpr int kStepMax = 255;
constexpr int kPenWidthMax = 255;

Chart* defined(int index) {
    if (index < 0 || index >= kChartCount) return nullptr;
    Chart* c = &chart[index];
    return c->type == kChartUndefined ? nullptr : c;
}

bool sweeping(const Chart& c) {
    return c.type == kChartSweeping || c.type == kChartOverBitmap;
}

void disable_pens(Chart* c) {
    for (ChartPen& p : c->pens) {
        p.enabled = 0;
        p.last = -1;
    }
}

int32_t start_cursor(const Chart& c) {
    return c.type == kChartScrollingFromRight ? c.mapping.x1 - c.mapping.x0 - c.step : 0;
}

GUI_RECT rect_of(int x0, int y0, int x1, int y1) {
    return GUI_RECT{int16_t(x0), int16_t(y0), int16_t(x1), int16_t(y1)};
}

// Everything a chart draws stays inside its rectangle, whatever clipping the host has set; the
// host's rectangle and background come back afterwards.
class ChartDrawing {
  public:
    explicit ChartDrawing(const ValueMapping& m) {
        const GUI_RECT r = rect_of(m.x0, m.y0, m.x1, m.y1);
        clip_ = GUI_SetClipRect(&r);
        background_ = GUI_GetBkColor();
    }
    ~ChartDrawing() {
        GUI_SetClipRect(&clip_);
        GUI_SetBkColor(background_);
    }
    ChartDrawing(const ChartDrawing&) = delete;
    ChartDrawing& operator=(const ChartDrawing&) = delete;

  private:
    GUI_RECT clip_;
    GUI_COLOR background_;
};

// Columns x0 .. x1 of a type-2 chart painted from its bitmap: the bitmap placed at the chart's
// corner with the band as clipping rectangle.
void restore_band(const Chart& c, const BitmapHandle& b, int x0, int x1) {
    const ValueMapping& m = c.mapping;
    if (b.type == kRecTransparentBitmap) {
        // The keyed blit ignores the library's clip rectangle and takes the band itself.
        KV_DrawBitmapTrClipAbs(&b, m.x0, m.y0, x0, m.y0, x1, m.y1, b.key);
        return;
    }
    const GUI_RECT band = rect_of(x0, m.y0, x1, m.y1);
    const GUI_RECT outer = GUI_SetClipRect(&band);
    KV_DrawBitmap(&b, m.x0, m.y0);
    GUI_SetClipRect(&outer);
}

// One erase-ahead band, relative to x0, cut to the rectangle.
void clear_band(const Chart& c, const BitmapHandle* b, int32_t first, int32_t last) {
    const ValueMapping& m = c.mapping;
    const int32_t width = m.x1 - m.x0;
    if (first < 0) first = 0;
    if (last > width) last = width;
    if (first > last) return;
    if (c.type == kChartOverBitmap) {
        if (b) restore_band(c, *b, m.x0 + first, m.x0 + last);
    } else {
        GUI_ClearRect(m.x0 + first, m.y0, m.x0 + last, m.y1);
    }
}

}  // namespace

void KV_Chart_Init() {
    for (Chart& c : chart) {
        c.type = kChartUndefined;
        disable_pens(&c);
    }
}

int KV_Chart_Setup(int index, int type, int step, int x0, int y0, int x1, int y1, int minimum,
                   int maximum, GUI_COLOR background) {
    if (index < 0 || index >= kChartCount || type < 0 || type > kChartScrollingFromRight) return 0;
    // The flag of the extra clear divides by the step, and the record keeps it in a byte.
    if (step < 1 || step > kStepMax) return 0;
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    Chart& c = chart[index];
    c.type = type;
    c.step = uint8_t(step);
    KV_Chart_Common(&c.mapping, x0, y0, x1, y1, kMapAlongY, 1, maximum, minimum, background);
    if (type == kChartScrolling && (x1 - x0) % step != 0) c.mapping.flags |= kMapClearAfterScroll;
    c.cursor = start_cursor(c);
    c.bitmap = 0;
    disable_pens(&c);
    KV_Chart_Clear(index, true);
    return 1;
}

int KV_BitmapChart_Setup(int index, int step, int x, int y, int minimum, int maximum, int bitmap) {
    BitmapHandle b;
    if (index < 0 || index >= kChartCount || step < 1 || step > kStepMax ||
        !KV_GetExtBitmap(bitmap, &b)) {
        return 0;
    }
    Chart& c = chart[index];
    c.type = kChartOverBitmap;
    c.step = uint8_t(step);
    c.bitmap = uint16_t(bitmap);
    c.cursor = 0;
    KV_Chart_Common(&c.mapping, x, y, x + b.width - 1, y + b.height - 1, kMapAlongY, 1, maximum,
                    minimum, GUI_COLOR(-1));
    KV_DrawBitmap(&b, x, y);
    disable_pens(&c);
    return 1;
}

int KV_Chart_Set_Pen(int index, int pen, GUI_COLOR colour, int width) {
    Chart* c = defined(index);
    if (!c || pen < 0 || pen >= kChartPens || width < 0 || width > kPenWidthMax) return 0;
    c->pens[pen] = ChartPen{colour, uint8_t(width), 1, -1};
    return 1;
}

int KV_ChangeChartPen(int index, int pen, int width, GUI_COLOR colour) {
    Chart* c = defined(index);
    if (!c || pen < 0 || pen >= kChartPens || width < 0 || width > kPenWidthMax) return 0;
    c->pens[pen].width = uint8_t(width);
    c->pens[pen].colour = colour;
    return 1;
}

int KV_Chart_Get_Pens(int index) {
    const Chart* c = defined(index);
    if (!c) return 0;
    int n = 0;
    while (n < kChartPens && c->pens[n].enabled) ++n;
    return n;
}

int KV_Chart_FinishSetup(int index, int widest) {
    Chart* c = defined(index);
    if (!c) return 0;
    if (widest <= 1) c->mapping.flags &= uint8_t(~kMapClearAfterScroll);
    return 1;
}

int KV_SetChartBackgroundColor(int index, GUI_COLOR colour) {
    Chart* c = defined(index);
    if (!c || c->type == kChartOverBitmap) return 0;
    c->mapping.background = colour;
    return 1;
}

int KV_SetChartBitmap(int index, int bitmap) {
    Chart* c = defined(index);
    BitmapHandle b;
    if (!c || c->type != kChartOverBitmap || !KV_GetExtBitmap(bitmap, &b)) return 0;
    c->bitmap = uint16_t(bitmap);
    return 1;
}

int KV_SetChartDrawMode(int index, int on) {
    Chart* c = defined(index);
    if (!c || !sweeping(*c)) return 0;
    if (on == 1)
        c->mapping.flags |= kMapEraseAhead;
    else
        c->mapping.flags &= uint8_t(~kMapEraseAhead);
    return 1;
}

int KV_SetChartRetraceMode(int index, int on) {
    Chart* c = defined(index);
    if (!c || !sweeping(*c)) return 0;
    if (on == 1)
        c->mapping.flags |= kMapRetrace;
    else
        c->mapping.flags &= uint8_t(~kMapRetrace);
    return 1;
}

int KV_ResetChartCursor(int index) {
    Chart* c = defined(index);
    if (!c) return 0;
    for (ChartPen& p : c->pens) p.last = -1;
    c->cursor = start_cursor(*c);
    c->mapping.flags &= uint8_t(~kMapFull);
    return 1;
}

int KV_ClearAndResetChartDisplay(int index) {
    if (!defined(index)) return 0;
    KV_Chart_Clear(index, true);
    return KV_ResetChartCursor(index);
}

int KV_ChartIsDefined(int index) {
    return defined(index) ? 1 : 0;
}

int KV_GetChartType(int index) {
    const Chart* c = defined(index);
    return c ? c->type : kChartUndefined;
}

void KV_Chart_Clear(int index, bool whole) {
    Chart* c = defined(index);
    if (!c) return;
    ValueMapping& m = c->mapping;
    ChartDrawing drawing(m);
    BitmapHandle b;
    const BitmapHandle* bitmap =
        c->type == kChartOverBitmap && KV_GetExtBitmap(c->bitmap, &b) ? &b : nullptr;
    if (c->type != kChartOverBitmap) GUI_SetBkColor(m.background);
    if (whole) {
        if (c->type != kChartOverBitmap)
            GUI_ClearRect(m.x0, m.y0, m.x1, m.y1);
        else if (bitmap)
            KV_DrawBitmap(bitmap, m.x0, m.y0);
        m.flags &= uint8_t(~kMapFull);
        return;
    }
    if (!sweeping(*c)) return;
    // Two bands ahead of the pen, so that the line about to be drawn and the one after it land
    // on a clean background. Near the right edge the second band jumps to the left edge: that
    // is where the pen goes next, and its first column is never covered by a first band.
    const int32_t width = m.x1 - m.x0;
    const int32_t first = c->cursor + 1;
    clear_band(*c, bitmap, first, first + c->step);
    int32_t second = first + c->step + 1;
    if (second + c->step > width) second = 0;
    clear_band(*c, bitmap, second, second + c->step);
}

int KV_Chart_Show(int index, int count, const int32_t* values) {
    Chart* c = defined(index);
    if (!c || count < 0 || count > kChartPens) return 0;
    ValueMapping& m = c->mapping;
    if (m.flags & kMapFull) {
        txNotify(":chart FULL and retrace is OFF\r");
        return 1;
    }
    ChartDrawing drawing(m);
    if (sweeping(*c)) {
        if (m.flags & kMapEraseAhead) KV_Chart_Clear(index, false);
    } else if (m.x0 + c->cursor + c->step > m.x1) {
        const GUI_COLOR fill = m.background;
        if (!KV_ScrollArea(m.x0, m.y0, m.x0 + c->cursor, m.y1, c->step, 'l',
                           LCD_Color2Index_M565(fill))) {
            return 0;
        }
        if (m.flags & kMapClearAfterScroll) {
            GUI_SetBkColor(fill);
            GUI_ClearRect(m.x0 + c->cursor, m.y0, m.x1, m.y1);
        }
        c->cursor -= c->step;
    }
    for (int k = 0; k < kChartPens; ++k) {
        ChartPen& p = c->pens[k];
        if (p.enabled && (count == 0 || k >= count || values[k] == kChartNoValue)) p.last = -1;
    }
    const int penSize = GUI_GetPenSize();
    const GUI_COLOR colour = GUI_GetColor();
    const bool invert = m.flags & kMapInvert;
    const auto y_of = [&](int32_t offset) { return invert ? m.y1 - offset : m.y0 + offset; };
    const int xFrom = m.x0 + c->cursor, xTo = xFrom + c->step;
    for (int k = 0; k < count; ++k) {
        ChartPen& p = c->pens[k];
        if (!p.enabled || values[k] == kChartNoValue) continue;
        int32_t offset = KV_ValueToPixel(m, values[k]);
        if (offset == kMapBelowMinimum) offset = 0;
        if (offset == kMapAboveMaximum) offset = m.span;
        const int32_t previous = p.last == -1 ? offset : p.last;
        GUI_SetPenSize(p.width);
        GUI_SetColor(p.colour);
        GUI_DrawLine(xFrom, y_of(previous), xTo, y_of(offset));
        p.last = offset;
    }
    GUI_SetPenSize(penSize);
    GUI_SetColor(colour);
    c->cursor += c->step;
    if (sweeping(*c) && m.x0 + c->step + c->cursor > m.x1) {
        if (m.flags & kMapRetrace)
            c->cursor = 0;
        else
            m.flags |= kMapFull;
    }
    return 1;
}
