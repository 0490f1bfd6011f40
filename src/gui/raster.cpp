#include "gui/raster.h"

#include <cstring>

#include "device/board.h"

namespace gui {

uint32_t xorMask[kMaskStride * kGuiMaxHeight];
Surface surface;

namespace {

constexpr uint32_t kReportPixels = 4096;
uint32_t unreported;

}  // namespace

int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t ceil_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

uint32_t isqrt64(uint64_t v) {
    uint64_t result = 0;
    uint64_t bit = uint64_t(1) << 62;
    while (bit > v) bit >>= 2;
    while (bit) {
        if (v >= result + bit) {
            v -= result + bit;
            result = (result >> 1) + bit;
        } else {
            result >>= 1;
        }
        bit >>= 2;
    }
    return uint32_t(result);
}

Painter::Painter(bool composite)
    : fb_(surface.pixels),
      stride_(surface.stride),
      clip_(clipBox),
      value_(context.ColorIndex),
      mode_(Mode::kPaint),
      mask_y0_(surface.height),
      mask_y1_(-1),
      mask_x0_(surface.width),
      mask_x1_(-1) {
    if (context.DrawMode & GUI_DRAWMODE_XOR) mode_ = composite ? Mode::kMask : Mode::kInvert;
}

Painter::Painter(uint16_t value, const Box& clip)
    : fb_(surface.pixels),
      stride_(surface.stride),
      clip_(clip),
      value_(value),
      mode_(Mode::kPaint),
      mask_y0_(surface.height),
      mask_y1_(-1),
      mask_x0_(surface.width),
      mask_x1_(-1) {}

Painter::~Painter() {
    if (mode_ == Mode::kMask) flush_mask();
    report_pixels(pixels_);
}

void report_pixels(uint32_t n) {
    // The board learns of the work in batches: a checkpoint per small figure would cost more
    // than drawing it, and a big figure still lets its time pass at once.
    unreported += n;
    if (unreported >= kReportPixels) {
        board_checkpoint(Work::kPixels, unreported);
        unreported = 0;
    }
}

void Painter::span_clipped(int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    uint16_t* p = fb_ + y * stride_ + x0;
    switch (mode_) {
        case Mode::kPaint:
            fill16(p, n, value_);
            pixels_ += uint32_t(n);
            break;
        case Mode::kInvert:
            invert16(p, n);
            pixels_ += uint32_t(n);
            break;
        case Mode::kMask:
            mask_span(y, x0, x1);
            break;
    }
}

void Painter::mask_bounds(int x0, int y0, int x1, int y1) {
    if (y0 < mask_y0_) mask_y0_ = y0;
    if (y1 > mask_y1_) mask_y1_ = y1;
    if (x0 < mask_x0_) mask_x0_ = x0;
    if (x1 > mask_x1_) mask_x1_ = x1;
}

void Painter::mask_span(int y, int x0, int x1) {
    mask_bounds(x0, y, x1, y);
    uint32_t* row = xorMask + y * kMaskStride;
    const int w0 = x0 >> 5, w1 = x1 >> 5;
    const uint32_t first = ~uint32_t(0) << (x0 & 31);
    const uint32_t last = ~uint32_t(0) >> (31 - (x1 & 31));
    if (w0 == w1) {
        row[w0] |= first & last;
        return;
    }
    row[w0] |= first;
    for (int w = w0 + 1; w < w1; ++w) row[w] = ~uint32_t(0);
    row[w1] |= last;
}

void Painter::flush_mask() {
    if (mask_y1_ < mask_y0_) return;
    const int w0 = mask_x0_ >> 5, w1 = mask_x1_ >> 5;
    for (int y = mask_y0_; y <= mask_y1_; ++y) {
        uint32_t* row = xorMask + y * kMaskStride;
        uint16_t* line = fb_ + y * stride_;
        for (int w = w0; w <= w1; ++w) {
            uint32_t bits = row[w];
            if (!bits) continue;
            row[w] = 0;
            while (bits) {
                const int start = __builtin_ctz(bits);
                const uint32_t rest = ~(bits >> start);
                const int len = rest ? __builtin_ctz(rest) : 32 - start;
                invert16(line + w * 32 + start, len);
                pixels_ += uint32_t(len);
                bits = (len + start >= 32) ? 0 : bits & (~uint32_t(0) << (start + len));
            }
        }
    }
}

}  // namespace gui
