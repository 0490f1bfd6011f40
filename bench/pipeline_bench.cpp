// The whole line pipeline, per line: the bytes through the host receive interrupt, one pass of
// the main loop up to the reply in the transmitter (bench/line_pipeline.h). The drawing of the
// line and text commands is in the figures; scripts/callgrind-line-pipeline.sh counts the
// instructions without it.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "line_pipeline.h"

namespace {

using line_pipeline::Line;

std::string visible(const std::string& s) {
    std::string out;
    for (const char c : s) out += c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

void BM_LinePipeline(benchmark::State& state, const Line& line) {
    line_pipeline::start_firmware();
    // Every line must come back answered with a prompt, or the figure measures something else.
    const std::string reply = line_pipeline::reply_to(line);
    if (reply.size() < 2 || reply.back() != '\r' ||
        std::strchr(">!#^", reply[reply.size() - 2]) == nullptr) {
        state.SkipWithError(("no prompt after the line: '" + visible(reply) + "'").c_str());
        return;
    }
    state.SetLabel(visible(reply));
    const size_t n = std::strlen(line.text);
    for (auto _ : state) line_pipeline::run_line(line.text, n);
    // Each pass must have taken its line: nothing may be left waiting in the intake.
    if (serial::rxGotLine != 0 || serial::rx.count != 0) {
        state.SkipWithError("lines were left in the receive ring");
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

BENCHMARK_CAPTURE(BM_LinePipeline, vers, line_pipeline::kLines[0]);
BENCHMARK_CAPTURE(BM_LinePipeline, colors, line_pipeline::kLines[1]);
BENCHMARK_CAPTURE(BM_LinePipeline, line, line_pipeline::kLines[2]);
BENCHMARK_CAPTURE(BM_LinePipeline, text, line_pipeline::kLines[3]);
BENCHMARK_CAPTURE(BM_LinePipeline, backquotes, line_pipeline::kLines[4]);

}  // namespace

BENCHMARK_MAIN();
