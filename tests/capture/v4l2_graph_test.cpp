// The V4L2 capture source and graph on the emulated camera: one source object owns the opened
// camera, the graph holds it while it runs, the views the source hands out do not keep it open,
// only the graph's own filters connect, and a stream that ends by itself is reported on the
// user-interface thread, never after the graph stopped.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "linux/emulated_camera/virtual_camera.h"
#include "linux/v4l2/capture_stream.h"
#include "linux/v4l2/sample_grabber.h"
#include "linux/v4l2/v4l2_camera.h"
#include "linux/v4l2/v4l2_graph.h"
#include "linux/v4l2/v4l2_source.h"
#include "linux/window/qt_task_poster.h"
#include "support/doubles/headless_harness.h"
#include "support/wait_until.h"
#include "v4l2_window_fixture.h"

namespace {

class CountingCallback final : public SampleGrabberCallback {
public:
    HResult QueryInterface(const char*, void**) override { return E_NOINTERFACE_RESULT; }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    HResult SampleCB(double, void*) override { return S_OK_RESULT; }
    HResult BufferCB(double, std::uint8_t*, std::int32_t length) override {
        lastLength.store(length);
        frames.fetch_add(1);
        return S_OK_RESULT;
    }

    std::atomic<int> frames{0};
    std::atomic<std::int32_t> lastLength{0};
};

// A source of another capture system: it has no V4L2 stream to give a graph.
class ForeignSource final : public CaptureFilter {
public:
    HResult JoinGraph(FilterGraphSite& graph) override { return graph.JoinSource(*this, nullptr); }
    HResult EnumPins(std::unique_ptr<PinEnumerator>*) override { return E_NOTIMPL_RESULT; }
    HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>*) override {
        return E_NOINTERFACE_RESULT;
    }
    HResult ReopenDevice() override { return E_NOTIMPL_RESULT; }
};

// The emulated camera, a source opened on it, and a graph with a frame tap built around it the
// way the capture code builds one (no preview owner: the frames go to the tap alone).
class V4l2GraphTest : public ::testing::Test {
protected:
    V4l2GraphTest() { EnsureQtApplication(); }

    std::shared_ptr<CaptureFilter> OpenSource() {
        int error = 0;
        std::unique_ptr<V4l2Camera> camera = V4l2Camera::Open(io, kVirtualCameraNode, &error);
        EXPECT_EQ(error, 0);
        return camera ? MakeV4l2Source(std::move(camera)) : nullptr;
    }
    void Build() {
        source = OpenSource();
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(graph->AddFilter(*source, "Cap"), S_OK_RESULT);
        ASSERT_EQ(graph->AddFilter(*grabber, "Grabber"), S_OK_RESULT);
        grabber->SetCallback(&callback, 1);
        ASSERT_EQ(builder->SetFiltergraph(*graph), S_OK_RESULT);
        ASSERT_EQ(builder->RenderStream(PinCategory::Preview, *source, *grabber, nullptr),
                  S_OK_RESULT);
    }
    HResult Run() { return graph->QueryMediaControl()->Run(); }
    void Stop() { graph->QueryMediaControl()->Stop(); }

    static VirtualCameraOptions Vanishing(int frames) {
        VirtualCameraOptions options;
        options.vanishAfterFrames = frames;
        return options;
    }

    VirtualCameraOptions options;
    std::shared_ptr<VirtualCameraIo> io = std::make_shared<VirtualCameraIo>(options);
    QtTaskPoster userInterface;
    std::unique_ptr<MediaGraph> graph = MakeV4l2Graph(&userInterface);
    std::unique_ptr<SampleGrabber> grabber = MakeSampleGrabber();
    std::unique_ptr<CaptureGraphBuilder> builder = MakeV4l2GraphBuilder();
    std::shared_ptr<CaptureFilter> source;
    CountingCallback callback;
};

TEST_F(V4l2GraphTest, TheSourcesViewsDoNotKeepTheCameraOpen) {
    source = OpenSource();
    std::unique_ptr<PinEnumerator> pins;
    ASSERT_EQ(source->EnumPins(&pins), S_OK_RESULT);
    std::unique_ptr<OutputPin> pin;
    ASSERT_EQ(pins->Next(&pin), S_OK_RESULT);
    EXPECT_EQ(pins->Next(&pin), S_FALSE_RESULT);  // one capture output
    std::unique_ptr<StreamConfig> config = pin->QueryStreamConfig();
    ASSERT_NE(config, nullptr);
    std::unique_ptr<PropertyPages> pages;
    ASSERT_EQ(source->QuerySpecifyPropertyPages(&pages), S_OK_RESULT);
    MediaType type;
    ASSERT_EQ(config->GetFormat(&type), S_OK_RESULT);
    EXPECT_EQ(type.format.bmiHeader.biWidth, 640);
    EXPECT_EQ(pages->GetPages().size(), 4u);
    EXPECT_EQ(io->OpenDescriptors(), 1);

    source.reset();
    EXPECT_EQ(io->OpenDescriptors(), 0);
    EXPECT_LT(config->GetFormat(&type), 0);
    EXPECT_LT(config->SetFormat(type), 0);
    EXPECT_TRUE(pages->GetPages().empty());
    std::int32_t value = 0;
    EXPECT_LT(pages->GetValue(V4L2_CID_BRIGHTNESS, &value), 0);
    EXPECT_LT(pages->SetValue(V4L2_CID_BRIGHTNESS, 10), 0);
    EXPECT_EQ(pin->QueryStreamConfig()->GetFormat(&type), E_FAIL_RESULT);
}

TEST_F(V4l2GraphTest, TheGraphHoldsTheSourceAndTapUntilItGoes) {
    Build();
    ASSERT_EQ(Run(), S_OK_RESULT);
    ASSERT_TRUE(WaitUntil([this] { return callback.frames.load() >= 2; }));
    EXPECT_EQ(callback.lastLength.load(), 640 * 480 * 2);
    // As the dialog's release does: its own references go first, the graph is stopped after.
    source.reset();
    grabber.reset();
    EXPECT_EQ(io->OpenDescriptors(), 1);
    const int before = callback.frames.load();
    ASSERT_TRUE(WaitUntil([&] { return callback.frames.load() > before; }));
    Stop();
    const int stopped = callback.frames.load();
    graph.reset();
    EXPECT_EQ(io->OpenDescriptors(), 0);
    EXPECT_EQ(callback.frames.load(), stopped);
}

TEST_F(V4l2GraphTest, OnlyTheGraphsOwnFiltersConnect) {
    std::shared_ptr<CaptureFilter> stranger = OpenSource();
    ForeignSource foreign;
    EXPECT_EQ(graph->AddFilter(foreign, "Cap"), E_INVALIDARG_RESULT);
    ASSERT_EQ(builder->SetFiltergraph(*graph), S_OK_RESULT);
    EXPECT_EQ(builder->RenderStream(PinCategory::Capture, *stranger, *grabber, nullptr),
              VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(Run(), VFW_E_NOT_CONNECTED);

    Build();
    std::unique_ptr<SampleGrabber> otherGrabber = MakeSampleGrabber();
    EXPECT_EQ(builder->RenderStream(PinCategory::Capture, *stranger, *grabber, nullptr),
              VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(builder->RenderStream(PinCategory::Capture, *source, *otherGrabber, nullptr),
              VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(builder->RenderStream(PinCategory::VideoPort, *source, *grabber, nullptr),
              E_INVALIDARG_RESULT);
    MediaType connected;
    ASSERT_EQ(grabber->GetConnectedMediaType(&connected), S_OK_RESULT);
    EXPECT_EQ(connected.subtype, FOURCC_YUY2);
    EXPECT_EQ(otherGrabber->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);
}

TEST_F(V4l2GraphTest, ASourceJoiningLaterStopsTheEarlierStreamAndWaitsToBeConnected) {
    Build();
    ASSERT_EQ(Run(), S_OK_RESULT);
    ASSERT_TRUE(WaitUntil([this] { return callback.frames.load() >= 1; }));
    std::shared_ptr<CaptureFilter> second = OpenSource();
    ASSERT_EQ(graph->AddFilter(*second, "Cap"), S_OK_RESULT);
    const int stopped = callback.frames.load();
    EXPECT_EQ(Run(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(builder->RenderStream(PinCategory::Capture, *source, *grabber, nullptr),
              VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(callback.frames.load(), stopped);

    ASSERT_EQ(builder->RenderStream(PinCategory::Capture, *second, *grabber, nullptr), S_OK_RESULT);
    ASSERT_EQ(Run(), S_OK_RESULT);
    EXPECT_TRUE(WaitUntil([&] { return callback.frames.load() > stopped; }));
}

class V4l2StreamEndTest : public V4l2GraphTest {
protected:
    V4l2StreamEndTest() {
        options = Vanishing(3);
        io = std::make_shared<VirtualCameraIo>(options);
        graph->SetStreamEndHandler([this](const StreamEnd& end) {
            errors.push_back(end.error);
            onMainThread = std::this_thread::get_id() == mainThread;
        });
    }
    // Waits until the emulated camera has vanished and every report queued so far has run.
    void LetTheCameraVanish() {
        ASSERT_TRUE(WaitUntilProcessingEvents([this] { return io->FramesDelivered() >= 3; }));
        ASSERT_TRUE(ProcessQueuedCalls());
    }

    std::vector<int> errors;
    bool onMainThread = false;
    const std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(V4l2StreamEndTest, AVanishingCameraIsReportedOnTheUserInterfaceThread) {
    Build();
    ASSERT_EQ(Run(), S_OK_RESULT);
    ASSERT_TRUE(WaitUntilProcessingEvents([this] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<int>{ENODEV});
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(callback.frames.load(), 3);
    // Ended by itself, the stream does not run again until it was stopped.
    EXPECT_EQ(Run(), S_FALSE_RESULT);
}

TEST_F(V4l2StreamEndTest, TheHandlerMayReleaseTheGraphAndEverythingCloses) {
    Build();
    graph->SetStreamEndHandler([this](const StreamEnd& end) {
        errors.push_back(end.error);
        source.reset();
        grabber.reset();
        graph.reset();
    });
    ASSERT_EQ(Run(), S_OK_RESULT);
    ASSERT_TRUE(WaitUntilProcessingEvents([this] { return !errors.empty(); }));
    EXPECT_EQ(graph, nullptr);
    EXPECT_EQ(io->OpenDescriptors(), 0);
}

// Whether the report was queued before or during the stop, it is not delivered after it.
TEST_F(V4l2StreamEndTest, AStoppedGraphReportsNothing) {
    Build();
    ASSERT_EQ(Run(), S_OK_RESULT);
    // No events run meanwhile: a report queued by now is still waiting when the graph stops.
    ASSERT_TRUE(WaitUntil([this] { return io->FramesDelivered() >= 3; }));
    Stop();
    LetTheCameraVanish();
    EXPECT_TRUE(errors.empty());
}

}  // namespace
