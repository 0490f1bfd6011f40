// Bitmap records: PNG pictures to RGB565 pixels, the run-length stream, the records in a file,
// the manifest and the listing of bitmap records.
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "imgpack.h"

namespace {

using imgpack::Bitmap;
using imgpack::Encoding;
using imgpack::ImageFile;
using imgpack::Picture;
using imgpack::Record;
using imgpack::RecordLayout;
using imgpack::Transparency;

// ---- PNG files made here with libpng ----

struct PngPlan {
    uint32_t width = 1, height = 1;
    int color_type = PNG_COLOR_TYPE_RGB;
    int bit_depth = 8;
    std::vector<uint8_t> rows;  // packed rows as the PNG holds them
    std::vector<png_color> palette;
    std::vector<uint8_t> trns;  // alpha of palette entries
};

void write_to(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

std::vector<uint8_t> make_png(const PngPlan& s) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, write_to, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.bit_depth, s.color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), int(s.trns.size()), nullptr);
    png_write_info(png, info);
    const size_t row_bytes = s.rows.size() / s.height;
    for (uint32_t y = 0; y < s.height; ++y) {
        png_write_row(png, s.rows.data() + y * row_bytes);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bitmap bitmap_of(const PngPlan& s, Transparency t = Transparency::kNone, uint32_t key = 0) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(imgpack::decode_png(make_png(s), &picture, &error)) << error;
    Bitmap b;
    EXPECT_TRUE(imgpack::make_bitmap(picture, t, key, &b, &error)) << error;
    return b;
}

// Expected pixels below are worked out by hand: red and blue keep their top 5 bits, green its
// top 6; 16-bit channels are rounded to 8 bits.
TEST(ImgpackPng, EveryColourTypeGivesTheModulesPixels) {
    // Grey, 8 bits: 0x80 is 10000 100000 10000.
    PngPlan grey{3, 1, PNG_COLOR_TYPE_GRAY, 8, {0x00, 0x80, 0xFF}, {}, {}};
    EXPECT_EQ(bitmap_of(grey).pixels, (std::vector<uint16_t>{0x0000, 0x8410, 0xFFFF}));

    // Grey, 2 bits: 1 is 0x55 after expansion: 01010 010101 01010.
    PngPlan grey2{2, 2, PNG_COLOR_TYPE_GRAY, 2, {0x40, 0xC0}, {}, {}};
    EXPECT_EQ(bitmap_of(grey2).pixels, (std::vector<uint16_t>{0x52AA, 0x0000, 0xFFFF, 0x0000}));

    // Palette, 4 bits, with a tRNS chunk making entry 2 see-through.
    PngPlan pal{4,
                1,
                PNG_COLOR_TYPE_PALETTE,
                4,
                {0x01, 0x23},
                {{0xFF, 0, 0}, {0, 0xFF, 0}, {0, 0, 0xFF}, {0x12, 0x34, 0x56}},
                {0xFF, 0xFF, 0}};
    EXPECT_EQ(bitmap_of(pal).pixels, (std::vector<uint16_t>{0xF800, 0x07E0, 0x001F, 0x11AA}));
    Bitmap keyed = bitmap_of(pal, Transparency::kAlpha);
    EXPECT_TRUE(keyed.transparent);
    EXPECT_EQ(keyed.key, 0xF81F);
    EXPECT_EQ(keyed.pixels, (std::vector<uint16_t>{0xF800, 0x07E0, 0xF81F, 0x11AA}));

    // RGBA: alpha 127 is see-through, 128 opaque. An opaque magenta takes the preferred key, so
    // the key is the lowest value no opaque pixel uses: 0x0000 is used, 0x0001 is free.
    PngPlan rgba{4,
                 1,
                 PNG_COLOR_TYPE_RGBA,
                 8,
                 {0x12, 0x34, 0x56, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x55,
                  0x55, 0x55, 0x7F},
                 {},
                 {}};
    EXPECT_EQ(bitmap_of(rgba).pixels, (std::vector<uint16_t>{0x11AA, 0xF81F, 0x0000, 0x52AA}));
    Bitmap alpha = bitmap_of(rgba, Transparency::kAlpha);
    EXPECT_EQ(alpha.key, 0x0001);
    EXPECT_EQ(alpha.pixels, (std::vector<uint16_t>{0x11AA, 0xF81F, 0x0000, 0x0001}));
    // A given key is converted like a pixel and also taken by the see-through pixels.
    Bitmap key = bitmap_of(rgba, Transparency::kKey, 0x123456);
    EXPECT_EQ(key.key, 0x11AA);
    EXPECT_EQ(key.pixels, (std::vector<uint16_t>{0x11AA, 0xF81F, 0x0000, 0x11AA}));

    // 16-bit RGB and grey+alpha, rounded: (AB, 12, FF) and grey 40; red 0x07FF rounds up to 8,
    // which the high byte alone (7) would not carry into the pixel.
    PngPlan rgb16{
        2,  1, PNG_COLOR_TYPE_RGB, 16, {0xAB, 0xCD, 0x12, 0x34, 0xFF, 0xFF, 0x07, 0xFF, 0, 0, 0, 0},
        {}, {}};
    EXPECT_EQ(bitmap_of(rgb16).pixels, (std::vector<uint16_t>{0xA89F, 0x0800}));
    PngPlan ga16{
        2,  1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0x40, 0x00, 0xFF, 0xFF, 0x40, 0x00, 0x7F, 0xFF},
        {}, {}};
    EXPECT_EQ(bitmap_of(ga16, Transparency::kAlpha).pixels,
              (std::vector<uint16_t>{0x4208, 0xF81F}));

    // Not a PNG, and a PNG cut short: refused with a reason, no crash.
    Picture p;
    std::string error;
    EXPECT_FALSE(imgpack::decode_png({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, &p, &error));
    EXPECT_EQ(error, "PNG: not a PNG file");
    const std::vector<uint8_t> whole = make_png(rgba);
    for (size_t n : {size_t(8), size_t(30), whole.size() - 13}) {
        error.clear();
        EXPECT_FALSE(imgpack::decode_png(
            std::vector<uint8_t>(whole.begin(), whole.begin() + long(n)), &p, &error))
            << n;
        EXPECT_FALSE(error.empty());
    }
}

// ---- The run-length stream ----

// Decodes the stream as the module's drawing does, refusing anything malformed: a literal or run
// cut short, or bytes left over once `count` pixels are filled.
bool rle_decode(const std::vector<uint8_t>& s, size_t count, std::vector<uint16_t>* out) {
    out->clear();
    size_t p = 0;
    while (out->size() < count) {
        if (p >= s.size()) return false;
        const unsigned n = s[p++];
        if (n != 0) {
            if (p + 2 > s.size()) return false;
            out->insert(out->end(), n, uint16_t(s[p] | s[p + 1] << 8));
            p += 2;
        } else {
            if (p >= s.size()) return false;
            const unsigned m = s[p] ? s[p] : 256;
            ++p;
            for (unsigned i = 0; i < m; ++i, p += 2) {
                if (p + 2 > s.size()) return false;
                out->push_back(uint16_t(s[p] | s[p + 1] << 8));
            }
        }
    }
    return p == s.size() && out->size() == count;
}

TEST(ImgpackRle, RoundTripsAndUsesTheShortForms) {
    std::vector<uint16_t> decoded;
    // 256 different pixels: one literal whose count byte is 0.
    std::vector<uint16_t> ramp(256);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint16_t(i * 257);
    std::vector<uint8_t> s = imgpack::rle_encode(ramp);
    ASSERT_EQ(s.size(), 2u + 512);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 0);
    ASSERT_TRUE(rle_decode(s, ramp.size(), &decoded));
    EXPECT_EQ(decoded, ramp);
    // 257: a full literal, then one of 1.
    ramp.push_back(0x1234);
    s = imgpack::rle_encode(ramp);
    EXPECT_EQ(s.size(), 2u + 512 + 3);
    ASSERT_TRUE(rle_decode(s, ramp.size(), &decoded));
    EXPECT_EQ(decoded, ramp);

    // 600 equal pixels: runs of 255, 255, 90.
    s = imgpack::rle_encode(std::vector<uint16_t>(600, 0xBEEF));
    EXPECT_EQ(s, (std::vector<uint8_t>{255, 0xEF, 0xBE, 255, 0xEF, 0xBE, 90, 0xEF, 0xBE}));
    // A pair inside a literal stays in it; a pair before one is a run; three are a run; a
    // pixel alone between runs or at the end is a run of 1 (3 bytes, a literal takes 4).
    s = imgpack::rle_encode({1, 2, 3, 3, 4, 5, 6, 6, 6});
    EXPECT_EQ(s, (std::vector<uint8_t>{0, 6, 1, 0, 2, 0, 3, 0, 3, 0, 4, 0, 5, 0, 3, 6, 0}));
    s = imgpack::rle_encode({5, 5, 6});
    EXPECT_EQ(s, (std::vector<uint8_t>{2, 5, 0, 1, 6, 0}));
    s = imgpack::rle_encode({7, 8, 8, 9, 10});
    EXPECT_EQ(s, (std::vector<uint8_t>{1, 7, 0, 2, 8, 0, 0, 2, 9, 0, 10, 0}));
    EXPECT_TRUE(imgpack::rle_encode({}).empty());

    // Random pictures with runs of every length, and noise.
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint16_t> pixels;
        const size_t size = 1 + random() % 2000;
        while (pixels.size() < size) {
            const uint16_t v = uint16_t(random() % (round % 3 == 0 ? 65536 : 4));
            pixels.insert(pixels.end(), 1 + random() % (round % 2 ? 3 : 400), v);
        }
        pixels.resize(size);
        s = imgpack::rle_encode(pixels);
        ASSERT_TRUE(rle_decode(s, pixels.size(), &decoded)) << round;
        ASSERT_EQ(decoded, pixels) << round;
        ASSERT_LE(s.size(), 2 * pixels.size() + 2 * ((pixels.size() + 255) / 256)) << round;
    }
}

// ---- Bitmap records in a file ----

uint16_t u16(const std::vector<uint8_t>& v, size_t at) {
    return uint16_t(v[at] | v[at + 1] << 8);
}
uint32_t u32(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
           uint32_t(v[at + 3]) << 24;
}

Record bitmap_record(Bitmap b, Encoding e) {
    Record r;
    r.kind = Record::Kind::kBitmap;
    r.bitmap = std::move(b);
    r.encoding = e;
    return r;
}

Bitmap solid(uint32_t w, uint32_t h, uint16_t v) {
    return Bitmap{w, h, std::vector<uint16_t>(size_t(w) * h, v), false, 0};
}

ImageFile sample_file() {
    ImageFile f;
    Record macros;
    macros.kind = Record::Kind::kMacros;
    macros.macros.macros = {imgpack::Macro{"go", {"xi 2 0 0"}}};
    f.records.push_back(macros);
    f.records.push_back(Record{});  // blank
    f.records.push_back(
        bitmap_record(Bitmap{3, 1, {0x1111, 0x2222, 0x3333}, false, 0}, Encoding::kPlain));
    f.records.push_back(
        bitmap_record(Bitmap{2, 1, {0xF81F, 0x0001}, true, 0xF81F}, Encoding::kAuto));
    f.records.push_back(bitmap_record(solid(300, 1, 0xABCD), Encoding::kRle));
    return f;
}

TEST(ImgpackBitmapRecords, DescriptorsDataAndLocations) {
    std::vector<RecordLayout> layout;
    std::string error;
    const std::vector<uint8_t> image = imgpack::build(sample_file(), &layout, &error);
    ASSERT_FALSE(image.empty()) << error;
    ASSERT_EQ(layout.size(), 5u);
    EXPECT_EQ(u16(image, 2), 5);
    EXPECT_EQ(u32(image, 4), image.size());
    const uint8_t types[] = {3, 0, 1, 5, 2};
    for (size_t i = 0; i < 5; ++i) {
        const size_t entry = 8 + 12 * i;
        EXPECT_EQ(image[entry], types[i]) << i;
        EXPECT_EQ(layout[i].type, types[i]) << i;
        if (i >= 2) {
            EXPECT_EQ(layout[i].start % 4, 0u) << i;
            EXPECT_EQ(u32(image, entry + 4), layout[i].start) << i;
            EXPECT_EQ(u32(image, entry + 8), layout[i].length) << i;
        }
    }
    // The blank points at its own directory entry: inside the file, nothing to read.
    EXPECT_EQ(u32(image, 8 + 12 + 4), 20u);
    EXPECT_EQ(u32(image, 8 + 12 + 8), 0u);

    // Plain: 3x1, 6 bytes per line, 16 bpp, pixels after the descriptor, palette and methods 0.
    size_t d = layout[2].start;
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + long(d), image.begin() + long(d) + 26),
              (std::vector<uint8_t>{3, 0, 1,    0,    6,    0,    16,   0,   uint8_t(d + 20),
                                    0, 0, 0,    0,    0,    0,    0,    0,   0,
                                    0, 0, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33}));
    EXPECT_EQ(u32(image, d + 8), d + 20);
    EXPECT_EQ(layout[2].length, 26u);
    // Transparent: the key in the palette field; auto does not compress it.
    d = layout[3].start;
    EXPECT_EQ(u32(image, d + 12), 0xF81Fu);
    EXPECT_EQ(u32(image, d + 8), d + 20);
    EXPECT_EQ(u16(image, d + 20), 0xF81F);
    // Run-length: 300x1 as runs of 255 and 45; BytesPerLine is a decoded row.
    d = layout[4].start;
    EXPECT_EQ(u16(image, d + 4), 600);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + long(d) + 20, image.end()),
              (std::vector<uint8_t>{255, 0xCD, 0xAB, 45, 0xCD, 0xAB}));

    // Flash locations: every location moves by the window's base, nothing else changes.
    ImageFile f = sample_file();
    f.flash2_locations = true;
    const std::vector<uint8_t> flash = imgpack::build(f);
    ASSERT_EQ(flash.size(), image.size());
    std::vector<size_t> moved;
    for (size_t i = 0; i + 4 <= image.size(); ++i) {
        if (u32(flash, i) == u32(image, i) + 0xC8400000u) moved.push_back(i);
    }
    size_t differing = 0;
    for (size_t i = 0; i < image.size(); ++i) differing += flash[i] != image[i];
    EXPECT_EQ(differing, 2 * (5 + 1 + 3));  // 5 directory entries, 1 macro, 3 descriptors
    for (size_t i : {2, 3, 4})
        EXPECT_EQ(u32(flash, layout[i].start + 8), 0xC8400000u + layout[i].start + 20);
}

TEST(ImgpackBitmapRecords, AutoKeepsTheSmallerAndBadBitmapsAreRefused) {
    std::vector<RecordLayout> layout;
    ImageFile f;
    f.records.push_back(Record{});
    f.records.push_back(bitmap_record(solid(16, 16, 7), Encoding::kAuto));
    Bitmap noise{4, 4, {}, false, 0};
    for (uint16_t i = 0; i < 16; ++i) noise.pixels.push_back(uint16_t(i * 1000));
    f.records.push_back(bitmap_record(noise, Encoding::kAuto));
    f.records.push_back(bitmap_record(noise, Encoding::kRle));
    // One pixel: plain 2 bytes, run-length 3: plain wins.
    f.records.push_back(bitmap_record(solid(1, 1, 9), Encoding::kAuto));
    ASSERT_FALSE(imgpack::build(f, &layout).empty());
    EXPECT_EQ(layout[1].type, 2);
    EXPECT_EQ(layout[1].length, 20u + 6);  // runs of 255 and 1
    EXPECT_EQ(layout[2].type, 1);
    EXPECT_EQ(layout[2].length, 20u + 32);
    EXPECT_EQ(layout[3].type, 2);
    EXPECT_EQ(layout[3].length, 20u + 34);
    EXPECT_EQ(layout[4].type, 1);

    struct Case {
        Record record;
        size_t at;
        const char* error;
    };
    Record macros_late;
    macros_late.kind = Record::Kind::kMacros;
    Bitmap keyed = solid(2, 2, 1);
    keyed.transparent = true;
    Bitmap wrong = solid(2, 2, 1);
    wrong.pixels.pop_back();
    const std::vector<Case> cases = {
        {macros_late, 1, "record 1: the module reads macros from record 0 only"},
        {bitmap_record(keyed, Encoding::kRle), 1, "record 1: a transparent bitmap is stored"},
        {bitmap_record(solid(0, 5, 1), Encoding::kPlain), 1, "record 1: a bitmap needs"},
        {bitmap_record(solid(32768, 1, 1), Encoding::kPlain), 1, "record 1: 32768x1 pixels"},
        {bitmap_record(wrong, Encoding::kPlain), 1, "record 1: the bitmap's pixels do not"},
        {bitmap_record(solid(5000, 3000, 1), Encoding::kPlain), 1,
         "record 1: a 5000x3000 bitmap does not fit"},
    };
    for (const Case& c : cases) {
        ImageFile bad;
        bad.records.resize(c.at);
        bad.records.push_back(c.record);
        std::string error;
        EXPECT_TRUE(imgpack::build(bad, nullptr, &error).empty()) << c.error;
        EXPECT_EQ(error.substr(0, std::strlen(c.error)), c.error);
    }
}

// ---- The listing of bitmap records ----

TEST(ImgpackBitmapRecords, ListedAsTheModuleListsThem) {
    std::vector<RecordLayout> layout;
    const std::vector<uint8_t> image = imgpack::build(sample_file(), &layout);
    bool damaged = true;
    const std::string text = imgpack::list(image, &damaged);
    EXPECT_FALSE(damaged) << text;
    char expected[2048];
    std::snprintf(expected, sizeof expected,
                  "Records: 5\n"
                  "  00: type 3 @ 000044 size 1\n"
                  "    Macro Definitions\n"
                  "macros: 1, with names\n"
                  "  #1 go: 1 line @ 0x000056\n"
                  "    'xi 2 0 0'\n"
                  "  01: type 0 @ 000014 size 0\n"
                  "    Blank Record\n"
                  "  02: type 1 @ %06x size 26\n"
                  "    Uncompressed Bitmap: 3x1\n"
                  "    3x1 16bpp (6 Bpl)\n"
                  "    gBitmap  @ %06x\n"
                  "    gPal     @ 000000\n"
                  "    pixels   @ %06x\n"
                  "      0: 0x11\n      1: 0x11\n      2: 0x22\n      3: 0x22\n"
                  "      4: 0x33\n      5: 0x33\n"
                  "  03: type 5 @ %06x size 24\n"
                  "    Uncompressed Transparent Bitmap: 2x1 (0xF81F)\n",
                  layout[2].start, layout[2].start, layout[2].start + 20, layout[3].start);
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    char rle[256];
    std::snprintf(rle, sizeof rle,
                  "  04: type 2 @ %06x size 26\n"
                  "    Compressed Bitmap: 300x1\n"
                  "    300x1 16bpp (600 Bpl)\n",
                  layout[4].start);
    EXPECT_NE(text.find(rle), std::string::npos) << text;

    // Damage in bitmap records is named.
    std::vector<uint8_t> cut = image;
    cut.resize(cut.size() - 1);
    cut[4] = uint8_t(cut.size());
    EXPECT_NE(imgpack::list(cut, &damaged)
                  .find("damaged: record 4: the run-length data end after 255 of 300 pixels"),
              std::string::npos);
    std::vector<uint8_t> wide = image;
    wide[layout[2].start] = 200;
    EXPECT_NE(imgpack::list(wide, &damaged).find("damaged: record 2: 6 bytes per line for 200"),
              std::string::npos);

    // Random changes to a file with every record kind: listed within bounds, never a crash
    // (the sanitizer build checks the reads).
    std::mt19937 random(5);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> v = image;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i) v[random() % v.size()] = uint8_t(random());
        if (random() % 4 == 0) v.resize(random() % v.size());
        ASSERT_FALSE(imgpack::list(v).empty());
    }
}

// ---- The manifest ----

class ImgpackManifest : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("imgpack-manifest-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "art");
        write("art/dot.png",
              make_png(
                  PngPlan{2, 1, PNG_COLOR_TYPE_RGBA, 8, {0xFF, 0, 0, 0xFF, 0, 0, 0, 0}, {}, {}}));
        const std::string macros = "macro 1 start\n  z\nend\n";
        write("m.txt", std::vector<uint8_t>(macros.begin(), macros.end()));
        write("bad.txt", std::vector<uint8_t>{'z', '\n'});
        write("junk.png", std::vector<uint8_t>{'n', 'o'});
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

TEST_F(ImgpackManifest, RecordsInIndexOrder) {
    const char* text =
        "# the panel\n"
        "macros m.txt nonames   # record 0\n"
        "\n"
        "blank\n"
        "bitmap art/dot.png\n"
        "bitmap \"art/dot.png\" rle\n"
        "  bitmap art/dot.png alpha auto\n"
        "bitmap art/dot.png key 00ff00 plain // a comment\n";
    ImageFile f;
    std::string error;
    ASSERT_TRUE(imgpack::parse_manifest(text, dir.string(), &f, &error)) << error;
    ASSERT_EQ(f.records.size(), 6u);
    EXPECT_EQ(f.records[0].kind, Record::Kind::kMacros);
    EXPECT_FALSE(f.records[0].macros.names);
    EXPECT_EQ(f.records[0].macros.macros.at(0).name, "start");
    EXPECT_EQ(f.records[1].kind, Record::Kind::kBlank);
    EXPECT_EQ(f.records[2].encoding, Encoding::kPlain);
    EXPECT_EQ(f.records[2].bitmap.pixels, (std::vector<uint16_t>{0xF800, 0x0000}));
    EXPECT_FALSE(f.records[2].bitmap.transparent);
    EXPECT_EQ(f.records[3].encoding, Encoding::kRle);
    EXPECT_EQ(f.records[4].encoding, Encoding::kAuto);
    EXPECT_EQ(f.records[4].bitmap.pixels, (std::vector<uint16_t>{0xF800, 0xF81F}));
    EXPECT_EQ(f.records[5].bitmap.key, 0x07E0);
    EXPECT_EQ(f.records[5].bitmap.pixels, (std::vector<uint16_t>{0xF800, 0x07E0}));
    EXPECT_FALSE(imgpack::build(f).empty());

    EXPECT_TRUE(imgpack::looks_like_macro_text("# x\n\n  macro 1\nend\n"));
    EXPECT_FALSE(imgpack::looks_like_macro_text("# x\nmacros m.txt\n"));
    EXPECT_FALSE(imgpack::looks_like_macro_text(text));
}

TEST_F(ImgpackManifest, ErrorsNameTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"blank\nbitmaps a.png\n", "2: expected \"blank\", \"macros FILE\", \"bitmap FILE"},
        {"bitmap art/dot.png\n", "1: record 0 is the macro record"},
        {"blank\nmacros m.txt\n", "2: macros must be the first record"},
        {"macros\n", "1: \"macros\" needs a macro text file"},
        {"macros m.txt names\n", "1: unexpected \"names\" after the file"},
        {"macros bad.txt\n", "1: bad.txt:1: expected \"macro NUMBER [NAME]\""},
        {"macros none.txt\n", "1: none.txt: cannot read the file"},
        {"blank x\n", "1: unexpected \"x\" after \"blank\""},
        {"blank\n\nbitmap\n", "3: \"bitmap\" needs a picture file"},
        {"blank\nbitmap art/none.png\n", "2: art/none.png: cannot read the file"},
        {"blank\nbitmap junk.png\n", "2: junk.png: not a PNG, JPEG or BMP file"},
        {"blank\nbitmap art/dot.png rle plain\n", "2: more than one of plain, rle and auto"},
        {"blank\nbitmap art/dot.png alpha key 000000\n", "2: more than one of key and alpha"},
        {"blank\nbitmap art/dot.png key\n", "2: \"key\" needs a colour as six hex digits"},
        {"blank\nbitmap art/dot.png key 12345g\n", "2: \"key\" needs a colour"},
        {"blank\nbitmap art/dot.png key #ff00ff\n", "2: \"key\" needs a colour"},
        {"blank\nbitmap art/dot.png rle alpha\n", "2: a transparent bitmap is stored"},
        {"blank\nbitmap art/dot.png shiny\n", "2: unexpected \"shiny\""},
        {"blank\nbitmap \"art/dot.png\n", "2: a quote is not closed"},
        {"# nothing\n\n", "3: the manifest names no records"},
    };
    for (const auto& [text, message] : cases) {
        ImageFile f;
        f.records.resize(7);
        std::string error;
        EXPECT_FALSE(imgpack::parse_manifest(text, dir.string(), &f, &error)) << text;
        EXPECT_EQ(error.substr(0, message.size()), message) << text;
        EXPECT_EQ(f.records.size(), 7u) << "a failed parse leaves its output alone";
    }
}

}  // namespace
