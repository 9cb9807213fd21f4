// Taking a picture at each capture size: the time from the snapshot's start to the file on disk,
// the time the frame gate stays closed (the conversion, the thumbnail and the image library's
// copy), and the heap allocations per snapshot and per loaded picture. Allocations are counted
// at malloc; the image library's own share is measured by running its calls alone.

#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>

#include "app/webcam_dlg.h"
#include "capture/frame_double_buffer.h"
#include "capture/still_graph.h"
#include "picture_bench_support.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_sampling.h"
#include "pictures/yuy2_conversion.h"
#include "platform/shell.h"
#include "resources/dialog_layout.h"
#include "support/doubles/fake_media_framework.h"
#include "support/doubles/fake_power_notices.h"
#include "support/doubles/headless_harness.h"

// ---- Allocation counting: every malloc-family call while g_counting is raised ----

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void Count() {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) noexcept {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) noexcept {
    Count();
    return __libc_realloc(pointer, size);
}
int posix_memalign(void** pointer, std::size_t alignment, std::size_t size) noexcept {
    Count();
    *pointer = __libc_memalign(alignment, size);
    return *pointer != nullptr ? 0 : ENOMEM;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}
}

namespace {

// Counts the allocations of `work` per call; `between` runs after each call, uncounted.
template <typename Work, typename Between>
double AllocationsOf(int runs, Work&& work, Between&& between) {
    g_allocations.store(0);
    for (int i = 0; i < runs; ++i) {
        g_counting.store(true);
        work();
        g_counting.store(false);
        between();
    }
    return static_cast<double>(g_allocations.load()) / runs;
}
template <typename Work>
double AllocationsOf(int runs, Work&& work) {
    return AllocationsOf(runs, work, [] {});
}

class NoShell : public Shell {
public:
    int Open(const std::string&) override { return 42; }
};

// The started main window on the capture double, its Pictures folder in the temporary folder.
struct StartedWindow {
    StartedWindow() {
        std::filesystem::create_directories(pictures);
        media.devices = {FakeMediaFramework::MakerDevice()};
        dialog = std::make_unique<CWebcamDlg>(environment);
        harness.Start(*dialog);
    }
    ~StartedWindow() {
        harness.Stop();
        std::filesystem::remove_all(pictures);
    }

    // A fresh frame of the resolution's size, as the streaming thread delivers it.
    void Deliver(int resolution) {
        const auto geometry = *CaptureGeometryFor(resolution);
        auto frame = picture_bench::PatternFrame(geometry.width, geometry.height);
        dialog->m_nResolution = resolution;
        dialog->m_bAcceptFrames.store(true);
        media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size()));
    }
    // Empties the list and the folder, so every snapshot writes picture 1 into an empty folder.
    void Forget() {
        dialog->m_nThumbCount = 0;
        dialog->m_nNextPictureNumber = 1;
        std::filesystem::remove(pictures / "Picture0001.jpg");
    }

    HeadlessHarness harness;
    FakeMediaFramework media;
    FakePowerNotices power;
    NoShell shell;
    std::filesystem::path pictures = std::filesystem::temp_directory_path() /
                                     ("lumisight-bench-snapshot-" + std::to_string(getpid()));
    WebcamEnvironment environment{.platform = harness.Services(),
                                  .media = media,
                                  .power = power,
                                  .shell = shell,
                                  .getenv = [](const char* name) { return std::getenv(name); },
                                  .picturesDirOverride = pictures.string(),
                                  .allocatePool = nullptr};
    std::unique_ptr<CWebcamDlg> dialog;
};

StartedWindow& Window() {
    static StartedWindow window;
    return window;
}

void BM_TakeSnapshot(benchmark::State& state) {
    const int resolution = static_cast<int>(state.range(0));
    StartedWindow& window = Window();
    window.Deliver(resolution);
    for (auto _ : state) {
        window.dialog->TakeSnapshot();
        state.PauseTiming();
        if (window.dialog->m_nThumbCount != 1) {
            state.SkipWithError("the snapshot added no picture");
            break;
        }
        window.Forget();
        state.ResumeTiming();
    }
    state.counters["allocations"] = AllocationsOf(
        5, [&] { window.dialog->TakeSnapshot(); }, [&] { window.Forget(); });
}

// The work done while the gate is closed, as TakeSnapshot does it.
void BM_GateClosed(benchmark::State& state) {
    const auto geometry = *CaptureGeometryFor(static_cast<int>(state.range(0)));
    const auto frame = picture_bench::PatternFrame(geometry.width, geometry.height);
    auto buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail(14400);
    std::uint8_t* converted = buffers->snapshot.Data();
    for (auto _ : state) {
        ConvertYuy2Frame(frame.data(), geometry.width, geometry.height, converted);
        SampleThumbnail(converted, geometry.columnStep, geometry.rowSkip, thumbnail.data());
        FIBITMAP* image = FreeImage_ConvertFromRawBits(converted, geometry.width, geometry.height,
                                                       geometry.width * 3, 24, 0, 0, 0, FALSE);
        state.PauseTiming();
        FreeImage_Unload(image);
        state.ResumeTiming();
    }
}

unsigned DLL_CALLCONV Discard(void*, unsigned, unsigned count, fi_handle) {
    return count;
}
unsigned DLL_CALLCONV ReadNothing(void*, unsigned, unsigned, fi_handle) {
    return 0;
}
int DLL_CALLCONV SeekNowhere(fi_handle, long, int) {
    return 0;
}
long DLL_CALLCONV TellZero(fi_handle) {
    return 0;
}

// The image library's calls of a snapshot alone: its copy, the JPEG encoding, the release.
void BM_LibraryAloneForSnapshot(benchmark::State& state) {
    const auto geometry = *CaptureGeometryFor(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> converted(geometry.ConvertedBytes(), 90);
    FreeImageIO io{ReadNothing, Discard, SeekNowhere, TellZero};
    auto work = [&] {
        FIBITMAP* image =
            FreeImage_ConvertFromRawBits(converted.data(), geometry.width, geometry.height,
                                         geometry.width * 3, 24, 0, 0, 0, FALSE);
        FreeImage_SaveToHandle(FIF_JPEG, image, &io, &io, JPEG_DEFAULT);  // any handle
        FreeImage_Unload(image);
    };
    for (auto _ : state) {
        work();
    }
    state.counters["allocations"] = AllocationsOf(5, work);
}

void BM_LoadPictureThumbnail(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::string path = picture_bench::PictureFolder(1, width, height) + "/Picture0001.jpg";
    auto buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail(14400);
    auto work = [&] { LoadPictureThumbnail(path.c_str(), buffers->Loader(0), thumbnail.data()); };
    for (auto _ : state) {
        work();
    }
    state.counters["allocations"] = AllocationsOf(5, work);
}

// The image library's decode and release alone, for the same files.
void BM_LibraryAloneForLoad(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::string path = picture_bench::PictureFolder(1, width, height) + "/Picture0001.jpg";
    auto work = [&] { FreeImage_Unload(FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_DEFAULT)); };
    for (auto _ : state) {
        work();
    }
    state.counters["allocations"] = AllocationsOf(5, work);
}

BENCHMARK(BM_TakeSnapshot)->ArgName("resolution")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GateClosed)->ArgName("resolution")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryAloneForSnapshot)
    ->ArgName("resolution")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPictureThumbnail)
    ->ArgNames({"w", "h"})
    ->Args({640, 480})
    ->Args({1280, 1024})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryAloneForLoad)
    ->ArgNames({"w", "h"})
    ->Args({640, 480})
    ->Args({1280, 1024})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
