// Needle meters: a dial bitmap with a filled polygon needle turned about a pivot, and on band
// meters two arcs under the needle (the whole scale in the rest colour, a band of values in the
// band colour).
//
// Dial angles are degrees counter-clockwise, as the library's arcs count them; a meter's scale
// runs from angle A (its minimum) clockwise to angle B (its maximum).
#pragma once

#include <cstdint>

#include "gui/gui.h"

constexpr int kMeterCount = 8;
constexpr int kMeterMaxPoints = 10;
// The band colour of a meter without arcs.
constexpr uint32_t kMeterNoBand = 0xFFFFFFFF;

struct Meter {
    int32_t x, y;    // where the dial is drawn (origin applied)
    int32_t bitmap;  // record number of the dial; 0 in an empty entry
    int16_t pivotX, pivotY;
    GUI_POINT needle[kMeterMaxPoints];  // relative to the pivot, at the initial value
    uint8_t points;
    GUI_COLOR needleColor;     // the drawing colour when the meter was defined
    GUI_COLOR curNeedleColor;  // the needle as last drawn
    int32_t initial;
    int32_t value;  // as last drawn
    int32_t angleA, angleB;
    int32_t minimum, maximum;
    GUI_RECT box;  // the needle as last drawn: what the next move restores
    int32_t bandLow, bandHigh;
    int32_t bandStart, bandEnd;  // the band arc as the library draws it (start <= end)
    int32_t radius, penWidth;
    uint32_t bandColor;  // kMeterNoBand: no arcs
    GUI_COLOR restColor;
};

extern Meter meters[kMeterCount];

// A band as "mvb" gives it. start and end are filled in by meterValueband.
struct MeterBand {
    int32_t low, high;
    int32_t start, end;
    int32_t radius, penWidth;
    uint32_t bandColor;
    GUI_COLOR restColor;
};

// Empties every entry (start-up and screen reset).
void KV_Meter_Init();

// "md ..." and "mdb ...": 1 when the meter was defined and drawn, else 0 (with its message).
int meterDefine(char* line);
// Turns meter's needle to value; 0 for a meter outside 0-7 or not defined, a value outside its
// range or a dial bitmap that is gone. Silent.
int meterValue(int meter, int value);
// As meterValue, also drawing when the needle colour or the band changes. band null keeps the
// meter's band. A band's pen width outside 1..screen size sends ":pen width out of range".
int meterValueband(int meter, int value, MeterBand* band, GUI_COLOR needleColour);

// The angle arithmetic, on a meter's stored angles and range (maximum above minimum).
// Degrees from A clockwise to B, 1..360 (equal angles are a whole turn).
int meterSweep(const Meter& m);
// Degrees (counter-clockwise) that value turns the needle from where it was defined.
double meterTurnDegrees(const Meter& m, int value);
// The dial angle of value w for the library's arcs, 0..359.
int meterArcAngle(const Meter& m, int w);
