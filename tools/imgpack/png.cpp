// PNG files to and from 8-bit RGBA through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "imgpack.h"

namespace imgpack {

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

struct Failure {
    char message[200];
};

void on_error(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep to, size_t count) {
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    if (src->size - src->pos < count) png_error(png, "the file ends early");
    std::memcpy(to, src->data + src->pos, count);
    src->pos += count;
}

// Everything libpng may jump out of lives in plain C objects here: no destructor is skipped by
// the longjmp. The caller owns the pixel buffer.
bool decode(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* rgba, uint32_t* width,
            uint32_t* height, Failure* failure) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        std::snprintf(failure->message, sizeof failure->message, "not a PNG file");
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, failure, on_error, on_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    Source src{bytes.data(), bytes.size(), 0};
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        delete[] rows;
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, read_bytes);
    png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    const int color = png_get_color_type(png, info);
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    // Rounded to the nearest 8-bit value: the high byte alone would darken, and readers differ
    // (ImageMagick truncates v / 257, netpbm rounds), so take the exact rule.
    png_set_scale_16(png);
    if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // no effect when alpha is there already
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "unexpected row format");
    if (uint64_t(w) * h * 2 > kMaxFileSize) {
        png_error(png, "more pixels than the module's memory holds at 16 bits each");
    }
    rgba->assign(size_t(w) * h * 4, 0);
    rows = new png_bytep[h];
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = rgba->data() + size_t(y) * w * 4;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    delete[] rows;
    rows = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    *width = w;
    *height = h;
    return true;
}

void write_bytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_nothing(png_structp) {}

bool encode(const Picture& picture, bool alpha, std::vector<uint8_t>* out, Failure* failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, on_error, on_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_bytep volatile row = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        delete[] row;
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, write_bytes, flush_nothing);
    png_set_IHDR(png, info, picture.width, picture.height, 8,
                 alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t channels = alpha ? 4 : 3;
    row = new png_byte[size_t(picture.width) * channels];
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* in = picture.rgba.data() + size_t(y) * picture.width * 4;
        for (uint32_t x = 0; x < picture.width; ++x) {
            for (size_t c = 0; c < channels; ++c) row[x * channels + c] = in[4 * x + c];
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    delete[] row;
    row = nullptr;
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool encode_png(const Picture& picture, std::vector<uint8_t>* out, std::string* error) {
    if (picture.width == 0 || picture.height == 0 ||
        picture.rgba.size() != size_t(picture.width) * picture.height * 4) {
        if (error) *error = "PNG: the picture's pixel data do not match its size";
        return false;
    }
    bool alpha = false;
    for (size_t i = 3; i < picture.rgba.size() && !alpha; i += 4) alpha = picture.rgba[i] != 0xFF;
    Failure failure{};
    std::snprintf(failure.message, sizeof failure.message, "cannot set up the PNG writer");
    std::vector<uint8_t> bytes;
    if (!encode(picture, alpha, &bytes, &failure)) {
        if (error) *error = std::string("PNG: ") + failure.message;
        return false;
    }
    *out = std::move(bytes);
    return true;
}

bool decode_png(const std::vector<uint8_t>& bytes, Picture* out, std::string* error) {
    Failure failure{};
    std::snprintf(failure.message, sizeof failure.message, "cannot set up the PNG reader");
    Picture p;
    if (!decode(bytes, &p.rgba, &p.width, &p.height, &failure)) {
        if (error) *error = std::string("PNG: ") + failure.message;
        return false;
    }
    *out = std::move(p);
    return true;
}

}  // namespace imgpack
