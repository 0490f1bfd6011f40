// Variable expansion and arithmetic (both filters, as the main loop runs them) against the
// plain C library doing the same work in the same run: snprintf building the same text from the
// same values, and strlen + memcpy for a line without backquotes. Lines of growing length show
// that the cost grows linearly. The ratios (of CPU times) are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "macro/variables.h"
#include "ratio_reporter.h"

namespace {

constexpr size_t kLineSize = 130;

// Three items (one with a field format) and one expression.
const char kTypical[] = "t \"`s1`\" `i1` `%5 i2` `(100+20)`";
const char kPlain[] = "l 10 20 300 400 // no items: drawn as it stands";
const char kPlainNoComment[] = "l 10 20 300 400 xor the line without any items at all";

void set_variables() {
    KV_Macros_Init();
    setMacroString2("Temperature", 1);
    setMacro_iMem(1, -1234);
    setMacro_iMem(2, 42);
}

void both_filters(const char* line, char* exp, char* loc) {
    expandVariables(exp, kLineSize, line, nullptr);
    processMath(loc, kLineSize, exp);
}

void BM_Typical_Filters(benchmark::State& state) {
    set_variables();
    char exp[kLineSize], loc[kLineSize];
    both_filters(kTypical, exp, loc);
    if (std::strcmp(loc, "t \"Temperature\" -1234    42 120") != 0) {
        state.SkipWithError(loc);
        return;
    }
    for (auto _ : state) {
        both_filters(kTypical, exp, loc);
        benchmark::DoNotOptimize(loc);
    }
}

void BM_Typical_Snprintf(benchmark::State& state) {
    set_variables();
    char loc[kLineSize];
    for (auto _ : state) {
        // The same values, read where the filters read them.
        const char* s1 = getMacroString2(1);
        const long i1 = getMacro_iMem(1);
        const long i2 = getMacro_iMem(2);
        volatile long a = 100, b = 20;
        std::snprintf(loc, sizeof loc, "t \"%s\" %ld %5ld %ld", s1, i1, i2, a + b);
        benchmark::DoNotOptimize(loc);
    }
}

void BM_Plain_Filters(benchmark::State& state) {
    const std::string line = kPlainNoComment;
    char exp[kLineSize], loc[kLineSize];
    for (auto _ : state) {
        both_filters(line.c_str(), exp, loc);
        benchmark::DoNotOptimize(loc);
    }
}

void bounded_copy(char* dst, const char* src) {
    size_t n = std::strlen(src);
    if (n > kLineSize - 1) n = kLineSize - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void BM_Plain_Copy(benchmark::State& state) {
    // From memory, as the filters read it: the compiler may not fold the length of a literal.
    const std::string line = kPlainNoComment;
    char loc[kLineSize];
    for (auto _ : state) {
        bounded_copy(loc, line.c_str());
        benchmark::DoNotOptimize(loc);
    }
}

void BM_Comment_Filters(benchmark::State& state) {
    char exp[kLineSize], loc[kLineSize];
    for (auto _ : state) {
        both_filters(kPlain, exp, loc);
        benchmark::DoNotOptimize(loc);
    }
}

// Plain lines of range(0) characters, and lines of as many characters made of items.
std::string plain_line(size_t n) {
    std::string s;
    while (s.size() < n) s += "c 100 200 50 ";
    s.resize(n);
    return s;
}

std::string item_line(size_t n) {
    std::string s;
    while (s.size() + 5 <= n) s += "`i1` ";
    s.resize(n, ' ');
    return s;
}

void BM_Length_Plain_Filters(benchmark::State& state) {
    const std::string line = plain_line(size_t(state.range(0)));
    char exp[kLineSize], loc[kLineSize];
    for (auto _ : state) {
        both_filters(line.c_str(), exp, loc);
        benchmark::DoNotOptimize(loc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Length_Plain_Copy(benchmark::State& state) {
    const std::string line = plain_line(size_t(state.range(0)));
    char loc[kLineSize];
    for (auto _ : state) {
        bounded_copy(loc, line.c_str());
        benchmark::DoNotOptimize(loc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Length_Items_Filters(benchmark::State& state) {
    set_variables();
    const std::string line = item_line(size_t(state.range(0)));
    char exp[kLineSize], loc[kLineSize];
    for (auto _ : state) {
        both_filters(line.c_str(), exp, loc);
        benchmark::DoNotOptimize(loc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// The machine is shared: each figure is the median of five runs, and the ratios use the medians.
VOXA_BENCH_MEDIAN(BM_Typical_Filters);
VOXA_BENCH_MEDIAN(BM_Typical_Snprintf);
VOXA_BENCH_MEDIAN(BM_Plain_Filters);
VOXA_BENCH_MEDIAN(BM_Plain_Copy);
VOXA_BENCH_MEDIAN(BM_Comment_Filters);
VOXA_BENCH_MEDIAN(BM_Length_Plain_Filters)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
VOXA_BENCH_MEDIAN(BM_Length_Plain_Copy)->Arg(16)->Arg(32)->Arg(64)->Arg(128);
VOXA_BENCH_MEDIAN(BM_Length_Items_Filters)->Arg(16)->Arg(32)->Arg(64)->Arg(128);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("typical line / snprintf", "BM_Typical_Filters", "BM_Typical_Snprintf");
    reporter.ratio("plain line / strlen+memcpy", "BM_Plain_Filters", "BM_Plain_Copy");
    for (const char* n : {"16", "32", "64", "128"}) {
        reporter.ratio((std::string("plain line of ") + n + " / copy").c_str(),
                       std::string("BM_Length_Plain_Filters/") + n,
                       std::string("BM_Length_Plain_Copy/") + n);
    }
    reporter.ratio("items 128 / items 64 characters", "BM_Length_Items_Filters/128",
                   "BM_Length_Items_Filters/64");
    reporter.ratio("items 64 / items 32 characters", "BM_Length_Items_Filters/64",
                   "BM_Length_Items_Filters/32");
    benchmark::Shutdown();
    return 0;
}
