// The start-up scan of a picture folder: pictures loaded per second with one thread and with a
// thread per core, for 2000 pictures of 640 x 480 and 300 of 1280 x 1024.

#include <benchmark/benchmark.h>

#include <memory>
#include <thread>

#include "picture_bench_support.h"
#include "pictures/picture_scan.h"
#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_pool.h"

namespace {

void BM_ScanPictureFolder(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int count = static_cast<int>(state.range(2));
    const unsigned threads = state.range(3) == 0 ? std::thread::hardware_concurrency()
                                                 : static_cast<unsigned>(state.range(3));
    const std::string folder = picture_bench::PictureFolder(count, width, height);
    auto pool = AllocateThumbnailPool();
    auto records = std::make_unique<ThumbnailRecords>();
    AttachThumbnailPool(*pool, *records);
    auto buffers = AllocatePictureWorkBuffers(threads);
    int listed = 0;
    for (auto _ : state) {
        const auto names = ListPictureFiles(folder);
        const ScanResult result = ScanPictures(folder, names, *records, *buffers,
                                               [](const PictureName&, LoadStatus, const char*) {});
        listed = result.count;
    }
    if (listed != count) {
        state.SkipWithError("not every picture loaded");
    }
    state.counters["threads"] = static_cast<double>(buffers->loaders.size());
    state.counters["pictures/s"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ScanPictureFolder)
    ->ArgNames({"w", "h", "count", "threads"})
    ->Args({640, 480, 2000, 1})
    ->Args({640, 480, 2000, 0})
    ->Args({1280, 1024, 300, 1})
    ->Args({1280, 1024, 300, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
