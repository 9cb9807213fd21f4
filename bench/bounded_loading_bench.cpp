// The bounded thumbnail decoder against the image library's loader, per picture; the cost of
// the hostile files it refuses (time, and the growth of the peak resident memory of a process
// that loads one); and loading and saving a thumbnail cache of 10000 pictures.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/jpeg_thumbnail_decoder.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_cache.h"
#include "support/freeimage_reference_loader.h"
#include "support/jpeg_samples.h"

namespace {

const std::filesystem::path kFolder =
    std::filesystem::temp_directory_path() / "lumisight-bench-bounded-loading";

// Writes the file once per run of the program and gives its path.
std::string Keep(const std::string& name, const std::function<std::string()>& make) {
    std::filesystem::create_directories(kFolder);
    const std::filesystem::path path = kFolder / name;
    if (!std::filesystem::exists(path)) {
        std::ofstream(path, std::ios::binary) << make();
    }
    return path.string();
}

std::string PicturePath(int width, int height, bool progressive) {
    return Keep("picture-" + std::to_string(width) + "x" + std::to_string(height) +
                    (progressive ? "-progressive" : "-baseline") + ".jpg",
                [=] {
                    jpeg_samples::Options o;
                    o.width = width;
                    o.height = height;
                    o.progressive = progressive;
                    o.quality = 75;
                    return jpeg_samples::Encode(o);
                });
}

// How much the peak resident memory of a child process grows while it runs `work` once. Only
// meaningful while this process has loaded nothing itself (its freed memory would be reused).
long PeakMemoryGrowthKb(const std::function<void()>& work) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        work();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const long growth = after.ru_maxrss - before.ru_maxrss;
        (void)!write(pipeEnds[1], &growth, sizeof growth);
        _exit(0);
    }
    close(pipeEnds[1]);
    long growth = -1;
    if (read(pipeEnds[0], &growth, sizeof growth) != sizeof growth) {
        growth = -1;
    }
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return growth;
}

void Decode(benchmark::State& state, const std::string& path, bool bounded) {
    const auto buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
    const auto work = [&] {
        return bounded ? LoadPictureThumbnail(path.c_str(), buffers->Loader(0), thumbnail.data())
                       : freeimage_reference::LoadThumbnail(path.c_str(), thumbnail.data());
    };
    LoadStatus status = LoadStatus::Loaded;
    for (auto _ : state) {
        status = work();
        benchmark::DoNotOptimize(thumbnail.data());
    }
    state.counters["loaded"] = status == LoadStatus::Loaded ? 1 : 0;
}

void BM_BoundedDecoder(benchmark::State& state) {
    Decode(state,
           PicturePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                       state.range(2) != 0),
           true);
}

void BM_ImageLibraryLoader(benchmark::State& state) {
    Decode(state,
           PicturePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                       state.range(2) != 0),
           false);
}

// The hostile files, refused (or, for exactly the allowed number of scans, loaded).
const struct {
    const char* name;
    std::function<std::string()> make;
} kBombs[] = {
    {"header-65000x65000", [] { return jpeg_samples::HeaderBomb(65000, 65000); }},
    {"header-30000x20000", [] { return jpeg_samples::HeaderBomb(30000, 20000); }},
    {"1280x1024-100010-scans", [] { return jpeg_samples::ScanBomb(1280, 1024, 100010); }},
    {"1280x1024-101-scans", [] { return jpeg_samples::ScanBomb(1280, 1024, kMaxJpegScans + 1); }},
    {"1280x1024-100-scans", [] { return jpeg_samples::ScanBomb(1280, 1024, kMaxJpegScans); }},
};

void BM_BoundedDecoderOnBomb(benchmark::State& state) {
    const auto& bomb = kBombs[state.range(0)];
    state.SetLabel(bomb.name);
    Decode(state, Keep(std::string(bomb.name) + ".jpg", bomb.make), true);
}

// A picture folder of 10000 small files and a cache holding a thumbnail for each.
struct CachedFolder {
    std::string pictures = (kFolder / "cache-pictures").string();
    std::string cacheFile = (kFolder / "thumbnails.cache").string();
    CachedFolder() {
        std::filesystem::create_directories(pictures);
        for (int number = 1; number <= ThumbnailCache::kMaxEntries; ++number) {
            const std::filesystem::path path = std::filesystem::path(pictures) / Name(number);
            if (!std::filesystem::exists(path)) {
                std::ofstream(path) << number;
            }
        }
    }
    static std::string Name(int number) {
        char name[32];
        std::snprintf(name, sizeof name, "Picture%04d.jpg", number);
        return name;
    }
    // A cache that holds every thumbnail in memory, as a first start leaves it.
    ThumbnailCache Filled() const {
        ThumbnailCache cache{pictures};
        std::vector<std::uint8_t> pixels(kThumbBlockBytes, 0x42);
        for (int number = 1; number <= ThumbnailCache::kMaxEntries; ++number) {
            pixels[0] = static_cast<std::uint8_t>(number);
            cache.Insert(*PictureFileKeyOf(pictures, Name(number)), pixels.data());
        }
        return cache;
    }
};

// The save at the end of a first start: every thumbnail from memory.
void BM_CacheSave(benchmark::State& state) {
    const CachedFolder folder;
    bool saved = false;
    std::size_t entries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ThumbnailCache cache = folder.Filled();
        state.ResumeTiming();
        saved = cache.Save(folder.cacheFile);
        entries = cache.Size();
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["saved"] = saved ? 1 : 0;
}

// The save after a picture was taken: every other thumbnail read back from the previous file.
void BM_CacheSaveFromFile(benchmark::State& state) {
    const CachedFolder folder;
    folder.Filled().Save(folder.cacheFile);
    std::vector<std::uint8_t> pixels(kThumbBlockBytes, 0x17);
    bool saved = false;
    for (auto _ : state) {
        state.PauseTiming();
        ThumbnailCache cache = ThumbnailCache::Load(folder.cacheFile, folder.pictures);
        PictureFileKey changed = *PictureFileKeyOf(folder.pictures, CachedFolder::Name(1));
        cache.Insert(changed, pixels.data());
        pixels[0] ^= 1;  // a new thumbnail each time, so that each save writes
        state.ResumeTiming();
        saved = cache.Save(folder.cacheFile);
    }
    state.counters["saved"] = saved ? 1 : 0;
}

void BM_CacheLoad(benchmark::State& state) {
    const CachedFolder folder;
    folder.Filled().Save(folder.cacheFile);
    std::size_t entries = 0;
    for (auto _ : state) {
        entries = ThumbnailCache::Load(folder.cacheFile, folder.pictures).Size();
    }
    state.counters["entries"] = static_cast<double>(entries);
}

}  // namespace

BENCHMARK(BM_BoundedDecoder)
    ->ArgNames({"w", "h", "progressive"})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({1280, 1024, 0})
    ->Args({1280, 1024, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageLibraryLoader)
    ->ArgNames({"w", "h", "progressive"})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({1280, 1024, 0})
    ->Args({1280, 1024, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoundedDecoderOnBomb)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheSave)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CacheSaveFromFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CacheLoad)->Unit(benchmark::kMillisecond);

// Runs `work` in a child process and waits for it.
void InChild(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        work();
        _exit(0);
    }
    waitpid(child, nullptr, 0);
}

// The peak memory growth of one load of each file, each in a fresh child of this process,
// before the process has decoded anything.
void ReportPeakMemory() {
    std::vector<std::pair<std::string, std::string>> files;  // label, path
    InChild([] {
        for (const bool progressive : {false, true}) {
            PicturePath(1280, 1024, progressive);
        }
        for (const auto& bomb : kBombs) {
            Keep(std::string(bomb.name) + ".jpg", bomb.make);
        }
    });
    std::printf("Peak resident memory growth of one load, in a fresh process:\n");
    for (const bool progressive : {false, true}) {
        const std::string path = PicturePath(1280, 1024, progressive);
        const std::string name = progressive ? "1280x1024 progressive" : "1280x1024 baseline";
        for (const bool bounded : {true, false}) {
            const long kb = PeakMemoryGrowthKb([&] {
                const auto buffers = AllocatePictureWorkBuffers(1);
                std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
                if (bounded) {
                    LoadPictureThumbnail(path.c_str(), buffers->Loader(0), thumbnail.data());
                } else {
                    freeimage_reference::LoadThumbnail(path.c_str(), thumbnail.data());
                }
            });
            std::printf("  %-32s %-15s %6ld KB\n", name.c_str(),
                        bounded ? "bounded" : "image library", kb);
        }
    }
    for (const auto& bomb : kBombs) {
        const std::string path = Keep(std::string(bomb.name) + ".jpg", bomb.make);
        const long kb = PeakMemoryGrowthKb([&] {
            const auto buffers = AllocatePictureWorkBuffers(1);
            std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
            LoadPictureThumbnail(path.c_str(), buffers->Loader(0), thumbnail.data());
        });
        std::printf("  %-32s %-15s %6ld KB\n", bomb.name, "bounded", kb);
    }
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    ReportPeakMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
