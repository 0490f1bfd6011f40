#include "controls/value_mapping.h"

namespace {

// a · b / c truncated toward zero, exact for 0 <= b <= c < 2^32 and |a| < 2^40: the mappings
// multiply a span by a range of up to 2^32, which a plain 64-bit product would overflow.
int64_t scale(int64_t a, int64_t b, int64_t c) {
    const int64_t q = a / c;  // |q · b| <= |a|
    const int64_t r = a % c;  // the sign of a, |r| < c
    const uint64_t rest = (r < 0 ? uint64_t(-r) : uint64_t(r)) * uint64_t(b) / uint64_t(c);
    return q * b + (r < 0 ? -int64_t(rest) : int64_t(rest));
}

}  // namespace

int KV_Chart_Common(ValueMapping* m, int x0, int y0, int x1, int y1, int orientation, int invert,
                    int maximum, int minimum, GUI_COLOR background) {
    if (orientation != kMapAlongY && orientation != kMapAlongX) return 0;
    m->x0 = x0;
    m->y0 = y0;
    m->x1 = x1;
    m->y1 = y1;
    m->orientation = orientation;
    m->flags = uint8_t((invert ? kMapInvert : 0) | kMapRetrace | kMapEraseAhead);
    m->span = orientation == kMapAlongY ? y1 - y0 : x1 - x0;
    m->maximum = maximum;
    m->minimum = minimum;
    m->background = background;
    return 1;
}

int32_t KV_ValueToPixel(const ValueMapping& m, int32_t value) {
    if (value < m.minimum) return kMapBelowMinimum;
    if (value > m.maximum) return kMapAboveMaximum;
    const int64_t range = int64_t(m.maximum) - m.minimum;
    if (range <= 0) return kMapBelowMinimum;
    // Tenths of a pixel first, so the offset rounds to the nearest pixel rather than down.
    const int64_t p = scale(10 * int64_t(m.span), int64_t(value) - m.minimum, range);
    return int32_t(p < 0 ? (p - 5) / 10 : (p + 5) / 10);
}

int32_t KV_PixelToValue(const ValueMapping& m, int32_t coordinate) {
    const int64_t start = m.orientation == kMapAlongY ? m.y0 : m.x0;
    int64_t d = int64_t(coordinate) - start;
    if (d < 0) d = 0;
    if (d > m.span) d = m.span;
    const int64_t range = int64_t(m.maximum) - m.minimum;
    int64_t v = 0;
    if (m.span > 0) v = (scale(2 * range, d, m.span) + 1) / 2;
    return int32_t(m.flags & kMapInvert ? m.maximum - v : m.minimum + v);
}
