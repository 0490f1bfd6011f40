// A needle move ("mv" between two values) against what it must do at least: put the dial back
// in the old needle's box with the clipped blit and fill the needle already turned, the same
// two boxes and polygons done directly. Raster waits are off (no frame time), so the ratio is
// the meter's own bookkeeping: turning the points, the box, the checks.
#include <benchmark/benchmark.h>

#include <vector>

#include "boards/sim/standalone.h"
#include "controls/meters.h"
#include "core/main_loop.h"
#include "device/panel_timing.h"
#include "gui/gui.h"
#include "image_builder.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"
#include "ratio_reporter.h"

namespace {

constexpr int kDial = 300;  // dial size; drawn at (100, 100), pivot in its middle

const std::vector<uint8_t>& dial_file() {
    static const std::vector<uint8_t> file = [] {
        std::vector<uint16_t> pixels;
        for (int y = 0; y < kDial; ++y)
            for (int x = 0; x < kDial; ++x) pixels.push_back(uint16_t(x * 31 + y * 7));
        voxa_test::ImageBuilder b;
        b.add(3, {});
        b.addBitmap(1, kDial, kDial, voxa_test::ImageBuilder::pixels(pixels));
        return b.build(kFlash2Address);
    }();
    return file;
}

// The dial loaded and meter 0 defined on it: a 130-pixel needle, scale 0..100 over 270 degrees.
bool set_up() {
    sim::Standalone::instance();
    KV_GUI_Init();
    const std::vector<uint8_t>& file = dial_file();
    KV_ExtMem_SetImage(file.data(), uint32_t(file.size()), kFlash2Address);
    msPerFrame = 0;  // wvr returns at once
    KV_Meter_Init();
    char line[] = "md 0 1 100 100 0 0 100 0 0 270 150 150 -6 0 0 -6 6 0 0 130";
    return meterDefine(line) == 1;
}

void BM_Meter_Move(benchmark::State& state) {
    if (!set_up()) {
        state.SkipWithError("meter refused");
        return;
    }
    int value = 0;
    for (auto _ : state) {
        value = value == 10 ? 70 : 10;
        meterValue(0, value);
        benchmark::ClobberMemory();
    }
}

// The same two needle positions: each iteration restores the other position's box from the
// dial and fills this one's points.
void BM_Direct_BlitAndFill(benchmark::State& state) {
    if (!set_up()) {
        state.SkipWithError("meter refused");
        return;
    }
    BitmapHandle dial;
    KV_GetExtBitmap(1, &dial);
    struct Needle {
        GUI_POINT points[kMeterMaxPoints];
        GUI_RECT box;
    } needles[2];
    for (int i = 0; i < 2; ++i) {
        meterValue(0, i == 0 ? 10 : 70);
        const Meter& m = meters[0];
        needles[i].box = m.box;
        // The points turned as the meter turns them for its fill.
        GUI_RotatePolygon(needles[i].points, m.needle, m.points,
                          float(-meterTurnDegrees(m, m.value) * (3.1415 / 180)));
    }
    const Meter& m = meters[0];
    int at = 0;
    for (auto _ : state) {
        const Needle& old = needles[at];
        at ^= 1;
        KV_DrawBitmapClipAbs(&dial, m.x, m.y, old.box.x0, old.box.y0, old.box.x1, old.box.y1);
        GUI_FillPolygon(needles[at].points, m.points, m.pivotX, m.pivotY);
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_Meter_Move);
VOXA_BENCH_MEDIAN(BM_Direct_BlitAndFill);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("needle move / blit + fill", "BM_Meter_Move", "BM_Direct_BlitAndFill");
    benchmark::Shutdown();
    return 0;
}
