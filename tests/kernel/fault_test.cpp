// The faults a real driver can produce, pressed on vivid's own fault buttons: each one ends with
// a log line, a window that goes on working and a clean close, never a crash or a hang.

#include <gtest/gtest.h>

#include "capture/camera_return.h"
#include "capture/stream_end.h"
#include "support/doubles/headless_harness.h"
#include "vivid_support.h"

namespace vivid {
namespace {

using FaultTest = VividTest;

bool LogHasPrefix(const Window& window, const std::string& prefix) {
    const std::vector<std::string> log = window.Log();
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// A camera that fails to start fails the build at its last step, Run: the graph and the
// grabber go, the camera stays with the dialog until ReleaseStillGraph. The fault is one-shot,
// so the callers' release-and-rebuild brings the picture back.
class StartFaultTest : public VividTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StartFaultTest, BuildFailsAtRunWithItsLogLineAndReleaseRule) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    dialog.ReleaseStillGraph();
    const ResourceLeakCheck check;
    SideDoor door;
    ASSERT_EQ(door.Press(GetParam()), 0);

    EXPECT_EQ(dialog.InitStillGraph(), E_FAIL_RESULT);
    ASSERT_FALSE(window.Log().empty());
    EXPECT_EQ(window.Log().back(), "Could not run graph - 1");
    EXPECT_EQ(dialog.m_pGraph, nullptr);
    EXPECT_EQ(dialog.m_pGrabber, nullptr);
    EXPECT_NE(dialog.m_pCapture, nullptr);

    dialog.ReleaseStillGraph();
    door.Close();
    EXPECT_TRUE(check.NothingLeftBehind());

    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
    window.harness.Pump();
    window.Close();
    EXPECT_EQ(dialog.m_pCapture, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Vivid, StartFaultTest,
                         ::testing::Values("inject_vidioc_reqbufs_error",
                                           "inject_vidioc_qbuf_error",
                                           "inject_vidioc_streamon_error"));

TEST_F(FaultTest, StartFaultAtWindowStartIsRetriedOnce) {
    Window window;
    SideDoor door;
    ASSERT_EQ(door.Press("inject_vidioc_streamon_error"), 0);
    ASSERT_TRUE(window.Start());
    const std::vector<std::string> log = window.Log();
    const auto at = [&](const char* message) {
        return std::find(log.begin(), log.end(), message) - log.begin();
    };
    ASSERT_LT(at("Try again"), static_cast<std::ptrdiff_t>(log.size()));
    EXPECT_LT(at("Could not run graph - 1"), at("InitStillGraph  Error"));
    EXPECT_LT(at("InitStillGraph  Error"), at("Try again"));
    EXPECT_TRUE(window.harness.MessageBoxes().Shown().empty());
    EXPECT_EQ(window.dialog->m_nResolution, 1);
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
}

TEST_F(FaultTest, CameraTakenByAnotherProgramIsBusyAfterOneRetry) {
    SideDoor other;
    ASSERT_EQ(other.ClaimStream(), 0);
    {
        Window window;
        EXPECT_FALSE(window.Start());
        const std::vector<std::string> log = window.Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "Could not run graph - 1"), 2);
        EXPECT_TRUE(window.LogHas("Try again"));
        ASSERT_EQ(window.harness.MessageBoxes().Shown().size(), 1u);
        EXPECT_EQ(window.harness.MessageBoxes().Shown()[0].text, "Camera is busy!");
        EXPECT_EQ(window.dialog->m_nResolution, 3);
    }
    // Once the other program lets go, the camera starts.
    other.Close();
    Window window;
    ASSERT_TRUE(window.Start());
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
}

TEST_F(FaultTest, FatalStreamingErrorLosesTheCameraUntilTheNextLook) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    SideDoor door;
    ASSERT_EQ(door.Press("inject_fatal_streaming_error"), 0);
    ASSERT_TRUE(WaitUntilProcessingEvents(
        [&] { return LogHasPrefix(window, "Camera stream failed"); }, kFrameWait));
    EXPECT_TRUE(dialog.m_bCameraLost);

    // The last frame of a stream that failed is not taken.
    window.harness.Pump();
    dialog.TakeSnapshot();
    EXPECT_TRUE(window.Pictures().empty());
    EXPECT_TRUE(window.LogHas("TakeSnapshot: the camera is disconnected"));
    // The device is still there: the next look starts it again.
    window.harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(dialog.m_bCameraLost);
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
    ASSERT_TRUE(door.Press("inject_fatal_streaming_error") == 0);
    ASSERT_TRUE(WaitUntilProcessingEvents(
        [&] {
            const std::vector<std::string> log = window.Log();
            return std::count_if(log.begin(), log.end(), [](const std::string& line) {
                       return line.rfind("Camera stream failed", 0) == 0;
                   }) == 2;
        },
        kFrameWait));
    window.Close();  // while lost
    EXPECT_EQ(dialog.m_pGraph, nullptr);
}

// What the process holds of vivid's capture node.
ProcessResources HeldOfNode() {
    return CountProcessResources(kNode);
}

TEST_F(FaultTest, DisconnectLetsTheNodeGoAtOnceAndTheCameraReturnsWhenVividIsBack) {
    {
        Window window;
        ASSERT_TRUE(window.Start());
        CWebcamDlg& dialog = *window.dialog;
        ASSERT_TRUE(WaitForFrame(kBytes640x480));
        // The side door stays open: vivid comes back only when its last user has closed it.
        SideDoor door;
        ASSERT_EQ(door.Press("disconnect"), 0);
        ASSERT_TRUE(WaitUntilProcessingEvents([&] { return window.LogHas(kCameraDisconnectedLog); },
                                              kFrameWait));
        // Only the side door is left: the capture closed its descriptor and mappings.
        EXPECT_EQ(HeldOfNode().descriptors, 1u);
        EXPECT_EQ(HeldOfNode().mappings, 0u);

        window.harness.Pump();
        dialog.TakeSnapshot();
        EXPECT_TRUE(window.Pictures().empty());
        // The settings of a camera that is gone cannot be shown; nothing opens.
        EXPECT_FALSE(WithOpenSettings(dialog, [](QDialog&) {}));
        EXPECT_EQ(dialog.m_pSpecifyPages, nullptr);

        // The node cannot be opened while disconnected: the looks find nothing, quietly.
        const std::size_t logged = window.Log().size();
        window.harness.Advance(3 * kCameraRetryPeriodMs);
        EXPECT_TRUE(dialog.m_bCameraLost);
        EXPECT_EQ(window.Log().size(), logged);

        // Its last user gone, vivid plugs the node back in, and the next look finds it.
        door.Close();
        ASSERT_TRUE(WaitUntil([] { return !WhyNoVivid().has_value(); }, std::chrono::seconds(5)));
        window.harness.Advance(kCameraRetryPeriodMs);
        EXPECT_FALSE(dialog.m_bCameraLost);
        EXPECT_TRUE(window.LogHas("Camera found again: frame capture resumed at 640 x 480"));
        EXPECT_TRUE(WaitForFrame(kBytes640x480));
        window.Close();
        EXPECT_EQ(dialog.m_pCapture, nullptr);
    }
    EXPECT_EQ(HeldOfNode().descriptors, 0u);
}

}  // namespace
}  // namespace vivid
