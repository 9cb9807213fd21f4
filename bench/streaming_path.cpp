// The cost per frame of the camera's streaming path at 640 x 480 and 1280 x 1024: the dequeue
// (on the emulated camera, which also draws its pattern), the BufferCB copy into the double
// buffer, the preview conversion, and all of them together on the streaming thread.

#include <benchmark/benchmark.h>

#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/webcam_dlg.h"
#include "capture/frame_double_buffer.h"
#include "linux/emulated_camera/test_pattern.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/v4l2/v4l2_camera.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "platform/shell.h"
#include "support/doubles/fake_media_framework.h"
#include "support/doubles/fake_power_notices.h"
#include "support/doubles/headless_harness.h"

namespace {

constexpr std::uint32_t kYuyv = 0x56595559;  // 'Y' 'U' 'Y' 'V'

struct Size {
    int width;
    int height;
};

Size SizeOf(const benchmark::State& state) {
    return state.range(0) == 0 ? Size{640, 480} : Size{1280, 1024};
}

void Label(benchmark::State& state) {
    const Size size = SizeOf(state);
    state.SetLabel(std::to_string(size.width) + "x" + std::to_string(size.height));
    state.SetBytesProcessed(state.iterations() * size.width * size.height * 2);
}

class NoShell : public Shell {
public:
    int Open(const std::string&) override { return 42; }
};

// A dialog whose frame gate is open, so that BufferCB copies every frame.
class OpenGate {
public:
    OpenGate() : m_dialog(m_environment) {
        g_frameGrabberCallback.m_pDialog.store(&m_dialog);
        m_dialog.m_bAcceptFrames.store(true);
    }
    ~OpenGate() { g_frameGrabberCallback.m_pDialog.store(nullptr); }

private:
    HeadlessHarness m_harness;
    FakeMediaFramework m_media;
    FakePowerNotices m_power;
    NoShell m_shell;
    WebcamEnvironment m_environment{.platform = m_harness.Services(),
                                    .media = m_media,
                                    .power = m_power,
                                    .shell = m_shell,
                                    .getenv = [](const char*) -> const char* { return nullptr; },
                                    .picturesDirOverride = std::nullopt,
                                    .allocatePool = nullptr};
    CWebcamDlg m_dialog;
};

std::unique_ptr<V4l2Camera> UnpacedCamera(const Size& size) {
    VirtualCameraOptions options;
    options.unpaced = true;
    int error = 0;
    auto camera =
        V4l2Camera::Open(std::make_shared<VirtualCameraIo>(options), kVirtualCameraNode, &error);
    CameraFormat granted;
    camera->SetFormat(static_cast<std::uint32_t>(size.width),
                      static_cast<std::uint32_t>(size.height), kYuyv, &granted);
    return camera;
}

std::int64_t ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Runs the camera's streaming thread flat out; each iteration is one frame through the sink.
// Besides the wall time, the streaming thread's own processor time per frame is reported
// (thread_cpu_us), which is what the path costs on a machine that is busy with other work.
void MeasureStreaming(benchmark::State& state, FrameSink sink) {
    std::unique_ptr<V4l2Camera> camera = UnpacedCamera(SizeOf(state));
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::int64_t> threadCpu{0};
    camera->StartStreaming({[&](const CameraFrame& frame) {
                                sink(frame);
                                threadCpu.store(ThreadCpuNanoseconds());
                                frames.fetch_add(1);
                            },
                            [](int) {}});
    while (frames.load() == 0) {
        std::this_thread::yield();
    }
    std::uint64_t seen = frames.load();
    const std::uint64_t first = seen;
    const std::int64_t firstCpu = threadCpu.load();
    for (auto _ : state) {
        while (frames.load() == seen) {
            std::this_thread::yield();
        }
        seen = frames.load();
    }
    const std::int64_t lastCpu = threadCpu.load();
    const std::uint64_t last = frames.load();
    camera->StopStreaming();
    if (last > first) {
        state.counters["thread_cpu_us"] =
            static_cast<double>(lastCpu - firstCpu) / 1000.0 / static_cast<double>(last - first);
    }
    Label(state);
}

void BM_EmulatedDequeue(benchmark::State& state) {
    MeasureStreaming(state, [](const CameraFrame&) {});
}

void BM_EmulatedPatternOnly(benchmark::State& state) {
    const Size size = SizeOf(state);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width * size.height * 2));
    std::uint64_t number = 0;
    for (auto _ : state) {
        DrawTestPattern(frame.data(), size.width, size.height, size.width * 2, number++,
                        PatternSettings{});
        benchmark::DoNotOptimize(frame.data());
    }
    Label(state);
}

void BM_BufferCBCopy(benchmark::State& state) {
    const Size size = SizeOf(state);
    OpenGate gate;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width * size.height * 2), 0x80);
    const auto length = static_cast<std::int32_t>(frame.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_frameGrabberCallback.BufferCB(0.0, frame.data(), length));
    }
    Label(state);
}

void BM_PreviewConversion(benchmark::State& state) {
    const Size size = SizeOf(state);
    EnsureQtApplication();
    PreviewSurface preview;
    preview.Place(Rect{0, 0, 640, 480});
    preview.SetVisible(true);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width * size.height * 2), 0x80);
    for (auto _ : state) {
        preview.Present(frame.data(), size.width, size.height, size.width * 2);
    }
    Label(state);
}

// Dequeue, BufferCB and preview on the streaming thread, as in the running window.
void BM_WholeStreamingPath(benchmark::State& state) {
    const Size size = SizeOf(state);
    EnsureQtApplication();
    OpenGate gate;
    PreviewSurface preview;
    preview.Place(Rect{0, 0, 640, 480});
    preview.SetVisible(true);
    MeasureStreaming(state, [&](const CameraFrame& frame) {
        g_frameGrabberCallback.BufferCB(frame.time, frame.data,
                                        static_cast<std::int32_t>(frame.bytesUsed));
        preview.Present(frame.data, size.width, size.height, size.width * 2);
    });
}

BENCHMARK(BM_EmulatedDequeue)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmulatedPatternOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BufferCBCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreviewConversion)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeStreamingPath)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
