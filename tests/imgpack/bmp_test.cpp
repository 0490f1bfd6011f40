// The BMP reader on files made here byte by byte: the forms other programs seldom write
// (RLE4, run-length moves, short palettes, OS/2 headers, bit fields with alpha) and damage.
#include <gtest/gtest.h>

#include "imgpack.h"

namespace {

struct Plan {
    int32_t width = 1, height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0xRRGGBB
    uint32_t colours_used = 0;
    std::vector<uint32_t> masks;  // after a 40-byte header
    std::vector<uint8_t> pixels;  // as stored
    bool core = false;            // 12-byte header, 3-byte palette entries
};

void put(std::vector<uint8_t>& v, uint32_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> make_bmp(const Plan& p) {
    std::vector<uint8_t> h;
    if (p.core) {
        put(h, 12, 4), put(h, uint32_t(p.width), 2), put(h, uint32_t(p.height), 2);
        put(h, 1, 2), put(h, p.bpp, 2);
    } else {
        put(h, 40, 4), put(h, uint32_t(p.width), 4), put(h, uint32_t(p.height), 4);
        put(h, 1, 2), put(h, p.bpp, 2), put(h, p.compression, 4);
        put(h, uint32_t(p.pixels.size()), 4), put(h, 2835, 4), put(h, 2835, 4);
        put(h, p.colours_used, 4), put(h, 0, 4);
        for (uint32_t m : p.masks) put(h, m, 4);
    }
    for (uint32_t c : p.palette) {
        put(h, c & 0xFF, 1), put(h, (c >> 8) & 0xFF, 1), put(h, c >> 16, 1);
        if (!p.core) put(h, 0, 1);
    }
    std::vector<uint8_t> f = {'B', 'M'};
    put(f, uint32_t(14 + h.size() + p.pixels.size()), 4);
    put(f, 0, 4);
    put(f, uint32_t(14 + h.size()), 4);
    f.insert(f.end(), h.begin(), h.end());
    f.insert(f.end(), p.pixels.begin(), p.pixels.end());
    return f;
}

// The picture's colours as 0xRRGGBB, rows top to bottom.
std::vector<uint32_t> colours(const std::vector<uint8_t>& file,
                              uint32_t* alpha_of_first = nullptr) {
    imgpack::Picture pic;
    std::string error;
    EXPECT_TRUE(imgpack::decode_bmp(file, &pic, &error)) << error;
    std::vector<uint32_t> out;
    for (size_t i = 0; i + 3 < pic.rgba.size(); i += 4) {
        out.push_back(uint32_t(pic.rgba[i]) << 16 | pic.rgba[i + 1] << 8 | pic.rgba[i + 2]);
    }
    if (alpha_of_first && !pic.rgba.empty()) *alpha_of_first = pic.rgba[3];
    return out;
}

constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, K = 0x000000, W = 0xFFFFFF;

TEST(ImgpackBmp, RunLengthForms) {
    // RLE4, 8x3, bottom row first: a run of 3 alternating nibbles (1 2 1), then 5 pixels as
    // they are (3 0 1 2 3, 3 bytes padded to 4), end of line; then a move 2 right and 1 up, so
    // that the middle row and the first 2 pixels of the top row keep colour 0; a run of 1 (2),
    // the end mark.
    Plan rle4{8, 3, 4, 2, {K, R, G, B}, 4, {}, {}};
    rle4.pixels = {3, 0x12, 0, 5, 0x30, 0x12, 0x30, 0, 0, 0, 0, 2, 2, 1, 1, 0x22, 0, 1};
    EXPECT_EQ(colours(make_bmp(rle4)), (std::vector<uint32_t>{K, K, G, K, K, K, K, K,  //
                                                              K, K, K, K, K, K, K, K,  //
                                                              R, G, R, B, K, R, G, B}));

    // RLE8, 3x2: an absolute run of 3 with its pad byte, end of line, a run of 2 of index 1,
    // end of line and no end mark. The top row's last pixel is never written: it takes palette
    // entry 0 (white), not black.
    Plan rle8{3, 2, 8, 1, {W, R, G}, 3, {}, {}};
    rle8.pixels = {0, 3, 2, 1, 0, 0xEE, 0, 0, 2, 1, 0, 0};
    EXPECT_EQ(colours(make_bmp(rle8)), (std::vector<uint32_t>{R, R, W, G, R, W}));

    // Runs past the right edge are dropped, not wrapped.
    Plan wide{2, 1, 8, 1, {K, R}, 2, {}, {5, 1, 0, 1}};
    EXPECT_EQ(colours(make_bmp(wide)), (std::vector<uint32_t>{R, R}));
}

TEST(ImgpackBmp, PalettesHeadersAndBitFields) {
    // A short palette (2 entries for 8 bits): index 5 takes entry 0. Top-down rows.
    Plan shortpal{3, -2, 8, 0, {G, B}, 2, {}, {1, 0, 5, 0, 0, 1, 1, 0}};
    EXPECT_EQ(colours(make_bmp(shortpal)), (std::vector<uint32_t>{B, G, G, G, B, B}));

    // OS/2 header with 3-byte palette entries, 1 bit, bottom-up.
    Plan os2{10, 2, 1, 0, {K, W}, 0, {}, {0xC0, 0x40, 0, 0, 0x00, 0x80, 0, 0}};
    os2.core = true;
    std::vector<uint32_t> want(20, K);
    want[0] = W;  // top row: 0x00 0x80 -> pixel 8
    want[0] = K, want[8] = W;
    want[10] = want[11] = W, want[19] = W;  // bottom row: 0xC0 0x40 -> pixels 0, 1, 9
    EXPECT_EQ(colours(make_bmp(os2)), want);

    // 16-bit 565 bit fields: full scale stays full, and 5 and 6 bits widen by repetition so
    // that the module's conversion gives back the stored pixel.
    Plan b565{
        3, 1, 16, 3, {}, 0, {0xF800, 0x07E0, 0x001F}, {0x00, 0xF8, 0x41, 0x08, 0x1F, 0x00, 0, 0}};
    const std::vector<uint32_t> c565 = colours(make_bmp(b565));
    EXPECT_EQ(c565, (std::vector<uint32_t>{R, 0x080808, B}));
    EXPECT_EQ(imgpack::to_rgb565(c565[1]), 0x0841);

    // 16 bits without fields is 555.
    Plan b555{1, 1, 16, 0, {}, 0, {}, {0xE0, 0x03, 0, 0}};
    EXPECT_EQ(colours(make_bmp(b555)), std::vector<uint32_t>{G});

    // 32 bits with an alpha mask (alpha bit fields).
    Plan b32{1, 1, 32, 6, {}, 0, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, {0x40, 0x33, 0x22, 0x11}};
    uint32_t alpha = 0;
    EXPECT_EQ(colours(make_bmp(b32), &alpha), std::vector<uint32_t>{0x332211});
    EXPECT_EQ(alpha, 0x40u);
}

TEST(ImgpackBmp, DamageIsRefusedWithAReason) {
    Plan rle8{3, 2, 8, 1, {W, R, G}, 3, {}, {0, 3, 2, 1, 0, 0xEE, 0, 0, 2, 1, 0, 1}};
    Plan rgb{3, 2, 24, 0, {}, 0, {}, std::vector<uint8_t>(24, 0x77)};
    for (const Plan& p : {rle8, rgb}) {
        const std::vector<uint8_t> whole = make_bmp(p);
        // The padding of the last row may be missing; nothing else may.
        const size_t needed = p.compression == 0 ? whole.size() - 3 : whole.size();
        for (size_t n = 0; n < needed; ++n) {
            imgpack::Picture pic;
            std::string error;
            EXPECT_FALSE(imgpack::decode_bmp(
                std::vector<uint8_t>(whole.begin(), whole.begin() + long(n)), &pic, &error))
                << n;
            EXPECT_FALSE(error.empty()) << n;
        }
    }
    auto refused = [](Plan p, const std::string& why) {
        imgpack::Picture pic;
        std::string error;
        EXPECT_FALSE(imgpack::decode_bmp(make_bmp(p), &pic, &error)) << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    };
    Plan top_rle = rle8;
    top_rle.height = -2;
    refused(top_rle, "cannot be top-down");
    Plan bits = rgb;
    bits.bpp = 7;
    refused(bits, "7 bits per pixel");
    Plan holes{1, 1, 16, 3, {}, 0, {0xF00F, 0x0F00, 0x00F0}, {0, 0, 0, 0}};
    refused(holes, "unusable colour masks");
    Plan huge = rgb;
    huge.width = 70000;
    refused(huge, "65535");
    Plan big = rgb;
    big.width = 5000, big.height = 5000;
    refused(big, "more pixels than the module's memory");
}

}  // namespace
