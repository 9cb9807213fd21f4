// The capture graph's building steps, each made to fail in turn, the resolution probe, the
// preview placement and the release.

#include <gtest/gtest.h>

#include "capture_test_support.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"

namespace {

const std::string kNoDevice =
    "No video capture device was detected on your system.\r\n\r\n"
    "This program requires a functional video capture device, such\r\n"
    "as a USB web camera.  Video capture will be disabled.";

// A started window whose graph has been released again, so that each test drives
// InitStillGraph itself.
class StillGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixture.Start());
        dialog().ReleaseStillGraph();
        g_bProbeHighRes = true;
        // A fresh record of calls; the counts of live objects carry over.
        FakeMediaRecord fresh;
        fresh.liveGraphs = fixture.media.record.liveGraphs;
        fresh.liveGrabbers = fixture.media.record.liveGrabbers;
        fresh.liveCaptureFilters = fixture.media.record.liveCaptureFilters;
        fixture.media.record = fresh;
        fixture.NewMessages();
    }

    CWebcamDlg& dialog() { return *fixture.dialog; }

    std::int32_t Init(int resolution) {
        dialog().m_nResolution = resolution;
        dialog().m_bAcceptFrames.store(false);
        return dialog().InitStillGraph();
    }

    CaptureFixture fixture;
};

struct FailureRow {
    FakeStep step;
    std::vector<std::string> log;
    bool returnsStepResult;  // else E_FAIL
    bool graphReleased;
    bool grabberReleased;
};

void PrintTo(const FailureRow& row, std::ostream* out) {
    *out << static_cast<int>(row.step);
}

class StillGraphFailureTest : public StillGraphTest,
                              public ::testing::WithParamInterface<FailureRow> {};

TEST_P(StillGraphFailureTest, LogsReturnsAndReleasesAsTheTableSays) {
    const FailureRow& row = GetParam();
    fixture.media.failingSteps = {row.step};
    if (row.step == FakeStep::CreateNullRenderer || row.step == FakeStep::AddNullRenderer) {
        fixture.media.hasVideoPortPin = true;
    }
    if (row.step == FakeStep::RenderCapture) {
        fixture.media.failingSteps.insert(FakeStep::RenderPreview);
    }
    const std::int32_t result = Init(1);

    EXPECT_EQ(result, row.returnsStepResult ? fixture.media.failureResult : E_FAIL_RESULT);
    EXPECT_EQ(fixture.NewMessages(), row.log);
    EXPECT_EQ(dialog().m_pGraph == nullptr, row.graphReleased);
    EXPECT_EQ(dialog().m_pGrabber == nullptr, row.grabberReleased);
    EXPECT_FALSE(dialog().m_bAcceptFrames.load());
    EXPECT_EQ(fixture.media.record.runs, 0);

    // The caller always releases before the next build; nothing stays behind.
    dialog().ReleaseStillGraph();
    EXPECT_EQ(dialog().m_pCapture, nullptr);
    EXPECT_EQ(fixture.media.record.liveGraphs, 0);
    EXPECT_EQ(fixture.media.record.liveGrabbers, 0);
    EXPECT_EQ(fixture.media.record.liveCaptureFilters, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFailingStep, StillGraphFailureTest,
    ::testing::Values(
        FailureRow{
            FakeStep::AddCapture, {"Could not put capture device in graph"}, false, true, true},
        FailureRow{FakeStep::EnumPins, {"error 1"}, true, true, true},
        FailureRow{FakeStep::CreateGrabber,
                   {"Could not create SampleGrabber (is qedit.dll registered?)"},
                   true,
                   true,
                   true},
        FailureRow{FakeStep::GetFormat, {"Could not GetFormat"}, false, false, false},
        FailureRow{
            FakeStep::AddGrabber, {"Could not put sample grabber in graph"}, true, true, true},
        FailureRow{FakeStep::CreateBuilder,
                   {"Can't get a ICaptureGraphBuilder2 reference"},
                   true,
                   true,
                   true},
        FailureRow{FakeStep::SetFiltergraph, {"SetGraph failed"}, true, true, true},
        FailureRow{
            FakeStep::CreateNullRenderer, {"Unable to make a NULL renderer"}, false, true, true},
        FailureRow{FakeStep::AddNullRenderer, {"Can't add the filter to graph"}, true, true, true},
        FailureRow{FakeStep::RenderCapture, {" 103 Error", " 104 Error"}, true, true, true},
        FailureRow{FakeStep::ConnectedType,
                   {"Could not read the connected media type"},
                   true,
                   false,
                   false},
        FailureRow{
            FakeStep::VideoWindow, {"Could not get video window interface"}, false, false, false},
        FailureRow{FakeStep::MediaControl, {"Could not run graph - 1"}, false, true, true},
        FailureRow{FakeStep::Run, {"Could not run graph - 1"}, false, true, true}));

TEST_F(StillGraphTest, MissingGraphFailsBeforeAnythingElse) {
    fixture.media.failingSteps = {FakeStep::CreateGraph};
    EXPECT_EQ(Init(1), E_FAIL_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"Could not create filter graph"});
    EXPECT_EQ(fixture.media.record.openedDevices, 0);
}

TEST_F(StillGraphTest, NoMakerCameraAnswersMinusFiveAndReleasesTheGraph) {
    fixture.media.devices = {FakeMediaFramework::OtherDevice("046d")};
    EXPECT_EQ(Init(1), E_NO_MAKER_CAMERA);
    const std::vector<std::string> log = fixture.NewMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), kNoDevice);
    EXPECT_EQ(dialog().m_pGraph, nullptr);
    EXPECT_EQ(dialog().m_pCapture, nullptr);
}

TEST_F(StillGraphTest, FailuresAfterTheCameraWasAddedKeepTheDialogsReference) {
    fixture.media.failingSteps = {FakeStep::Run};
    Init(1);
    EXPECT_NE(dialog().m_pCapture, nullptr);
    EXPECT_EQ(fixture.media.record.liveCaptureFilters, 1);
}

TEST_F(StillGraphTest, PreviewRenderingMayFailWhenCaptureRenderingWorks) {
    fixture.media.failingSteps = {FakeStep::RenderPreview};
    EXPECT_EQ(Init(1), S_OK_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{" 103 Error"});
    EXPECT_EQ(fixture.media.record.renderedCategories,
              std::vector<PinCategory>{PinCategory::Capture});
    EXPECT_TRUE(dialog().m_bAcceptFrames.load());
}

TEST_F(StillGraphTest, SuccessfulBuildRunsWithTheCallbackInstalled) {
    EXPECT_EQ(Init(1), S_OK_RESULT);
    EXPECT_TRUE(fixture.NewMessages().empty());
    const FakeMediaRecord& record = fixture.media.record;
    EXPECT_EQ(record.addedFilters, (std::vector<std::string>{"Cap", "Grabber"}));
    EXPECT_EQ(record.callback, &g_frameGrabberCallback);
    EXPECT_EQ(record.callbackMethod, 1);
    EXPECT_EQ(g_frameGrabberCallback.m_pDialog.load(), &dialog());
    EXPECT_EQ(record.runs, 1);
    EXPECT_TRUE(dialog().m_bAcceptFrames.load());
    EXPECT_NE(dialog().m_pGraph, nullptr);
    EXPECT_NE(dialog().m_pCapture, nullptr);
    EXPECT_NE(dialog().m_pGrabber, nullptr);
    EXPECT_FALSE(record.renderedIntoNullRenderer);
}

TEST_F(StillGraphTest, VideoPortCameraStreamsIntoANullRenderer) {
    fixture.media.hasVideoPortPin = true;
    EXPECT_EQ(Init(1), S_OK_RESULT);
    EXPECT_EQ(fixture.media.record.addedFilters,
              (std::vector<std::string>{"Cap", "Grabber", "NULL renderer"}));
    EXPECT_TRUE(fixture.media.record.renderedIntoNullRenderer);
}

TEST_F(StillGraphTest, FirstStartProbesHighResolutionAndSettlesAt640) {
    EXPECT_EQ(Init(2), S_OK_RESULT);
    EXPECT_EQ(fixture.media.record.formatRequests,
              (std::vector<std::pair<int, int>>{{1280, 1024}, {640, 480}}));
    EXPECT_EQ(dialog().m_nResolution, 1);
    EXPECT_FALSE(dialog().m_bHighResRefused);
    EXPECT_FALSE(g_bProbeHighRes);
}

TEST_F(StillGraphTest, FirstStartOnACameraWithoutHighResolutionRemembersTheRefusal) {
    fixture.media.acceptedSizes.erase({1280, 1024});
    EXPECT_EQ(Init(2), S_OK_RESULT);
    EXPECT_EQ(fixture.media.record.formatRequests,
              (std::vector<std::pair<int, int>>{{1280, 1024}, {640, 480}}));
    EXPECT_EQ(dialog().m_nResolution, 1);
    EXPECT_TRUE(dialog().m_bHighResRefused);
    EXPECT_FALSE(g_bProbeHighRes);
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(StillGraphTest, LaterHighResolutionRequestIsKept) {
    g_bProbeHighRes = false;
    EXPECT_EQ(Init(2), S_OK_RESULT);
    EXPECT_EQ(fixture.media.record.formatRequests,
              (std::vector<std::pair<int, int>>{{1280, 1024}}));
    EXPECT_EQ(dialog().m_nResolution, 2);
    EXPECT_EQ(fixture.media.record.previewRect, (Rect{0, 0, 640, 480}));
}

TEST_F(StillGraphTest, RefusedSmallerSizesAreOnlyLogged) {
    fixture.media.acceptedSizes.clear();
    EXPECT_EQ(Init(0), S_OK_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"Could not set format 320 x 240"});
    dialog().ReleaseStillGraph();
    EXPECT_EQ(Init(1), S_OK_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"Could not set format 640 x 480"});
    EXPECT_EQ(dialog().m_nResolution, 1);
}

TEST_F(StillGraphTest, CameraWithoutStreamConfigurationIsNotAskedForAFormat) {
    for (FakeStep step : {FakeStep::FirstPin, FakeStep::StreamConfig}) {
        fixture.media.failingSteps = {step};
        fixture.media.record.formatRequests.clear();
        EXPECT_EQ(Init(2), S_OK_RESULT);
        EXPECT_TRUE(fixture.media.record.formatRequests.empty());
        EXPECT_TRUE(fixture.NewMessages().empty());
        EXPECT_EQ(dialog().m_nResolution, 2);
        dialog().ReleaseStillGraph();
    }
}

struct Placement {
    int resolution;
    std::optional<Rect> rect;
};

class PreviewPlacementTest : public StillGraphTest,
                             public ::testing::WithParamInterface<Placement> {};

TEST_P(PreviewPlacementTest, PreviewSitsInTheVideoArea) {
    g_bProbeHighRes = false;
    ASSERT_EQ(Init(GetParam().resolution), S_OK_RESULT);
    const FakeMediaRecord& record = fixture.media.record;
    EXPECT_EQ(record.previewRect, GetParam().rect);
    EXPECT_EQ(record.previewOwner, &dialog().Window().Preview());
    EXPECT_EQ(record.previewStyle, 0x44000000u);
    EXPECT_TRUE(record.previewVisible);
    EXPECT_FALSE(record.cursorHidden);
    if (GetParam().resolution == 3) {
        EXPECT_TRUE(record.formatRequests.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryResolution, PreviewPlacementTest,
                         ::testing::Values(Placement{0, Rect{160, 120, 480, 360}},
                                           Placement{1, Rect{0, 0, 640, 480}},
                                           Placement{2, Rect{0, 0, 640, 480}},
                                           Placement{3, std::nullopt}));

TEST_F(StillGraphTest, ReleaseStopsBeforeReleasingAndIsHarmlessTwice) {
    ASSERT_EQ(Init(1), S_OK_RESULT);
    ASSERT_TRUE(fixture.media.Running());
    dialog().ReleaseStillGraph();
    EXPECT_EQ(fixture.media.record.stops, 1);
    EXPECT_FALSE(fixture.media.Running());
    EXPECT_EQ(dialog().m_pGraph, nullptr);
    EXPECT_EQ(dialog().m_pCapture, nullptr);
    EXPECT_EQ(dialog().m_pGrabber, nullptr);
    EXPECT_EQ(fixture.media.record.liveCaptureFilters, 0);

    dialog().ReleaseStillGraph();
    EXPECT_EQ(fixture.media.record.stops, 1);
    EXPECT_TRUE(fixture.NewMessages().empty());
    // Release leaves the gate, the resolution and the callback as they were.
    EXPECT_TRUE(dialog().m_bAcceptFrames.load());
    EXPECT_EQ(dialog().m_nResolution, 1);
    EXPECT_EQ(g_frameGrabberCallback.m_pDialog.load(), &dialog());
}

TEST_F(StillGraphTest, FramesReachTheDoubleBufferOnlyWhileTheGraphRuns) {
    ASSERT_EQ(Init(1), S_OK_RESULT);
    std::vector<std::uint8_t> frame(640 * 480 * 2, 0x5A);
    EXPECT_EQ(fixture.media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())),
              S_OK_RESULT);
    EXPECT_EQ(g_frameDoubleBuffer.m_nLatestLength.load(), 640 * 480 * 2);
    dialog().ReleaseStillGraph();
    EXPECT_EQ(fixture.media.DeliverFrame(frame.data(), 10), E_FAIL_RESULT);
}

TEST_F(StillGraphTest, DestroyLeavesNoCameraNoBitmapsAndNoPool) {
    ASSERT_EQ(Init(1), S_OK_RESULT);
    fixture.harness.Stop();  // OnDestroy
    EXPECT_EQ(dialog().m_pGraph, nullptr);
    EXPECT_EQ(fixture.media.record.liveCaptureFilters, 0);
    EXPECT_EQ(fixture.power.liveWatches, 0);
    EXPECT_EQ(g_frameGrabberCallback.m_pDialog.load(), nullptr);
    for (const auto& pair : dialog().m_hbmButton) {
        EXPECT_EQ(pair[0], nullptr);
        EXPECT_EQ(pair[1], nullptr);
    }
    EXPECT_EQ(dialog().m_thumbPool, nullptr);
    for (const ThumbnailRecord& record : dialog().m_thumbs) {
        ASSERT_EQ(record.pPixels, nullptr);
    }
}

}  // namespace
