// An 800x480 photo-like JPEG (quality 85, 4:2:0), baseline and progressive, decoded to RGB565:
// ours into the frame buffer against libjpeg-turbo's plain C path (SIMD off, the fair peer of a
// processor without NEON; integer IDCT, chroma replicated like ours) and stb_image, all in the
// same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "jpeg_decoders.h"
#include "ratio_reporter.h"

namespace {

struct Files {
    std::vector<uint8_t> baseline, progressive;
};

const Files& files() {
    static const Files f = [] {
        const std::vector<uint8_t> rgb = jpeg_bench::photo();
        return Files{jpeg_bench::compress(rgb, false), jpeg_bench::compress(rgb, true)};
    }();
    return f;
}

std::vector<uint16_t> out(size_t(jpeg_bench::kW) * jpeg_bench::kH);

void BM_JpegOurs(benchmark::State& state) {
    const std::vector<uint8_t>& file = state.range(0) ? files().progressive : files().baseline;
    for (auto _ : state) {
        if (jpeg_bench::ours(file) != 0) state.SkipWithError("decoder refused the file");
    }
}
void BM_JpegLibjpegTurboPlainC(benchmark::State& state) {
    const std::vector<uint8_t>& file = state.range(0) ? files().progressive : files().baseline;
    for (auto _ : state) {
        jpeg_bench::libjpeg(file, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
void BM_JpegStbImage(benchmark::State& state) {
    const std::vector<uint8_t>& file = state.range(0) ? files().progressive : files().baseline;
    for (auto _ : state) {
        jpeg_bench::stb(file, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

VOXA_BENCH_MEDIAN(BM_JpegOurs)->Arg(0)->Arg(1);
VOXA_BENCH_MEDIAN(BM_JpegLibjpegTurboPlainC)->Arg(0)->Arg(1);
VOXA_BENCH_MEDIAN(BM_JpegStbImage)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
    jpeg_bench::plain_c_libjpeg();
    jpeg_bench::start_ours();
    std::printf("800x480 q85 4:2:0: baseline %zu bytes, progressive %zu bytes\n",
                files().baseline.size(), files().progressive.size());
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("baseline: ours / libjpeg-turbo plain C", "BM_JpegOurs/0",
                   "BM_JpegLibjpegTurboPlainC/0");
    reporter.ratio("baseline: ours / stb_image", "BM_JpegOurs/0", "BM_JpegStbImage/0");
    reporter.ratio("progressive: ours / libjpeg-turbo plain C", "BM_JpegOurs/1",
                   "BM_JpegLibjpegTurboPlainC/1");
    reporter.ratio("progressive: ours / stb_image", "BM_JpegOurs/1", "BM_JpegStbImage/1");
    benchmark::Shutdown();
    return 0;
}
