// The emulated camera falling silent under the whole window on the real V4L2 code: the stream's
// watch finds the silence, the report reaches the window's thread, the restarts work on the
// device itself (stopping, starting and reopening it, holding one descriptor and one set of
// buffers throughout), and the live picture and pictures come back with the frames; an unplug
// while hung is a loss.

#include <gtest/gtest.h>

#include "capture/camera_return.h"
#include "capture/camera_watch.h"
#include "capture/stream_end.h"
#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "v4l2_window_fixture.h"

namespace {

using namespace std::chrono_literals;

// The window on an emulated camera whose watch clock the test moves.
class SilentCameraWindow {
public:
    SilentCameraWindow() : io(MakeCamera()), window(Options(io)) {}

    static std::shared_ptr<VirtualCameraIo> MakeCamera() {
        VirtualCameraOptions options;
        options.manualClock = true;
        return std::make_shared<VirtualCameraIo>(options);
    }
    static CaptureOptions Options(const std::shared_ptr<VirtualCameraIo>& camera) {
        CaptureOptions options = V4l2WindowFixture::VirtualOnly();
        options.virtualDevice = camera;
        return options;
    }

    CWebcamDlg& Dialog() { return *window.dialog; }
    bool Start() { return window.harness.Start(Dialog()); }
    bool WaitForNewFrame() {
        const std::uint64_t before = io->FramesDelivered();
        return WaitUntil([&] {
            return io->FramesDelivered() > before + 1 &&
                   g_frameDoubleBuffer.m_pLatest.load() != nullptr;
        });
    }
    // Moves the watch's clock on until the window has heard of the silence.
    bool WaitUntilHung() {
        return WaitUntilProcessingEvents([&] {
            if (!Dialog().m_bCameraHung) {
                io->MoveClockOn(250ms);
            }
            return Dialog().m_bCameraHung;
        });
    }
    int Pictures() {
        return static_cast<int>(std::distance(
            std::filesystem::directory_iterator(window.environment.picturesDirOverride.value()),
            std::filesystem::directory_iterator()));
    }

    std::shared_ptr<VirtualCameraIo> io;
    V4l2WindowFixture window;
};

TEST(V4l2HungCameraTest, AStalledCameraIsRestartedOnItsDeviceAndItsPictureComesBack) {
    SilentCameraWindow camera;
    ASSERT_TRUE(camera.Start());
    CWebcamDlg& dialog = camera.Dialog();
    ASSERT_TRUE(camera.WaitForNewFrame());
    const int mappings = camera.io->OpenMappings();
    ASSERT_GT(mappings, 0);

    camera.io->SetFaults({.stall = true});
    ASSERT_TRUE(camera.WaitUntilHung());
    camera.window.harness.Pump();
    EXPECT_EQ(dialog.Window().Preview().Notice(), "Camera not responding");
    EXPECT_TRUE(camera.window.LogHas("Camera not responding: no frame for 2000 ms"));
    dialog.TakeSnapshot();
    EXPECT_EQ(camera.Pictures(), 0);

    // A stall survives a restart of the stream and a reopening of the device, as it does in a
    // camera whose firmware hangs; each restart holds the device once.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        camera.window.harness.Advance(kCameraRestartPeriodMs);
        EXPECT_TRUE(dialog.m_bCameraHung);
        EXPECT_EQ(camera.io->OpenDescriptors(), 1) << "attempt " << attempt;
        EXPECT_EQ(camera.io->OpenMappings(), mappings) << "attempt " << attempt;
    }

    camera.io->SetFaults({});
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return !dialog.m_bCameraHung; }));
    camera.window.harness.Pump();
    EXPECT_TRUE(dialog.Window().Preview().Notice().empty());
    EXPECT_TRUE(camera.window.LogHas("Camera responding again: frame capture resumed"));
    ASSERT_TRUE(camera.WaitForNewFrame());
    dialog.TakeSnapshot();
    EXPECT_EQ(camera.Pictures(), 1);
}

TEST(V4l2HungCameraTest, AnUnplugWhileHungIsALoss) {
    SilentCameraWindow camera;
    ASSERT_TRUE(camera.Start());
    ASSERT_TRUE(camera.WaitForNewFrame());
    camera.io->SetFaults({.stall = true});
    ASSERT_TRUE(camera.WaitUntilHung());
    camera.io->Unplug();
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return camera.Dialog().m_bCameraLost; }));
    EXPECT_FALSE(camera.Dialog().m_bCameraHung);
    EXPECT_FALSE(camera.Dialog().Window().IsTimerArmed(TIMER_CAMERA_RESTART));
    EXPECT_EQ(camera.Dialog().Window().Preview().Notice(), "Camera disconnected");
}

}  // namespace
