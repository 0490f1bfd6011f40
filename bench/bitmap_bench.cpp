// Stored bitmaps drawn full screen against the physical limit: memcpy of the same pixel bytes
// into the frame buffer. Plain bitmaps are stored in the frame buffer's own format, so their
// draw should cost little more than the copy; transparent ones compare every pixel with the
// key, and run-length ones decode a stream, so they are shown beside it for scale.
//
// Loading a full-size file (1,000 records, 28 MB) from the card into the RAM area: the copy
// alone against the copy plus the validation and relocation that make it current. Validation
// looks at descriptors and tables, never at pixels, so it should add next to nothing; checking
// the same file in place in the flash window is shown beside it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "gui/gui.h"
#include "imgpack.h"
#include "media/bitmaps.h"
#include "media/ext_check.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"
#include "ratio_reporter.h"

namespace {

constexpr uint32_t W = 800;
constexpr uint32_t H = 480;

// A screen-like picture: flat panels with a frame and a gradient band, so that the run-length
// record is realistic (long runs, some literals) and a quarter of the transparent one is key.
imgpack::Bitmap screen_picture(bool transparent) {
    imgpack::Bitmap b;
    b.width = W;
    b.height = H;
    b.pixels.resize(size_t(W) * H);
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W; ++x) {
            uint16_t p = (x / 200 + y / 120) % 2 ? 0x39E7 : 0xC618;
            if (y >= 200 && y < 280) p = uint16_t(((x * 31 / W) << 11) | ((y - 200) & 0x3F) << 5);
            if (x % 200 < 2 || y % 120 < 2) p = 0x0000;
            b.pixels[size_t(y) * W + x] = p;
        }
    }
    if (transparent) {
        b.transparent = true;
        b.key = 0xF81F;
        for (uint32_t y = 0; y < H; y += 2)
            for (uint32_t x = 0; x < W; x += 2) b.pixels[size_t(y) * W + x] = b.key;
    }
    return b;
}

struct Images {
    std::vector<uint8_t> file;
    std::vector<uint16_t> copy_source;  // the plain bitmap's pixels, for the reference copy
};

Images& images() {
    static Images img = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        imgpack::ImageFile f;
        f.records.resize(4);  // 0 blank, 1 plain, 2 run-length, 3 transparent
        f.records[1].kind = f.records[2].kind = f.records[3].kind = imgpack::Record::Kind::kBitmap;
        f.records[1].bitmap = f.records[2].bitmap = screen_picture(false);
        f.records[2].encoding = imgpack::Encoding::kRle;
        f.records[3].bitmap = screen_picture(true);
        Images out;
        out.file = imgpack::build(f);
        out.copy_source = f.records[1].bitmap.pixels;
        return out;
    }();
    KV_ExtMem_SetImage(img.file.data(), uint32_t(img.file.size()), kFlash2Address);
    return img;
}

void draw(benchmark::State& state, int index) {
    images();
    BitmapHandle h;
    if (!KV_GetExtBitmap(index, &h)) {
        state.SkipWithError("bitmap record refused");
        return;
    }
    for (auto _ : state) {
        KV_DrawBitmap(&h, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}

void BM_Plain_Draw(benchmark::State& state) {
    draw(state, 1);
}
void BM_RunLength_Draw(benchmark::State& state) {
    draw(state, 2);
}
void BM_Transparent_Draw(benchmark::State& state) {
    draw(state, 3);
}

void BM_Memcpy(benchmark::State& state) {
    const std::vector<uint16_t>& src = images().copy_source;
    uint16_t* fb = lcd_framebuffer();
    for (auto _ : state) {
        std::memcpy(fb, src.data(), size_t(W) * H * 2);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}

VOXA_BENCH_MEDIAN(BM_Memcpy);
VOXA_BENCH_MEDIAN(BM_Plain_Draw);
VOXA_BENCH_MEDIAN(BM_Transparent_Draw);
VOXA_BENCH_MEDIAN(BM_RunLength_Draw);

// 999 bitmaps of 140 x 100 (every tenth transparent) behind a macro record: 28 MB.
const std::vector<uint8_t>& full_file() {
    static const std::vector<uint8_t> file = [] {
        // The RAM area's pages are made present first, as the module's SDRAM always is.
        std::memset(ExtMemRamBuffer, 0xFF, kExtMemSize);
        imgpack::ImageFile f;
        f.records.resize(1000);
        f.records[0].kind = imgpack::Record::Kind::kMacros;
        f.records[0].macros.macros.push_back({"start", {"z", "xi 1 0 0"}, 0});
        for (size_t i = 1; i < f.records.size(); ++i) {
            imgpack::Record& r = f.records[i];
            r.kind = imgpack::Record::Kind::kBitmap;
            r.bitmap.width = 140;
            r.bitmap.height = 100;
            r.bitmap.pixels.assign(140 * 100, uint16_t(i * 97));
            if (i % 10 == 0) {
                r.bitmap.transparent = true;
                r.bitmap.key = 0xF81F;
            }
        }
        std::string error;
        std::vector<uint8_t> out = imgpack::build(f, nullptr, &error);
        if (out.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        return out;
    }();
    return file;
}

void BM_Load_Copy(benchmark::State& state) {
    images();
    const std::vector<uint8_t>& file = full_file();
    for (auto _ : state) {
        std::memcpy(ExtMemRamBuffer, file.data(), file.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_Load_CopyValidateRelocate(benchmark::State& state) {
    images();
    const std::vector<uint8_t>& file = full_file();
    for (auto _ : state) {
        std::memcpy(ExtMemRamBuffer, file.data(), file.size());
        if (!KV_Fixup_ExtMem(kExtMemRamAddress, kExtMemSize)) {
            state.SkipWithError("the file was refused");
            break;
        }
        KV_ExtMem_UseRam();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
    KV_ExtMem_Init();
}

void BM_Load_CheckInPlace(benchmark::State& state) {
    const std::vector<uint8_t>& file = full_file();
    for (auto _ : state) {
        const int refused =
            ExtMem_CheckImage(file.data(), uint32_t(file.size()), kFlash2Address, nullptr, nullptr);
        if (refused != 0) {
            state.SkipWithError("the file was refused");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

VOXA_BENCH_MEDIAN(BM_Load_Copy)->Unit(benchmark::kMicrosecond);
VOXA_BENCH_MEDIAN(BM_Load_CopyValidateRelocate)->Unit(benchmark::kMicrosecond);
VOXA_BENCH_MEDIAN(BM_Load_CheckInPlace)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("plain full screen / memcpy", "BM_Plain_Draw", "BM_Memcpy");
    reporter.ratio("transparent full screen / memcpy", "BM_Transparent_Draw", "BM_Memcpy");
    reporter.ratio("run-length full screen / memcpy", "BM_RunLength_Draw", "BM_Memcpy");
    reporter.ratio("28 MB load: copy + validation / copy", "BM_Load_CopyValidateRelocate",
                   "BM_Load_Copy");
    reporter.ratio("28 MB: validation in place / copy", "BM_Load_CheckInPlace", "BM_Load_Copy");
    benchmark::Shutdown();
    return 0;
}
