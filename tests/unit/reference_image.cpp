#include "reference_image.h"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>

namespace voxa_test {

bool read_png(const std::string& path, RgbImage* image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    image->width = int(png.width);
    image->height = int(png.height);
    image->rgb.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image->rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
}

bool write_png(const std::string& path, const RgbImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr) != 0;
}

RgbImage capture(const uint16_t* fb, int pitch, int x0, int y0, int width, int height) {
    RgbImage image{width, height, {}};
    image.rgb.reserve(size_t(width) * height * 3);
    for (int y = y0; y < y0 + height; ++y) {
        for (int x = x0; x < x0 + width; ++x) {
            const uint16_t p = fb[size_t(y) * pitch + x];
            image.rgb.push_back(uint8_t(((p >> 11) & 0x1F) * 255 / 31));
            image.rgb.push_back(uint8_t(((p >> 5) & 0x3F) * 255 / 63));
            image.rgb.push_back(uint8_t((p & 0x1F) * 255 / 31));
        }
    }
    return image;
}

std::string test_output_dir() {
    const std::string dir = VOXA_TEST_OUTPUT_DIR;
    ::mkdir(dir.c_str(), 0777);
    return dir;
}

::testing::AssertionResult matches_reference(const std::string& name, const RgbImage& image) {
    const std::string reference = std::string(VOXA_REFERENCE_DIR) + "/" + name + ".png";
    const std::string actual = test_output_dir() + "/" + name + ".actual.png";
    RgbImage expected;
    if (!read_png(reference, &expected)) {
        write_png(actual, image);
        return ::testing::AssertionFailure()
               << "no reference picture " << reference << "; the actual picture is in " << actual
               << " (check it, then copy it there)";
    }
    if (expected.width != image.width || expected.height != image.height) {
        write_png(actual, image);
        return ::testing::AssertionFailure() << reference << " is " << expected.width << " x "
                                             << expected.height << ", the picture " << image.width
                                             << " x " << image.height << "; actual in " << actual;
    }
    RgbImage diff = image;
    int differing = 0, firstX = -1, firstY = -1;
    for (int i = 0; i < image.width * image.height; ++i) {
        uint8_t* d = &diff.rgb[size_t(i) * 3];
        const bool same = std::equal(d, d + 3, &expected.rgb[size_t(i) * 3]);
        if (same) {
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(d[c] / 4 + 160);
            continue;
        }
        if (differing++ == 0) firstX = i % image.width, firstY = i / image.width;
        d[0] = 255, d[1] = 0, d[2] = 0;
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    const std::string diffPath = test_output_dir() + "/" + name + ".diff.png";
    write_png(actual, image);
    write_png(diffPath, diff);
    return ::testing::AssertionFailure()
           << differing << " pixels differ from " << reference << ", the first at (" << firstX
           << ", " << firstY << "); actual in " << actual << ", differences in " << diffPath;
}

}  // namespace voxa_test
