// A camera whose stream stays open but sends nothing, on the capture double: the window says so
// over the darkened picture, refuses a picture, restarts the stream every second without a word
// in the log (stop and start, then reopening the device as well), and shows the live picture
// again when frames come; a camera that has gone meanwhile is lost. No picture is ever taken
// from a frame of an earlier run or from before the silence. The stream's own watch is tested
// against the emulated camera (misbehaving_camera_test.cpp, v4l2_hung_camera_test.cpp).

#include <gtest/gtest.h>

#include <cerrno>

#include "capture/camera_return.h"
#include "capture/camera_watch.h"
#include "capture/stream_end.h"
#include "capture_test_support.h"
#include "support/doubles/fake_device_arrivals.h"
#include "ui/ui_fixture.h"

namespace {

class HungCameraTest : public ui_test::StartedWindow {
protected:
    void SetUp() override {
        ResetFrameDoubleBuffer();
        EnableLog();
        environment.deviceArrivals = &arrivals;
        StartedWindow::SetUp();
        NewMessages();
    }
    void TearDown() override {
        harness.Stop();
        ResetFrameDoubleBuffer();
    }

    std::vector<std::string> NewMessages() { return m_log.Since(Log()); }
    void Deliver() {
        ASSERT_EQ(media.DeliverFrame(m_frame.data(), static_cast<std::int32_t>(m_frame.size())),
                  S_OK_RESULT);
    }
    void Report(StreamActivity activity) {
        ASSERT_TRUE(media.ReportActivity(activity));
        harness.Pump();
    }
    bool RestartArmed() { return Win().IsTimerArmed(TIMER_CAMERA_RESTART); }
    int PicturesTaken() {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(PicturesDir()),
                                              std::filesystem::directory_iterator()));
    }

    FakeDeviceArrivals arrivals;

private:
    LogCursor m_log;
    std::vector<std::uint8_t> m_frame = std::vector<std::uint8_t>(640 * 480 * 2, 0x80);
};

class HungNoticeTest : public HungCameraTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HungNoticeTest, TheWindowSaysSoRefusesAPictureAndRestartsQuietlyUntilFramesCome) {
    const bool chinese = GetParam();
    Dlg().m_bChinese = chinese;
    Deliver();
    Report(StreamActivity::Silent);
    EXPECT_TRUE(Dlg().m_bCameraHung);
    EXPECT_EQ(Win().Preview().Notice(), chinese ? "網路攝影機沒有回應" : "Camera not responding");
    EXPECT_EQ(Win().DirtyBounds(), Rect{}) << "the picture area was repainted at once";
    EXPECT_EQ(NewMessages(),
              std::vector<std::string>{"Camera not responding: no frame for 2000 ms"});
    EXPECT_EQ(harness.Clock().Period(TIMER_CAMERA_RESTART), kCameraRestartPeriodMs);

    ClickButton(0);  // the frame before the silence is there, but is no picture of the present
    EXPECT_EQ(NewMessages(),
              std::vector<std::string>{"TakeSnapshot: the camera is not responding"});
    EXPECT_EQ(PicturesTaken(), 0);

    // Stop and start, then stop, reopen and start, and so on, a second apart; nothing logged.
    const FakeMediaRecord before = media.record;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        harness.Advance(kCameraRestartPeriodMs);
        EXPECT_EQ(media.record.stops, before.stops + attempt);
        EXPECT_EQ(media.record.runs, before.runs + attempt);
        EXPECT_EQ(media.record.reopens, before.reopens + attempt / 2);
        EXPECT_TRUE(RestartArmed());
    }
    EXPECT_TRUE(NewMessages().empty()) << "the restarts must not fill the log";
    EXPECT_EQ(media.record.liveCaptureFilters, 1) << "the same camera, not another one";
    EXPECT_FALSE(Win().Preview().Notice().empty());

    Report(StreamActivity::Flowing);
    EXPECT_FALSE(Dlg().m_bCameraHung);
    EXPECT_TRUE(Win().Preview().Notice().empty());
    EXPECT_FALSE(RestartArmed());
    EXPECT_EQ(NewMessages(),
              std::vector<std::string>{"Camera responding again: frame capture resumed"});
    harness.Advance(3 * kCameraRestartPeriodMs);
    EXPECT_EQ(media.record.stops, before.stops + 3) << "no restart once frames come";

    // The frame from before the silence was forgotten: only a new one makes a picture.
    ClickButton(0);
    EXPECT_EQ(PicturesTaken(), 0);
    EXPECT_TRUE(NewMessages().empty());
    Deliver();
    ClickButton(0);
    EXPECT_EQ(PicturesTaken(), 1);
}

INSTANTIATE_TEST_SUITE_P(Languages, HungNoticeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "chinese" : "english";
                         });

// The silence the window waits for: two seconds, or three frame intervals of a slower camera.
struct LimitRow {
    const char* name;
    std::int64_t timePerFrame;  // 100 ns units
    int limitMs;
};

void PrintTo(const LimitRow& row, std::ostream* out) {
    *out << row.name;
}

class SilenceLimitTest : public HungCameraTest, public ::testing::WithParamInterface<LimitRow> {};

TEST_P(SilenceLimitTest, TheGraphWatchesForTwoSecondsOrThreeFrames) {
    const LimitRow& row = GetParam();
    Dlg().ReleaseStillGraph();
    media.connectedTimePerFrame = row.timePerFrame;
    ASSERT_EQ(Dlg().InitStillGraph(), S_OK_RESULT);
    EXPECT_EQ(media.record.silenceLimitMs, row.limitMs);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SilenceLimitTest,
    ::testing::Values(LimitRow{"not_stated", 0, 2000}, LimitRow{"fps_30", 333'333, 2000},
                      LimitRow{"fps_2", 5'000'000, 2000}, LimitRow{"fps_1", 10'000'000, 3000},
                      LimitRow{"one_frame_in_4_s", 40'000'000, 12000}),
    [](const ::testing::TestParamInfo<LimitRow>& info) { return info.param.name; });

// A restart that finds the camera gone loses it, as its stream's end would have; one that fails
// otherwise is tried again.
struct RestartFailureRow {
    const char* name;
    FakeStep step;
    HResult result;
    int attempts;  // restarts until the camera counts as lost (0: never)
};

void PrintTo(const RestartFailureRow& row, std::ostream* out) {
    *out << row.name;
}

class RestartFailureTest : public HungCameraTest,
                           public ::testing::WithParamInterface<RestartFailureRow> {};

TEST_P(RestartFailureTest, AGoneCameraIsLostAndAnotherFailureIsTriedAgain) {
    const RestartFailureRow& row = GetParam();
    Report(StreamActivity::Silent);
    media.failingSteps = {row.step};
    media.failureResult = row.result;
    NewMessages();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        harness.Advance(kCameraRestartPeriodMs);
        const bool lost = row.attempts != 0 && attempt >= row.attempts;
        ASSERT_EQ(Dlg().m_bCameraLost, lost) << "attempt " << attempt;
        EXPECT_EQ(Dlg().m_bCameraHung, !lost);
        EXPECT_EQ(RestartArmed(), !lost);
        EXPECT_EQ(Win().IsTimerArmed(TIMER_CAMERA_RETRY), lost);
        if (lost) {
            EXPECT_EQ(NewMessages(), std::vector<std::string>{kCameraDisconnectedLog});
            EXPECT_EQ(Win().Preview().Notice(), "Camera disconnected");
            EXPECT_EQ(media.record.liveCaptureFilters, 0);
            return;
        }
    }
    media.failingSteps.clear();
    harness.Advance(kCameraRestartPeriodMs);
    Report(StreamActivity::Flowing);
    EXPECT_FALSE(Dlg().m_bCameraHung);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RestartFailureTest,
    ::testing::Values(
        RestartFailureRow{"start_finds_no_device", FakeStep::Run, HResultFromErrno(ENODEV), 1},
        RestartFailureRow{"reopen_finds_no_node", FakeStep::Reopen, HResultFromErrno(ENOENT), 2},
        RestartFailureRow{"start_fails_otherwise", FakeStep::Run, HResultFromErrno(EIO), 0},
        RestartFailureRow{"reopen_fails_otherwise", FakeStep::Reopen, HResultFromErrno(EBUSY), 0}),
    [](const ::testing::TestParamInfo<RestartFailureRow>& info) { return info.param.name; });

// Only a change is news: a second silence, frames that come while all is well, or a silence
// reported for a camera that is lost change nothing and log nothing.
TEST_F(HungCameraTest, RepeatedOrLateReportsChangeNothing) {
    Report(StreamActivity::Flowing);
    EXPECT_TRUE(NewMessages().empty());
    Report(StreamActivity::Silent);
    Report(StreamActivity::Silent);
    EXPECT_EQ(NewMessages().size(), 1u);
    const std::function<void(StreamActivity)> late = [this](StreamActivity activity) {
        Dlg().OnCameraActivity(activity);
    };
    ASSERT_TRUE(media.EndStream(ENODEV));
    harness.Pump();
    NewMessages();
    late(StreamActivity::Silent);
    late(StreamActivity::Flowing);
    EXPECT_TRUE(Dlg().m_bCameraLost);
    EXPECT_FALSE(Dlg().m_bCameraHung);
    EXPECT_EQ(Win().Preview().Notice(), "Camera disconnected");
    EXPECT_TRUE(NewMessages().empty());
}

// A graph built anew (another size, a camera back from a loss) never offers the last frame of
// the graph before it, even one of the same size.
TEST_F(HungCameraTest, AFrameOfAnEndedRunIsNeverTakenForAPictureOfTheNext) {
    Deliver();
    Dlg().ReleaseStillGraph();
    ASSERT_EQ(Dlg().InitStillGraph(), S_OK_RESULT);
    ClickButton(0);
    EXPECT_EQ(PicturesTaken(), 0);
    Deliver();
    ClickButton(0);
    EXPECT_EQ(PicturesTaken(), 1);
}

}  // namespace
