// Lines, points, rectangles outlines, polylines and polygon outlines.
#include <cmath>
#include <cstdlib>

#include "gui/gui.h"
#include "gui/raster.h"

namespace gui {

namespace {

bool beyond_exact(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    return std::llabs(x0) > kExactLimit || std::llabs(y0) > kExactLimit ||
           std::llabs(x1) > kExactLimit || std::llabs(y1) > kExactLimit;
}

// Narrows [lo, hi] to the integers x with low <= a * x + c <= high.
void restrict_linear(int64_t a, int64_t c, int64_t low, int64_t high, int64_t& lo, int64_t& hi) {
    if (a == 0) {
        if (c < low || c > high) hi = lo - 1;
        return;
    }
    int64_t from, to;
    if (a > 0) {
        from = ceil_div(low - c, a);
        to = floor_div(high - c, a);
    } else {
        from = ceil_div(c - high, -a);
        to = floor_div(c - low, -a);
    }
    if (from > lo) lo = from;
    if (to < hi) hi = to;
}

// The pixel loop of a clipped thin line: count pixels from p, one major step each, a minor
// step whenever the error term overflows. The error values fit 32 bits after clipping.
template <class Plot>
void walk(uint16_t* p, int count, int major, int minor, int32_t err, int32_t m2, int32_t n2,
          Plot plot) {
    for (int k = 0; k < count; ++k) {
        plot(p);
        p += major;
        err += m2;
        if (err >= n2) {
            err -= n2;
            p += minor;
        }
    }
}

}  // namespace

bool cut_segment(int64_t& x0, int64_t& y0, int64_t& x1, int64_t& y1, const Box& box,
                 int64_t margin) {
    const double bx0 = double(box.x0 - margin), bx1 = double(box.x1 + margin);
    const double by0 = double(box.y0 - margin), by1 = double(box.y1 + margin);
    const double fx = double(x0), fy = double(y0);
    const double dx = double(x1 - x0), dy = double(y1 - y0);
    double t0 = 0, t1 = 1;
    // Liang-Barsky: each side narrows the parameter range of the part inside.
    const auto side = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            if (r > t0) t0 = r;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r;
        }
        return true;
    };
    if (!side(-dx, fx - bx0) || !side(dx, bx1 - fx) || !side(-dy, fy - by0) ||
        !side(dy, by1 - fy)) {
        return false;
    }
    x0 = int64_t(std::floor(fx + t0 * dx + 0.5));
    y0 = int64_t(std::floor(fy + t0 * dy + 0.5));
    x1 = int64_t(std::floor(fx + t1 * dx + 0.5));
    y1 = int64_t(std::floor(fy + t1 * dy + 0.5));
    return true;
}

// Pixel i of a line along its major axis (increasing) is b0 + sb * round(i * m / n), halves
// rounded away from the start; the clip limits are solved for i directly, so a clipped line
// has exactly the pixels of the unclipped one.
void thin_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const Box& c = painter.clip();
    if (c.empty()) return;
    if (beyond_exact(x0, y0, x1, y1) && !cut_segment(x0, y0, x1, y1, c, 2)) return;
    int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xmajor = std::llabs(dx) >= std::llabs(dy);
    if (xmajor ? dx < 0 : dy < 0) {
        x0 = x1;
        y0 = y1;
        dx = -dx;
        dy = -dy;
    }
    const int64_t a0 = xmajor ? x0 : y0, b0 = xmajor ? y0 : x0;
    const int64_t n = xmajor ? dx : dy;
    const int64_t db = xmajor ? dy : dx;
    const int sb = db < 0 ? -1 : 1;
    const int64_t m = db < 0 ? -db : db;
    const int64_t ca0 = xmajor ? c.x0 : c.y0, ca1 = xmajor ? c.x1 : c.y1;
    const int64_t cb0 = xmajor ? c.y0 : c.x0, cb1 = xmajor ? c.y1 : c.x1;

    int64_t i0 = ca0 - a0 > 0 ? ca0 - a0 : 0;
    int64_t i1 = ca1 - a0 < n ? ca1 - a0 : n;
    const int64_t qlo = sb > 0 ? cb0 - b0 : b0 - cb1;
    const int64_t qhi = sb > 0 ? cb1 - b0 : b0 - cb0;
    if (m == 0) {
        if (qlo > 0 || qhi < 0) return;
    } else {
        const int64_t from = ceil_div(2 * n * qlo - n, 2 * m);
        const int64_t to = floor_div(2 * n * (qhi + 1) - n - 1, 2 * m);
        if (from > i0) i0 = from;
        if (to < i1) i1 = to;
    }
    if (i0 > i1) return;

    int64_t q = 0, err = 0;
    if (n > 0) {
        const int64_t num = 2 * i0 * m + n;
        q = num / (2 * n);
        err = num % (2 * n);
    }
    const int a = int(a0 + i0), b = int(b0 + sb * q);
    const int x = xmajor ? a : b, y = xmajor ? b : a;
    const int count = int(i1 - i0 + 1);
    const int stride = painter.stride();
    const int major = xmajor ? 1 : stride;
    const int minor = xmajor ? sb * stride : sb;
    uint16_t* p = painter.framebuffer() + y * stride + x;
    const int32_t m2 = int32_t(2 * m), n2 = int32_t(n > 0 ? 2 * n : 1);
    switch (painter.mode()) {
        case Painter::Mode::kPaint: {
            const uint16_t v = painter.value();
            walk(p, count, major, minor, int32_t(err), m2, n2, [v](uint16_t* q16) { *q16 = v; });
            break;
        }
        case Painter::Mode::kInvert:
            walk(p, count, major, minor, int32_t(err), m2, n2,
                 [](uint16_t* q16) { *q16 = uint16_t(~*q16); });
            break;
        case Painter::Mode::kMask: {
            // The pixel's coordinates follow from its offset in the frame buffer.
            uint16_t* fb = painter.framebuffer();
            uint16_t* last = p + (count - 1) * major;
            // Walk once more to find the far end (cheap next to the mask flush).
            {
                int32_t e = int32_t(err);
                last = p;
                for (int k = 1; k < count; ++k) {
                    last += major;
                    e += m2;
                    if (e >= n2) {
                        e -= n2;
                        last += minor;
                    }
                }
            }
            const int lx = int((last - fb) % stride), ly = int((last - fb) / stride);
            painter.mask_bounds(x < lx ? x : lx, y < ly ? y : ly, x < lx ? lx : x, y < ly ? ly : y);
            walk(p, count, major, minor, int32_t(err), m2, n2,
                 [&painter, fb, stride](uint16_t* q16) {
                     const int offset = int(q16 - fb);
                     painter.mask_bit(offset % stride, offset / stride);
                 });
            break;
        }
    }
    painter.count(uint32_t(count));
}

// In doubled coordinates (pixel centres on even numbers) the pen's centre line runs from A to
// B and the pen's radius is the width itself; an even pen sits half a pixel up and left of the
// given points, so it covers exactly `width` rows or columns. A row of the capsule is the union
// of the two end discs and the band between them, one interval because the shape is convex.
void thick_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int width) {
    const Box& c = painter.clip();
    if (c.empty()) return;
    if (beyond_exact(x0, y0, x1, y1) && !cut_segment(x0, y0, x1, y1, c, width + 2)) return;
    const int64_t o = (width % 2 == 0) ? 1 : 0;
    const int64_t ax = 2 * x0 - o, ay = 2 * y0 - o, bx = 2 * x1 - o, by = 2 * y1 - o;
    const int64_t r = width, r2 = r * r;
    const int64_t dx = bx - ax, dy = by - ay;
    const int64_t l2 = dx * dx + dy * dy;
    const int64_t k = l2 ? int64_t(isqrt64(uint64_t(r2) * uint64_t(l2))) : 0;
    int64_t ylo = ceil_div((ay < by ? ay : by) - r, 2);
    int64_t yhi = floor_div((ay > by ? ay : by) + r, 2);
    if (ylo < c.y0) ylo = c.y0;
    if (yhi > c.y1) yhi = c.y1;
    for (int64_t y = ylo; y <= yhi; ++y) {
        const int64_t py = 2 * y;
        int64_t lo = INT64_MAX, hi = INT64_MIN;
        const auto disc = [&](int64_t cx, int64_t cy) {
            const int64_t s = r2 - (py - cy) * (py - cy);
            if (s < 0) return;
            const int64_t half = isqrt64(uint64_t(s));
            const int64_t from = ceil_div(cx - half, 2), to = floor_div(cx + half, 2);
            if (from > to) return;
            if (from < lo) lo = from;
            if (to > hi) hi = to;
        };
        disc(ax, ay);
        disc(bx, by);
        if (l2) {
            int64_t from = INT64_MIN / 4, to = INT64_MAX / 4;
            restrict_linear(2 * dy, -ax * dy - (py - ay) * dx, -k, k, from, to);
            restrict_linear(2 * dx, -ax * dx + (py - ay) * dy, 0, l2, from, to);
            if (from <= to) {
                if (from < lo) lo = from;
                if (to > hi) hi = to;
            }
        }
        if (lo <= hi) painter.span(y, lo, hi);
    }
}

void pen_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int w = pen_width();
    if (w <= 1) {
        thin_line(painter, x0, y0, x1, y1);
    } else {
        thick_line(painter, x0, y0, x1, y1, w);
    }
}

void outline(Painter& painter, const int64_t* xs, const int64_t* ys, int n, bool closed) {
    if (n <= 0) return;
    if (n == 1) {
        pen_line(painter, xs[0], ys[0], xs[0], ys[0]);
        return;
    }
    for (int i = 0; i + 1 < n; ++i) pen_line(painter, xs[i], ys[i], xs[i + 1], ys[i + 1]);
    if (closed) pen_line(painter, xs[n - 1], ys[n - 1], xs[0], ys[0]);
}

}  // namespace gui

void GUI_DrawLine(int x0, int y0, int x1, int y1) {
    // One segment never overlaps itself, thick or thin, so XOR needs no mask.
    gui::Painter painter(false);
    gui::pen_line(painter, x0, y0, x1, y1);
}

void GUI_DrawPoint(int x, int y) {
    gui::Painter painter(false);
    gui::pen_line(painter, x, y, x, y);
}

void GUI_DrawRect(int x0, int y0, int x1, int y1) {
    const int64_t xs[4] = {x0, x1, x1, x0};
    const int64_t ys[4] = {y0, y0, y1, y1};
    gui::Painter painter(true);
    gui::outline(painter, xs, ys, 4, true);
}

namespace {

void poly_outline(const GUI_POINT* points, int count, int x, int y, bool closed) {
    if (!points || count < 1 || count > kGuiMaxPolygonPoints) return;
    int64_t xs[kGuiMaxPolygonPoints], ys[kGuiMaxPolygonPoints];
    for (int i = 0; i < count; ++i) {
        xs[i] = int64_t(x) + points[i].x;
        ys[i] = int64_t(y) + points[i].y;
    }
    gui::Painter painter(true);
    gui::outline(painter, xs, ys, count, closed);
}

}  // namespace

void GUI_DrawPolygon(const GUI_POINT* points, int count, int x, int y) {
    poly_outline(points, count, x, y, true);
}

void GUI_DrawPolyLine(const GUI_POINT* points, int count, int x, int y) {
    poly_outline(points, count, x, y, false);
}
