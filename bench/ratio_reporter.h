// The console output of Google Benchmark, plus each benchmark's time kept so that main() can
// print ratios of ours against a reference measured in the same run. With repetitions, the
// median is used: the machine is shared, and one slow run must not decide a ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace voxa_bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration) {
                times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
            } else if (r.aggregate_name == "median") {
                const std::string& args = r.run_name.args;
                times_[r.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void ratio(const char* what, const std::string& ours, const std::string& theirs) const {
        const auto a = times_.find(ours);
        const auto b = times_.find(theirs);
        if (a == times_.end() || b == times_.end() || b->second <= 0) return;
        std::printf("ratio %-40s %6.2f  (%s / %s)\n", what, a->second / b->second, ours.c_str(),
                    theirs.c_str());
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace voxa_bench

#define VOXA_BENCH_MEDIAN(fn) BENCHMARK(fn)->Repetitions(5)->ReportAggregatesOnly(true)
