// The V4L2 code against the emulated camera: identity, formats, settings, streaming, a camera
// that vanishes, and the whole graph in the window.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "capture/stream_end.h"
#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/v4l2/v4l2_camera.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "support/doubles/headless_harness.h"
#include "v4l2_window_fixture.h"

namespace {

std::unique_ptr<V4l2Camera> OpenVirtual(std::shared_ptr<VirtualCameraIo> io) {
    int error = 0;
    auto camera = V4l2Camera::Open(std::move(io), kVirtualCameraNode, &error);
    EXPECT_EQ(error, 0);
    return camera;
}

double MeanLuma(const std::vector<std::uint8_t>& yuyv) {
    double sum = 0;
    for (std::size_t i = 0; i < yuyv.size(); i += 2) {
        sum += yuyv[i];
    }
    return sum / static_cast<double>(yuyv.size() / 2);
}

// Frames collected from the streaming thread.
struct FrameLog {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> frames;
    std::atomic<int> endError{0};
    std::atomic<bool> ended{false};

    FrameSink Sink() {
        return [this](const CameraFrame& frame) {
            std::lock_guard lock(mutex);
            frames.emplace_back(frame.data, frame.data + frame.bytesUsed);
        };
    }
    StreamEndSink EndSink() {
        return [this](int error) {
            endError.store(error);
            ended.store(true);
        };
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return frames.size();
    }
};

TEST(VirtualCameraTest, IdentifiesItselfAsAStreamingCaptureDevice) {
    auto io = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    auto camera = OpenVirtual(io);
    CameraIdentity identity;
    ASSERT_EQ(camera->QueryIdentity(&identity), 0);
    EXPECT_EQ(identity.card, "Lumisight Virtual Camera");
    EXPECT_TRUE(identity.capturesVideo);
    EXPECT_NE(VirtualCameraPathText().find(std::string("vid_") + LUMISIGHT_VENDOR_ID),
              std::string::npos);
    camera.reset();
    EXPECT_EQ(io->OpenDescriptors(), 0);
}

TEST(VirtualCameraTest, AdjustsFormatRequestsToTheNearestOfferedSize) {
    auto io = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    auto camera = OpenVirtual(io);
    CameraFormat granted;
    ASSERT_EQ(camera->SetFormat(1280, 1024, V4L2_PIX_FMT_YUYV, &granted), 0);
    EXPECT_EQ(granted.width, 1280u);
    EXPECT_EQ(granted.sizeImage, 1280u * 1024u * 2u);
    ASSERT_EQ(camera->SetFormat(800, 600, V4L2_PIX_FMT_MJPEG, &granted), 0);
    EXPECT_EQ(granted.width, 640u);
    EXPECT_EQ(granted.height, 480u);
    EXPECT_EQ(granted.pixelFormat, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));

    VirtualCameraOptions refusing;
    refusing.refuseHighRes = true;
    auto lowCamera = OpenVirtual(std::make_shared<VirtualCameraIo>(refusing));
    ASSERT_EQ(lowCamera->SetFormat(1280, 1024, V4L2_PIX_FMT_YUYV, &granted), 0);
    EXPECT_EQ(granted.width, 640u);
    EXPECT_EQ(granted.height, 480u);
}

TEST(VirtualCameraTest, OffersItsFourSettingsOrNoneWhenSwitchedOff) {
    auto camera = OpenVirtual(std::make_shared<VirtualCameraIo>(VirtualCameraOptions{}));
    const std::vector<DeviceControl> controls = camera->QueryControls();
    ASSERT_EQ(controls.size(), 4u);
    EXPECT_EQ(controls[0].name, "Brightness");
    EXPECT_EQ(controls[0].type, DeviceControlType::Integer);
    EXPECT_EQ(controls[0].defaultValue, 128);
    EXPECT_EQ(controls[2].type, DeviceControlType::Boolean);
    EXPECT_EQ(controls[3].type, DeviceControlType::Menu);
    EXPECT_EQ(controls[3].menuItems.size(), 3u);
    EXPECT_EQ(controls[3].menuItems[1].second, "50 Hz");

    std::int32_t value = 0;
    ASSERT_EQ(camera->SetControl(V4L2_CID_BRIGHTNESS, 300), 0);
    ASSERT_EQ(camera->GetControl(V4L2_CID_BRIGHTNESS, &value), 0);
    EXPECT_EQ(value, 255);  // clamped to the range, as drivers do
    EXPECT_LT(camera->SetControl(V4L2_CID_POWER_LINE_FREQUENCY, 7), 0);

    VirtualCameraOptions bare;
    bare.noControls = true;
    auto plain = OpenVirtual(std::make_shared<VirtualCameraIo>(bare));
    EXPECT_TRUE(plain->QueryControls().empty());
}

// What a camera of the emulated device must give back when it goes: its descriptors (which
// only the device counts) and its streaming thread. Its buffers are ordinary memory, not
// mappings.
ResourceLeakCheck EmulatedCameraCheck(const std::shared_ptr<VirtualCameraIo>& io) {
    ResourceLeakCheck check({.mappings = false});
    check.AlsoCount("emulated camera descriptors", [io] { return io->OpenDescriptors(); });
    return check;
}

TEST(VirtualCameraTest, StreamsWholeFramesUntilStopped) {
    auto io = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    const ResourceLeakCheck check = EmulatedCameraCheck(io);
    auto camera = OpenVirtual(io);
    FrameLog log;
    const ResourceLeakCheck streamingThread({.descriptors = false, .mappings = false});
    ASSERT_EQ(camera->StartStreaming({log.Sink(), log.EndSink()}), 0);
    EXPECT_EQ(camera->StartStreaming({log.Sink(), log.EndSink()}), -EBUSY);
    ASSERT_TRUE(WaitUntil([&] { return log.Count() >= 3; }));
    camera->StopStreaming();
    const std::size_t count = log.Count();
    // The thread that delivers the frames has ended, so nothing can come after the stop.
    EXPECT_TRUE(streamingThread.NothingLeftBehind());
    EXPECT_EQ(log.Count(), count);
    EXPECT_FALSE(log.ended.load());
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.frames[0].size(), 640u * 480u * 2u);
    EXPECT_NE(log.frames[0], log.frames[1]);
    // The device can stream again after a stop.
    camera.reset();
    EXPECT_TRUE(check.NothingLeftBehind());
}

TEST(VirtualCameraTest, SettingsChangeTheFramesLive) {
    auto camera = OpenVirtual(std::make_shared<VirtualCameraIo>(VirtualCameraOptions{}));
    FrameLog log;
    ASSERT_EQ(camera->SetControl(V4L2_CID_BRIGHTNESS, 20), 0);
    ASSERT_EQ(camera->StartStreaming({log.Sink(), log.EndSink()}), 0);
    ASSERT_TRUE(WaitUntil([&] { return log.Count() >= 1; }));
    ASSERT_EQ(camera->SetControl(V4L2_CID_BRIGHTNESS, 230), 0);
    const std::size_t before = log.Count();
    ASSERT_TRUE(WaitUntil([&] { return log.Count() >= before + 2; }));
    camera->StopStreaming();
    std::lock_guard lock(log.mutex);
    EXPECT_GT(MeanLuma(log.frames.back()), MeanLuma(log.frames.front()) + 100);
}

TEST(VirtualCameraTest, VanishingCameraEndsTheStreamWithNoDevice) {
    VirtualCameraOptions options;
    options.vanishAfterFrames = 3;
    auto io = std::make_shared<VirtualCameraIo>(options);
    const ResourceLeakCheck check = EmulatedCameraCheck(io);
    auto camera = OpenVirtual(io);
    FrameLog log;
    ASSERT_EQ(camera->StartStreaming({log.Sink(), log.EndSink()}), 0);
    ASSERT_TRUE(WaitUntil([&] { return log.ended.load(); }));
    EXPECT_EQ(log.endError.load(), -ENODEV);
    EXPECT_EQ(log.Count(), 3u);
    camera->StopStreaming();  // joins the ended thread; must not hang
    camera.reset();
    EXPECT_TRUE(check.NothingLeftBehind());
}

std::vector<Color> PixelRow(HeadlessHarness& harness, int y) {
    std::vector<Color> row;
    for (int x = 0; x < 640; x += 4) {
        row.push_back(harness.PixelAt(x, y));
    }
    return row;
}

TEST(V4l2WindowTest, StartsOnTheVirtualCameraAt640AfterTheProbeWithAMovingPicture) {
    V4l2WindowFixture fixture;
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    CWebcamDlg& dialog = *fixture.dialog;
    EXPECT_EQ(dialog.m_nResolution, 1);
    EXPECT_FALSE(dialog.m_bHighResRefused);
    EXPECT_TRUE(dialog.m_bAcceptFrames.load());
    ASSERT_TRUE(
        WaitUntil([] { return g_frameDoubleBuffer.m_nLatestLength.load() == 640 * 480 * 2; }));

    PreviewSurface& preview = dialog.Window().Preview();
    EXPECT_TRUE(preview.IsVisible());
    EXPECT_EQ(preview.Placement(), (Rect{0, 0, 640, 480}));
    fixture.harness.Pump();
    const std::vector<Color> before = PixelRow(fixture.harness, 20);
    EXPECT_TRUE(WaitUntil([&] {
        fixture.harness.Pump();
        return PixelRow(fixture.harness, 20) != before;
    })) << "the picture did not move";

    // Releasing the graph takes the picture away.
    dialog.ReleaseStillGraph();
    EXPECT_FALSE(preview.IsVisible());
}

TEST(V4l2WindowTest, CameraRefusingHighResolutionIsRemembered) {
    CaptureOptions options = V4l2WindowFixture::VirtualOnly({.refuseHighRes = true});
    V4l2WindowFixture fixture(options);
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    EXPECT_TRUE(fixture.dialog->m_bHighResRefused);
    EXPECT_EQ(fixture.dialog->m_nResolution, 1);
}

TEST(V4l2WindowTest, LaterBuildsRunAtTheChosenResolution) {
    V4l2WindowFixture fixture;
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    CWebcamDlg& dialog = *fixture.dialog;

    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 2;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    EXPECT_EQ(dialog.m_nResolution, 2);
    ASSERT_TRUE(
        WaitUntil([] { return g_frameDoubleBuffer.m_nLatestLength.load() == 1280 * 1024 * 2; }));
    EXPECT_EQ(dialog.Window().Preview().Placement(), (Rect{0, 0, 640, 480}));

    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(
        WaitUntil([] { return g_frameDoubleBuffer.m_nLatestLength.load() == 320 * 240 * 2; }));
    EXPECT_EQ(dialog.Window().Preview().Placement(), (Rect{160, 120, 480, 360}));
}

TEST(V4l2WindowTest, VanishingCameraIsLoggedAndTheWindowClosesCleanly) {
    CaptureOptions options = V4l2WindowFixture::VirtualOnly({.vanishAfterFrames = 5});
    V4l2WindowFixture fixture(options);
    const ResourceLeakCheck check({.mappings = false});
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return fixture.LogHas(kCameraDisconnectedLog); }));
    fixture.harness.Pump();  // the window goes on working
    fixture.harness.Stop();
    EXPECT_EQ(fixture.dialog->m_pGraph, nullptr);
    EXPECT_EQ(fixture.dialog->m_pCapture, nullptr);
    EXPECT_TRUE(check.NothingLeftBehind());
}

TEST(V4l2WindowTest, WithoutTheOptionTheVirtualCameraNeverAppears) {
    CaptureOptions options = V4l2WindowFixture::VirtualOnly();
    options.virtualDevice = nullptr;
    V4l2WindowFixture fixture(options);
    EXPECT_FALSE(fixture.harness.Start(*fixture.dialog));
    EXPECT_EQ(fixture.dialog->m_nResolution, 3);
    ASSERT_EQ(fixture.harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(fixture.harness.MessageBoxes().Shown()[0].text, "Camera not found!");
    EXPECT_TRUE(fixture.LogHas("CreateClassEnumerator error"));
}

}  // namespace
