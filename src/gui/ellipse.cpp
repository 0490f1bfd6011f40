// Circles, ellipses and arcs, one row at a time.
//
// A pixel (x, y) lies in the ellipse with radii a, b around the centre when
// 4x²(2b+1)² + 4y²(2a+1)² <= (2a+1)²(2b+1)², i.e. inside the ellipse with half-axes a + 1/2 and
// b + 1/2; for a circle this is x² + y² <= r² + r. Each row is computed on its own, so the cost
// depends on the rows on screen, not on the radius, and every row's spans are disjoint (XOR
// inverts each pixel once without a mask).
#include "gui/gui.h"
#include "gui/raster.h"

namespace gui {

namespace {

// The row extents of one ellipse: extent(k) is the largest x of row k, -1 outside.
class Extent {
  public:
    Extent(int64_t a, int64_t b) : b_(b) {
        const uint64_t ta = uint64_t(2 * a + 1), tb = uint64_t(2 * b + 1);
        a2_ = ta * ta;
        b2_ = tb * tb;
    }
    int64_t extent(int64_t k) const {
        if (k < 0) k = -k;
        if (k > b_) return -1;
        const uint64_t rest = b2_ - uint64_t(4 * k * k);
        // a2_ and rest are below 2^32 for radii up to kGuiMaxRadius + 128, so the product fits.
        const uint64_t q = a2_ * rest / (4 * b2_);
        // The answer is the integer square root of q. Rows are asked for in order, and the
        // extent of a row is close to the last one asked for, so a few steps from there are
        // cheaper than a full root (which the ARM has to compute bit by bit).
        int64_t x = last_;
        if (x >= 0) {
            for (int steps = 0; x >= 0; ++steps) {
                if (steps == kMaxSteps) {
                    x = -1;
                    break;
                }
                if (uint64_t(x) * uint64_t(x) > q) {
                    --x;
                } else if (uint64_t(x + 1) * uint64_t(x + 1) <= q) {
                    ++x;
                } else {
                    break;
                }
            }
        }
        if (x < 0) x = isqrt64(q);
        last_ = x;
        return x;
    }
    int64_t rows() const { return b_; }

  private:
    static constexpr int kMaxSteps = 32;
    int64_t b_;
    uint64_t a2_, b2_;
    mutable int64_t last_ = -1;
};

int64_t clamp_radius(int64_t r) {
    return r > kGuiMaxRadius ? kGuiMaxRadius : r;
}

// The ring an outline covers: the boundary pixels of one ellipse for a pen of 1 (those with a
// 4-neighbour outside), else the outer ellipse minus the inner one, `width` pixels apart.
class Ring {
  public:
    Ring(int64_t a, int64_t b, int width)
        : thin_(width <= 1),
          outer_(thin_ ? a : clamp_radius(a + width / 2), thin_ ? b : clamp_radius(b + width / 2)),
          inner_(a + width / 2 - width < 0 ? 0 : a + width / 2 - width,
                 b + width / 2 - width < 0 ? 0 : b + width / 2 - width),
          has_inner_(!thin_ && a + width / 2 - width >= 0 && b + width / 2 - width >= 0) {}

    int64_t rows() const { return outer_.rows(); }

    // Spans of row k relative to the centre, left to right; returns their number (0-2).
    int spans(int64_t k, int64_t* from, int64_t* to) const {
        const int64_t xo = outer_.extent(k);
        if (xo < 0) return 0;
        int64_t start;
        if (thin_) {
            const int64_t kk = k < 0 ? -k : k;
            const int64_t xn = outer_.extent(kk + 1);
            start = xn + 1 < xo ? xn + 1 : xo;
        } else {
            const int64_t xi = has_inner_ ? inner_.extent(k) : -1;
            if (xi >= xo) return 0;
            start = xi + 1;
        }
        if (start <= 0) {
            from[0] = -xo;
            to[0] = xo;
            return 1;
        }
        from[0] = -xo;
        to[0] = -start;
        from[1] = start;
        to[1] = xo;
        return 2;
    }

  private:
    bool thin_;
    Extent outer_;
    Extent inner_;
    bool has_inner_;
};

void fill_ellipse(int64_t cx, int64_t cy, int64_t a, int64_t b) {
    if (a < 0 || b < 0) return;
    a = clamp_radius(a);
    b = clamp_radius(b);
    Painter painter(false);
    const Box& c = painter.clip();
    const Extent e(a, b);
    int64_t k0 = c.y0 - cy, k1 = c.y1 - cy;
    if (k0 < -b) k0 = -b;
    if (k1 > b) k1 = b;
    for (int64_t k = k0; k <= k1; ++k) {
        const int64_t x = e.extent(k);
        painter.span(cy + k, cx - x, cx + x);
    }
}

void draw_ellipse(int64_t cx, int64_t cy, int64_t a, int64_t b) {
    if (a < 0 || b < 0) return;
    a = clamp_radius(a);
    b = clamp_radius(b);
    Painter painter(false);
    const Box& c = painter.clip();
    const Ring ring(a, b, pen_width());
    int64_t k0 = c.y0 - cy, k1 = c.y1 - cy;
    if (k0 < -ring.rows()) k0 = -ring.rows();
    if (k1 > ring.rows()) k1 = ring.rows();
    int64_t from[2], to[2];
    for (int64_t k = k0; k <= k1; ++k) {
        const int n = ring.spans(k, from, to);
        for (int i = 0; i < n; ++i) painter.span(cy + k, cx + from[i], cx + to[i]);
    }
}

// sin(d) x 16384 for whole degrees 0-90.
constexpr int16_t kSin[91] = {
    0,     286,   572,   857,   1143,  1428,  1713,  1997,  2280,  2563,  2845,  3126,  3406,
    3686,  3964,  4240,  4516,  4790,  5063,  5334,  5604,  5872,  6138,  6402,  6664,  6924,
    7182,  7438,  7692,  7943,  8192,  8438,  8682,  8923,  9162,  9397,  9630,  9860,  10087,
    10311, 10531, 10749, 10963, 11174, 11381, 11585, 11786, 11982, 12176, 12365, 12551, 12733,
    12911, 13085, 13255, 13421, 13583, 13741, 13894, 14044, 14189, 14330, 14466, 14598, 14726,
    14849, 14968, 15082, 15191, 15296, 15396, 15491, 15582, 15668, 15749, 15826, 15897, 15964,
    16026, 16083, 16135, 16182, 16225, 16262, 16294, 16322, 16344, 16362, 16374, 16382, 16384};

int64_t sin_deg(int64_t d) {
    d %= 360;
    if (d < 0) d += 360;
    if (d <= 90) return kSin[d];
    if (d <= 180) return kSin[180 - d];
    if (d <= 270) return -kSin[d - 180];
    return -kSin[360 - d];
}
int64_t cos_deg(int64_t d) {
    return sin_deg(d + 90);
}

constexpr int64_t kUnbounded = int64_t(1) << 40;

// Integers x with a * x + c >= 0, as [lo, hi] (lo > hi: none).
void half_plane(int64_t a, int64_t c, int64_t& lo, int64_t& hi) {
    lo = -kUnbounded;
    hi = kUnbounded;
    if (a == 0) {
        if (c < 0) hi = lo - 1;
    } else if (a > 0) {
        lo = ceil_div(-c, a);
    } else {
        hi = floor_div(c, -a);
    }
}

}  // namespace

}  // namespace gui

void GUI_DrawCircle(int x, int y, int r) {
    gui::draw_ellipse(x, y, r, r);
}
void GUI_FillCircle(int x, int y, int r) {
    gui::fill_ellipse(x, y, r, r);
}
void GUI_DrawEllipse(int x, int y, int rx, int ry) {
    gui::draw_ellipse(x, y, rx, ry);
}
void GUI_FillEllipse(int x, int y, int rx, int ry) {
    gui::fill_ellipse(x, y, rx, ry);
}

// The arc is the outline's ring cut by the sector between the rays through the points of
// parameter a0 and a1 on the ellipse, (rx cos a, -ry sin a) from the centre on the screen. In
// each row the sector is one interval (sweeps up to 180 degrees: the intersection of two half
// planes) or two (larger sweeps: their union); the rays' own pixels belong to the arc.
void GL_DrawArc(int x, int y, int rx, int ry, int a0, int a1) {
    using namespace gui;
    if (rx < 0 || ry < 0) return;
    const int64_t a = clamp_radius(rx), b = clamp_radius(ry);
    int64_t sweep = int64_t(a1) - a0;
    if (sweep < 0) sweep = (sweep % 360 + 360) % 360;
    if (sweep >= 360) {
        draw_ellipse(x, y, a, b);
        return;
    }
    const int64_t ar = a > 0 ? a : 1, br = b > 0 ? b : 1;
    const int64_t d0x = ar * cos_deg(a0), d0y = br * sin_deg(a0);
    const int64_t d1x = ar * cos_deg(int64_t(a0) + sweep), d1y = br * sin_deg(int64_t(a0) + sweep);

    Painter painter(false);
    const Box& c = painter.clip();
    const Ring ring(a, b, pen_width());
    int64_t k0 = c.y0 - int64_t(y), k1 = c.y1 - int64_t(y);
    if (k0 < -ring.rows()) k0 = -ring.rows();
    if (k1 > ring.rows()) k1 = ring.rows();
    int64_t from[2], to[2];
    for (int64_t v = k0; v <= k1; ++v) {
        const int n = ring.spans(v, from, to);
        if (!n) continue;
        // In mathematical orientation the pixel is (u, -v); the sector in this row:
        int64_t s_lo[2], s_hi[2];
        int sn = 0;
        int64_t l0, h0, l1, h1;
        half_plane(-d0y, -d0x * v, l0, h0);  // counter-clockwise of the first ray
        half_plane(d1y, d1x * v, l1, h1);    // clockwise of the second ray
        if (sweep <= 180) {
            int64_t lo = l0 > l1 ? l0 : l1, hi = h0 < h1 ? h0 : h1;
            if (sweep == 0) {  // both half planes also hold the opposite ray
                int64_t l2, h2;
                half_plane(d0x, -v * d0y, l2, h2);
                if (l2 > lo) lo = l2;
                if (h2 < hi) hi = h2;
            }
            if (lo <= hi) {
                s_lo[0] = lo;
                s_hi[0] = hi;
                sn = 1;
            }
        } else {
            if (l0 > l1) {
                int64_t t = l0;
                l0 = l1;
                l1 = t;
                t = h0;
                h0 = h1;
                h1 = t;
            }
            if (l0 <= h0) {
                s_lo[sn] = l0;
                s_hi[sn] = h0;
                ++sn;
            }
            if (l1 <= h1) {
                if (sn && l1 <= s_hi[0] + 1) {
                    if (h1 > s_hi[0]) s_hi[0] = h1;
                } else {
                    s_lo[sn] = l1;
                    s_hi[sn] = h1;
                    ++sn;
                }
            }
        }
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < sn; ++j) {
                const int64_t lo = from[i] > s_lo[j] ? from[i] : s_lo[j];
                const int64_t hi = to[i] < s_hi[j] ? to[i] : s_hi[j];
                if (lo <= hi) painter.span(int64_t(y) + v, int64_t(x) + lo, int64_t(x) + hi);
            }
        }
    }
}
