// The BMP and GIF decoders against files written by ImageMagick (and giflib) from pictures made
// here, decoded by the same tools for the reference: every pixel must be the reference's colour
// with its low bits dropped. Also the position and clip, the get-data function's piece sizes,
// and the refusals of broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gui/bmp.h"
#include "gui/gui.h"
#include "gui/image_decode.h"
#include "gui/rgb565.h"
#include "in_process.h"
#include "test_screen.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- Files and tools ----

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/voxa-imgdec-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempDir() {
        if (!path_.empty()) (void)std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

Bytes read_file(const std::string& path) {
    Bytes b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
}

void write_file(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), f), b.size());
    std::fclose(f);
}

// Runs a shell command; its standard output, and whether it succeeded.
bool run(const std::string& command, Bytes* out = nullptr) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        if (out) out->insert(out->end(), buf, buf + n);
    }
    const int status = pclose(p);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// 8-bit RGB, row after row.
struct Picture {
    int w = 0, h = 0;
    Bytes rgb;
};

// Gradients for smooth runs, noise for literal runs and every palette index, a hard diagonal
// edge and a one-pixel frame so that the first and last row and column are unmistakable.
Picture make_picture(int w, int h, uint32_t seed) {
    Picture p{w, h, Bytes(size_t(w) * size_t(h) * 3)};
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* o = &p.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            int r = x * 255 / (w > 1 ? w - 1 : 1), g = y * 255 / (h > 1 ? h - 1 : 1),
                b = (x + y) * 7 & 255;
            if (x * h > y * w * 2) b = 255 - b;
            if ((x / 5 + y / 3) % 4 == 0) {
                r = int(rng() & 255);
                g = int(rng() & 255);
                b = int(rng() & 255);
            }
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1) r = g = b = (x + y) & 1 ? 255 : 0;
            o[0] = uint8_t(r);
            o[1] = uint8_t(g);
            o[2] = uint8_t(b);
        }
    }
    return p;
}

void write_ppm(const std::string& path, const Picture& p) {
    const std::string head = "P6\n" + std::to_string(p.w) + " " + std::to_string(p.h) + "\n255\n";
    Bytes b(head.begin(), head.end());
    b.insert(b.end(), p.rgb.begin(), p.rgb.end());
    write_file(path, b);
}

// An image as ImageMagick reads it, each pixel packed to RGB565.
std::vector<uint16_t> magick_pixels(const std::string& path, size_t count) {
    Bytes raw;
    EXPECT_TRUE(run("convert '" + path + "' -depth 8 rgb:-", &raw)) << path;
    EXPECT_EQ(raw.size(), count * 3) << path;
    std::vector<uint16_t> out(raw.size() / 3);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = rgb565::pack(raw[3 * i], raw[3 * i + 1], raw[3 * i + 2]);
    }
    return out;
}

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
void put_le32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void put_le16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// ---- The get-data function ----

enum class Pieces { kWhole, kOneByte, kRandom };

struct Source {
    const Bytes* file;
    Pieces pieces;
    std::mt19937 rng{7};
    unsigned calls = 0;
};

int get_data(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
    auto* s = static_cast<Source*>(context);
    ++s->calls;
    EXPECT_LE(count, kGuiImageRequestMax);
    if (offset >= s->file->size()) return 0;
    unsigned n = unsigned(std::min<size_t>(count, s->file->size() - offset));
    if (s->pieces == Pieces::kOneByte) n = 1;
    if (s->pieces == Pieces::kRandom) n = 1 + unsigned(s->rng() % n);
    *data = s->file->data() + offset;
    return int(n);
}

const char* piece_name(Pieces p) {
    return p == Pieces::kWhole ? "whole" : p == Pieces::kOneByte ? "1-byte" : "random";
}

// ---- The screen ----

class ImageDecoder : public ::testing::Test {
  protected:
    void SetUp() override {
        // The decoders' warnings go to the host port.
        voxa_test::start_firmware_in_process();
        voxa_test::host_output();
        screen_.open(voxa_test::kWvgaScreen, 0);
        const GUI_DISPLAY display = screen_.display();
        ASSERT_EQ(GUI_Init(&display), 0);
        screen_.noise();
    }
    void TearDown() override { EXPECT_TRUE(screen_.untouched_outside()); }

    using Decoder = int(GUI_GET_DATA_FUNC*, void*, int, int);

    int draw(Decoder* decoder, const Bytes& file, int x, int y, Pieces pieces = Pieces::kWhole) {
        Source source{&file, pieces};
        return decoder(get_data, &source, x, y);
    }

    // The screen as it was with the image (iw x ih, row after row) drawn at (x, y) within the
    // clip box; pixels of the image for which keep() is true stay as they were.
    template <typename Keep>
    std::vector<uint16_t> expected(const std::vector<uint16_t>& before,
                                   const std::vector<uint16_t>& image, int iw, int ih, int x, int y,
                                   const GUI_RECT& clip, Keep keep) const {
        std::vector<uint16_t> want = before;
        for (int r = 0; r < ih; ++r) {
            for (int c = 0; c < iw; ++c) {
                const int sx = x + c, sy = y + r;
                if (sx < clip.x0 || sx > clip.x1 || sy < clip.y0 || sy > clip.y1) continue;
                if (sx < 0 || sy < 0 || sx >= screen_.W || sy >= screen_.H) continue;
                if (keep(c, r)) continue;
                want[size_t(sy) * size_t(screen_.W) + size_t(sx)] =
                    image[size_t(r) * size_t(iw) + size_t(c)];
            }
        }
        return want;
    }
    std::vector<uint16_t> expected(const std::vector<uint16_t>& before,
                                   const std::vector<uint16_t>& image, int iw, int ih, int x,
                                   int y) const {
        return expected(before, image, iw, ih, x, y, whole(), [](int, int) { return false; });
    }
    GUI_RECT whole() const { return {0, 0, int16_t(screen_.W - 1), int16_t(screen_.H - 1)}; }

    ::testing::AssertionResult matches(const std::vector<uint16_t>& want) const {
        const long at = screen_.first_difference(want);
        if (at < 0) return ::testing::AssertionSuccess();
        const int x = int(at % screen_.W), y = int(at / screen_.W);
        char text[96];
        std::snprintf(text, sizeof text, "first difference at (%d, %d): 0x%04X, want 0x%04X", x, y,
                      screen_.px(x, y), want[size_t(at)]);
        return ::testing::AssertionFailure() << text;
    }

    voxa_test::TestScreen screen_;
    TempDir dir_;
};

// ---- BMP ----

// Converts a picture to a BMP file with ImageMagick's arguments.
Bytes magick_bmp(const TempDir& dir, const Picture& p, const std::string& args,
                 const std::string& name) {
    write_ppm(dir.file(name + ".ppm"), p);
    const std::string out = dir.file(name + ".bmp");
    EXPECT_TRUE(run("convert '" + dir.file(name + ".ppm") + "' " + args + "'" + out + "'")) << args;
    return read_file(out);
}

// The file stored top row first: the height negated and the rows reversed.
Bytes top_down(const Bytes& bmp) {
    const int32_t w = int32_t(le32(bmp, 18)), h = int32_t(le32(bmp, 22));
    const unsigned bpp = bmp[28] | bmp[29] << 8;
    const size_t stride = (size_t(w) * bpp + 31) / 32 * 4, offset = le32(bmp, 10);
    Bytes out = bmp;
    put_le32(out, 22, uint32_t(-h));
    for (int r = 0; r < h; ++r) {
        std::copy_n(bmp.begin() + long(offset + size_t(r) * stride), stride,
                    out.begin() + long(offset + size_t(h - 1 - r) * stride));
    }
    return out;
}

// An information header of `size` bytes instead of the file's V5 one: the bit fields stay where
// they were (after a 40-byte header they follow it), the rest moves up.
Bytes shorter_header(const Bytes& bmp, uint32_t size) {
    const uint32_t old_size = le32(bmp, 14);
    Bytes out(bmp.begin(), bmp.begin() + 14 + std::max<uint32_t>(size, 52));
    put_le32(out, 14, size);
    out.insert(out.end(), bmp.begin() + 14 + old_size, bmp.end());
    put_le32(out, 10, le32(bmp, 10) - uint32_t(bmp.size() - out.size()));
    put_le32(out, 2, uint32_t(out.size()));
    return out;
}

struct BmpKind {
    const char* name;
    const char* args;
    int w, h;
    uint32_t header;  // the information header's size the file must have
    unsigned bpp;
    uint32_t compression;
    // ImageMagick reads 4-bit fields as v << 4, so that white is not white; the decoder repeats
    // a narrow field's bits as for 5-bit fields. For such files the picture is made of 4-bit
    // levels (multiples of 17) and is itself the reference.
    bool four_bit_levels = false;
};

const BmpKind kBmpKinds[] = {
    {"bgr24_info", "-type truecolor BMP3:", 37, 23, 40, 24, 0},
    {"bgr24_v5", "-type truecolor BMP:", 203, 41, 124, 24, 0},
    {"bgrx32", "-alpha set -define bmp3:alpha=true BMP3:", 37, 19, 40, 32, 0},
    {"argb32_fields", "-alpha set BMP:", 38, 17, 124, 32, 3},
    {"rgb565", "-define bmp:subtype=RGB565 BMP:", 37, 23, 124, 16, 3},
    {"rgb555", "-define bmp:subtype=RGB555 BMP:", 203, 9, 124, 16, 3},
    {"argb1555", "-alpha set -define bmp:subtype=ARGB1555 BMP:", 37, 23, 124, 16, 3},
    {"argb4444", "-alpha set -define bmp:subtype=ARGB4444 BMP:", 39, 11, 124, 16, 3, true},
    {"pal8", "-colors 200 -compress none BMP3:", 37, 23, 40, 8, 0},
    {"pal4", "-colors 16 -compress none BMP3:", 203, 13, 40, 4, 0},
    {"pal1", "-colors 2 -compress none BMP3:", 37, 29, 40, 1, 0},
    {"core8", "-colors 256 BMP2:", 37, 23, 12, 8, 0},
    {"core4", "-colors 16 BMP2:", 35, 7, 12, 4, 0},
    {"core1", "-colors 2 BMP2:", 203, 5, 12, 1, 0},
    {"rle8", "-colors 60 -compress RLE BMP3:", 203, 31, 40, 8, 1},
    {"rle8_v5", "-type palette -compress RLE BMP:", 37, 23, 124, 8, 1},
};

class BmpFiles : public ImageDecoder, public ::testing::WithParamInterface<BmpKind> {};

INSTANTIATE_TEST_SUITE_P(Magick, BmpFiles, ::testing::ValuesIn(kBmpKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// Every kind, in every piece size, at a position where the whole image shows; run-length files
// on two different screens, since the pixels their runs skip keep what the screen had.
TEST_P(BmpFiles, DrawsWhatImageMagickReads) {
    const BmpKind& k = GetParam();
    Picture pic = make_picture(k.w, k.h, 11);
    if (k.four_bit_levels) {
        for (uint8_t& v : pic.rgb) v = uint8_t((v >> 4) * 17);
    }
    Bytes file = magick_bmp(dir_, pic, k.args, k.name);
    ASSERT_GT(file.size(), 54u);
    ASSERT_EQ(le32(file, 14), k.header);
    ASSERT_EQ(unsigned(file[k.header == 12 ? 24 : 28]), k.bpp);
    if (k.header != 12) {
        ASSERT_EQ(le32(file, 30), k.compression);
    }
    std::vector<uint16_t> ref =
        magick_pixels(dir_.file(std::string(k.name) + ".bmp"), size_t(k.w) * size_t(k.h));
    if (k.four_bit_levels) {
        for (size_t i = 0; i < ref.size(); ++i) {
            const uint8_t* c = &pic.rgb[3 * i];
            // ImageMagick's reading, to be sure the file holds the levels.
            ASSERT_EQ(ref[i], rgb565::pack(c[0] & 0xF0, c[1] & 0xF0, c[2] & 0xF0)) << i;
            ref[i] = rgb565::pack(c[0], c[1], c[2]);
        }
    }
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte, Pieces::kRandom}) {
        SCOPED_TRACE(piece_name(pieces));
        screen_.noise(uint32_t(pieces) + 1);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, file, 101, 57, pieces), 0);
        EXPECT_TRUE(matches(expected(before, ref, k.w, k.h, 101, 57)));
    }
    if (k.header != 12 && k.compression != 1) {
        SCOPED_TRACE("top-down");
        screen_.noise(9);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, top_down(file), 3, 400, Pieces::kRandom), 0);
        EXPECT_TRUE(matches(expected(before, ref, k.w, k.h, 3, 400)));
    }
}

// Bit fields after a 40-byte header, and the V4 header, from ImageMagick's V5 RGB565 file.
TEST_F(ImageDecoder, BmpBitFieldsInEveryHeaderSize) {
    const Picture pic = make_picture(37, 23, 3);
    const Bytes v5 = magick_bmp(dir_, pic, "-define bmp:subtype=RGB565 BMP:", "v5");
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("v5.bmp"), 37 * 23);
    for (uint32_t size : {40u, 52u, 56u, 108u}) {
        SCOPED_TRACE(size);
        const Bytes file = shorter_header(v5, size);
        ASSERT_EQ(le32(file, 14), size);
        screen_.noise(size);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, file, 0, 0, Pieces::kRandom), 0);
        EXPECT_TRUE(matches(expected(before, ref, 37, 23, 0, 0)));
    }
}

// Palettes shorter than the bit depth allows, declared by a colour count or only by the place
// of the pixels; an index past a short palette draws black.
TEST_F(ImageDecoder, BmpShortPalettes) {
    const Picture pic = make_picture(37, 23, 5);
    const Bytes full = magick_bmp(dir_, pic, "-colors 40 -compress none BMP3:", "p");
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("p.bmp"), 37 * 23);
    ASSERT_EQ(le32(full, 10), 54u + 1024u);
    int used = 0;
    for (size_t i = 54 + 1024; i < full.size(); ++i) used = std::max(used, int(full[i]) + 1);
    ASSERT_LE(used, 40);
    // Only the first `used` colours, counted or not.
    Bytes counted(full.begin(), full.begin() + 54 + 4 * used);
    counted.insert(counted.end(), full.begin() + 54 + 1024, full.end());
    put_le32(counted, 10, 54 + 4 * uint32_t(used));
    put_le32(counted, 46, uint32_t(used));
    Bytes gap = counted;
    put_le32(gap, 46, 0);
    for (const Bytes* file : {&counted, &gap}) {
        screen_.noise(1);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, *file, 17, 9, Pieces::kOneByte), 0);
        EXPECT_TRUE(matches(expected(before, ref, 37, 23, 17, 9)));
    }
    // One colour fewer: the pixels of the last index turn black, the others stay.
    Bytes shorter = counted;
    put_le32(shorter, 46, uint32_t(used - 1));
    std::vector<uint16_t> dark = ref;
    const int w = 37, stride = 40;
    for (int r = 0; r < 23; ++r) {
        for (int c = 0; c < w; ++c) {
            if (counted[54 + 4 * size_t(used) + size_t((22 - r) * stride + c)] == used - 1) {
                dark[size_t(r * w + c)] = 0;
            }
        }
    }
    ASSERT_NE(dark, ref);
    screen_.noise(2);
    const std::vector<uint16_t> before = screen_.snap();
    ASSERT_EQ(draw(GUI_BMP_DrawEx, shorter, 17, 9), 0);
    EXPECT_TRUE(matches(expected(before, dark, 37, 23, 17, 9)));
}

// Run-length coding by hand: RLE4 (which ImageMagick does not write, but reads) from a 4-bit
// file's indices, with runs, literals of odd and even length and a delta; and RLE8 whose end of
// line, delta and end of bitmap leave pixels alone.
Bytes encode_rle4(const Bytes& pal4, int w, int h) {
    const size_t offset = le32(pal4, 10), stride = size_t((w * 4 + 31) / 32 * 4);
    auto index = [&](int r, int c) {
        const uint8_t b = pal4[offset + size_t(r) * stride + size_t(c / 2)];
        return c & 1 ? b & 15 : b >> 4;
    };
    Bytes out(pal4.begin(), pal4.begin() + long(offset));
    for (int r = 0; r < h; ++r) {
        int c = 0;
        while (c < w) {
            int run = 1;
            while (c + run < w && run < 255 && index(r, c + run) == index(r, c)) ++run;
            if (run >= 3 || w - c < 3) {
                out.push_back(uint8_t(run));
                out.push_back(uint8_t(index(r, c) << 4 | index(r, c)));
                c += run;
                continue;
            }
            int n = 3;
            while (c + n < w && n < 40 &&
                   !(c + n + 2 < w && index(r, c + n) == index(r, c + n + 1)))
                ++n;
            out.push_back(0);
            out.push_back(uint8_t(n));
            const size_t start = out.size();
            for (int k = 0; k < n; k += 2) {
                out.push_back(
                    uint8_t(index(r, c + k) << 4 | (k + 1 < n ? index(r, c + k + 1) : 0)));
            }
            if ((out.size() - start) & 1) out.push_back(0);
            c += n;
        }
        out.push_back(0);
        out.push_back(r + 1 == h ? 1 : 0);
    }
    put_le32(out, 30, 2);
    put_le32(out, 34, uint32_t(out.size() - offset));
    put_le32(out, 2, uint32_t(out.size()));
    return out;
}

TEST_F(ImageDecoder, BmpRle4AsImageMagickReadsIt) {
    const Picture pic = make_picture(203, 21, 8);
    const Bytes pal4 = magick_bmp(dir_, pic, "-colors 16 -compress none BMP3:", "q");
    const Bytes rle4 = encode_rle4(pal4, 203, 21);
    write_file(dir_.file("rle4.bmp"), rle4);
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("rle4.bmp"), 203 * 21);
    EXPECT_EQ(ref, magick_pixels(dir_.file("q.bmp"), 203 * 21));
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte, Pieces::kRandom}) {
        screen_.noise(uint32_t(pieces) + 4);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, rle4, 590, 3, pieces), 0);
        EXPECT_TRUE(matches(expected(before, ref, 203, 21, 590, 3))) << piece_name(pieces);
    }
}

Bytes small_bmp(int w, int h, unsigned bpp, uint32_t compression, const Bytes& palette,
                const Bytes& pixels) {
    Bytes b(54);
    b[0] = 'B';
    b[1] = 'M';
    put_le32(b, 10, uint32_t(54 + palette.size()));
    put_le32(b, 14, 40);
    put_le32(b, 18, uint32_t(w));
    put_le32(b, 22, uint32_t(h));
    put_le16(b, 26, 1);
    put_le16(b, 28, bpp);
    put_le32(b, 30, compression);
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    put_le32(b, 2, uint32_t(b.size()));
    return b;
}

TEST_F(ImageDecoder, BmpRle8EscapesLeaveSkippedPixels) {
    // Colours 0 blue, 1 green, 2 red, 3 white.
    const Bytes palette = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0};
    const Bytes runs = {3, 1, 0, 0,              // bottom row: 3 green, end of line
                        0, 3, 2, 3, 0, 0,        // row 1: literal red white blue (padded), then
                        0, 2, 2, 1,              // delta 2 right, 1 up: to row 2, column 5
                        3, 3,                    // 3 white (column 7 cut: past the row)
                        0, 0, 0, 2, 1, 0, 1, 2,  // end of line (row 3), delta to column 1, one red
                        0, 1,                    // end of bitmap: row 4 untouched
                        9, 9};                   // never read
    const Bytes file = small_bmp(7, 5, 8, 1, palette, runs);
    const uint16_t blue = rgb565::pack(0, 0, 255), green = rgb565::pack(0, 255, 0),
                   red = rgb565::pack(255, 0, 0), white = 0xFFFF;
    constexpr uint16_t k = 1;  // keep
    // Image rows top to bottom (row 4 of the file is the top).
    const uint16_t want[5][7] = {{k, k, k, k, k, k, k},
                                 {k, red, k, k, k, k, k},
                                 {k, k, k, k, k, white, white},
                                 {red, white, blue, k, k, k, k},
                                 {green, green, green, k, k, k, k}};
    std::vector<uint16_t> image;
    for (const auto& row : want) image.insert(image.end(), row, row + 7);
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte}) {
        screen_.noise(3);
        const std::vector<uint16_t> before = screen_.snap();
        ASSERT_EQ(draw(GUI_BMP_DrawEx, file, 40, 30, pieces), 0);
        EXPECT_TRUE(matches(expected(before, image, 7, 5, 40, 30, whole(),
                                     [&](int c, int r) { return image[size_t(r * 7 + c)] == k; })));
    }
}

// ImageMagick's 8-bit run-length files at an offset, clipped on all four sides and partly off
// the screen, in XOR mode; and the 24-bit file clipped so that the decoder stops early.
TEST_F(ImageDecoder, BmpPositionAndClip) {
    const Picture pic = make_picture(203, 41, 2);
    const Bytes rle = magick_bmp(dir_, pic, "-colors 60 -compress RLE BMP3:", "r");
    const Bytes rgb = magick_bmp(dir_, pic, "-type truecolor BMP3:", "t");
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("t.bmp"), 203 * 41);
    const std::vector<uint16_t> ref_rle = magick_pixels(dir_.file("r.bmp"), 203 * 41);
    const GUI_RECT clips[] = {{120, 210, 250, 230}, {0, 0, 799, 479}, {700, 0, 799, 479}};
    const int places[][2] = {{100, 200}, {-50, -20}, {700, 460}, {-300, 100}};
    for (const GUI_RECT& clip : clips) {
        for (const auto& at : places) {
            for (const Bytes* file : {&rle, &rgb}) {
                SCOPED_TRACE(testing::Message() << clip.x0 << "," << clip.y0 << " at " << at[0]
                                                << "," << at[1] << (file == &rle ? " rle" : ""));
                screen_.noise(uint32_t(at[0] + 1000));
                const std::vector<uint16_t> before = screen_.snap();
                GUI_SetClipRect(&clip);
                Source source{file, Pieces::kRandom};
                ASSERT_EQ(GUI_BMP_DrawEx(get_data, &source, at[0], at[1]), 0);
                GUI_SetClipRect(nullptr);
                EXPECT_TRUE(matches(expected(before, file == &rle ? ref_rle : ref, 203, 41, at[0],
                                             at[1], clip, [](int, int) { return false; })));
            }
        }
    }
    // Rows outside the clip box are not asked for, whichever order the file keeps them in.
    Source whole_file{&rgb, Pieces::kOneByte};
    ASSERT_EQ(GUI_BMP_DrawEx(get_data, &whole_file, 0, 0), 0);
    const GUI_RECT top{0, 0, 799, 9};
    GUI_SetClipRect(&top);
    const Bytes top_down_rgb = top_down(rgb);
    for (const Bytes* file : {&rgb, &top_down_rgb}) {
        Source clipped{file, Pieces::kOneByte};
        ASSERT_EQ(GUI_BMP_DrawEx(get_data, &clipped, 0, 0), 0);
        EXPECT_LT(clipped.calls * 3, whole_file.calls);
    }
    GUI_SetClipRect(nullptr);
    // XOR inverts what the image covers, whatever its colours.
    screen_.noise(77);
    std::vector<uint16_t> inverted = screen_.snap();
    for (int r = 0; r < 41; ++r) {
        for (int c = 0; c < 203; ++c) {
            uint16_t& p = inverted[size_t(r + 5) * 800 + size_t(c + 9)];
            p = uint16_t(~p);
        }
    }
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    ASSERT_EQ(draw(GUI_BMP_DrawEx, rgb, 9, 5), 0);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_TRUE(matches(inverted));
}

// GUI_BMP_Draw (the splash picture) decodes a file held in memory like the streamed one.
TEST_F(ImageDecoder, BmpFromMemory) {
    const Picture pic = make_picture(203, 37, 4);
    const Bytes file = magick_bmp(dir_, pic, "-type truecolor BMP3:", "m");
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("m.bmp"), 203 * 37);
    const std::vector<uint16_t> before = screen_.snap();
    ASSERT_EQ(GUI_BMP_Draw(file.data(), uint32_t(file.size()), 597, 443), 0);
    EXPECT_TRUE(matches(expected(before, ref, 203, 37, 597, 443)));
    EXPECT_EQ(GUI_BMP_Draw(file.data(), 30, 0, 0), 1);
    EXPECT_EQ(GUI_BMP_Draw(nullptr, 100, 0, 0), 1);
}

// Broken files: exact results, nothing drawn for a refused header, what came drawn for
// truncated pixels.
TEST_F(ImageDecoder, BmpRefusals) {
    const Picture pic = make_picture(37, 23, 6);
    const Bytes rgb = magick_bmp(dir_, pic, "-type truecolor BMP3:", "a");
    const Bytes pal = magick_bmp(dir_, pic, "-colors 200 -compress none BMP3:", "b");
    const Bytes rle = magick_bmp(dir_, pic, "-colors 60 -compress RLE BMP3:", "c");
    const std::vector<uint16_t> ref = magick_pixels(dir_.file("a.bmp"), 37 * 23);
    auto with = [](Bytes b, size_t at, uint32_t v, int width = 4) {
        if (width == 4) {
            put_le32(b, at, v);
        } else {
            put_le16(b, at, v);
        }
        return b;
    };
    struct Case {
        const char* what;
        Bytes file;
        const char* warning;
    };
    const Case refused[] = {
        {"empty", {}, "not a BMP file"},
        {"not BM", with(rgb, 0, 'B' | 'A' << 8, 2), "not a BMP file"},
        {"file header cut", Bytes(rgb.begin(), rgb.begin() + 13), "not a BMP file"},
        {"info header cut", Bytes(rgb.begin(), rgb.begin() + 40), "header truncated"},
        {"header size 20", with(rgb, 14, 20), "unknown header"},
        {"width 0", with(rgb, 18, 0), "bad size"},
        {"width negative", with(rgb, 18, uint32_t(-37)), "bad size"},
        {"height 0", with(rgb, 22, 0), "bad size"},
        {"height INT32_MIN", with(rgb, 22, 0x80000000u), "size too large"},
        {"width x height overflows", with(with(rgb, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF),
         "size too large"},
        {"run-length width x height x bpp = 2^64", with(with(rle, 18, 0x40000000), 22, 0x80000000),
         "size too large"},
        {"rows beyond 4 GB of file", with(with(with(rgb, 28, 1, 2), 18, 32), 22, 0x40000000),
         "size too large"},
        {"planes 2", with(rgb, 26, 2, 2), "planes not 1"},
        {"bpp 7", with(rgb, 28, 7, 2), "bit depth not supported"},
        {"bpp 0", with(rgb, 28, 0, 2), "bit depth not supported"},
        {"RLE8 with 24 bpp", with(rgb, 30, 1), "compression does not fit the bit depth"},
        {"RLE4 with 8 bpp", with(pal, 30, 2), "compression does not fit the bit depth"},
        {"bit fields with 8 bpp", with(pal, 30, 3), "compression does not fit the bit depth"},
        {"JPEG inside", with(rgb, 30, 4), "compression does not fit the bit depth"},
        {"palette count 300", with(pal, 46, 300), "bad palette size"},
        {"palette count beyond the pixels", with(with(pal, 46, 200), 10, 54 + 4 * 150),
         "bad palette size"},
        {"pixels inside the header", with(rgb, 10, 50), "pixel data inside the header"},
        {"palette cut by the file's end", Bytes(pal.begin(), pal.begin() + 300),
         "palette truncated"},
    };
    const std::vector<uint16_t> before = screen_.snap();
    for (const Case& c : refused) {
        const std::string warning = ":GUI_WARN:BMP: " + std::string(c.warning) + "\r";
        EXPECT_EQ(draw(GUI_BMP_DrawEx, c.file, 0, 0), 1) << c.what;
        EXPECT_EQ(draw(GUI_BMP_DrawEx, c.file, 0, 0, Pieces::kOneByte), 1) << c.what;
        EXPECT_EQ(voxa_test::host_output(), warning + warning) << c.what;
    }
    EXPECT_TRUE(matches(before));

    // Bit fields that overlap, have a gap, or lie beyond the pixel.
    const Bytes v5 = magick_bmp(dir_, pic, "-define bmp:subtype=RGB565 BMP:", "f");
    for (uint32_t green : {0xF800u, 0x07A0u, 0x0u, 0x1F0000u}) {
        EXPECT_EQ(draw(GUI_BMP_DrawEx, with(v5, 58, green), 0, 0), 1) << std::hex << green;
    }
    EXPECT_TRUE(matches(before));

    // Pixel data cut after 10 rows: the bottom 10 rows drawn, then 2.
    const size_t stride = (37 * 3 + 3) / 4 * 4;
    const Bytes cut(rgb.begin(), rgb.begin() + long(54 + 10 * stride + 7));
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte}) {
        screen_.noise(5);
        const std::vector<uint16_t> b = screen_.snap();
        EXPECT_EQ(draw(GUI_BMP_DrawEx, cut, 0, 0, pieces), 2);
        EXPECT_TRUE(
            matches(expected(b, ref, 37, 23, 0, 0, whole(), [](int, int r) { return r < 13; })));
    }
    EXPECT_EQ(draw(GUI_BMP_DrawEx, Bytes(rgb.begin(), rgb.begin() + 54), 0, 0), 2);
    // Run-length data that end before the end of the bitmap.
    EXPECT_EQ(draw(GUI_BMP_DrawEx, Bytes(rle.begin(), rle.end() - 40), 0, 0), 2);
    // A null get-data function.
    EXPECT_EQ(GUI_BMP_DrawEx(nullptr, nullptr, 0, 0), 1);
}

// ---- GIF ----

// The first image of a GIF file as giflib reads it: its place in the logical screen, its pixels
// (an index past the colour map is black) and which of them are transparent.
struct GifImage {
    bool ok = false;
    int left = 0, top = 0, w = 0, h = 0;
    std::vector<uint16_t> pixels;
    std::vector<bool> clear;
    std::vector<uint8_t> indices;
};

GifImage giflib_image(const std::string& path) {
    GifImage g;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return g;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& im = gif->SavedImages[0];
        const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, 0, &gcb);
        g.left = im.ImageDesc.Left;
        g.top = im.ImageDesc.Top;
        g.w = im.ImageDesc.Width;
        g.h = im.ImageDesc.Height;
        const size_t n = size_t(g.w) * size_t(g.h);
        g.indices.assign(im.RasterBits, im.RasterBits + n);
        for (size_t i = 0; i < n; ++i) {
            const int index = im.RasterBits[i];
            const GifColorType* c = map && index < map->ColorCount ? &map->Colors[index] : nullptr;
            g.pixels.push_back(c ? rgb565::pack(c->Red, c->Green, c->Blue) : 0);
            g.clear.push_back(index == gcb.TransparentColor);
        }
        g.ok = true;
    }
    DGifCloseFile(gif, &error);
    return g;
}

Bytes magick_gif(const TempDir& dir, const std::vector<Picture>& frames, const std::string& args,
                 const std::string& name) {
    std::string inputs;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string in = dir.file(name + std::to_string(i) + ".ppm");
        write_ppm(in, frames[i]);
        inputs += " '" + in + "'";
    }
    const std::string out = dir.file(name + ".gif");
    EXPECT_TRUE(run("convert" + inputs + " " + args + "'" + out + "'")) << args;
    return read_file(out);
}

// LZW coding of indices as a GIF encoder does it; with clear_when_full false the table, once
// full, stays as it is (the decoder must keep 12-bit codes and add nothing).
Bytes lzw_encode(const std::vector<uint8_t>& indices, unsigned min_bits, bool clear_when_full) {
    const unsigned clear = 1u << min_bits, end = clear + 1;
    Bytes out;
    uint32_t acc = 0;
    unsigned bits = 0, width = min_bits + 1, next = clear + 2, decoder_next = clear + 2;
    bool first = true;
    std::vector<int> table(size_t(4096) * 256, -1);
    auto emit = [&](unsigned code) {
        acc |= code << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
        // What the decoder does on reading the code.
        if (code == clear) {
            width = min_bits + 1;
            decoder_next = clear + 2;
            first = true;
            return;
        }
        if (!first && decoder_next < 4096) ++decoder_next;
        first = false;
        if (decoder_next == (1u << width) && width < 12) ++width;
    };
    auto reset = [&] {
        std::fill(table.begin(), table.end(), -1);
        next = clear + 2;
    };
    emit(clear);
    reset();
    unsigned prefix = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const uint8_t c = indices[i];
        int& slot = table[size_t(prefix) * 256 + c];
        if (slot >= 0) {
            prefix = unsigned(slot);
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            slot = int(next++);
        } else if (clear_when_full) {
            emit(clear);
            reset();
        }
        prefix = c;
    }
    emit(prefix);
    emit(end);
    if (bits) out.push_back(uint8_t(acc));
    return out;
}

struct GifSpec {
    int w, h;
    std::vector<uint8_t> palette;  // RGB triples
    std::vector<uint8_t> indices;  // row after row
    unsigned min_bits = 8;
    bool local = false, interlaced = false, clear_when_full = true;
    int transparent = -1;
    int left = 0, top = 0;
};

void put16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// A GIF file of one image, written here.
Bytes make_gif(const GifSpec& g) {
    unsigned size_bits = 0;
    while ((2u << size_bits) * 3 < g.palette.size()) ++size_bits;
    Bytes map = g.palette;
    map.resize((2u << size_bits) * 3);
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, unsigned(g.left + g.w));
    put16(b, unsigned(g.top + g.h));
    b.push_back(uint8_t(g.local ? 0 : 0x80 | size_bits));
    b.push_back(0);
    b.push_back(0);
    if (!g.local) b.insert(b.end(), map.begin(), map.end());
    if (g.transparent >= 0) {
        const Bytes gce = {0x21, 0xF9, 4, 1, 0, 0, uint8_t(g.transparent), 0};
        b.insert(b.end(), gce.begin(), gce.end());
    }
    b.push_back(0x2C);
    put16(b, unsigned(g.left));
    put16(b, unsigned(g.top));
    put16(b, unsigned(g.w));
    put16(b, unsigned(g.h));
    b.push_back(uint8_t((g.local ? 0x80 | size_bits : 0) | (g.interlaced ? 0x40 : 0)));
    if (g.local) b.insert(b.end(), map.begin(), map.end());
    std::vector<uint8_t> order;
    if (g.interlaced) {
        const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        for (const auto& pass : passes) {
            for (int r = pass[0]; r < g.h; r += pass[1]) {
                order.insert(order.end(), g.indices.begin() + r * g.w,
                             g.indices.begin() + (r + 1) * g.w);
            }
        }
    } else {
        order = g.indices;
    }
    const Bytes data = lzw_encode(order, g.min_bits, g.clear_when_full);
    b.push_back(uint8_t(g.min_bits));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.push_back(uint8_t(n));
        b.insert(b.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    b.push_back(0);
    b.push_back(0x3B);
    return b;
}

class GifTest : public ImageDecoder {
  protected:
    // Draws the file at (x, y) and compares with giflib's reading of it.
    void check(const Bytes& file, int x, int y, Pieces pieces, const GUI_RECT* clip = nullptr) {
        const std::string path = dir_.file("check.gif");
        write_file(path, file);
        const GifImage ref = giflib_image(path);
        ASSERT_TRUE(ref.ok);
        const std::vector<uint16_t> before = screen_.snap();
        if (clip) GUI_SetClipRect(clip);
        const int result = draw(GUI_GIF_DrawEx, file, x, y, pieces);
        GUI_SetClipRect(nullptr);
        ASSERT_EQ(result, 0) << piece_name(pieces);
        EXPECT_TRUE(matches(expected(
            before, ref.pixels, ref.w, ref.h, x + ref.left, y + ref.top, clip ? *clip : whole(),
            [&](int c, int r) { return bool(ref.clear[size_t(r * ref.w + c)]); })))
            << piece_name(pieces);
    }
};

struct GifKind {
    const char* name;
    const char* args;
    int w, h;
    int frames;
    const char* version;
};

const GifKind kGifKinds[] = {
    {"colours256", "-colors 256 GIF:", 203, 41, 1, "GIF89a"},
    {"colours16_87a", "-colors 16 GIF87:", 37, 23, 1, "GIF87a"},
    {"colours2", "-colors 2 GIF:", 37, 29, 1, "GIF89a"},
    {"colours5", "-colors 5 GIF:", 38, 9, 1, "GIF89a"},
    {"interlaced", "-colors 200 -interlace GIF GIF:", 203, 37, 1, "GIF89a"},
    {"interlaced_short", "-colors 7 -interlace GIF GIF87:", 37, 6, 1, "GIF87a"},
    {"transparent", "-colors 64 -transparent black GIF:", 37, 23, 1, "GIF89a"},
    {"offset", "-colors 32 -repage 300x100+17+9 GIF:", 203, 31, 1, "GIF89a"},
    {"animation", "-colors 100 -loop 0 GIF:", 37, 23, 2, "GIF89a"},
    {"large_noise", "-colors 256 GIF:", 400, 300, 1, "GIF89a"},
};

class GifFiles : public GifTest, public ::testing::WithParamInterface<GifKind> {};

INSTANTIATE_TEST_SUITE_P(Magick, GifFiles, ::testing::ValuesIn(kGifKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(GifFiles, DrawsWhatGiflibReads) {
    const GifKind& k = GetParam();
    std::vector<Picture> frames;
    for (int i = 0; i < k.frames; ++i) frames.push_back(make_picture(k.w, k.h, uint32_t(20 + i)));
    if (std::string(k.name) == "large_noise") {
        std::mt19937 rng(1);
        for (uint8_t& v : frames[0].rgb) v = uint8_t(rng());
    }
    const Bytes file = magick_gif(dir_, frames, k.args, k.name);
    ASSERT_GT(file.size(), 13u);
    ASSERT_EQ(std::string(file.begin(), file.begin() + 6), k.version);
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte, Pieces::kRandom}) {
        screen_.noise(uint32_t(pieces) + 1);
        check(file, 101, 57, pieces);
    }
}

// giflib's own encoder (gif2rgb quantises raw RGB to 2^8 colours).
TEST_F(GifTest, DrawsWhatGiflibWrote) {
    const Picture pic = make_picture(203, 47, 30);
    write_file(dir_.file("in.rgb"), pic.rgb);
    ASSERT_TRUE(run("gif2rgb -1 -c 8 -s 203 47 '" + dir_.file("in.rgb") + "' > '" +
                    dir_.file("g.gif") + "'"));
    const Bytes file = read_file(dir_.file("g.gif"));
    check(file, 0, 0, Pieces::kRandom);
    check(file, 700, 450, Pieces::kOneByte);
}

// Files coded here: every LZW code size, a table that fills up and is not cleared (codes stay
// 12 bits wide), runs of one index (a code equal to the next free entry), a local colour map
// beside a different global one, an index past the colour map (black), transparency and an
// image offset in the logical screen.
TEST_F(GifTest, CodedHere) {
    std::mt19937 rng(3);
    for (unsigned bits = 2; bits <= 8; ++bits) {
        for (bool deferred : {false, true}) {
            GifSpec g;
            g.w = 203;
            g.h = bits == 8 ? 150 : 61;
            g.min_bits = bits;
            g.clear_when_full = !deferred;
            // A map of half the indices the code size allows: the others draw black.
            const unsigned colours = 1u << (bits - 1);
            for (unsigned i = 0; i < colours * 3; ++i) g.palette.push_back(uint8_t(rng()));
            for (int r = 0; r < g.h; ++r) {
                for (int c = 0; c < g.w; ++c) {
                    const bool run_part = (r / 4 + c / 50) % 3 == 0;
                    g.indices.push_back(uint8_t(run_part ? (r & 1) : rng() % (1u << bits)));
                }
            }
            g.interlaced = bits % 2 == 0;
            g.local = bits % 3 == 0;
            g.transparent = bits == 5 ? 3 : -1;
            g.left = int(bits) * 3;
            g.top = int(bits);
            SCOPED_TRACE(testing::Message()
                         << "code size " << bits << (deferred ? " deferred" : ""));
            const Bytes file = make_gif(g);
            write_file(dir_.file("h.gif"), file);
            // giflib reads back the indices coded.
            ASSERT_EQ(giflib_image(dir_.file("h.gif")).indices, g.indices);
            screen_.noise(bits);
            check(file, 11, 13, deferred ? Pieces::kRandom : Pieces::kWhole);
        }
    }
    // A local map differing from the global one.
    GifSpec g;
    g.w = 37;
    g.h = 23;
    for (int i = 0; i < 16 * 3; ++i) g.palette.push_back(uint8_t(i * 5));
    for (int i = 0; i < g.w * g.h; ++i) g.indices.push_back(uint8_t(rng() % 16));
    g.min_bits = 4;
    g.local = true;
    Bytes file = make_gif(g);
    // Put a global map of other colours in front.
    file[10] = 0x83;
    Bytes other(16 * 3, 0x77);
    file.insert(file.begin() + 13, other.begin(), other.end());
    check(file, 400, 200, Pieces::kOneByte);
}

// Position, clip box and screen edges, plain and interlaced; XOR inverts the image's pixels but
// not the transparent ones; a plain image is not decoded past the clip box.
TEST_F(GifTest, PositionAndClip) {
    const Picture pic = make_picture(203, 41, 40);
    const Bytes plain = magick_gif(dir_, {pic}, "-colors 100 GIF:", "p");
    const Bytes interlaced = magick_gif(dir_, {pic}, "-colors 100 -interlace GIF GIF:", "i");
    const GUI_RECT clips[] = {{120, 210, 250, 230}, {0, 0, 799, 479}, {700, 0, 799, 479}};
    const int places[][2] = {{100, 200}, {-50, -20}, {700, 460}, {-300, 100}};
    for (const GUI_RECT& clip : clips) {
        for (const auto& at : places) {
            for (const Bytes* file : {&plain, &interlaced}) {
                SCOPED_TRACE(testing::Message()
                             << clip.x0 << "," << clip.y0 << " at " << at[0] << "," << at[1]);
                screen_.noise(uint32_t(at[1] + 77));
                check(*file, at[0], at[1], Pieces::kRandom, &clip);
            }
        }
    }
    Source whole_file{&plain, Pieces::kOneByte};
    ASSERT_EQ(GUI_GIF_DrawEx(get_data, &whole_file, 0, 0), 0);
    const GUI_RECT top{0, 0, 799, 9};
    GUI_SetClipRect(&top);
    Source clipped{&plain, Pieces::kOneByte};
    ASSERT_EQ(GUI_GIF_DrawEx(get_data, &clipped, 0, 0), 0);
    GUI_SetClipRect(nullptr);
    EXPECT_LT(clipped.calls * 2, whole_file.calls);

    const Bytes holes = magick_gif(dir_, {pic}, "-colors 64 -transparent black GIF:", "t");
    write_file(dir_.file("t.gif"), holes);
    const GifImage ref = giflib_image(dir_.file("t.gif"));
    ASSERT_TRUE(ref.ok);
    screen_.noise(5);
    std::vector<uint16_t> want = screen_.snap();
    int kept = 0;
    for (int r = 0; r < 41; ++r) {
        for (int c = 0; c < 203; ++c) {
            uint16_t& p = want[size_t(r + 5) * 800 + size_t(c + 9)];
            if (ref.clear[size_t(r * 203 + c)]) {
                ++kept;
            } else {
                p = uint16_t(~p);
            }
        }
    }
    ASSERT_GT(kept, 40);
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    ASSERT_EQ(draw(GUI_GIF_DrawEx, holes, 9, 5), 0);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_TRUE(matches(want));
}

TEST_F(GifTest, Refusals) {
    GifSpec g;
    g.w = 37;
    g.h = 23;
    g.min_bits = 4;
    for (int i = 0; i < 16 * 3; ++i) g.palette.push_back(uint8_t(i * 13));
    for (int i = 0; i < g.w * g.h; ++i) g.indices.push_back(uint8_t((i * 7 + i / 37) % 16));
    const Bytes good = make_gif(g);
    const size_t image_at = 13 + 48;           // the image descriptor
    const size_t data_at = image_at + 10 + 1;  // the first sub-block's size
    auto with = [](Bytes b, size_t at, uint8_t v) {
        b[at] = v;
        return b;
    };
    auto cut = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); };
    Bytes trailer_only = cut(good, 13 + 48);
    trailer_only.push_back(0x3B);
    Bytes empty_image = good;
    empty_image[image_at + 5] = 0;
    empty_image[image_at + 6] = 0;
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case refused[] = {
        {"empty", {}},
        {"GIF88a", with(good, 4, '8')},
        {"not GIF", with(good, 0, 'J')},
        {"screen descriptor cut", cut(good, 12)},
        {"global map cut", cut(good, 40)},
        {"no image", trailer_only},
        {"unknown block", with(good, image_at, 0x2D)},
        {"image descriptor cut", cut(good, image_at + 6)},
        {"width 0", empty_image},
        {"LZW code size 12", with(good, data_at - 1, 12)},
        {"LZW code size 1", with(good, data_at - 1, 1)},
        {"LZW code size 9", with(good, data_at - 1, 9)},
        {"no LZW code size", cut(good, data_at - 1)},
        {"extension cut", cut(with(good, image_at, 0x21), image_at + 3)},
    };
    const std::vector<uint16_t> before = screen_.snap();
    for (const Case& c : refused) {
        EXPECT_EQ(draw(GUI_GIF_DrawEx, c.file, 0, 0), 1) << c.what;
        EXPECT_EQ(draw(GUI_GIF_DrawEx, c.file, 0, 0, Pieces::kOneByte), 1) << c.what;
    }
    EXPECT_TRUE(matches(before));
    EXPECT_EQ(GUI_GIF_DrawEx(nullptr, nullptr, 0, 0), 1);

    // Codes past the table: right after the clear code (only roots are defined), a code two
    // past the next free entry, and the clear code's neighbour (the end code) too early.
    auto stream = [&](std::initializer_list<unsigned> codes) {
        // 5-bit codes for code size 4, packed least significant bit first.
        Bytes data;
        uint32_t acc = 0;
        unsigned bits = 0;
        for (unsigned c : codes) {
            acc |= c << bits;
            bits += 5;
            while (bits >= 8) {
                data.push_back(uint8_t(acc));
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits) data.push_back(uint8_t(acc));
        Bytes b = cut(good, data_at);
        b.push_back(uint8_t(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        b.push_back(0);
        b.push_back(0x3B);
        return b;
    };
    const uint16_t c1 = rgb565::pack(39, 52, 65), c2 = rgb565::pack(78, 91, 104);
    struct Broken {
        const char* what;
        Bytes file;
        int drawn;  // pixels of the top row drawn before the fault
    };
    const Broken broken[] = {
        {"code 18 after a clear", stream({16, 18}), 0},
        {"code 20 with 19 next", stream({16, 1, 2, 20}), 2},
        {"end code at pixel 3", stream({16, 1, 2, 1, 17}), 3},
        {"data end at pixel 3", stream({16, 1, 2, 1}), 3},
    };
    for (const Broken& c : broken) {
        for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte}) {
            screen_.noise(9);
            const std::vector<uint16_t> b = screen_.snap();
            EXPECT_EQ(draw(GUI_GIF_DrawEx, c.file, 0, 0, pieces), 2) << c.what;
            std::vector<uint16_t> want = b;
            const uint16_t row[] = {c1, c2, c1};
            std::copy_n(row, c.drawn, want.begin());
            EXPECT_TRUE(matches(want)) << c.what;
        }
    }

    // A file cut in its image data: the rows decoded are drawn, the rest keeps the screen.
    const Picture pic = make_picture(203, 41, 41);
    const Bytes real = magick_gif(dir_, {pic}, "-colors 200 GIF:", "r");
    write_file(dir_.file("r.gif"), real);
    const GifImage ref = giflib_image(dir_.file("r.gif"));
    ASSERT_TRUE(ref.ok);
    for (Pieces pieces : {Pieces::kWhole, Pieces::kOneByte}) {
        screen_.noise(10);
        const std::vector<uint16_t> b = screen_.snap();
        EXPECT_EQ(draw(GUI_GIF_DrawEx, cut(real, real.size() / 2), 0, 0, pieces), 2);
        int drawn_rows = 0;
        for (int r = 0; r < 41; ++r) {
            bool drawn = true, kept = true;
            for (int c = 0; c < 203; ++c) {
                const uint16_t p = screen_.px(c, r), was = b[size_t(r) * 800 + size_t(c)];
                drawn = drawn && p == ref.pixels[size_t(r * 203 + c)];
                kept = kept && p == was;
            }
            // A row is drawn whole, kept whole, or (the last one decoded) drawn in part.
            if (drawn) ++drawn_rows;
            EXPECT_TRUE(drawn || kept || r == drawn_rows) << "row " << r;
        }
        EXPECT_GT(drawn_rows, 5);
        EXPECT_LT(drawn_rows, 41);
    }
}

// Every byte of small files of each decoder's kinds changed in turn: whatever the result, nothing
// outside the clip box changes (the sanitizer build also sees every read).
TEST_F(ImageDecoder, CorruptedFilesStayInTheClipBox) {
    const Picture pic = make_picture(13, 7, 50);
    struct Kind {
        Decoder* decoder;
        Bytes file;
    };
    std::vector<Kind> kinds;
    for (const char* args : {"-colors 30 -compress RLE BMP3:", "-colors 16 BMP2:",
                             "-define bmp:subtype=RGB565 BMP:", "-type truecolor BMP3:"}) {
        kinds.push_back({GUI_BMP_DrawEx, magick_bmp(dir_, pic, args, "c")});
    }
    for (const char* args :
         {"-colors 30 GIF:", "-colors 7 -interlace GIF -transparent black GIF:"}) {
        kinds.push_back({GUI_GIF_DrawEx, magick_gif(dir_, {pic}, args, "c")});
    }
    // The image (13 x 7) is drawn at (96, 99) over the clip box's edges: every pixel it could
    // reach around the box is compared.
    const GUI_RECT clip{100, 100, 108, 104};
    screen_.noise(4);
    const std::vector<uint16_t> before = screen_.snap();
    std::mt19937 rng(5);
    for (const Kind& k : kinds) {
        ASSERT_GT(k.file.size(), 20u);
        for (size_t i = 0; i < k.file.size(); ++i) {
            for (uint8_t v : {uint8_t(0xFF), uint8_t(k.file[i] ^ 0x80), uint8_t(rng())}) {
                Bytes bad = k.file;
                bad[i] = v;
                GUI_SetClipRect(&clip);
                Source source{&bad, Pieces::kRandom};
                source.rng.seed(uint32_t(i));
                k.decoder(get_data, &source, 96, 99);
                GUI_SetClipRect(nullptr);
                for (int y = 90; y < 120; ++y) {
                    for (int x = 90; x < 120; ++x) {
                        if (x >= clip.x0 && x <= clip.x1 && y >= clip.y0 && y <= clip.y1) continue;
                        ASSERT_EQ(screen_.px(x, y), before[size_t(y) * 800 + size_t(x)])
                            << "(" << x << ", " << y << ") byte " << i << " = " << int(v);
                    }
                }
            }
        }
        voxa_test::host_output();
    }
}

}  // namespace
