// A type-0 chart with eight pens plotting at its right edge, so that every set scrolls the
// chart, against memmove of the same area row by row in the same run: the scroll is the
// chart's bulk work, and the eight short line segments and the bookkeeping around them should
// add little to it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "boards/sim/standalone.h"
#include "controls/charts.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "gui/gui.h"
#include "ratio_reporter.h"

namespace {

// x 100-499, y 100-299, step 2: each set moves 399 columns of 200 rows.
constexpr int kX0 = 100, kY0 = 100, kX1 = 499, kY1 = 299, kStep = 2;

void set_up() {
    static const bool once = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        return true;
    }();
    (void)once;
    KV_Chart_Init();
    KV_Chart_Setup(0, kChartScrolling, kStep, kX0, kY0, kX1, kY1, 0, 1000, 0x000000);
    for (int pen = 0; pen < kChartPens; ++pen)
        KV_Chart_Set_Pen(0, pen, GUI_COLOR(0x1F << (pen * 3)), 1);
    KV_Chart_FinishSetup(0, 1);
    // Up to the right edge, so that every set timed scrolls.
    const int32_t flat[kChartPens] = {100, 200, 300, 400, 500, 600, 700, 800};
    for (int i = 0; i <= (kX1 - kX0) / kStep; ++i) KV_Chart_Show(0, kChartPens, flat);
}

void BM_Chart_ScrollingShow(benchmark::State& state) {
    set_up();
    // Eight sine waves of different periods, a few pixels apart from one set to the next, as
    // measured signals usually are; worked out before the timing.
    constexpr int kSets = 256;
    static int32_t values[kSets][kChartPens];
    for (int t = 0; t < kSets; ++t)
        for (int pen = 0; pen < kChartPens; ++pen)
            values[t][pen] = int32_t(500 + 400 * std::sin(0.05 * t * (pen + 1)));
    int t = 0;
    for (auto _ : state) {
        KV_Chart_Show(0, kChartPens, values[t++ % kSets]);
        benchmark::ClobberMemory();
    }
}

void BM_Chart_MemmoveArea(benchmark::State& state) {
    set_up();
    uint16_t* fb = lcd_framebuffer();
    // The scroll moves x0 .. x0 + cursor, the cursor standing at the last multiple of the step
    // before the right edge: 399 columns here.
    const int w = (kX1 - kX0) / kStep * kStep + 1;
    for (auto _ : state) {
        for (int y = kY0; y <= kY1; ++y) {
            uint16_t* row = fb + y * panel::kWidth + kX0;
            std::memmove(row, row + kStep, size_t(w - kStep) * 2);
        }
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_Chart_MemmoveArea);
VOXA_BENCH_MEDIAN(BM_Chart_ScrollingShow);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("eight-pen scrolling plot / memmove", "BM_Chart_ScrollingShow",
                   "BM_Chart_MemmoveArea");
    benchmark::Shutdown();
    return 0;
}
