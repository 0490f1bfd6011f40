// The JPEG decoder against libjpeg on files cjpeg made from pictures drawn here (gradients,
// noise and hard edges, sizes that leave partial MCUs at the right and bottom): every pixel
// within one step of each RGB565 field of libjpeg's integer-IDCT output, at an offset, under a
// clip rectangle and whatever the piece sizes the data come in; and the files it must refuse.
#include <gtest/gtest.h>
#include <unistd.h>

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gui/gui.h"
#include "gui/image_decode.h"
#include "gui/rgb565.h"
#include "in_process.h"
#include "test_screen.h"

namespace {

using voxa_test::host_output;

constexpr uint16_t kPaper = 0x5A5A;

struct Picture {
    int w, h;
    std::vector<uint8_t> rgb;
};

// Smooth gradients under noise, a saturated disc and stripes with hard edges (chroma that
// overshoots after the IDCT, so the clamping is exercised).
Picture make_picture(int w, int h) {
    Picture p{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 3)};
    uint32_t seed = 2024;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 27) - 16;
            int r = x * 255 / w, g = y * 255 / h, b = 255 - (x + y) * 255 / (w + h);
            const int dx = x - w / 3, dy = y - h / 2;
            if (dx * dx + dy * dy < (h / 4) * (h / 4)) r = 255, g = 0, b = 40;
            if (x > w / 2 && ((x + y) / 7) % 3 == 0) r = 0, g = 20, b = 255;
            if (y > h * 3 / 4 && x % 11 < 3) r = g = b = 250;
            uint8_t* px = &p.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            px[0] = uint8_t(std::clamp(r + noise, 0, 255));
            px[1] = uint8_t(std::clamp(g + noise, 0, 255));
            px[2] = uint8_t(std::clamp(b + noise, 0, 255));
        }
    }
    return p;
}

// A folder of this process's own: ctest runs the cases of this file side by side.
std::string work_dir() {
    static const struct Dir {
        std::string path = std::string(VOXA_TEST_OUTPUT_DIR) + "/jpeg-" + std::to_string(getpid());
        Dir() { std::system(("mkdir -p '" + path + "'").c_str()); }
        ~Dir() { std::system(("rm -rf '" + path + "'").c_str()); }
    } dir;
    return dir.path;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// cjpeg's output for the picture of that size with these options (made once per run).
const std::vector<uint8_t>& cjpeg(int w, int h, const std::string& options) {
    static std::map<std::string, std::vector<uint8_t>> made;
    const std::string key = std::to_string(w) + "x" + std::to_string(h) + " " + options;
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    const std::string dir = work_dir();
    const std::string ppm =
        dir + "/picture-" + std::to_string(w) + "x" + std::to_string(h) + ".ppm";
    const Picture p = make_picture(w, h);
    {
        std::ofstream f(ppm, std::ios::binary);
        f << "P6\n" << w << " " << h << "\n255\n";
        f.write(reinterpret_cast<const char*>(p.rgb.data()), std::streamsize(p.rgb.size()));
    }
    const std::string out = dir + "/made-" + std::to_string(made.size()) + ".jpg";
    // "-scans SEQUENTIAL": one sequential scan per component, each drawn only once all are in.
    std::string args = options;
    const std::string sequential = "-scans SEQUENTIAL";
    if (args.find(sequential) != std::string::npos) {
        std::ofstream(dir + "/sequential.scans") << "0;\n1;\n2;\n";
        args.replace(args.find(sequential), sequential.size(),
                     "-scans '" + dir + "/sequential.scans'");
    }
    const std::string command = "cjpeg " + args + " -outfile '" + out + "' '" + ppm + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return made[key] = read_file(out);
}

// libjpeg's pixels: integer IDCT, chroma replicated like ours.
Picture libjpeg_decode(const std::vector<uint8_t>& file) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    Picture p{int(cinfo.output_width), int(cinfo.output_height), {}};
    p.rgb.resize(size_t(p.w) * size_t(p.h) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &p.rgb[size_t(cinfo.output_scanline) * size_t(p.w) * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return p;
}

// Hands the file out in pieces of `piece` bytes (0: as asked; -1: random sizes), each copied to
// a buffer of exactly its size so that a sanitizer sees a read beyond it.
struct Supplier {
    const std::vector<uint8_t>* file;
    int piece = 0;
    std::mt19937 random{7};
    std::vector<uint8_t> chunk;

    static int get(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
        auto* s = static_cast<Supplier*>(context);
        if (offset >= s->file->size()) return 0;
        size_t n = std::min<size_t>(count, s->file->size() - offset);
        if (s->piece > 0) n = std::min<size_t>(n, size_t(s->piece));
        if (s->piece < 0) n = std::min<size_t>(n, 1 + s->random() % 700);
        s->chunk.assign(s->file->begin() + offset, s->file->begin() + long(offset + n));
        *data = s->chunk.data();
        return int(n);
    }
};

struct Compared {
    uint32_t max_field = 0;  // largest difference of a 565 field
    long differing = 0;      // pixels with any difference
    long pixels = 0;
    long outside_changed = 0;  // pixels outside the visible image that are not paper
};

class JpegDecoder : public ::testing::Test {
  protected:
    void SetUp() override {
        voxa_test::start_firmware_in_process();
        screen_.open(voxa_test::kWvgaScreen, kPaper);
        const GUI_DISPLAY display = screen_.display();
        ASSERT_EQ(GUI_Init(&display), 0);
        GUI_JPEG_SetWorkArea(area_.data(), uint32_t(area_.size() * sizeof(area_[0])));
        host_output();
    }
    void TearDown() override {
        GUI_JPEG_SetWorkArea(nullptr, 0);
        EXPECT_TRUE(screen_.untouched_outside());
    }

    int draw(const std::vector<uint8_t>& file, int x, int y, int piece = 0) {
        Supplier s{&file, piece};
        return GUI_JPEG_DrawEx(&Supplier::get, &s, x, y);
    }

    // The screen against the reference drawn at (x, y), seen through the clip box.
    Compared compare(const Picture& ref, int x, int y, const GUI_RECT& clip) const {
        Compared c;
        for (int sy = 0; sy < screen_.H; ++sy) {
            for (int sx = 0; sx < screen_.W; ++sx) {
                const int ix = sx - x, iy = sy - y;
                const bool shown = ix >= 0 && iy >= 0 && ix < ref.w && iy < ref.h &&
                                   sx >= clip.x0 && sx <= clip.x1 && sy >= clip.y0 && sy <= clip.y1;
                const uint16_t got = screen_.px(sx, sy);
                if (!shown) {
                    c.outside_changed += got != kPaper;
                    continue;
                }
                const uint8_t* p = &ref.rgb[(size_t(iy) * size_t(ref.w) + size_t(ix)) * 3];
                const uint16_t want = rgb565::pack(p[0], p[1], p[2]);
                const uint32_t d = std::max(
                    {uint32_t(std::abs(int(rgb565::red5(got)) - int(rgb565::red5(want)))),
                     uint32_t(std::abs(int(rgb565::green6(got)) - int(rgb565::green6(want)))),
                     uint32_t(std::abs(int(rgb565::blue5(got)) - int(rgb565::blue5(want))))});
                c.max_field = std::max(c.max_field, d);
                c.differing += d != 0;
                ++c.pixels;
            }
        }
        return c;
    }
    Compared compare(const Picture& ref, int x, int y) const {
        return compare(ref, x, y, GUI_RECT{0, 0, int16_t(screen_.W - 1), int16_t(screen_.H - 1)});
    }

    voxa_test::TestScreen screen_;
    std::vector<int16_t> area_ = std::vector<int16_t>(1 << 20);
};

struct Kind {
    const char* name;
    int w, h;
    const char* options;
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.name << " (cjpeg " << k.options << ")";
}

const Kind kKinds[] = {
    {"baseline_420_q75", 203, 157, "-quality 75"},
    {"baseline_444_q95", 203, 157, "-quality 95 -sample 1x1"},
    {"baseline_422_q50", 203, 157, "-quality 50 -sample 2x1"},
    {"baseline_440", 203, 157, "-sample 1x2"},
    {"grey", 203, 157, "-grayscale"},
    {"restart_every_row", 203, 157, "-restart 1"},
    {"restart_3_blocks_444", 203, 157, "-restart 3B -sample 1x1"},
    {"optimised_q95", 203, 157, "-optimize -quality 95"},
    {"sequential_scan_per_component", 203, 157, "-scans SEQUENTIAL"},
    {"progressive_420", 203, 157, "-progressive"},
    {"progressive_444_q95", 203, 157, "-progressive -sample 1x1 -quality 95"},
    {"progressive_422_q50", 203, 157, "-progressive -sample 2x1 -quality 50"},
    {"progressive_grey", 203, 157, "-progressive -grayscale"},
    {"progressive_restart", 203, 157, "-progressive -restart 3B"},
    {"wvga_baseline", 800, 480, "-quality 85"},
    {"wvga_progressive", 800, 480, "-quality 85 -progressive"},
};

class JpegInterop : public JpegDecoder, public ::testing::WithParamInterface<Kind> {};

INSTANTIATE_TEST_SUITE_P(Cjpeg, JpegInterop, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// Each kind of file at an offset, then under a clip rectangle, then in pieces of 1 byte and of
// random sizes (which must give the very same pixels).
TEST_P(JpegInterop, DrawsWhatLibjpegDecodes) {
    const Kind& k = GetParam();
    const std::vector<uint8_t>& file = cjpeg(k.w, k.h, k.options);
    ASSERT_FALSE(file.empty());
    const Picture ref = libjpeg_decode(file);
    ASSERT_EQ(ref.w, k.w);
    const int x = k.w < 400 ? 37 : 0, y = k.w < 400 ? 21 : 0;

    ASSERT_EQ(draw(file, x, y), 0) << host_output();
    const Compared whole = compare(ref, x, y);
    EXPECT_LE(whole.max_field, 1u);
    EXPECT_LE(whole.differing * 100, whole.pixels) << "more than 1% of the pixels differ";
    EXPECT_EQ(whole.outside_changed, 0);
    std::printf("[ jpeg ] %-22s %zu bytes: max field difference %u, %ld of %ld pixels differ\n",
                k.name, file.size(), whole.max_field, whole.differing, whole.pixels);
    const std::vector<uint16_t> drawn = screen_.snap();
    EXPECT_EQ(host_output(), "");

    for (int piece : {1, -1}) {
        screen_.fill(kPaper);
        ASSERT_EQ(draw(file, x, y, piece), 0) << "pieces " << piece;
        EXPECT_EQ(screen_.first_difference(drawn), -1) << "pieces " << piece;
    }

    screen_.fill(kPaper);
    const GUI_RECT clip{int16_t(x + 29), int16_t(y + 17), int16_t(x + 150), int16_t(y + 101)};
    GUI_SetClipRect(&clip);
    ASSERT_EQ(draw(file, x, y), 0);
    GUI_SetClipRect(nullptr);
    const Compared clipped = compare(ref, x, y, clip);
    EXPECT_LE(clipped.max_field, 1u);
    EXPECT_EQ(clipped.pixels, 122L * 85L);
    EXPECT_EQ(clipped.outside_changed, 0);
}

TEST_F(JpegDecoder, ImagesPartlyOffTheScreenAndInXorMode) {
    const std::vector<uint8_t>& file = cjpeg(203, 157, "-quality 75");
    const Picture ref = libjpeg_decode(file);
    for (const auto& [x, y] : {std::pair{-77, -45}, std::pair{700, 400}, std::pair{-300, 10}}) {
        screen_.fill(kPaper);
        ASSERT_EQ(draw(file, x, y), 0);
        const Compared c = compare(ref, x, y);
        EXPECT_LE(c.max_field, 1u) << x << "," << y;
        EXPECT_EQ(c.outside_changed, 0) << x << "," << y;
    }
    screen_.noise();
    const std::vector<uint16_t> before = screen_.snap();
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    ASSERT_EQ(draw(file, 10, 10), 0);
    EXPECT_NE(screen_.first_difference(before), -1);
    ASSERT_EQ(draw(file, 10, 10), 0);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(screen_.first_difference(before), -1);
}

// Offset of the first marker segment of this kind (the byte after FF xx).
size_t segment(const std::vector<uint8_t>& f, uint8_t marker) {
    for (size_t i = 2; i + 1 < f.size(); ++i) {
        if (f[i] == 0xFF && f[i + 1] == marker) return i + 2;
    }
    ADD_FAILURE() << "no marker " << std::hex << int(marker);
    return 0;
}

TEST_F(JpegDecoder, RefusesWhatItCannotDrawBeforeDrawingAnything) {
    const std::vector<uint8_t> good = cjpeg(203, 157, "-quality 75");
    const size_t sof = segment(good, 0xC0);
    const size_t dht = segment(good, 0xC4);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        const char* warning;
    };
    std::vector<Case> cases;
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        std::vector<uint8_t> f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
        return f;
    };
    cases.push_back({"not a JPEG", {'B', 'M', 0, 0, 0, 0}, "JPEG: not a JPEG file"});
    cases.push_back({"empty", {}, "JPEG: not a JPEG file"});
    cases.push_back({"cut in the header", std::vector<uint8_t>(good.begin(), good.begin() + 300),
                     "JPEG: data ends early"});
    cases.push_back(
        {"arithmetic coding", patched(sof - 1, {0xC9}), "JPEG: arithmetic coding not supported"});
    cases.push_back(
        {"lossless", patched(sof - 1, {0xC3}), "JPEG: lossless or hierarchical not supported"});
    cases.push_back(
        {"12-bit samples", patched(sof + 2, {12}), "JPEG: only 8-bit samples supported"});
    cases.push_back(
        {"4 components", patched(sof + 7, {4}), "JPEG: only grey and YCbCr images supported"});
    // Luma sampled 3x1 against chroma 1x1.
    cases.push_back({"sampling 3x1", patched(sof + 9, {0x31}), "JPEG: sampling not supported"});
    cases.push_back({"chroma sampled finer than luma", patched(sof + 12, {0x22}),
                     "JPEG: sampling not supported"});
    cases.push_back({"zero height", patched(sof + 3, {0, 0}), "JPEG: image size missing"});
    // A DHT segment's 16 counts: more than 256 codes, then three codes of 1 bit.
    cases.push_back({"Huffman counts over 256",
                     patched(dht + 3, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 200}),
                     "JPEG: Huffman table overflows"});
    cases.push_back({"Huffman codes overflowing their lengths", patched(dht + 3, {3}),
                     "JPEG: Huffman table overflows"});
    cases.push_back({"frame length", patched(sof, {0, 20}), "JPEG: bad frame header"});
    for (const Case& c : cases) {
        screen_.fill(kPaper);
        EXPECT_EQ(draw(c.file, 5, 5), 1) << c.what;
        EXPECT_EQ(host_output(), std::string(":GUI_WARN:") + c.warning + "\r") << c.what;
        EXPECT_EQ(screen_.count(kPaper), screen_.W * screen_.H) << c.what;
    }
}

// A file cut inside the entropy-coded data: what was decoded before the cut stays on the
// screen, equal to the reference, and nothing is drawn for the rest.
TEST_F(JpegDecoder, TruncatedScansKeepWhatWasDrawn) {
    for (const char* options : {"-quality 75", "-quality 75 -restart 2"}) {
        const std::vector<uint8_t>& file = cjpeg(203, 157, options);
        const Picture ref = libjpeg_decode(file);
        const std::vector<uint8_t> cut(file.begin(), file.begin() + long(file.size() * 6 / 10));
        screen_.fill(kPaper);
        EXPECT_EQ(draw(cut, 0, 0), 1) << options;
        EXPECT_EQ(host_output(), ":GUI_WARN:JPEG: data ends early\r") << options;
        // Whole rows from the top are there (the MCU row at the cut may be partly drawn);
        // the bottom ones are not.
        int rows = 0;
        while (rows < ref.h && screen_.px(ref.w - 1, rows) != kPaper) ++rows;
        EXPECT_GE(rows, 64) << options;
        EXPECT_EQ(screen_.px(0, ref.h - 1), kPaper) << options;
        Picture top = ref;
        top.h = rows;
        const Compared c = compare(top, 0, 0);
        EXPECT_LE(c.max_field, 1u) << options;
        EXPECT_LT(c.outside_changed, 16 * ref.w) << options;
    }
    // A progressive file cut after some scans is drawn from what it holds.
    const std::vector<uint8_t>& file = cjpeg(203, 157, "-progressive");
    for (size_t keep : {file.size() / 3, file.size() - 3}) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + long(keep));
        screen_.fill(kPaper);
        EXPECT_EQ(draw(cut, 0, 0), 1);
        EXPECT_EQ(host_output(), ":GUI_WARN:JPEG: data ends early\r");
        EXPECT_NE(screen_.px(100, 100), kPaper);
    }
}

// Coefficients of the whole image as 16-bit values: 203x157 in 4:2:0 is 13 x 10 MCUs of 6
// blocks of 64, 99,840 bytes.
TEST_F(JpegDecoder, ProgressiveImagesNeedTheWorkAreaForAllCoefficients) {
    const std::vector<uint8_t>& file = cjpeg(203, 157, "-progressive");
    const uint32_t need = 13 * 10 * 6 * 64 * 2;
    GUI_JPEG_SetWorkArea(nullptr, 0);
    EXPECT_EQ(draw(file, 0, 0), 1);
    EXPECT_EQ(host_output(), ":GUI_WARN:JPEG: progressive image too large\r");
    GUI_JPEG_SetWorkArea(area_.data(), need - 2);
    EXPECT_EQ(draw(file, 0, 0), 1);
    EXPECT_EQ(host_output(), ":GUI_WARN:JPEG: progressive image too large\r");
    EXPECT_EQ(screen_.count(kPaper), screen_.W * screen_.H);
    // Past the area: a guard that must survive.
    area_.assign(area_.size(), 0x3C3C);
    GUI_JPEG_SetWorkArea(area_.data(), need);
    EXPECT_EQ(draw(file, 0, 0), 0);
    EXPECT_EQ(area_[need / 2], 0x3C3C);
    EXPECT_LE(compare(libjpeg_decode(file), 0, 0).max_field, 1u);
    // Baseline images need none.
    GUI_JPEG_SetWorkArea(nullptr, 0);
    EXPECT_EQ(draw(cjpeg(203, 157, "-quality 75"), 0, 0), 0);
}

}  // namespace
