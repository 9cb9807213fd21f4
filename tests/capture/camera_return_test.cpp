// A camera that goes away while streaming and comes back, on the capture double: what the window
// does while the camera is lost, how it looks for the camera (device notices and the retry
// timer, quietly), how it starts it again, and how it ends while the camera is away.

#include <gtest/gtest.h>

#include <cerrno>

#include "capture/camera_return.h"
#include "capture/stream_end.h"
#include "capture_test_support.h"
#include "support/doubles/fake_device_arrivals.h"
#include "ui/ui_fixture.h"

namespace {

std::vector<std::uint8_t> Frame640() {
    return std::vector<std::uint8_t>(640 * 480 * 2, 0x80);
}

// The started window on the capture double, with device notices and the log on.
class CameraReturnTest : public ui_test::StartedWindow {
protected:
    void SetUp() override {
        ResetFrameDoubleBuffer();
        EnableLog();
        environment.deviceArrivals = &arrivals;
        StartedWindow::SetUp();
    }
    // The window ends while the notices it may still watch exist.
    void TearDown() override {
        harness.Stop();
        ResetFrameDoubleBuffer();
    }

    // The messages logged since the last call.
    std::vector<std::string> NewMessages() { return m_log.Since(Log()); }

    void LoseCamera(int error = ENODEV) {
        ASSERT_TRUE(media.EndStream(error));
        harness.Pump();
    }
    bool RetryArmed() { return Win().IsTimerArmed(TIMER_CAMERA_RETRY); }

    FakeDeviceArrivals arrivals;

private:
    LogCursor m_log;
};

struct LossRow {
    const char* name;
    int error;
    bool chinese;
    std::string logLine;
    std::string notice;
};

void PrintTo(const LossRow& row, std::ostream* out) {
    *out << row.name;
}

class LossTest : public CameraReturnTest, public ::testing::WithParamInterface<LossRow> {};

TEST_P(LossTest, ReleasesTheCameraAtOnceShowsTheStateAndWatches) {
    const LossRow& row = GetParam();
    Dlg().m_bChinese = row.chinese;
    NewMessages();
    LoseCamera(row.error);

    EXPECT_EQ(NewMessages(), std::vector<std::string>{row.logLine});
    EXPECT_TRUE(Dlg().m_bCameraLost);
    // Nothing of the camera is held: graph, grabber and the camera itself are gone.
    EXPECT_EQ(Dlg().m_pGraph, nullptr);
    EXPECT_EQ(Dlg().m_pCapture, nullptr);
    EXPECT_EQ(media.record.liveCaptureFilters, 0);
    EXPECT_EQ(media.record.liveGraphs, 0);
    EXPECT_EQ(Win().Preview().Notice(), row.notice);
    EXPECT_EQ(Win().DirtyBounds(), Rect{}) << "the picture area was repainted at once";
    EXPECT_EQ(arrivals.liveWatches, 1);
    EXPECT_TRUE(RetryArmed());
    EXPECT_EQ(Dlg().m_nResolution, 1);  // the choice is kept for the return
}

INSTANTIATE_TEST_SUITE_P(
    WaysToLose, LossTest,
    ::testing::Values(
        LossRow{"unplugged", ENODEV, false, kCameraDisconnectedLog, "Camera disconnected"},
        LossRow{"io_error_chinese", EIO, true,
                "Camera stream failed (errno 5): frame capture stopped", "網路攝影機已中斷連線"}),
    [](const ::testing::TestParamInfo<LossRow>& info) { return info.param.name; });

TEST_F(CameraReturnTest, WhileLostSnapshotMenuAndSettingsAreRefusedAndTheStripWorks) {
    AddPictures(3);
    std::vector<std::uint8_t> frame = Frame640();
    ASSERT_EQ(media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())),
              S_OK_RESULT);
    media.controls = {DeviceControl{}};
    LoseCamera();
    NewMessages();

    ClickButton(0);  // take a picture: the last frame is there, but the camera is not
    EXPECT_EQ(NewMessages(), std::vector<std::string>{"TakeSnapshot: the camera is disconnected"});
    EXPECT_EQ(Dlg().m_nThumbCount, 3);
    EXPECT_FALSE(std::filesystem::exists(FileOf(4)));

    ClickButton(2);
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    ClickButton(3);
    EXPECT_EQ(media.record.propertyFramesShown, 0);
    EXPECT_EQ(media.record.openedDevices, 1);  // nothing was opened for the refused commands

    // Selecting, deleting and opening go on.
    MoveAway();
    harness.Click(FrameCentre(1));
    EXPECT_EQ(SelectedIndexes(), std::vector<int>{1});
    harness.LButtonDblClk(FrameCentre(1));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], FileOf(2));
    harness.Advance(10);  // the strip is drawn, and with it the delete button enabled
    harness.MessageBoxes().QueueAnswer(IDYES);
    ClickButton(1);
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 3}));
}

TEST_F(CameraReturnTest, TheRetryLooksQuietlyUntilTheCameraIsBackAtTheChosenResolution) {
    Dlg().ReleaseStillGraph();
    Dlg().m_nResolution = 0;
    ASSERT_EQ(Dlg().InitStillGraph(), S_OK_RESULT);
    const std::vector<FakeDevice> camera = media.devices;
    LoseCamera();
    media.devices = {FakeMediaFramework::OtherDevice("046d")};
    NewMessages();
    const int opened = media.record.openedDevices;

    harness.Advance(3000);  // three looks, nothing there
    EXPECT_TRUE(NewMessages().empty()) << "a camera that stays away must not fill the log";
    EXPECT_TRUE(Dlg().m_bCameraLost);
    EXPECT_EQ(media.record.openedDevices, opened);

    media.devices = camera;
    const int runsBefore = media.record.runs;
    harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(Dlg().m_bCameraLost);
    EXPECT_EQ(media.record.runs, runsBefore + 1);
    EXPECT_EQ(media.record.formatRequests.back(), std::make_pair(320, 240));
    EXPECT_EQ(Dlg().m_nResolution, 0);
    EXPECT_EQ(NewMessages().back(), "Camera found again: frame capture resumed at 320 x 240");
    EXPECT_TRUE(Win().Preview().Notice().empty());
    EXPECT_FALSE(RetryArmed());
    EXPECT_EQ(arrivals.liveWatches, 0);
}

TEST_F(CameraReturnTest, ANoticeOfAnAddedDeviceBringsTheCameraBackAtOnce) {
    LoseCamera();
    media.devices.clear();
    EXPECT_TRUE(arrivals.Announce());  // some other device: the camera stays lost
    EXPECT_TRUE(Dlg().m_bCameraLost);
    EXPECT_TRUE(RetryArmed());

    media.devices = {FakeMediaFramework::MakerDevice()};
    EXPECT_TRUE(arrivals.Announce());
    EXPECT_FALSE(Dlg().m_bCameraLost);
    EXPECT_TRUE(media.Running());
    EXPECT_FALSE(arrivals.Announce()) << "the watch ends with the return";
    // The camera can be lost and found again any number of times.
    LoseCamera();
    EXPECT_TRUE(arrivals.Announce());
    EXPECT_TRUE(media.Running());
    EXPECT_EQ(arrivals.watchesMade, 2);
}

struct ReturnSizeRow {
    const char* name;
    bool highResAccepted;
    int resolutionAfter;
    bool refusedAfter;
    std::vector<std::pair<int, int>> requests;
};

void PrintTo(const ReturnSizeRow& row, std::ostream* out) {
    *out << row.name;
}

class ReturnSizeTest : public CameraReturnTest,
                       public ::testing::WithParamInterface<ReturnSizeRow> {};

// After the start-up probe a request for 1280 x 1024 is no probe: kept when accepted, else the
// fallback to 640 x 480 with the refusal remembered, as for any later build.
TEST_P(ReturnSizeTest, ACameraBackAtHighResolutionKeepsItOrFallsBack) {
    const ReturnSizeRow& row = GetParam();
    Dlg().ReleaseStillGraph();
    Dlg().m_nResolution = 2;
    ASSERT_EQ(Dlg().InitStillGraph(), S_OK_RESULT);
    ASSERT_EQ(Dlg().m_nResolution, 2);
    LoseCamera();
    if (!row.highResAccepted) {
        media.acceptedSizes.erase({1280, 1024});
    }
    media.record.formatRequests.clear();
    harness.Advance(kCameraRetryPeriodMs);
    ASSERT_FALSE(Dlg().m_bCameraLost);
    EXPECT_EQ(Dlg().m_nResolution, row.resolutionAfter);
    EXPECT_EQ(Dlg().m_bHighResRefused, row.refusedAfter);
    EXPECT_EQ(media.record.formatRequests, row.requests);
    EXPECT_TRUE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON)) << "the label follows";
}

INSTANTIATE_TEST_SUITE_P(
    HighResolution, ReturnSizeTest,
    ::testing::Values(ReturnSizeRow{"accepted", true, 2, false, {{1280, 1024}}},
                      ReturnSizeRow{"refused", false, 1, true, {{1280, 1024}, {640, 480}}}),
    [](const ::testing::TestParamInfo<ReturnSizeRow>& info) { return info.param.name; });

TEST_F(CameraReturnTest, ACameraThatIsBackButWillNotRunStaysLostAndIsTriedAgain) {
    LoseCamera();
    media.failingSteps = {FakeStep::Run};
    NewMessages();
    harness.Advance(kCameraRetryPeriodMs);
    EXPECT_TRUE(Dlg().m_bCameraLost);
    EXPECT_EQ(NewMessages(), std::vector<std::string>{"Could not run graph - 1"});
    EXPECT_EQ(media.record.liveCaptureFilters, 0) << "a failed return keeps nothing open";
    EXPECT_TRUE(RetryArmed());
    EXPECT_FALSE(Win().Preview().Notice().empty());

    media.failingSteps.clear();
    harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(Dlg().m_bCameraLost);
}

TEST_F(CameraReturnTest, TheOpenSettingsOfALostCameraAreClosed) {
    media.controls = {DeviceControl{}};
    const WindowRef settings = harness.Windows().AddWindow("Video Capture Properties");
    media.onPropertyFrame = [&](const PropertyFrameRequest&, PropertyPages&) {
        ASSERT_TRUE(media.EndStream(ENODEV));  // arrives while the settings are open
    };
    Dlg().ShowDeviceProperties();
    EXPECT_EQ(harness.Windows().Closed(), std::vector<WindowRef>{settings});
    EXPECT_TRUE(Dlg().m_bCameraLost);
    EXPECT_EQ(Dlg().m_pSpecifyPages, nullptr);
}

TEST_F(CameraReturnTest, ASleepWhileLostEndsTheWindowAndTheWatch) {
    LoseCamera();
    power.EmitSleep(true);
    EXPECT_TRUE(Dlg().IsEnded());
    EXPECT_EQ(Dlg().Result(), 4);
    harness.Stop();
    EXPECT_EQ(arrivals.liveWatches, 0);
    EXPECT_FALSE(arrivals.Announce());
}

TEST_F(CameraReturnTest, ClosingWhileLostLeavesNothingToLookForTheCamera) {
    LoseCamera();
    harness.Stop();
    EXPECT_EQ(arrivals.liveWatches, 0);
    EXPECT_EQ(media.record.liveCaptureFilters, 0);
    // The retry timer went with the window: no time brings the camera back into a closed window.
    harness.Advance(5 * kCameraRetryPeriodMs);
    EXPECT_EQ(media.record.liveGraphs, 0);
}

TEST_F(CameraReturnTest, WithoutDeviceNoticesTheRetryAloneBringsTheCameraBack) {
    harness.Stop();
    arrivals.offersNotices = false;
    ASSERT_TRUE(Start());
    LoseCamera();
    EXPECT_EQ(arrivals.liveWatches, 0);
    harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(Dlg().m_bCameraLost);
}

// A device the user named with --device: used whatever its vendor, looked for by its node.
struct ChosenRow {
    const char* name;
    std::string chosen;
    bool started;
    std::string message;  // the message box, if any
};

void PrintTo(const ChosenRow& row, std::ostream* out) {
    *out << row.name;
}

class ChosenDeviceTest : public ::testing::TestWithParam<ChosenRow> {};

TEST_P(ChosenDeviceTest, TheNamedNodeIsUsedOrTheCameraIsNotFound) {
    const ChosenRow& row = GetParam();
    CaptureFixture fixture;
    FakeDevice other = FakeMediaFramework::OtherDevice("046d");
    other.node = "/dev/video4";
    FakeDevice unreadable = FakeMediaFramework::OtherDevice("046d");
    unreadable.node = "/dev/video6";
    unreadable.storageFails = true;
    fixture.media.devices = {FakeMediaFramework::MakerDevice(), other, unreadable};
    fixture.environment.captureDevice = row.chosen;
    EXPECT_EQ(fixture.Start(), row.started);
    const std::vector<std::string> log = fixture.NewMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "GetDefaultCapDevice " + row.chosen);
    const auto& shown = fixture.harness.MessageBoxes().Shown();
    if (row.message.empty()) {
        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(fixture.media.record.openedDevices, 1);
    } else {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, row.message);
        EXPECT_EQ(fixture.media.record.openedDevices, 0) << "the maker's camera is not used";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, ChosenDeviceTest,
    ::testing::Values(ChosenRow{"another_makers_camera", "/dev/video4", true, ""},
                      ChosenRow{"no_such_node", "/dev/video9", false, "Camera not found!"},
                      ChosenRow{"unreadable_node", "/dev/video6", false, "Camera not found!"}),
    [](const ::testing::TestParamInfo<ChosenRow>& info) { return info.param.name; });

TEST(ChosenDeviceReturnTest, ALostChosenDeviceIsLookedForAtItsNodeOnly) {
    CaptureFixture fixture;
    FakeDevice chosen = FakeMediaFramework::OtherDevice("046d");
    chosen.node = "/dev/video4";
    fixture.media.devices = {chosen};
    fixture.environment.captureDevice = "/dev/video4";
    ASSERT_TRUE(fixture.Start());
    ASSERT_TRUE(fixture.media.EndStream(ENODEV));
    // The maker's camera appears, but the chosen node stays away.
    fixture.media.devices = {FakeMediaFramework::MakerDevice()};
    fixture.harness.Advance(kCameraRetryPeriodMs);
    EXPECT_TRUE(fixture.dialog->m_bCameraLost);
    fixture.media.devices = {chosen};
    fixture.harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(fixture.dialog->m_bCameraLost);
}

}  // namespace
