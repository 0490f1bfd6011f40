// "lv" on a 200-pixel bar of three segments against the fills it comes down to, made directly
// in the same run: the bar's own work (the value's pixel, choosing the segments, saving and
// restoring the colour) should cost next to nothing beside the pixels it paints.
#include <benchmark/benchmark.h>

#include "boards/sim/standalone.h"
#include "controls/level_bars.h"
#include "core/main_loop.h"
#include "gui/gui.h"
#include "ratio_reporter.h"

namespace {

// The example bar: x 10-29, y 10-209, 0..100 with green to 40, yellow to 70, red to 100.
constexpr int kBar = 0;

void set_up() {
    static const bool once = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        return true;
    }();
    (void)once;
    KV_LevelBar_Init();
    KV_LevelBar_Setup(kBar, 1, 0, 0, 10, 10, 29, 209, 0, 0x000000);
    KV_LevelBar_Add_Color(kBar, 0x0000FF, 100);
    KV_LevelBar_Add_Color(kBar, 0x00FFFF, 70);
    KV_LevelBar_Add_Color(kBar, 0x00FF00, 40);
}

// Values across the scale, so every count of segments is painted.
constexpr int kValues[] = {10, 50, 85, 100, 0, 65};

void BM_LevelBar_Show(benchmark::State& state) {
    set_up();
    size_t i = 0;
    for (auto _ : state) {
        KV_LevelBar_Show(kBar, kValues[i++ % 6]);
        benchmark::ClobberMemory();
    }
}

// The same rectangles for the same values, worked out beforehand.
void BM_LevelBar_DirectFills(benchmark::State& state) {
    set_up();
    struct Fill {
        int y0, y1;
        GUI_COLOR colour;
    };
    // Offsets from the bottom (y 209): green to 80, yellow to 139, red to 199.
    const auto bar = [](int from, int to, GUI_COLOR c) { return Fill{209 - to, 209 - from, c}; };
    const Fill fills[6][4] = {
        {bar(0, 20, 0x00FF00), bar(21, 199, 0x000000)},
        {bar(0, 80, 0x00FF00), bar(81, 100, 0x00FFFF), bar(101, 199, 0x000000)},
        {bar(0, 80, 0x00FF00), bar(81, 139, 0x00FFFF), bar(140, 169, 0x0000FF),
         bar(170, 199, 0x000000)},
        {bar(0, 80, 0x00FF00), bar(81, 139, 0x00FFFF), bar(140, 199, 0x0000FF)},
        {bar(0, 0, 0x00FF00), bar(1, 199, 0x000000)},
        {bar(0, 80, 0x00FF00), bar(81, 129, 0x00FFFF), bar(130, 199, 0x000000)},
    };
    const int counts[6] = {2, 3, 4, 3, 2, 3};
    size_t i = 0;
    for (auto _ : state) {
        const size_t v = i++ % 6;
        for (int k = 0; k < counts[v]; ++k) {
            GUI_SetColor(fills[v][k].colour);
            GUI_FillRect(10, fills[v][k].y0, 29, fills[v][k].y1);
        }
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_LevelBar_DirectFills);
VOXA_BENCH_MEDIAN(BM_LevelBar_Show);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("lv on a 200-pixel bar / its fills", "BM_LevelBar_Show",
                   "BM_LevelBar_DirectFills");
    benchmark::Shutdown();
    return 0;
}
