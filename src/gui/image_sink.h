// Internals of the image decoders: where decoded pixels go. Holds the image's position and the
// clip box as they were when drawing began, so a decoder hands over rows of the image in its own
// coordinates and never needs to know about the screen. Not for use outside src/gui.
#pragma once

#include <cstdint>

#include "gui/raster.h"

namespace gui {

class ImageSink {
  public:
    // The image's top-left corner on the screen.
    ImageSink(int x, int y);
    ImageSink(const ImageSink&) = delete;
    ImageSink& operator=(const ImageSink&) = delete;

    // Image row `row` has a visible pixel in columns [column, column + count).
    bool visible(int row, int column, int count) const;
    // Nothing at or below this image row can be seen (decoders may stop there).
    bool below_clip(int row) const { return int64_t(y_) + row > painter_.clip().y1; }
    // Nothing at or above this image row can be seen (for files stored bottom row first).
    bool above_clip(int row) const { return int64_t(y_) + row < painter_.clip().y0; }
    // count RGB565 pixels of image row `row` from image column `column` on.
    void row(int row, int column, const uint16_t* pixels, int count);
    // One pixel of the image.
    void pixel(int row, int column, uint16_t value);

  private:
    Painter painter_;
    int64_t x_, y_;
};

}  // namespace gui
