// A slider's thumb moved by one pixel, as a drag does it sample by sample, against the two blits
// that step is made of done directly: the background patch where the thumb was and the thumb
// at its new place. The raster wait is off (no frame time), so only the drawing and the slider's
// own bookkeeping are measured.
#include <benchmark/benchmark.h>

#include <vector>

#include "boards/sim/standalone.h"
#include "controls/sliders.h"
#include "core/main_loop.h"
#include "device/panel_timing.h"
#include "imgpack.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"
#include "ratio_reporter.h"

namespace {

constexpr int kSpot = 130;
constexpr int kX = 100, kY = 50;           // the background's corner
constexpr int kOffset = 5;                 // the thumb's distance from its left edge
constexpr int kThumbW = 30, kThumbH = 20;  // a finger-sized thumb
constexpr int kFrom = 150;                 // thumb centre rows stepped between
constexpr int kHalf = (kThumbH - 1) / 2;

imgpack::Bitmap picture(uint32_t w, uint32_t h, uint16_t base) {
    imgpack::Bitmap b;
    b.width = w;
    b.height = h;
    for (uint32_t i = 0; i < w * h; ++i) b.pixels.push_back(uint16_t(base + i % 97));
    return b;
}

// Bitmap 1 the background (40 x 221), 2 the thumb; the slider defined on them.
int setup() {
    static const std::vector<uint8_t> file = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        imgpack::ImageFile f;
        f.records.resize(3);
        f.records[1].kind = f.records[2].kind = imgpack::Record::Kind::kBitmap;
        f.records[1].bitmap = picture(40, 221, 0x1000);
        f.records[2].bitmap = picture(kThumbW, kThumbH, 0xF000);
        return imgpack::build(f);
    }();
    KV_ExtMem_SetImage(file.data(), uint32_t(file.size()), kFlash2Address);
    msPerFrame = 0;  // raster waits off
    KV_Slider_Init();
    KV_Slider_Setup(kSpot, 0, 0, kX, kY, kOffset, 0, 1000, 0, 1, 2);
    return KV_Slider_Find(kSpot);
}

void BM_Slider_OnePixelStep(benchmark::State& state) {
    const int i = setup();
    if (i < 0) {
        state.SkipWithError("slider refused");
        return;
    }
    int row = kFrom;
    for (auto _ : state) {
        row = row == kFrom ? kFrom + 1 : kFrom;
        benchmark::DoNotOptimize(KV_Slider_Touched(i, kX + 20, row));
        benchmark::ClobberMemory();
    }
}

void BM_PatchAndThumbBlits(benchmark::State& state) {
    setup();
    BitmapHandle bg, thumb;
    if (!KV_GetExtBitmap(1, &bg) || !KV_GetExtBitmap(2, &thumb)) {
        state.SkipWithError("bitmaps refused");
        return;
    }
    const int tx = kX + kOffset;
    int row = kFrom;
    for (auto _ : state) {
        const int old = row;
        row = row == kFrom ? kFrom + 1 : kFrom;
        KV_DrawBitmapClipAbs(&bg, kX, kY, tx, old - kHalf, tx + kThumbW - 1,
                             old - kHalf + kThumbH - 1);
        KV_DrawBitmap(&thumb, tx, row - kHalf);
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_PatchAndThumbBlits);
VOXA_BENCH_MEDIAN(BM_Slider_OnePixelStep);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("slider one-pixel step / its two blits", "BM_Slider_OnePixelStep",
                   "BM_PatchAndThumbBlits");
    benchmark::Shutdown();
    return 0;
}
