// imgpack's picture readers against pictures written by other programs (ImageMagick, netpbm,
// libjpeg-turbo's cjpeg), each compared with an independent decode of the same file
// (ImageMagick's at 16 bits, narrowed to 8 by rounding, or djpeg's) after both went through the
// module's RGB565 conversion; and the
// PNGs that extract writes, read back by ImageMagick. A test skips only when a program is not
// installed (scripts/install-deps.sh installs them).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imgpack.h"

namespace {

namespace fs = std::filesystem;
using imgpack::Picture;

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

#define REQUIRE_PROGRAMS(...)                                        \
    for (const char* p : {__VA_ARGS__}) {                            \
        if (!installed(p)) GTEST_SKIP() << p << " is not installed"; \
    }

// Runs a shell command and returns its stdout; *ok tells whether it exited with 0.
std::vector<uint8_t> run(const std::string& command, bool* ok) {
    std::vector<uint8_t> out;
    FILE* pipe = popen(("(" + command + ") 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        *ok = false;
        return out;
    }
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    const int status = pclose(pipe);
    *ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class ImgpackInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/imgpack-interop-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        // Sources: 16-bit RGB (so that the low bytes of 16-bit files matter), 8-bit RGB and
        // 8-bit RGBA with every alpha from clear to opaque. Smooth ramps, so that JPEG keeps
        // them close, with a few sharp pixels, so that palettes and runs are not trivial.
        std::vector<uint8_t> p16, p8, pam;
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                const uint32_t r = (x * 65535) / (kWidth - 1);
                const uint32_t g = (y * 65535) / (kHeight - 1);
                const uint32_t b = ((x * 7 + y * 13) % 17 == 0) ? 0xFFFF : 0x2345 + 0x911 * x;
                for (uint32_t v : {r, g, b & 0xFFFF}) {
                    p16.push_back(uint8_t(v >> 8));
                    p16.push_back(uint8_t(v));
                    p8.push_back(uint8_t(v >> 8));
                    pam.push_back(uint8_t(v >> 8));
                }
                pam.push_back(uint8_t((x * 255) / (kWidth - 1)));
            }
        }
        const std::string sides = std::to_string(kWidth) + " " + std::to_string(kHeight);
        auto with = [](const std::string& head, const std::vector<uint8_t>& body) {
            std::vector<uint8_t> v(head.begin(), head.end());
            v.insert(v.end(), body.begin(), body.end());
            return v;
        };
        write_bytes(path("src16.ppm"), with("P6\n" + sides + "\n65535\n", p16));
        write_bytes(path("src.ppm"), with("P6\n" + sides + "\n255\n", p8));
        write_bytes(path("src.pam"), with("P7\nWIDTH " + std::to_string(kWidth) + "\nHEIGHT " +
                                              std::to_string(kHeight) +
                                              "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                                          pam));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (fs::path(dir_) / name).string(); }

    // Makes `file` with a shell command (run in the temporary folder), decodes it with imgpack
    // and compares it with `reference`'s decode: RGB565 per pixel and, when asked, alpha.
    void expect_same(const std::string& what, const std::string& make, const std::string& file,
                     const std::string& reference_kind, bool alpha) {
        SCOPED_TRACE(what + ": " + make);
        bool ok;
        run("cd " + dir_ + " && " + make, &ok);
        ASSERT_TRUE(ok) << "the command failed";
        Picture ours;
        std::string error;
        ASSERT_TRUE(imgpack::decode_picture(read_bytes(path(file)), &ours, &error)) << error;
        std::vector<uint8_t> ref;
        uint32_t w = 0, h = 0;
        if (reference_kind == "djpeg") {
            ref = decode_pnm(run("djpeg -pnm " + path(file), &ok), &w, &h);
        } else {
            // 16-bit samples narrowed here by the documented rule: ImageMagick's own 8-bit
            // output truncates, which is not the rule.
            ref = decode_pam16(run("convert " + path(file) + "[0] -depth 16 pam:-", &ok), &w, &h);
        }
        ASSERT_TRUE(ok) << "the reference decode failed";
        ASSERT_EQ(ours.width, w);
        ASSERT_EQ(ours.height, h);
        ASSERT_EQ(ref.size(), size_t(w) * h * 4);
        int wrong = 0;
        for (size_t i = 0; i < size_t(w) * h && wrong < 3; ++i) {
            const uint8_t* a = &ours.rgba[4 * i];
            const uint8_t* b = &ref[4 * i];
            const uint16_t pa = imgpack::to_rgb565(uint32_t(a[0]) << 16 | a[1] << 8 | a[2]);
            const uint16_t pb = imgpack::to_rgb565(uint32_t(b[0]) << 16 | b[1] << 8 | b[2]);
            if (pa != pb || (alpha && a[3] != b[3])) {
                ++wrong;
                ADD_FAILURE() << "pixel (" << i % w << ", " << i / w << "): imgpack " << std::hex
                              << pa << " alpha " << int(a[3]) << ", reference " << pb << " alpha "
                              << int(b[3]);
            }
        }
    }

    // A PAM of 16-bit samples (grey, grey + alpha, RGB or RGBA), as 8-bit RGBA.
    static std::vector<uint8_t> decode_pam16(const std::vector<uint8_t>& bytes, uint32_t* w,
                                             uint32_t* h) {
        const std::string end = "ENDHDR\n";
        const auto at = std::search(bytes.begin(), bytes.end(), end.begin(), end.end());
        std::vector<uint8_t> out;
        if (at == bytes.end()) return out;
        std::istringstream head(std::string(bytes.begin(), at));
        uint32_t depth = 0, maxval = 0;
        for (std::string key; head >> key;) {
            if (key == "WIDTH") head >> *w;
            if (key == "HEIGHT") head >> *h;
            if (key == "DEPTH") head >> depth;
            if (key == "MAXVAL") head >> maxval;
        }
        const size_t start = size_t(at - bytes.begin()) + end.size();
        const size_t count = size_t(*w) * *h;
        if (maxval != 65535 || depth < 1 || depth > 4 ||
            bytes.size() != start + count * depth * 2) {
            return out;
        }
        auto sample = [&](size_t i, uint32_t c) {
            const size_t k = start + (i * depth + c) * 2;
            const uint32_t v = uint32_t(bytes[k]) << 8 | bytes[k + 1];
            return uint8_t((v * 255 + 32767) / 65535);
        };
        for (size_t i = 0; i < count; ++i) {
            const bool colour = depth >= 3, alpha = depth == 2 || depth == 4;
            out.push_back(sample(i, 0));
            out.push_back(sample(i, colour ? 1 : 0));
            out.push_back(sample(i, colour ? 2 : 0));
            out.push_back(alpha ? sample(i, depth - 1) : 0xFF);
        }
        return out;
    }

    // P5 or P6 with maxval 255, as RGBA.
    static std::vector<uint8_t> decode_pnm(const std::vector<uint8_t>& bytes, uint32_t* w,
                                           uint32_t* h) {
        std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
        std::istringstream s(head);
        std::string magic;
        uint32_t maxval = 0;
        s >> magic >> *w >> *h >> maxval;
        const size_t start = size_t(s.tellg()) + 1;
        const size_t channels = magic == "P5" ? 1 : 3;
        std::vector<uint8_t> out;
        if (maxval != 255 || bytes.size() < start + size_t(*w) * *h * channels) return out;
        for (size_t i = 0; i < size_t(*w) * *h; ++i) {
            const uint8_t* p = &bytes[start + i * channels];
            const uint8_t g = channels == 1 ? p[0] : p[1];
            out.insert(out.end(), {p[0], g, p[channels - 1], 0xFF});
        }
        return out;
    }

    static constexpr uint32_t kWidth = 21, kHeight = 9;
    std::string dir_;
};

TEST_F(ImgpackInterop, PngFromImageMagickAndNetpbm) {
    REQUIRE_PROGRAMS("convert");
    expect_same("grey, 8 bits",
                "convert src.ppm -colorspace Gray -define png:color-type=0 -depth 8 grey8.png",
                "grey8.png", "convert", false);
    expect_same("grey, 4 bits",
                "convert src.ppm -colorspace Gray -depth 4 -define png:color-type=0 "
                "-define png:bit-depth=4 grey4.png",
                "grey4.png", "convert", false);
    expect_same("palette", "convert src.ppm -dither None -colors 40 PNG8:pal.png", "pal.png",
                "convert", false);
    expect_same("RGBA", "convert src.pam PNG32:rgba.png", "rgba.png", "convert", true);
    expect_same("16-bit RGB", "convert src16.ppm PNG48:rgb16.png", "rgb16.png", "convert", false);
    expect_same("16-bit RGBA", "convert src.pam -depth 16 PNG64:rgba16.png", "rgba16.png",
                "convert", true);

    REQUIRE_PROGRAMS("pnmtopng", "pamtopng", "ppmtopgm", "pnmquant");
    expect_same("netpbm 16-bit RGB", "pnmtopng src16.ppm > n16.png", "n16.png", "convert", false);
    expect_same("netpbm grey", "ppmtopgm src.ppm | pnmtopng > ngrey.png", "ngrey.png", "convert",
                false);
    expect_same("netpbm palette", "pnmquant 30 src.ppm | pnmtopng > npal.png", "npal.png",
                "convert", false);
    expect_same("netpbm RGBA", "pamtopng src.pam > nrgba.png", "nrgba.png", "convert", true);
}

TEST_F(ImgpackInterop, BmpFromImageMagickAndNetpbm) {
    REQUIRE_PROGRAMS("convert");
    expect_same("1 bit", "convert src.ppm -dither None -colors 2 -type palette BMP3:b1.bmp",
                "b1.bmp", "convert", false);
    expect_same("4 bits", "convert src.ppm -dither None -colors 12 -type palette BMP3:b4.bmp",
                "b4.bmp", "convert", false);
    expect_same("8 bits", "convert src.ppm -dither None -colors 100 -type palette BMP3:b8.bmp",
                "b8.bmp", "convert", false);
    expect_same("RLE8",
                "convert src.ppm -dither None -colors 100 -type palette -compress RLE BMP3:r8.bmp",
                "r8.bmp", "convert", false);
    expect_same("16 bits, 565 bit fields",
                "convert src.ppm -define bmp:subtype=RGB565 BMP:b565.bmp", "b565.bmp", "convert",
                false);
    expect_same("16 bits, 555", "convert src.ppm -define bmp:subtype=RGB555 BMP:b555.bmp",
                "b555.bmp", "convert", false);
    expect_same("24 bits", "convert src.ppm -type truecolor BMP3:b24.bmp", "b24.bmp", "convert",
                false);
    expect_same("32 bits with alpha", "convert src.pam BMP:b32.bmp", "b32.bmp", "convert", true);

    // Top-down: the 24-bit file with its rows reversed and its height negated.
    {
        std::vector<uint8_t> b = read_bytes(path("b24.bmp"));
        ASSERT_GT(b.size(), 54u);
        const uint32_t at = b[10] | b[11] << 8;
        const uint32_t stride = (kWidth * 3 + 3) & ~3u;
        std::vector<uint8_t> flipped(b.begin(), b.begin() + at);
        for (uint32_t row = kHeight; row-- > 0;) {
            flipped.insert(flipped.end(), b.begin() + at + row * stride,
                           b.begin() + at + (row + 1) * stride);
        }
        const int32_t negative = -int32_t(kHeight);
        for (int i = 0; i < 4; ++i) flipped[22 + i] = uint8_t(uint32_t(negative) >> (8 * i));
        write_bytes(path("top.bmp"), flipped);
        expect_same("top-down", "true", "top.bmp", "convert", false);
    }

    REQUIRE_PROGRAMS("ppmtobmp", "pnmquant", "ppmtopgm", "pgmtopbm");
    expect_same("netpbm 24 bits", "ppmtobmp -bpp 24 src.ppm > n24.bmp", "n24.bmp", "convert",
                false);
    expect_same("netpbm 8 bits", "pnmquant 90 src.ppm | ppmtobmp -bpp 8 > n8.bmp", "n8.bmp",
                "convert", false);
    expect_same("netpbm 4 bits", "pnmquant 9 src.ppm | ppmtobmp -bpp 4 > n4.bmp", "n4.bmp",
                "convert", false);
    expect_same("netpbm 1 bit", "ppmtopgm src.ppm | pgmtopbm | ppmtobmp -bpp 1 > n1.bmp", "n1.bmp",
                "convert", false);
    expect_same("netpbm OS/2 header", "ppmtobmp -os2 -bpp 24 src.ppm > os2.bmp", "os2.bmp",
                "convert", false);
}

TEST_F(ImgpackInterop, JpegFromCjpegAgainstDjpeg) {
    REQUIRE_PROGRAMS("cjpeg", "djpeg");
    expect_same("baseline", "cjpeg -quality 85 src.ppm > base.jpg", "base.jpg", "djpeg", false);
    expect_same("progressive", "cjpeg -progressive src.ppm > prog.jpg", "prog.jpg", "djpeg", false);
    expect_same("greyscale", "cjpeg -grayscale src.ppm > grey.jpg", "grey.jpg", "djpeg", false);
    expect_same("4:4:4, optimised", "cjpeg -sample 1x1 -optimize src.ppm > s444.jpg", "s444.jpg",
                "djpeg", false);

    // CMYK is refused with a message, not decoded into wrong colours.
    REQUIRE_PROGRAMS("convert");
    bool ok;
    run("cd " + dir_ + " && convert src.ppm -colorspace CMYK cmyk.jpg", &ok);
    ASSERT_TRUE(ok);
    Picture p;
    std::string error;
    EXPECT_FALSE(imgpack::decode_picture(read_bytes(path("cmyk.jpg")), &p, &error));
    EXPECT_NE(error.find("CMYK"), std::string::npos) << error;
}

// What extract writes opens in ImageMagick with the stored pixels, and with alpha 0 exactly
// where a transparent bitmap has its key.
TEST_F(ImgpackInterop, ExtractedPngsOpenInImageMagick) {
    REQUIRE_PROGRAMS("convert");
    imgpack::ImageFile file;
    file.records.resize(4);
    imgpack::Bitmap plain, keyed;
    plain.width = keyed.width = 5;
    plain.height = keyed.height = 3;
    for (uint32_t i = 0; i < 15; ++i) {
        plain.pixels.push_back(uint16_t(0x1234 * i + 0x0841 * (i % 3)));
        keyed.pixels.push_back(i % 4 == 0 ? 0xF81F : uint16_t(0xFFFF - 0x0821 * i));
    }
    keyed.transparent = true;
    keyed.key = 0xF81F;
    file.records[1].kind = file.records[2].kind = file.records[3].kind =
        imgpack::Record::Kind::kBitmap;
    file.records[1].bitmap = plain;
    file.records[2].bitmap = plain;
    file.records[2].encoding = imgpack::Encoding::kRle;
    file.records[3].bitmap = keyed;
    std::string error, notes;
    const std::vector<uint8_t> bin = imgpack::build(file, nullptr, &error);
    ASSERT_FALSE(bin.empty()) << error;
    ASSERT_TRUE(imgpack::extract(bin, path("out"), nullptr, &notes, &error)) << error;
    EXPECT_EQ(notes, "");

    for (int r : {1, 2, 3}) {
        const imgpack::Bitmap& b = r == 3 ? keyed : plain;
        bool ok;
        const std::string png = path("out/bitmap-0" + std::to_string(r) + ".png");
        const std::vector<uint8_t> rgba = run("convert " + png + " -depth 8 rgba:-", &ok);
        ASSERT_TRUE(ok) << png;
        ASSERT_EQ(rgba.size(), b.pixels.size() * 4) << png;
        for (size_t i = 0; i < b.pixels.size(); ++i) {
            const uint8_t* p = &rgba[4 * i];
            EXPECT_EQ(imgpack::to_rgb565(uint32_t(p[0]) << 16 | p[1] << 8 | p[2]), b.pixels[i])
                << png << " pixel " << i;
            EXPECT_EQ(p[3], r == 3 && b.pixels[i] == b.key ? 0 : 255) << png << " pixel " << i;
        }
    }
}

}  // namespace
