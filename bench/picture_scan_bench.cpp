// The start-up scan of a picture folder: thumbnails loaded per second by the background loader
// with one worker and with a worker per core, and by a plain loop on one thread (the reference),
// for 2000 pictures of 640 x 480 and 300 of 1280 x 1024.

#include <benchmark/benchmark.h>

#include <limits.h>

#include <memory>
#include <thread>

#include "picture_bench_support.h"
#include "pictures/picture_numbering.h"
#include "pictures/picture_scan.h"
#include "pictures/thumbnail_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "support/doubles/queued_tasks.h"

namespace {

std::vector<int> Numbers(const std::vector<PictureName>& names) {
    std::vector<int> numbers;
    for (const PictureName& name : names) {
        numbers.push_back(name.number);
    }
    return numbers;
}

void BM_LoaderThumbnails(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int count = static_cast<int>(state.range(2));
    const unsigned threads = state.range(3) == 0 ? std::thread::hardware_concurrency()
                                                 : static_cast<unsigned>(state.range(3));
    const std::string folder = picture_bench::PictureFolder(count, width, height);
    auto buffers = AllocatePictureWorkBuffers(threads);
    QueuedTasks tasks;
    int loaded = 0;
    for (auto _ : state) {
        loaded = 0;
        ThumbnailLoader loader(folder, *buffers, nullptr, tasks, [] {});
        loader.Load(Numbers(ListPictureFiles(folder)));
        while (!loader.Idle()) {
            for (const LoadedThumbnail& result : loader.TakeResults()) {
                loaded += result.status == LoadStatus::Loaded ? 1 : 0;
            }
            std::this_thread::yield();
        }
    }
    if (loaded != count) {
        state.SkipWithError("not every picture loaded");
    }
    state.counters["threads"] = static_cast<double>(buffers->loaders.size());
    state.counters["pictures/s"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}

// What the scan costs without any threads: every picture decoded in turn on the calling thread.
void BM_SingleThreadReference(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int count = static_cast<int>(state.range(2));
    const std::string folder = picture_bench::PictureFolder(count, width, height);
    auto buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
    char path[PATH_MAX + 32];
    for (auto _ : state) {
        for (const PictureName& name : ListPictureFiles(folder)) {
            FormatPicturePath(path, sizeof path, folder, name.number);
            benchmark::DoNotOptimize(
                LoadPictureThumbnail(path, buffers->Loader(0), thumbnail.data()));
        }
    }
    state.counters["pictures/s"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_LoaderThumbnails)
    ->ArgNames({"w", "h", "count", "threads"})
    ->Args({640, 480, 2000, 1})
    ->Args({640, 480, 2000, 0})
    ->Args({1280, 1024, 300, 1})
    ->Args({1280, 1024, 300, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

BENCHMARK(BM_SingleThreadReference)
    ->ArgNames({"w", "h", "count"})
    ->Args({640, 480, 2000})
    ->Args({1280, 1024, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
