// JPEG files to 8-bit RGBA through libjpeg(-turbo): baseline, progressive and greyscale.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <csetjmp>

#include "imgpack.h"

namespace imgpack {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void on_error(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, err->message);
    longjmp(err->jump, 1);
}

void on_message(j_common_ptr, int) {}

// As with the PNG reader, only plain C objects live across the longjmp; rows are written
// straight into the caller's buffer, which is sized before the first jump can happen.
bool decode(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* rgba, uint32_t* width,
            uint32_t* height, ErrorManager* err) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&err->pub);
    err->pub.error_exit = on_error;
    err->pub.emit_message = on_message;
    unsigned char* volatile row = nullptr;
    if (setjmp(err->jump)) {
        delete[] row;
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        std::snprintf(err->message, sizeof err->message,
                      "CMYK pictures are not taken; convert it to RGB first");
        longjmp(err->jump, 1);
    }
    {
        // Before decompression starts: a progressive picture's buffers are allocated then.
        const uint32_t w = info.image_width, h = info.image_height;
        if (w > kMaxBitmapSide || h > kMaxBitmapSide || uint64_t(w) * h * 2 > kMaxFileSize) {
            std::snprintf(err->message, sizeof err->message,
                          "%ux%u pixels: more than the module's memory holds at 16 bits each", w,
                          h);
            longjmp(err->jump, 1);
        }
    }
    info.out_color_space = JCS_RGB;  // greyscale too: the library repeats the grey
    jpeg_start_decompress(&info);
    const uint32_t w = info.output_width, h = info.output_height;
    if (info.output_components != 3) {
        std::snprintf(err->message, sizeof err->message, "unexpected colour components");
        longjmp(err->jump, 1);
    }
    rgba->assign(size_t(w) * h * 4, 0xFF);
    row = new unsigned char[size_t(w) * 3];
    while (info.output_scanline < h) {
        const uint32_t y = info.output_scanline;
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* out = rgba->data() + size_t(y) * w * 4;
        for (uint32_t x = 0; x < w; ++x) {
            out[4 * x] = row[3 * x];
            out[4 * x + 1] = row[3 * x + 1];
            out[4 * x + 2] = row[3 * x + 2];
        }
    }
    jpeg_finish_decompress(&info);
    delete[] row;
    row = nullptr;
    jpeg_destroy_decompress(&info);
    *width = w;
    *height = h;
    return true;
}

}  // namespace

bool decode_jpeg(const std::vector<uint8_t>& bytes, Picture* out, std::string* error) {
    ErrorManager err{};
    Picture p;
    if (!decode(bytes, &p.rgba, &p.width, &p.height, &err)) {
        if (error) *error = std::string("JPEG: ") + err.message;
        return false;
    }
    *out = std::move(p);
    return true;
}

}  // namespace imgpack
