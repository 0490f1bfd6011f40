// Reference pictures for tests where exact pixels are the point: PNG files beside the tests
// (tests/unit/reference). A missing reference is a failure; so is any difference, and then the
// actual picture and a difference picture (differing pixels red, the rest dimmed) are written
// into the test output folder for a look.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace voxa_test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width x height x 3, rows from the top
};

bool read_png(const std::string& path, RgbImage* image);
bool write_png(const std::string& path, const RgbImage& image);

// The frame-buffer area (x0, y0, width x height) of a buffer with the given row pitch, as RGB
// (each RGB565 field expanded as the graphics library reads colours back).
RgbImage capture(const uint16_t* fb, int pitch, int x0, int y0, int width, int height);

// Compares image with the reference <name>.png.
::testing::AssertionResult matches_reference(const std::string& name, const RgbImage& image);

// Where tests write pictures for people to look at.
std::string test_output_dir();

}  // namespace voxa_test
