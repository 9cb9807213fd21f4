#include <gtest/gtest.h>

#include "app/user_messages.h"
#include "capture/frame_double_buffer.h"
#include "pictures/thumbnail_pool.h"
#include "platform/control.h"
#include "platform/dialog_window.h"
#include "support/webcam_fixture.h"

namespace {

// A capture system whose graph cannot be made on the first try only, as a camera that is still
// being released by another program.
class BusyOnceMediaFramework : public FakeMediaFramework {
public:
    std::unique_ptr<MediaGraph> CreateFilterGraph() override {
        if (m_graphsAsked++ == 0) {
            return nullptr;
        }
        return FakeMediaFramework::CreateFilterGraph();
    }

private:
    int m_graphsAsked = 0;
};

class DialogStartTest : public ::testing::Test, public WebcamFixture {};

TEST_F(DialogStartTest, LaysOutFramesStripAndButtons) {
    ASSERT_TRUE(Start());
    CWebcamDlg& dlg = *dialog;
    for (int i = 0; i < 6; ++i) {
        const int left = 8 + 106 * i;
        EXPECT_EQ(dlg.m_rcThumbFrame[i], (Rect{left, 519, left + 90, 519 + 70})) << i;
    }
    EXPECT_EQ(dlg.m_rcStrip, (Rect{6, 517, 630, 591}));
    const int buttonLeft[4] = {0, 47, 93, 185};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dlg.m_rcButton[i].left, buttonLeft[i]) << i;
        EXPECT_EQ(dlg.m_rcButton[i].top, 483) << i;
        EXPECT_EQ(dlg.m_hwndButton[i], dlg.Window().GetDlgItem(1007 + i)) << i;
    }
    EXPECT_EQ(dlg.m_bmiThumb.bmiHeader.biSize, 40u);
    EXPECT_EQ(dlg.m_bmiThumb.bmiHeader.biWidth, 80);
    EXPECT_EQ(dlg.m_bmiThumb.bmiHeader.biHeight, 60);
    EXPECT_EQ(dlg.m_bmiThumb.bmiHeader.biBitCount, 24);
    EXPECT_EQ(dlg.m_bmiThumb.bmiHeader.biSizeImage, 14400u);
}

TEST_F(DialogStartTest, SuccessfulStartLeavesTheRecordReadyAndArmsTheSweep) {
    ASSERT_TRUE(Start());
    CWebcamDlg& dlg = *dialog;
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(dlg.m_nHoverButton, -1);
    EXPECT_EQ(dlg.m_nAnchorThumb, -1);
    EXPECT_EQ(dlg.m_nClickedThumb, 0);
    EXPECT_FALSE(dlg.m_bChinese);
    EXPECT_EQ(dlg.m_nResolution, 1);  // the start-up probe ends at 640 x 480
    for (int b = 0; b < 5; ++b) {
        EXPECT_TRUE(dlg.m_hbmButton[b][0] && dlg.m_hbmButton[b][1]) << b;
    }
    for (int i : {0, 9999}) {
        EXPECT_NE(dlg.m_thumbs[i].pPixels, nullptr);
        EXPECT_EQ(dlg.m_thumbs[i].nNumber, 0);
    }
    EXPECT_EQ(harness.Clock().Period(TIMER_SWEEP), 3000);
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
    EXPECT_EQ(dlg.Window().GetDlgItem(1013)->Text(), "");
    ASSERT_NE(dlg.m_hIcon, nullptr);  // drawn when the window is minimised
    EXPECT_EQ(dlg.m_hIcon->Width(), 48);
}

TEST_F(DialogStartTest, NoCameraOfTheMakerIsReportedOnceAndEndsTheDialog) {
    media.devices = {FakeMediaFramework::OtherDevice("046d")};
    EnableLog();
    EXPECT_FALSE(Start());
    CWebcamDlg& dlg = *dialog;
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_EQ(dlg.m_nResolution, 3);
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, "Camera not found!");
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].style, MB_ICONEXCLAMATION);
    EXPECT_FALSE(harness.Clock().IsArmed(TIMER_SWEEP));
    const std::string log = Log();
    EXPECT_NE(log.find("錯誤訊息:InitStillGraph  Error\n"), std::string::npos);
    EXPECT_EQ(log.find("Try again"), std::string::npos);  // no retry for a missing camera
}

TEST_F(DialogStartTest, MissingCameraIsReportedInChineseOnATaiwanLocale) {
    media.devices.clear();
    variables["LANG"] = "zh_TW.UTF-8";
    EXPECT_FALSE(Start());
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, "找不到網路攝影機!");
}

TEST_F(DialogStartTest, CameraThatFailsTwiceIsBusyEvenWhenTheRetryFindsNoCamera) {
    media.failingSteps = {FakeStep::Run};
    variables["LANG"] = "zh_TW.UTF-8";
    EnableLog();
    EXPECT_FALSE(Start());
    CWebcamDlg& dlg = *dialog;
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_EQ(dlg.m_nResolution, 3);
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, "網路攝影機忙碌!");
    const std::string log = Log();
    const auto error = log.find("InitStillGraph  Error");
    const auto retry = log.find("Try again");
    ASSERT_NE(error, std::string::npos);
    ASSERT_NE(retry, std::string::npos);
    EXPECT_LT(error, retry);
    EXPECT_EQ(log.find("InitStillGraph  Error", error + 1), std::string::npos);
}

TEST(DialogStartRetry, RetryThatSucceedsShowsNothingAndStartsTheSweep) {
    WebcamFixture fixture;
    BusyOnceMediaFramework busy;
    busy.devices = {FakeMediaFramework::MakerDevice()};
    // The environment holds the capture system by reference: build a dialog on the busy one.
    WebcamEnvironment busyEnvironment{
        .platform = fixture.harness.Services(),
        .media = busy,
        .power = fixture.power,
        .shell = fixture.shell,
        .getenv = fixture.environment.getenv,
        .picturesDirOverride = fixture.environment.picturesDirOverride,
        .allocatePool = nullptr};
    fixture.EnableLog();
    CWebcamDlg dlg(busyEnvironment);
    EXPECT_TRUE(fixture.harness.Start(dlg));
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_TRUE(fixture.harness.MessageBoxes().Shown().empty());
    EXPECT_TRUE(fixture.harness.Clock().IsArmed(TIMER_SWEEP));
    const std::string log = fixture.Log();
    EXPECT_NE(log.find("Could not create filter graph"), std::string::npos);
    EXPECT_NE(log.find("InitStillGraph  Error"), std::string::npos);
    EXPECT_NE(log.find("Try again"), std::string::npos);
    fixture.harness.Stop();
}

TEST_F(DialogStartTest, PoolThatCannotBeHadLeavesTheWindowOpenWithoutCamera) {
    environment.allocatePool = [] { return std::unique_ptr<ThumbnailPool>(); };
    EnableLog();
    EXPECT_FALSE(Start());
    CWebcamDlg& dlg = *dialog;
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(media.record.runs, 0);
    EXPECT_FALSE(dlg.m_hbmButton[0][0]);
    EXPECT_FALSE(harness.Clock().IsArmed(TIMER_SWEEP));
    EXPECT_NE(Log().find("錯誤訊息: new 14400 NULL\n"), std::string::npos);
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
    // A coming sleep still ends the window, though its camera never started.
    power.EmitSleep(true);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), 4);
}

// A dialog whose window was never destroyed (its OnDestroy never ran) still lets go of the
// camera, the frame callback and the sleep watch when it goes.
TEST_F(DialogStartTest, DialogGoneWithoutItsWindowsEndLeavesNothingPointingAtIt) {
    {
        CWebcamDlg dlg(environment);
        ASSERT_TRUE(dlg.CreateAndInitialise());
        ASSERT_NE(g_frameGrabberCallback.m_pDialog.load(), nullptr);
        ASSERT_EQ(power.liveWatches, 1);
    }
    EXPECT_EQ(g_frameGrabberCallback.m_pDialog.load(), nullptr);
    EXPECT_EQ(power.liveWatches, 0);
    EXPECT_EQ(media.record.liveGraphs, 0);
    EXPECT_FALSE(media.Running());
}

TEST_F(DialogStartTest, EscapeAndEnterDoNothing) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(harness.Key(VK_ESCAPE));
    EXPECT_TRUE(harness.Key(VK_RETURN));
    EXPECT_FALSE(dialog->IsEnded());
    EXPECT_FALSE(dialog->PreTranslateMessage(KeyMessage{WM_KEYDOWN, 'A'}));
}

}  // namespace
