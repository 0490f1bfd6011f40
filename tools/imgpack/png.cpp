// PNG files to 8-bit RGBA through libpng's transforms.
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
    png_set_strip_16(png);
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

}  // namespace

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
