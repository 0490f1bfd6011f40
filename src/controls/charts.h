// Strip charts: up to eight pens drawing line graphs of host values across a rectangle, one step
// to the right per set of values. At the right edge types 0 and 3 scroll their content left;
// types 1 and 2 sweep back to the left edge, erasing ahead of the pen (type 2 restoring its
// background bitmap instead of clearing).
#pragma once

#include <cstdint>

#include "controls/value_mapping.h"
#include "gui/gui.h"

constexpr int kChartCount = 10;
constexpr int kChartPens = 8;
constexpr int32_t kChartUndefined = 4;  // the type of a chart nobody defined
constexpr int32_t kChartScrolling = 0;
constexpr int32_t kChartSweeping = 1;
constexpr int32_t kChartOverBitmap = 2;
constexpr int32_t kChartScrollingFromRight = 3;
// A pen's entry in a set of values that carries no value: the pen's line breaks there.
constexpr int32_t kChartNoValue = -31999;

struct ChartPen {
    GUI_COLOR colour;
    uint8_t width;
    uint8_t enabled;
    int32_t last;  // pixel offset of the previous point, -1: the next point starts a new line
};

struct Chart {
    int32_t type;
    ChartPen pens[kChartPens];
    ValueMapping mapping;  // background -1 for type 2
    uint8_t step;          // pixels the cursor advances per set of values (1-255)
    int32_t cursor;        // x of the next plot relative to x0
    uint16_t bitmap;       // the background bitmap of type 2
};

extern Chart chart[kChartCount];

// Every chart undefined, every pen disabled (start-up and screen reset).
void KV_Chart_Init();

// Defines a chart of type 0-3 over the rectangle (corners in either order), cleared with the
// background, without pens. Fails for a chart number outside 0-9, a type outside 0-3 and a
// step outside 1-255. The caller checks the rectangle against the screen.
int KV_Chart_Setup(int index, int type, int step, int x0, int y0, int x1, int y1, int minimum,
                   int maximum, GUI_COLOR background);
// Defines a type-2 chart over the stored bitmap drawn at (x, y); its size gives the rectangle.
// Fails, besides the cases of KV_Chart_Setup, when the bitmap does not exist.
int KV_BitmapChart_Setup(int index, int step, int x, int y, int minimum, int maximum, int bitmap);

// Pen 0-7, width 0-255 pixels. Set_Pen enables the pen and starts a new line; ChangeChartPen
// changes how it looks only.
int KV_Chart_Set_Pen(int index, int pen, GUI_COLOR colour, int width);
int KV_ChangeChartPen(int index, int pen, int width, GUI_COLOR colour);
// Enabled pens counted from pen 0 up to the first disabled one (0 for no such chart): the size
// of a binary set of values.
int KV_Chart_Get_Pens(int index);
// Pens no wider than one pixel cannot reach past the scrolled area, so the extra clear after a
// scroll is dropped for them.
int KV_Chart_FinishSetup(int index, int widest);

// Each returns 1 on success, 0 for a chart number outside 0-9, an undefined chart or a type the
// operation does not apply to.
int KV_SetChartBackgroundColor(int index, GUI_COLOR colour);  // not type 2
int KV_SetChartBitmap(int index, int bitmap);                 // type 2, an existing bitmap
int KV_SetChartDrawMode(int index, int on);                   // types 1, 2; erase ahead
int KV_SetChartRetraceMode(int index, int on);                // types 1, 2
int KV_ResetChartCursor(int index);
int KV_ClearAndResetChartDisplay(int index);
int KV_ChartIsDefined(int index);
int KV_GetChartType(int index);  // kChartUndefined for no such chart

// whole: the rectangle cleared (type 2: its bitmap drawn again) and the chart no longer full;
// otherwise the two bands of step + 1 columns ahead of the cursor.
void KV_Chart_Clear(int index, bool whole);

// Plots one set of values: values[k] for pens 0 .. count - 1, kChartNoValue where a pen has
// none. A full chart (types 1 and 2 without retrace) only tells the host so. 1 or 0.
int KV_Chart_Show(int index, int count, const int32_t* values);
