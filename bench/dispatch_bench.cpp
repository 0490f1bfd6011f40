// Command dispatch: parse_command against a plain walk of the whole chain, for lines whose row
// stands early, in the middle, last, and for a line no row takes. The lines chosen are refused
// by their rows at once, without a reply or a board access, so the figures are the cost of
// finding the row.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "command/chain.h"
#include "command/parse_command.h"

namespace {

struct Case {
    const char* line;
    int row;  // 1-based row of the command index, 0 for none
};

const Case kEarly = {"mv 9 0", 2};         // no meter 9
const Case kMiddle = {"led blink", 91};    // no such LED state
const Case kLast = {"// a comment", 141};  // near the end, taken without a reply
// Starts like seven '*t' commands and is none of them.
const Case kUnknown = {"*tx 1", 0};

constexpr size_t kLineSize = 130;

// The reference: every row tried in order until one takes the line.
int linear_walk(char* line, int* tried) {
    for (size_t i = 0; i < kChainLength; ++i) {
        const int r = kChain[i].fn(line);
        if (r != kNoMatch) {
            *tried = int(i) + 1;
            return r;
        }
    }
    *tried = int(kChainLength);
    return kCmdFailed;
}

bool check_row(benchmark::State& state, const Case& c) {
    char line[kLineSize];
    std::snprintf(line, sizeof line, "%s", c.line);
    parse_command(line);
    if (parse_command_last_row() + 1 != c.row) {
        state.SkipWithError("the line is not taken by the row it stands for");
        return false;
    }
    return true;
}

void BM_Dispatch(benchmark::State& state, const Case& c) {
    if (!check_row(state, c)) return;
    char line[kLineSize];
    const size_t n = std::strlen(c.line) + 1;
    for (auto _ : state) {
        std::memcpy(line, c.line, n);
        benchmark::DoNotOptimize(parse_command(line));
    }
    std::memcpy(line, c.line, n);
    state.counters["rows_tried"] = double(candidate_rows(line).count);
}

void BM_LinearWalk(benchmark::State& state, const Case& c) {
    if (!check_row(state, c)) return;
    char line[kLineSize];
    const size_t n = std::strlen(c.line) + 1;
    int tried = 0;
    for (auto _ : state) {
        std::memcpy(line, c.line, n);
        benchmark::DoNotOptimize(linear_walk(line, &tried));
    }
    state.counters["rows_tried"] = double(tried);
}

BENCHMARK_CAPTURE(BM_Dispatch, early_row, kEarly);
BENCHMARK_CAPTURE(BM_LinearWalk, early_row, kEarly);
BENCHMARK_CAPTURE(BM_Dispatch, middle_row, kMiddle);
BENCHMARK_CAPTURE(BM_LinearWalk, middle_row, kMiddle);
BENCHMARK_CAPTURE(BM_Dispatch, last_row, kLast);
BENCHMARK_CAPTURE(BM_LinearWalk, last_row, kLast);
BENCHMARK_CAPTURE(BM_Dispatch, unknown_line, kUnknown);
BENCHMARK_CAPTURE(BM_LinearWalk, unknown_line, kUnknown);

}  // namespace

BENCHMARK_MAIN();
