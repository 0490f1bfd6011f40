// Pictures to stored bitmaps: the colour conversion, transparency and the run-length encoder.
#include <algorithm>
#include <bitset>
#include <memory>

#include "gui/rgb565.h"
#include "imgpack.h"

namespace imgpack {

uint16_t to_rgb565(uint32_t rrggbb) {
    // The firmware's own packing: a bitmap pixel must equal the same colour drawn by command.
    return rgb565::pack((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

bool make_bitmap(const Picture& picture, Transparency transparency, uint32_t key_rrggbb,
                 Bitmap* out, std::string* error) {
    const size_t count = size_t(picture.width) * picture.height;
    if (picture.rgba.size() != count * 4) {
        if (error) *error = "the picture's pixel data do not match its size";
        return false;
    }
    Bitmap b;
    b.width = picture.width;
    b.height = picture.height;
    b.pixels.resize(count);
    std::vector<bool> see_through(count, false);
    auto used = std::make_unique<std::bitset<65536>>();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &picture.rgba[4 * i];
        b.pixels[i] = to_rgb565(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        see_through[i] = transparency != Transparency::kNone && p[3] < kAlphaThreshold;
        if (!see_through[i]) used->set(b.pixels[i]);
    }
    if (transparency != Transparency::kNone) {
        b.transparent = true;
        if (transparency == Transparency::kKey) {
            b.key = to_rgb565(key_rrggbb);
        } else if (!used->test(kPreferredKey)) {
            b.key = kPreferredKey;
        } else {
            uint32_t k = 0;
            while (k < 65536 && used->test(k)) ++k;
            if (k == 65536) {
                if (error) {
                    *error =
                        "the opaque pixels use every RGB565 colour: no key colour is left for "
                        "the transparent ones";
                }
                return false;
            }
            b.key = uint16_t(k);
        }
        for (size_t i = 0; i < count; ++i) {
            if (see_through[i]) b.pixels[i] = b.key;
        }
    }
    *out = std::move(b);
    return true;
}

std::vector<uint8_t> rle_encode(const std::vector<uint16_t>& pixels) {
    std::vector<uint8_t> out;
    std::vector<uint16_t> literal;
    auto put_pixel = [&](uint16_t p) {
        out.push_back(uint8_t(p));
        out.push_back(uint8_t(p >> 8));
    };
    auto flush = [&] {
        if (literal.empty()) return;
        out.push_back(0);
        out.push_back(uint8_t(literal.size()));  // 256 becomes 0
        for (uint16_t p : literal) put_pixel(p);
        literal.clear();
    };
    const size_t n = pixels.size();
    auto run_at = [&](size_t i) {
        size_t run = 1;
        while (i + run < n && run < 255 && pixels[i + run] == pixels[i]) ++run;
        return run;
    };
    size_t i = 0;
    while (i < n) {
        const size_t run = run_at(i);
        // A run item costs 3 bytes; the same pixels cost 2 each inside a literal, plus 2 for
        // starting a literal again after the run. So runs of 3 or more always pay, a run of 2
        // only when no literal is open, and a single pixel only when no literal is open and
        // none would follow it (the end, or a run after it).
        const bool alone = run == 1 && literal.empty() && (i + 1 == n || run_at(i + 1) >= 2);
        if (run >= 3 || (run == 2 && literal.empty()) || alone) {
            flush();
            out.push_back(uint8_t(run));
            put_pixel(pixels[i]);
        } else {
            for (size_t k = 0; k < run; ++k) {
                literal.push_back(pixels[i + k]);
                if (literal.size() == 256) flush();
            }
        }
        i += run;
    }
    flush();
    return out;
}

}  // namespace imgpack
