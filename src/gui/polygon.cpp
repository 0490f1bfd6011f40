// Filled polygons and polygon rotation.
//
// Fill rule: even-odd. A pixel is filled when its centre lies inside the polygon (a ray from it
// crosses the outline an odd number of times) or on the one-pixel outline through the points,
// so a filled polygon covers exactly what its outline and interior cover, like the inclusive
// rectangles. Concave and self-intersecting outlines are handled alike.
#include <cmath>

#include "gui/gui.h"
#include "gui/raster.h"

namespace gui {

namespace {

// x = base + num / den with 0 <= num < den: where an edge crosses a row's centre line.
struct Crossing {
    int64_t base, num, den;
};

bool before(const Crossing& p, const Crossing& q) {
    if (p.base != q.base) return p.base < q.base;
    return p.num * q.den < q.num * p.den;
}

Crossing crossings[kGuiMaxPolygonPoints];

void fill_polygon(const int64_t* xs, const int64_t* ys, int n) {
    Painter painter(true);
    const Box& c = painter.clip();
    if (c.empty()) return;
    int64_t ymin = ys[0], ymax = ys[0];
    for (int i = 1; i < n; ++i) {
        if (ys[i] < ymin) ymin = ys[i];
        if (ys[i] > ymax) ymax = ys[i];
    }
    if (ymin < c.y0) ymin = c.y0;
    if (ymax > c.y1) ymax = c.y1;
    for (int64_t y = ymin; y <= ymax; ++y) {
        int count = 0;
        for (int i = 0; i < n; ++i) {
            const int j = i + 1 < n ? i + 1 : 0;
            int64_t xa = xs[i], ya = ys[i], xb = xs[j], yb = ys[j];
            if (ya == yb) continue;
            if (ya > yb) {
                int64_t t = xa;
                xa = xb;
                xb = t;
                t = ya;
                ya = yb;
                yb = t;
            }
            // Half-open in y, so a vertex between two edges is counted once.
            if (y < ya || y >= yb) continue;
            const int64_t den = yb - ya;
            const int64_t off = (y - ya) * (xb - xa);
            Crossing k{xa + floor_div(off, den), 0, den};
            k.num = off - floor_div(off, den) * den;
            int at = count++;
            while (at > 0 && before(k, crossings[at - 1])) {
                crossings[at] = crossings[at - 1];
                --at;
            }
            crossings[at] = k;
        }
        int64_t last = INT64_MIN;
        for (int i = 0; i + 1 < count; i += 2) {
            int64_t from = crossings[i].base + (crossings[i].num > 0 ? 1 : 0);
            const int64_t to = crossings[i + 1].base;
            if (from <= last) from = last + 1;
            if (from <= to) {
                painter.span(y, from, to);
                last = to;
            }
        }
    }
    // The border with a one-pixel pen whatever the context's pen: fills ignore the pen.
    for (int i = 0; i < n; ++i) {
        const int j = i + 1 < n ? i + 1 : 0;
        thin_line(painter, xs[i], ys[i], xs[j], ys[j]);
    }
}

}  // namespace

}  // namespace gui

namespace {

int16_t clamp16(float v) {
    if (!(v >= -32768.f)) return v != v ? 0 : -32768;
    if (v > 32767.f) return 32767;
    return int16_t(v);
}

}  // namespace

void GUI_FillPolygon(const GUI_POINT* points, int count, int x, int y) {
    if (!points || count < 1 || count > kGuiMaxPolygonPoints) return;
    int64_t xs[kGuiMaxPolygonPoints], ys[kGuiMaxPolygonPoints];
    for (int i = 0; i < count; ++i) {
        xs[i] = int64_t(x) + points[i].x;
        ys[i] = int64_t(y) + points[i].y;
    }
    gui::fill_polygon(xs, ys, count);
}

void GUI_RotatePolygon(GUI_POINT* destination, const GUI_POINT* source, int count, float angle) {
    if (!destination || !source) return;
    const float c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < count; ++i) {
        const float x = source[i].x, y = source[i].y;
        const float rx = std::floor(x * c - y * s + 0.5f);
        const float ry = std::floor(x * s + y * c + 0.5f);
        destination[i].x = clamp16(rx);
        destination[i].y = clamp16(ry);
    }
}
