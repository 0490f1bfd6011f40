// Touch dispatch against command dispatch, in the same run: handle_touch runs on every pass of
// the main loop, so with the screen untouched it must cost a small fraction of dispatching one
// command line; a search of a full hotspot table (every entry active) should still cost less
// than one dispatch. The entry-by-entry search is measured beside it for comparison.
#include <benchmark/benchmark.h>

#include <cstring>

#include "boards/sim/standalone.h"
#include "command/parse_command.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "settings/settings.h"
#include "touch/hotspots.h"

namespace {

constexpr size_t kLineSize = 130;
// A short built command that sends nothing: the pen size.
constexpr const char* kShortLine = "p 2";

void start() {
    static bool started = false;
    if (started) return;
    started = true;
    sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_COM_Init0();
    KV_COM_Init1();
    KV_TimerInit();
    KV_GUI_Init();
    KV_HotSpot_Init();
}

void BM_DispatchShortLine(benchmark::State& state) {
    start();
    char line[kLineSize];
    const size_t n = std::strlen(kShortLine) + 1;
    for (auto _ : state) {
        std::memcpy(line, kShortLine, n);
        benchmark::DoNotOptimize(parse_command(line));
    }
}

void BM_HandleTouchUntouched(benchmark::State& state) {
    start();
    KV_HotSpot_Init();
    for (auto _ : state) {
        handle_touch();
        benchmark::ClobberMemory();
    }
}

// Every entry active: 256 rectangles of 20 x 15 pixels, 32 to a row, 25 and 20 pixels apart.
void fill_table() {
    KV_HotSpot_Init();
    for (int i = 0; i < kHotSpotCount; ++i) {
        HotSpot& h = TouchHotSpots[size_t(i)];
        h.type = i < kFirstPlainHotSpot ? kSpotMomentaryButton : kSpotPlain;
        h.x0 = (i % 32) * 25;
        h.y0 = (i / 32) * 20;
        h.x1 = h.x0 + 20;
        h.y1 = h.y0 + 15;
    }
    KV_HotSpot_TableChanged();
}

// A full-table search of one point, which must find expected.
void search_full_table(benchmark::State& state, int x, int y, int expected) {
    start();
    fill_table();
    if (KV_SearchHotSpot(x, y) != expected) state.SkipWithError("the point finds another entry");
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(KV_SearchHotSpot(x, y));
    }
    KV_HotSpot_Init();
}

// A point between the rectangles (in the gap below row 7's first hotspots): found by none.
void BM_SearchFullTableMiss(benchmark::State& state) {
    search_full_table(state, 790, 157, -1);
}

// The last entry, hotspot 255, found.
void BM_SearchFullTableLast(benchmark::State& state) {
    search_full_table(state, 31 * 25 + 10, 7 * 20 + 10, kLastHotSpot);
}

// The same table searched entry by entry (a point off the panel takes that path).
void BM_SearchFullTableLinear(benchmark::State& state) {
    start();
    fill_table();
    for (HotSpot& h : TouchHotSpots) {
        h.x0 += 2000;
        h.x1 += 2000;
    }
    KV_HotSpot_TableChanged();
    int x = 2000 + 31 * 25 + 10, y = 7 * 20 + 10;
    if (KV_SearchHotSpot(x, y) != kLastHotSpot) state.SkipWithError("the point should find 255");
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(KV_SearchHotSpot(x, y));
    }
    KV_HotSpot_Init();
}

BENCHMARK(BM_DispatchShortLine);
BENCHMARK(BM_HandleTouchUntouched);
BENCHMARK(BM_SearchFullTableMiss);
BENCHMARK(BM_SearchFullTableLast);
BENCHMARK(BM_SearchFullTableLinear);

}  // namespace

BENCHMARK_MAIN();
