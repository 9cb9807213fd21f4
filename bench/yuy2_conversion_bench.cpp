// The snapshot's colour conversion at each capture size, for every kernel this processor runs:
// megapixels per second. The scalar kernel is the straightforward loop the others must beat.

#include <benchmark/benchmark.h>

#include <vector>

#include "picture_bench_support.h"
#include "pictures/yuy2_conversion.h"

namespace {

void BM_ConvertYuy2Frame(benchmark::State& state) {
    const auto kernel = static_cast<Yuy2Kernel>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    if (!Yuy2KernelSupported(kernel)) {
        state.SkipWithError("kernel not supported by this processor");
        return;
    }
    const auto frame = picture_bench::PatternFrame(width, height);
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
    for (auto _ : state) {
        ConvertYuy2FrameWith(kernel, frame.data(), width, height, bgr.data());
        benchmark::DoNotOptimize(bgr.data());
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(width) * height;
    state.counters["MPixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"kernel", "w", "h"});
    for (int kernel : {0, 1, 2}) {
        for (const auto& [w, h] : {std::pair{320, 240}, {640, 480}, {1280, 1024}}) {
            bench->Args({kernel, w, h});
        }
    }
}

BENCHMARK(BM_ConvertYuy2Frame)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
