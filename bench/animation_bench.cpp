// One scheduler pass with ten animations that all wait for a later step, against the dispatch
// of one short host command in the same run. The main loop calls the scheduler on every pass
// its timer allows, so a pass that runs no line should cost well under a tenth of a command.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "base/interpreter.h"
#include "boards/sim/standalone.h"
#include "controls/animation.h"
#include "core/main_loop.h"
#include "device/timebase.h"
#include "gui/gui.h"
#include "ratio_reporter.h"

namespace {

void set_up() {
    static const bool once = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        return true;
    }();
    (void)once;
    init_animation();
    char line[64];
    for (int n = 0; n < kAnimationSlots; ++n) {
        for (const char* text : {"sc 10 10", "T \"tick\"", "y 30000"}) {
            std::snprintf(line, sizeof line, "ani %d %s", n, text);
            DoAnimationAdd(line);
        }
        dta[n].state = 1;
    }
}

void BM_Scheduler_TenWaiting(benchmark::State& state) {
    set_up();
    for (auto _ : state) {
        // Far from due, so the pass only charges the waiting time and programs the next one.
        for (int n = 0; n < kAnimationSlots; ++n) dta[n].state = 30000 + n;
        animateTimer = 0;
        benchmark::DoNotOptimize(handle_animation());
        benchmark::ClobberMemory();
    }
    if (dta[0].current != dta[0].start) state.SkipWithError("an animation line ran");
}

// The state resets of the loop above alone: the share of the figure that is the benchmark's.
void BM_Scheduler_ResetsOnly(benchmark::State& state) {
    set_up();
    for (auto _ : state) {
        for (int n = 0; n < kAnimationSlots; ++n) dta[n].state = 30000 + n;
        animateTimer = 0;
        benchmark::ClobberMemory();
    }
}

// The main loop's call on a pass whose timer is not due, as on nearly every pass.
void BM_Scheduler_NotDue(benchmark::State& state) {
    set_up();
    for (auto _ : state) {
        animateTimer = 5;
        benchmark::DoNotOptimize(handle_animation());
        benchmark::ClobberMemory();
    }
}

void BM_ShortCommand_Dispatch(benchmark::State& state) {
    set_up();
    char line[16];
    for (auto _ : state) {
        std::memcpy(line, "sc 10 10", 9);
        benchmark::DoNotOptimize(parse_command(line));
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_ShortCommand_Dispatch);
VOXA_BENCH_MEDIAN(BM_Scheduler_TenWaiting);
VOXA_BENCH_MEDIAN(BM_Scheduler_ResetsOnly);
VOXA_BENCH_MEDIAN(BM_Scheduler_NotDue);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("scheduler pass, ten waiting / command", "BM_Scheduler_TenWaiting",
                   "BM_ShortCommand_Dispatch");
    reporter.ratio("benchmark's state resets alone / command", "BM_Scheduler_ResetsOnly",
                   "BM_ShortCommand_Dispatch");
    reporter.ratio("main-loop call, timer not due / command", "BM_Scheduler_NotDue",
                   "BM_ShortCommand_Dispatch");
    benchmark::Shutdown();
    return 0;
}
