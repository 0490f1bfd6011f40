// "xif": image files of the card drawn through the whole module. The decoders' own tests
// compare every kind of file with the reference libraries; here the module's side: the file
// found, its type chosen by the name's ending, the replies, the origin, the clip area.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"

namespace voxa_test {
namespace {

TEST(SdImageFiles, RepliesWhenTheFileCannotBeDrawn) {
    {
        Harness h;
        h.boot();
        EXPECT_EQ(h.command("xif logo.bmp 0 0"), ":SD Card not initialized.\r!\r");
    }
    TempDir card;
    write_file(card / "LOGO.PNG", "\x89PNG");
    write_file(card / "PHOTO.JPE", "x");
    write_file(card / "AB", "x");
    write_file(card / "IMGJPEG", "x");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    h.boot();
    EXPECT_EQ(h.command("xif nothere.bmp 0 0"), ":cannot open SD card file \"nothere.bmp\".\r!\r");
    EXPECT_EQ(h.command("xif photo.jpeg 0 0"), ":cannot open SD card file \"photo.jpeg\".\r!\r")
        << "not an 8.3 name: no such file";
    EXPECT_EQ(h.command("xif logo.png 0 0"), ":file type\"PNG\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif photo.jpe 0 0"), ":file type\"JPE\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif imgjpeg 0 0"), ":file type\"PEG\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif ab 0 0"), ":file type\"AB\" not supported.\r!\r");
    EXPECT_EQ(h.command("xif logo.png"), "!\r") << "no position";
    EXPECT_EQ(h.command("xif"), "!\r");
    EXPECT_EQ(h.command("xif 0123456789abcdefg.bmp 0 0"), "!\r") << "a name of 17 characters";
}

// An 8-bit RGB picture as a PPM file stores it.
struct Rgb {
    int width = 0, height = 0;
    std::string bytes;  // r g b, rows top first
    int channel(int x, int y, int c) const {
        return uint8_t(bytes[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)]);
    }
};

std::string ppm(const Rgb& p) {
    return "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n" + p.bytes;
}

Rgb read_ppm(const std::string& file) {
    std::istringstream in(file);
    std::string magic;
    int max = 0;
    Rgb p;
    in >> magic >> p.width >> p.height >> max;
    in.get();
    p.bytes = file.substr(size_t(in.tellg()));
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(p.bytes.size(), size_t(p.width) * size_t(p.height) * 3);
    return p;
}

// Gradients, a hard-edged box and noise: what shows off-by-one rows, columns and colours.
Rgb test_picture(int width, int height) {
    Rgb p{width, height, {}};
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const bool box = x > width / 3 && x < width / 2 && y > height / 4 && y < height / 2;
            p.bytes += char(box ? 250 : x * 255 / (width - 1));
            p.bytes += char(box ? 20 : y * 255 / (height - 1));
            p.bytes += char((noise >> 24) / 2 + (x + y) % 128);
        }
    }
    return p;
}

// Largest difference between a drawn pixel's fields and the reference's channels with their
// low bits dropped, and how many pixels differ at all.
struct Difference {
    int largest = 0;
    int pixels = 0;
};

Difference compare(const Harness& h, const Rgb& want, int x0, int y0) {
    Difference d;
    for (int y = 0; y < want.height; ++y) {
        for (int x = 0; x < want.width; ++x) {
            const uint16_t got = h.pixel(x0 + x, y0 + y);
            const int fields[3] = {got >> 11, (got >> 5) & 0x3F, got & 0x1F};
            const int shifts[3] = {3, 2, 3};
            bool differs = false;
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(fields[c] - (want.channel(x, y, c) >> shifts[c]));
                d.largest = std::max(d.largest, diff);
                differs |= diff != 0;
            }
            d.pixels += differs;
        }
    }
    return d;
}

class SdImageInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        picture_ = test_picture(203, 157);
        write_file(card_ / "pic.ppm", ppm(picture_));
        const std::string in = quote(card_ / "pic.ppm");
        ASSERT_EQ(run("convert " + in + " BMP3:" + quote(card_ / "PIC24.BMP")), 0);
        ASSERT_EQ(run("convert " + in + " -colors 200 " + quote(card_ / "PIC.GIF")), 0);
        ASSERT_EQ(run("cjpeg -quality 85 -sample 2x2 " + in + " > " + quote(card_ / "BASE.JPG")),
                  0);
        ASSERT_EQ(run("cjpeg -quality 85 -progressive " + in + " > " + quote(card_ / "PROG.JPG")),
                  0);
    }
    // The file as the reference decoder sees it, 8 bits per channel.
    Rgb reference(const std::string& command) {
        const std::string out = card_ / "ref.ppm";
        EXPECT_EQ(run(command + " > " + quote(out)), 0) << command;
        return read_ppm(read_file(out));
    }
    sim::Module::Options options() {
        sim::Module::Options o;
        o.sd_dir = card_.path();
        return o;
    }
    TempDir card_;
    Rgb picture_;
};

TEST_F(SdImageInterop, EachKindOfFileShowsAsTheReferenceDecodesIt) {
    Harness h(options());
    h.boot();
    ASSERT_EQ(h.command("o 100 50"), ">\r");
    // BMP: the picture itself.
    ASSERT_EQ(h.command("xif pic24.bmp 5 7", 5000), ">\r");
    Difference d = compare(h, picture_, 105, 57);
    EXPECT_EQ(d.largest, 0);
    EXPECT_EQ(h.pixel(104, 57), 0xFFFF) << "nothing left of the picture";
    EXPECT_EQ(h.pixel(105 + 203, 57 + 156), 0xFFFF) << "nothing right of it";
    // GIF: the palette ImageMagick chose.
    ASSERT_EQ(h.command("xif PIC.gif 300 0", 5000), ">\r");
    d = compare(h, reference("convert " + quote(card_ / "PIC.GIF") + " ppm:-"), 400, 50);
    EXPECT_EQ(d.largest, 0);
    // JPEG, baseline and progressive: libjpeg's integer transform with plain upsampling.
    for (const char* name : {"BASE.JPG", "PROG.JPG"}) {
        ASSERT_EQ(h.command(std::string("xif ") + name + " 0 200", 5000), ">\r") << name;
        d = compare(h, reference("djpeg -dct int -nosmooth -ppm " + quote(card_ / name)), 100, 250);
        EXPECT_LE(d.largest, 1) << name;
        EXPECT_LT(d.pixels, 203 * 157 / 20) << name;
    }
}

}  // namespace
}  // namespace voxa_test
