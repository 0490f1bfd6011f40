// Internals of the graphics library shared by its rasterisers: the clip box, span writers and
// the XOR coverage mask. Not for use outside src/gui.
#pragma once

#include <cstdint>
#include <cstring>

#include "gui/gui.h"
#include "gui/pixel_fill.h"

namespace gui {

// The display given to GUI_Init: where pixel (x, y) lies is pixels + y * stride + x.
struct Surface {
    uint16_t* pixels;
    int width;
    int height;
    int stride;
};
extern Surface surface;

// Coordinates beyond this magnitude are first cut to the neighbourhood of the clip box, so
// that the exact integer rasterisers never overflow 64 bits.
constexpr int64_t kExactLimit = int64_t(1) << 19;

// Inclusive box; empty when x1 < x0 or y1 < y0.
struct Box {
    int x0, y0, x1, y1;
    bool empty() const { return x1 < x0 || y1 < y0; }
};

extern GUI_CONTEXT context;
// The clip rectangle intersected with the screen.
extern Box clipBox;

// One bit per screen pixel, rows kMaskStride words apart: the coverage of the figure being drawn
// in XOR mode. Only one figure is drawn at a time; flushing leaves the mask clear again.
constexpr int kMaskStride = (kGuiMaxWidth + 31) / 32;
extern uint32_t xorMask[kMaskStride * kGuiMaxHeight];

int64_t floor_div(int64_t a, int64_t b);  // b > 0
int64_t ceil_div(int64_t a, int64_t b);   // b > 0
uint32_t isqrt64(uint64_t v);             // floor(sqrt(v))

// Tells the board of pixels written (in batches, see Painter).
void report_pixels(uint32_t n);

// Where a primitive's spans go. Paint and invert write the frame buffer at once; mask collects
// coverage for figures whose parts overlap (thick polylines, outlines with shared vertices), so
// that XOR mode inverts every pixel once when the figure is finished.
class Painter {
  public:
    enum class Mode : uint8_t { kPaint, kInvert, kMask };

    // Draws in the context's colour and draw mode. composite: the figure's parts may overlap.
    explicit Painter(bool composite);
    // Paints value regardless of the draw mode.
    Painter(uint16_t value, const Box& clip);
    // Flushes the mask in XOR mode.
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    const Box& clip() const { return clip_; }
    Mode mode() const { return mode_; }

    // Row y, columns x0..x1; anything outside the clip box is dropped.
    void span(int64_t y, int64_t x0, int64_t x1) {
        if (y < clip_.y0 || y > clip_.y1) return;
        if (x0 < clip_.x0) x0 = clip_.x0;
        if (x1 > clip_.x1) x1 = clip_.x1;
        if (x0 > x1) return;
        span_clipped(int(y), int(x0), int(x1));
    }
    void span_clipped(int y, int x0, int x1);
    // The same with another pixel value than the painter's own (bitmaps).
    void span_value(int64_t y, int64_t x0, int64_t x1, uint16_t value) {
        const uint16_t own = value_;
        value_ = value;
        span(y, x0, x1);
        value_ = own;
    }
    // One pixel already known to lie in the clip box.
    void pixel_clipped(int x, int y) {
        uint16_t* p = fb_ + y * stride_ + x;
        switch (mode_) {
            case Mode::kPaint:
                *p = value_;
                break;
            case Mode::kInvert:
                *p = uint16_t(~*p);
                break;
            case Mode::kMask:
                mask_bounds(x, y, x, y);
                mask_bit(x, y);
                break;
        }
    }
    void pixel_value(int x, int y, uint16_t value) {
        uint16_t* p = fb_ + y * stride_ + x;
        *p = mode_ == Mode::kPaint ? value : uint16_t(~*p);
        ++pixels_;
    }
    uint16_t* framebuffer() const { return fb_; }
    // Pixels from one row of the frame buffer to the next.
    int stride() const { return stride_; }
    uint16_t value() const { return value_; }
    // Mask mode: the figure will stay inside this box (clipped coordinates), so single bits
    // can then be set without bookkeeping.
    void mask_bounds(int x0, int y0, int x1, int y1);
    void mask_bit(int x, int y) { xorMask[y * kMaskStride + (x >> 5)] |= uint32_t(1) << (x & 31); }

    // Pixels written so far, for the board's work accounting.
    uint32_t pixels() const { return pixels_; }
    void count(uint32_t n) { pixels_ += n; }

  private:
    void mask_span(int y, int x0, int x1);
    void flush_mask();

    uint16_t* fb_;
    int stride_;
    Box clip_;
    uint16_t value_;
    Mode mode_;
    uint32_t pixels_ = 0;
    int mask_y0_, mask_y1_, mask_x0_, mask_x1_;
};

// A thin (one pixel) line with both end points, identical whichever end comes first.
void thin_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1);
// The area swept by a round pen of the given width along the segment (a dot when the ends
// coincide).
void thick_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int width);
// A line with the context's pen (thin for pens 0 and 1).
void pen_line(Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1);
// Outline through n points (closed: back to the first).
void outline(Painter& painter, const int64_t* xs, const int64_t* ys, int n, bool closed);

inline int pen_width() {
    return context.PenSize < 1 ? 1 : context.PenSize;
}

// Cuts the segment to the box grown by margin on every side (rounding the new ends to whole
// pixels). Returns false when nothing of it is near the box.
bool cut_segment(int64_t& x0, int64_t& y0, int64_t& x1, int64_t& y1, const Box& box,
                 int64_t margin);

}  // namespace gui
