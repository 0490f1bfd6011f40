// The check value of the memory checks and checked lines (CalcCRC, CRC-16/MODBUS) over 1 MB
// against Boost.CRC's optimal form with the same parameters, in the same run. Both must give the
// same value, or the program fails before measuring anything.
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <cstdio>
#include <vector>

#include "device/crc.h"
#include "ratio_reporter.h"

namespace {

using ModbusCrc = boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true>;

constexpr size_t kBytes = 1 << 20;

const std::vector<uint8_t>& data() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b(kBytes);
        uint32_t seed = 2026;
        for (uint8_t& x : b) {
            seed = seed * 1664525u + 1013904223u;
            x = uint8_t(seed >> 24);
        }
        return b;
    }();
    return bytes;
}

uint16_t boost_crc(const std::vector<uint8_t>& bytes) {
    ModbusCrc crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return uint16_t(crc.checksum());
}

void BM_CalcCRC_1MB(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = data();
    for (auto _ : state) benchmark::DoNotOptimize(CalcCRC(bytes.data(), bytes.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_BoostCrc_1MB(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = data();
    for (auto _ : state) benchmark::DoNotOptimize(boost_crc(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

VOXA_BENCH_MEDIAN(BM_CalcCRC_1MB);
VOXA_BENCH_MEDIAN(BM_BoostCrc_1MB);

}  // namespace

int main(int argc, char** argv) {
    const uint16_t ours = CalcCRC(data().data(), data().size());
    const uint16_t theirs = boost_crc(data());
    std::printf("check value over 1 MB: CalcCRC 0x%04X, Boost.CRC 0x%04X\n", ours, theirs);
    if (ours != theirs) {
        std::fprintf(stderr, "crc_bench: the two check values differ\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("CalcCRC / Boost.CRC, 1 MB", "BM_CalcCRC_1MB", "BM_BoostCrc_1MB");
    benchmark::Shutdown();
    return 0;
}
