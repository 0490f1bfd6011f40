#include "controls/meters.h"

#include <cmath>
#include <cstring>

#include "base/host_text.h"
#include "base/scan.h"
#include "device/scan_wait.h"
#include "drawing/drawing_state.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"

Meter meters[kMeterCount];

namespace {

// Degrees to radians with pi taken as 3.1415, as the polygon commands turn their points.
constexpr double kRadiansPerDegree = 3.1415 / 180;

// Numbers before the needle: meter, bitmap, x, y, reserved, minimum, maximum, initial, A, B.
constexpr int kHeadNumbers = 10;
// "mdb" adds band low, band high, radius and pen width, then the two colour words.
constexpr int kBandNumbers = 4;
// Pivot and three needle points at least.
constexpr int kMinPointNumbers = 2 + 2 * 3;
constexpr int kMaxPointNumbers = 2 + 2 * kMeterMaxPoints;

int32_t clamp32(int64_t v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return int32_t(v);
}

int16_t clamp16(int64_t v) {
    if (v < INT16_MIN) return INT16_MIN;
    if (v > INT16_MAX) return INT16_MAX;
    return int16_t(v);
}

bool hasBand(const Meter& m) {
    return m.bandColor != kMeterNoBand;
}

// The pen is kept in 8 bits by the library: a wider pen than it can hold is drawn as wide as
// it can, not as what is left modulo 256.
bool penInRange(int pen) {
    return pen >= 1 && pen <= LCD_GetXSize() && pen <= LCD_GetYSize();
}
int libraryPen(int pen) {
    return pen > 255 ? 255 : pen;
}

// Angles of the band arc in the library's direction: from the band's high end
// counter-clockwise to its low end, the start brought below the end.
void bandArc(const Meter& m, int low, int high, int32_t* start, int32_t* end) {
    *start = meterArcAngle(m, high);
    *end = meterArcAngle(m, low);
    if (*start > *end) *start -= 360;
}

// The rest arc over the whole scale, then the band arc, with the meter's pen; the drawing
// colour and pen are left as they were.
void drawArcs(const Meter& m) {
    const GUI_COLOR colour = GUI_GetColor();
    const int pen = GUI_GetPenSize();
    GUI_SetPenSize(libraryPen(m.penWidth));
    // From the maximum's angle counter-clockwise to the minimum's; a full-turn scale has both
    // ends on one angle and is the whole circle.
    const int scaleStart = meterArcAngle(m, m.maximum);
    int scaleEnd = meterArcAngle(m, m.minimum);
    if (meterSweep(m) == 360) scaleEnd = scaleStart + 360;
    GUI_SetColor(m.restColor);
    GL_DrawArc(m.pivotX, m.pivotY, m.radius, m.radius, scaleStart, scaleEnd);
    GUI_SetColor(m.bandColor);
    GL_DrawArc(m.pivotX, m.pivotY, m.radius, m.radius, m.bandStart, m.bandEnd);
    GUI_SetPenSize(pen);
    GUI_SetColor(colour);
}

// The needle turned to value, relative to the pivot, and its bounding box on the screen.
void turnNeedle(const Meter& m, int value, GUI_POINT* out, GUI_RECT* box) {
    // The library turns points clockwise on the screen for a positive angle (its y axis points
    // down); dial angles count the other way, like the arcs the needle must stay over.
    const double radians = -meterTurnDegrees(m, value) * kRadiansPerDegree;
    GUI_RotatePolygon(out, m.needle, m.points, float(radians));
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (int i = 0; i < m.points; ++i) {
        const int64_t x = int64_t(m.pivotX) + out[i].x, y = int64_t(m.pivotY) + out[i].y;
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
    }
    *box = GUI_RECT{clamp16(x0), clamp16(y0), clamp16(x1), clamp16(y1)};
}

void fillNeedle(const Meter& m, const GUI_POINT* points) {
    const GUI_COLOR colour = GUI_SetColor(m.curNeedleColor);
    GUI_FillPolygon(points, m.points, m.pivotX, m.pivotY);
    GUI_SetColor(colour);
}

// Puts the dial back inside box (the part of the box on the dial; nothing else was the dial's).
void restoreDial(const Meter& m, const BitmapHandle& dial, const GUI_RECT& box) {
    const int x0 = box.x0 > m.x ? box.x0 : m.x;
    const int y0 = box.y0 > m.y ? box.y0 : m.y;
    if (dial.type == kRecTransparentBitmap)
        KV_DrawBitmapTrClipAbs(&dial, m.x, m.y, x0, y0, box.x1, box.y1, dial.key);
    else
        KV_DrawBitmapClipAbs(&dial, m.x, m.y, x0, y0, box.x1, box.y1);
}

// The dial inside box; on a band meter the arcs cross it, so they go back too.
void restoreBox(const Meter& m, const BitmapHandle& dial, const GUI_RECT& box) {
    restoreDial(m, dial, box);
    if (!hasBand(m)) return;
    const GUI_RECT previous = GUI_SetClipRect(&box);
    drawArcs(m);
    GUI_SetClipRect(&previous);
}

// The square that holds both arcs, pen included.
GUI_RECT arcBox(const Meter& m) {
    const int64_t reach = int64_t(m.radius < 0 ? 0 : m.radius) + libraryPen(m.penWidth);
    return GUI_RECT{clamp16(m.pivotX - reach), clamp16(m.pivotY - reach), clamp16(m.pivotX + reach),
                    clamp16(m.pivotY + reach)};
}

bool validMeter(int meter, int value, BitmapHandle* dial) {
    if (meter < 0 || meter >= kMeterCount) return false;
    const Meter& m = meters[meter];
    if (value < m.minimum || value > m.maximum) return false;
    return KV_GetExtBitmap(m.bitmap, dial) != 0;
}

// Moves the needle; when arcsChanged, the old arcs are taken off the dial and the new ones
// drawn whole before the needle.
void moveNeedle(Meter& m, const BitmapHandle& dial, int value, bool arcsChanged,
                const GUI_RECT& oldArcs) {
    GUI_POINT turned[kMeterMaxPoints];
    GUI_RECT box;
    turnNeedle(m, value, turned, &box);
    wvr(arcsChanged && oldArcs.y1 > m.box.y1 ? oldArcs.y1 : m.box.y1);
    if (arcsChanged) {
        restoreDial(m, dial, oldArcs);
        drawArcs(m);
    }
    restoreBox(m, dial, m.box);
    m.box = box;
    m.value = value;
    wvr(box.y1);
    fillNeedle(m, turned);
}

struct Definition {
    int head[kHeadNumbers];
    int band[kBandNumbers];
    char bandWord[4];
    char restWord[4];
    int points[kMaxPointNumbers];
    int pointNumbers;
};

// The numbers of "md" (18 to 32) or the items of "mdb" (24 at least); false when too few.
bool scanDefinition(const char* line, bool withBand, Definition* d) {
    int* h = d->head;
    int* p = d->points;
    if (!withBand) {
        const int n = kv_sscanf(
            line,
            "md %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d "
            "%d %d %d %d %d",
            &h[0], &h[1], &h[2], &h[3], &h[4], &h[5], &h[6], &h[7], &h[8], &h[9], &p[0], &p[1],
            &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8], &p[9], &p[10], &p[11], &p[12], &p[13],
            &p[14], &p[15], &p[16], &p[17], &p[18], &p[19], &p[20], &p[21]);
        d->pointNumbers = n - kHeadNumbers;
        return n >= kHeadNumbers + kMinPointNumbers;
    }
    int* b = d->band;
    const int n = kv_sscanf(
        line,
        "mdb %d %d %d %d %d %d %d %d %d %d %d %d %d %d %3s %3s %d %d %d %d %d %d %d %d %d %d %d %d "
        "%d %d %d %d %d %d %d %d %d %d",
        &h[0], &h[1], &h[2], &h[3], &h[4], &h[5], &h[6], &h[7], &h[8], &h[9], &b[0], &b[1], &b[2],
        &b[3], d->bandWord, d->restWord, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7],
        &p[8], &p[9], &p[10], &p[11], &p[12], &p[13], &p[14], &p[15], &p[16], &p[17], &p[18],
        &p[19], &p[20], &p[21]);
    d->pointNumbers = n - kHeadNumbers - kBandNumbers - 2;
    return n >= kHeadNumbers + kBandNumbers + 2 + kMinPointNumbers;
}

}  // namespace

void KV_Meter_Init() {
    std::memset(meters, 0, sizeof meters);
    for (Meter& m : meters) m.bandColor = kMeterNoBand;
}

int meterSweep(const Meter& m) {
    const int64_t sweep = ((int64_t(m.angleA) - m.angleB) % 360 + 360) % 360;
    return sweep == 0 ? 360 : int(sweep);
}

double meterTurnDegrees(const Meter& m, int value) {
    return double(int64_t(m.initial) - value) * meterSweep(m) /
           double(int64_t(m.maximum) - m.minimum);
}

int meterArcAngle(const Meter& m, int w) {
    const double scale =
        double(int64_t(w) - m.minimum) * meterSweep(m) / double(int64_t(m.maximum) - m.minimum);
    // Far outside the range the product still fits: |scale| < 2^32 * 360.
    const int64_t angle = int64_t(std::trunc(double(m.angleA) - scale + 270));
    return int((angle % 360 + 360) % 360);
}

int meterDefine(char* line) {
    const bool withBand = line[2] == 'b';
    Definition d;
    if (!scanDefinition(line, withBand, &d)) {
        txNotify(":missing argument(s)");
        return 0;
    }
    const int index = d.head[0], bitmap = d.head[1];
    const int minimum = d.head[5], maximum = d.head[6], initial = d.head[7];
    if (index < 0 || index >= kMeterCount) {
        pout(":index %d > max %d\r", index, kMeterCount);
        return 0;
    }
    BitmapHandle dial;
    if (!KV_GetExtBitmap(bitmap, &dial)) {
        pout(":bitmap %d invalid\r", bitmap);
        return 0;
    }
    if (dial.type == kRecCompressedBitmap) {
        txString(":bitmap must be uncompressed\r");
        return 0;
    }
    // An empty range would divide every angle by zero.
    if (initial < minimum || initial > maximum || minimum == maximum) {
        txNotify(":Initial value out of range");
        return 0;
    }
    int angleA = d.head[8], angleB = d.head[9];
    if (angleSense) {
        angleA = clamp32(360 - int64_t(angleA));
        angleB = clamp32(360 - int64_t(angleB));
    }

    Meter& m = meters[index];
    m = Meter{};
    m.x = atOriginX(d.head[2]);
    m.y = atOriginY(d.head[3]);
    m.bitmap = bitmap;
    m.pivotX = clamp16(int64_t(m.x) + d.points[0]);
    m.pivotY = clamp16(int64_t(m.y) + d.points[1]);
    m.points = uint8_t(d.pointNumbers / 2 - 1);
    for (int i = 0; i < m.points; ++i) {
        m.needle[i] = GUI_POINT{int16_t(d.points[2 + 2 * i]), int16_t(d.points[3 + 2 * i])};
    }
    m.minimum = minimum;
    m.maximum = maximum;
    m.angleA = angleA;
    m.angleB = angleB;
    m.initial = initial;
    m.needleColor = m.curNeedleColor = GUI_GetColor();
    if (withBand) {
        m.bandLow = d.band[0];
        m.bandHigh = d.band[1];
        m.radius = d.band[2];
        m.penWidth = d.band[3];
        m.bandColor = atoBGR(d.bandWord);
        m.restColor = atoBGR(d.restWord);
        bandArc(m, m.bandLow, m.bandHigh, &m.bandStart, &m.bandEnd);
    } else {
        m.bandColor = kMeterNoBand;
    }
    KV_DrawBitmap(&dial, m.x, m.y);
    if (withBand) {
        if (!penInRange(m.penWidth)) {
            txNotify(":pen width out of range");
            // The dial is on the screen, but a meter without a needle box or a drawable pen
            // is no meter: later moves must fail as on an empty entry.
            m = Meter{};
            m.bandColor = kMeterNoBand;
            return 0;
        }
        drawArcs(m);
    }
    GUI_POINT turned[kMeterMaxPoints];
    turnNeedle(m, initial, turned, &m.box);
    fillNeedle(m, turned);
    m.value = initial;
    return 1;
}

int meterValue(int meter, int value) {
    BitmapHandle dial;
    if (!validMeter(meter, value, &dial)) return 0;
    Meter& m = meters[meter];
    if (value == m.value) return 1;
    moveNeedle(m, dial, value, false, m.box);
    return 1;
}

int meterValueband(int meter, int value, MeterBand* band, GUI_COLOR needleColour) {
    BitmapHandle dial;
    if (!validMeter(meter, value, &dial)) return 0;
    Meter& m = meters[meter];
    if (band && !penInRange(band->penWidth)) {
        txNotify(":pen width out of range");
        return 0;
    }
    const bool bandChanged = band && (band->low != m.bandLow || band->high != m.bandHigh ||
                                      band->bandColor != m.bandColor || band->radius != m.radius ||
                                      band->penWidth != m.penWidth);
    const bool colourChanged = needleColour != m.curNeedleColor;
    if (value == m.value && !bandChanged && !colourChanged) return 1;
    // The old arcs' square is taken before the band changes, to clear arcs that no longer are.
    const GUI_RECT oldArcs = hasBand(m) ? arcBox(m) : GUI_RECT{0, 0, -1, -1};
    if (bandChanged) {
        // A plain meter given a band keeps the rest colour it has (black after definition).
        bandArc(m, band->low, band->high, &band->start, &band->end);
        band->restColor = m.restColor;
        m.bandLow = band->low;
        m.bandHigh = band->high;
        m.bandStart = band->start;
        m.bandEnd = band->end;
        m.radius = band->radius;
        m.penWidth = band->penWidth;
        m.bandColor = band->bandColor;
    }
    m.curNeedleColor = needleColour;
    moveNeedle(m, dial, value, bandChanged, oldArcs);
    return 1;
}
