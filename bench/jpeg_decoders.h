// What the JPEG benchmark and its callgrind driver share: an 800x480 photo-like picture
// compressed by libjpeg (quality 85, 4:2:0, baseline or progressive), and the three decoders
// that draw it as RGB565: ours into the frame buffer, libjpeg-turbo with its SIMD off (integer
// IDCT, chroma replicated, RGB565 output) and stb_image (RGB, packed afterwards).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <stb/stb_image.h>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "gui/gui.h"
#include "gui/image_decode.h"
#include "gui/rgb565.h"

namespace jpeg_bench {

constexpr int kW = 800, kH = 480;

// libjpeg reads the variable once, at its first call: before anything else.
inline void plain_c_libjpeg() {
    setenv("JSIMD_FORCENONE", "1", 1);
}

// Smooth shading with film-grain noise, a few objects with hard edges and fine texture.
inline std::vector<uint8_t> photo() {
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
    uint32_t seed = 99;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            const int sky = 120 + (y * 100) / kH;
            int r = sky - 40 + (x * 30) / kW, g = sky, b = 230 - (y * 60) / kH;
            const int dx = x - 520, dy = y - 260;
            if (dx * dx + dy * dy < 140 * 140) {
                r = 200 - (dx + dy) / 4, g = 120 + dy / 3, b = 60;
            }
            if (y > 330) {
                const int wave = ((x * 7 + y * 3) % 23) - 11;
                r = 70 + wave, g = 110 + (x % 17), b = 40 + wave / 2;
            }
            if (x > 80 && x < 240 && y > 100 && y < 420) r = g = b = 40 + (x % 9) * 4;
            uint8_t* p = &rgb[(size_t(y) * kW + size_t(x)) * 3];
            p[0] = uint8_t(r + grain < 0 ? 0 : r + grain > 255 ? 255 : r + grain);
            p[1] = uint8_t(g + grain < 0 ? 0 : g + grain > 255 ? 255 : g + grain);
            p[2] = uint8_t(b + grain < 0 ? 0 : b + grain > 255 ? 255 : b + grain);
        }
    }
    return rgb;
}

inline std::vector<uint8_t> compress(const std::vector<uint8_t>& rgb, bool progressive) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = kW;
    c.image_height = kH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * kW * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> file(out, out + size);
    free(out);
    return file;
}

struct Memory {
    const std::vector<uint8_t>* file;
    static int get(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
        const auto* m = static_cast<const Memory*>(context);
        if (offset >= m->file->size()) return 0;
        const size_t left = m->file->size() - offset;
        *data = m->file->data() + offset;
        return int(count < left ? count : left);
    }
};

// The firmware's library on the simulated board's frame buffer, with a work area for
// progressive images.
inline void start_ours() {
    static std::vector<uint8_t> area(4u << 20);
    sim::Standalone::instance();
    KV_GUI_Init();
    GUI_JPEG_SetWorkArea(area.data(), uint32_t(area.size()));
}

inline int ours(const std::vector<uint8_t>& file) {
    Memory m{&file};
    return GUI_JPEG_DrawEx(&Memory::get, &m, 0, 0);
}

inline void libjpeg(const std::vector<uint8_t>& file, uint16_t* out) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.do_fancy_upsampling = FALSE;
    d.out_color_space = JCS_RGB565;
    d.dither_mode = JDITHER_NONE;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(out + size_t(d.output_scanline) * kW);
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

inline void stb(const std::vector<uint8_t>& file, uint16_t* out) {
    int w = 0, h = 0, n = 0;
    uint8_t* rgb = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 3);
    if (!rgb) std::abort();
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        out[i] = rgb565::pack(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    stbi_image_free(rgb);
}

}  // namespace jpeg_bench
