#include "gui/image_sink.h"

#include <cstring>

namespace gui {

// An image covers each of its pixels once, so XOR mode needs no mask.
ImageSink::ImageSink(int x, int y) : painter_(false), x_(x), y_(y) {}

bool ImageSink::visible(int row, int column, int count) const {
    const Box& c = painter_.clip();
    const int64_t sy = y_ + row, sx = x_ + column;
    return count > 0 && sy >= c.y0 && sy <= c.y1 && sx <= c.x1 && sx + count - 1 >= c.x0;
}

void ImageSink::row(int row, int column, const uint16_t* pixels, int count) {
    const Box& c = painter_.clip();
    const int64_t sy = y_ + row;
    if (sy < c.y0 || sy > c.y1 || count <= 0) return;
    int64_t sx = x_ + column;
    int64_t first = 0, last = count - 1;
    if (sx < c.x0) first = c.x0 - sx;
    if (sx + last > c.x1) last = c.x1 - sx;
    if (first > last) return;
    uint16_t* p = painter_.framebuffer() + sy * painter_.stride() + sx;
    if (painter_.mode() == Painter::Mode::kPaint) {
        std::memcpy(p + first, pixels + first, size_t(last - first + 1) * sizeof *p);
    } else {
        for (int64_t i = first; i <= last; ++i) p[i] = uint16_t(~p[i]);
    }
    painter_.count(uint32_t(last - first + 1));
}

void ImageSink::pixel(int row, int column, uint16_t value) {
    const Box& c = painter_.clip();
    const int64_t sy = y_ + row, sx = x_ + column;
    if (sy < c.y0 || sy > c.y1 || sx < c.x0 || sx > c.x1) return;
    painter_.pixel_value(int(sx), int(sy), value);
}

}  // namespace gui
