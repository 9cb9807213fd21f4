// The emulated camera unplugged and plugged in again under the whole window on the real V4L2
// code: the state drawn in the picture area, everything of the camera closed at once, the
// return at the chosen resolution, at another node, refusing 1280 x 1024, and many cycles
// without anything left behind.

#include <gtest/gtest.h>

#include "capture/camera_return.h"
#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "support/doubles/fake_device_arrivals.h"
#include "v4l2_window_fixture.h"

namespace {

// The text band in the middle of the picture area, where the notice is written.
constexpr Rect kTextBand{0, 200, 640, 280};

bool IsBright(Color c) {
    return c.r > 200 && c.g > 200 && c.b > 200;
}

// Sums what the notice left in the picture area: the mean brightness outside the text band and
// the bright (text) pixels with their bounding box.
struct PictureReading {
    double meanOutsideText = 0;
    int brightOutsideText = 0;
    int brightInText = 0;
    Rect textBox{640, 480, 0, 0};
    std::vector<bool> textMask;
};

PictureReading ReadPicture(HeadlessHarness& harness) {
    PictureReading reading;
    double sum = 0;
    int outside = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const Color c = harness.PixelAt(x, y);
            const bool inBand = PtInRect(kTextBand, Point{x, y});
            const bool bright = IsBright(c);
            if (inBand) {
                reading.textMask.push_back(bright);
            }
            if (!inBand) {
                sum += (c.r + c.g + c.b) / 3.0;
                ++outside;
                reading.brightOutsideText += bright ? 1 : 0;
            } else if (bright) {
                ++reading.brightInText;
                reading.textBox =
                    Rect{std::min(reading.textBox.left, x), std::min(reading.textBox.top, y),
                         std::max(reading.textBox.right, x + 1),
                         std::max(reading.textBox.bottom, y + 1)};
            }
        }
    }
    reading.meanOutsideText = sum / outside;
    return reading;
}

// The window on the emulated camera, which the test keeps to unplug and plug in again, with
// device notices.
class CameraReturnWindow {
public:
    CameraReturnWindow() : window(Options(io)) { window.environment.deviceArrivals = &arrivals; }

    static CaptureOptions Options(const std::shared_ptr<VirtualCameraIo>& camera) {
        CaptureOptions options = V4l2WindowFixture::VirtualOnly();
        options.virtualDevice = camera;
        return options;
    }

    CWebcamDlg& Dialog() { return *window.dialog; }
    bool Start() { return window.harness.Start(Dialog()); }
    // Waits until a frame of that many bytes, newer than any seen so far, has been copied.
    bool WaitForNewFrame(std::int32_t length) {
        const std::uint64_t before = io->FramesDelivered();
        return WaitUntil([&] {
            return io->FramesDelivered() > before + 1 &&
                   g_frameDoubleBuffer.m_nLatestLength.load() == length;
        });
    }
    // Unplugs the camera and lets the window take the stream's end.
    bool Unplug() {
        io->Unplug();
        return WaitUntilProcessingEvents([&] { return Dialog().m_bCameraLost; });
    }
    // The camera's descriptors and mappings, which only the emulated device counts.
    bool CameraHeldOpen() const { return io->OpenDescriptors() != 0 || io->OpenMappings() != 0; }

    std::shared_ptr<VirtualCameraIo> io = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    FakeDeviceArrivals arrivals;
    V4l2WindowFixture window;
};

class LostPictureTest : public ::testing::TestWithParam<bool> {};

TEST_P(LostPictureTest, TheLastPictureIsDarkenedWithTheStateCentredInTheWindowsLanguage) {
    const bool chinese = GetParam();
    CameraReturnWindow camera;
    ASSERT_TRUE(camera.Start());
    camera.Dialog().m_bChinese = chinese;
    ASSERT_TRUE(camera.WaitForNewFrame(640 * 480 * 2));
    camera.window.harness.Pump();
    const PictureReading live = ReadPicture(camera.window.harness);

    ASSERT_TRUE(camera.Unplug());
    // Closed at once, while the window still shows the state.
    EXPECT_FALSE(camera.CameraHeldOpen());
    EXPECT_TRUE(camera.window.LogHas("Camera disconnected: frame capture stopped"));
    camera.window.harness.Pump();
    const PictureReading lost = ReadPicture(camera.window.harness);

    // Three eighths of the picture's brightness (the pattern moves between the two frames).
    EXPECT_GT(live.meanOutsideText, 40.0);
    EXPECT_NEAR(lost.meanOutsideText / live.meanOutsideText, 0.375, 0.1);
    EXPECT_EQ(lost.brightOutsideText, 0);
    EXPECT_GT(lost.brightInText, 100) << "no text in the middle of the picture";
    const Rect& box = lost.textBox;
    EXPECT_NEAR((box.left + box.right) / 2.0, 320.0, 4.0);
    EXPECT_NEAR((box.top + box.bottom) / 2.0, 240.0, 6.0);
    EXPECT_EQ(camera.Dialog().Window().Preview().Notice(),
              chinese ? "網路攝影機已中斷連線" : "Camera disconnected");

    // The state stays while nothing changes, and is repainted the same.
    camera.Dialog().Window().InvalidateRect(nullptr);
    camera.window.harness.Pump();
    EXPECT_EQ(ReadPicture(camera.window.harness).textMask, lost.textMask);
}

INSTANTIATE_TEST_SUITE_P(Languages, LostPictureTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "chinese" : "english";
                         });

TEST(LostPictureTextTest, TheTwoLanguagesWriteDifferentTexts) {
    std::vector<bool> masks[2];
    for (const bool chinese : {false, true}) {
        CameraReturnWindow camera;
        ASSERT_TRUE(camera.Start());
        camera.Dialog().m_bChinese = chinese;
        ASSERT_TRUE(camera.Unplug());
        camera.window.harness.Pump();
        masks[chinese ? 1 : 0] = ReadPicture(camera.window.harness).textMask;
    }
    EXPECT_NE(masks[0], masks[1]);
}

TEST(V4l2CameraReturnTest, TheRetryBringsTheCameraBackAtTheChosenResolutionAndItMoves) {
    CameraReturnWindow camera;
    ASSERT_TRUE(camera.Start());
    CWebcamDlg& dialog = camera.Dialog();
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(camera.Unplug());

    camera.window.harness.Advance(kCameraRetryPeriodMs);  // not back yet
    EXPECT_TRUE(dialog.m_bCameraLost);
    camera.io->Replug();
    // Within two looks of the once-a-second retry, without any device notice.
    camera.window.harness.Advance(kCameraRetryPeriodMs);
    ASSERT_FALSE(dialog.m_bCameraLost);
    EXPECT_EQ(dialog.m_nResolution, 0);
    EXPECT_TRUE(camera.window.LogHas("Camera found again: frame capture resumed at 320 x 240"));
    ASSERT_TRUE(camera.WaitForNewFrame(320 * 240 * 2));
    PreviewSurface& preview = dialog.Window().Preview();
    EXPECT_TRUE(preview.Notice().empty());
    EXPECT_EQ(preview.Placement(), (Rect{160, 120, 480, 360}));

    camera.window.harness.Pump();
    const Color before = camera.window.harness.PixelAt(200, 200);
    std::vector<Color> first;
    for (int x = 160; x < 480; x += 4) {
        first.push_back(camera.window.harness.PixelAt(x, 200));
    }
    EXPECT_FALSE(IsBright(before) && before == camera.window.harness.PixelAt(201, 240));
    EXPECT_TRUE(WaitUntil([&] {
        camera.window.harness.Pump();
        std::vector<Color> now;
        for (int x = 160; x < 480; x += 4) {
            now.push_back(camera.window.harness.PixelAt(x, 200));
        }
        return now != first;
    })) << "the picture does not move again";
}

TEST(V4l2CameraReturnTest, ACameraBackRefusingHighResolutionFallsBackTo640) {
    CameraReturnWindow camera;
    ASSERT_TRUE(camera.Start());
    CWebcamDlg& dialog = camera.Dialog();
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 2;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_EQ(dialog.m_nResolution, 2);
    ASSERT_TRUE(camera.Unplug());
    camera.io->SetRefusesHighRes(true);
    camera.io->Replug();
    ASSERT_TRUE(camera.arrivals.Announce());
    ASSERT_FALSE(dialog.m_bCameraLost);
    EXPECT_EQ(dialog.m_nResolution, 1);
    EXPECT_TRUE(dialog.m_bHighResRefused);
    EXPECT_TRUE(camera.WaitForNewFrame(640 * 480 * 2));
    EXPECT_TRUE(camera.window.LogHas("Camera found again: frame capture resumed at 640 x 480"));
}

TEST(V4l2CameraReturnTest, ACameraBackAtAnotherNodeIsFoundByItsVendor) {
    CameraReturnWindow camera;
    ASSERT_TRUE(camera.Start());
    ASSERT_TRUE(camera.Unplug());
    camera.io->Replug("/dev/video-virtual2");
    ASSERT_TRUE(camera.arrivals.Announce());
    EXPECT_FALSE(camera.Dialog().m_bCameraLost);
    EXPECT_TRUE(camera.WaitForNewFrame(640 * 480 * 2));
}

TEST(V4l2CameraReturnTest, AChosenNodeIsWaitedForAtThatNode) {
    CameraReturnWindow camera;
    camera.window.environment.captureDevice = kVirtualCameraNode;
    ASSERT_TRUE(camera.Start());
    EXPECT_TRUE(camera.window.LogHas(std::string("GetDefaultCapDevice ") + kVirtualCameraNode));
    ASSERT_TRUE(camera.Unplug());
    camera.io->Replug("/dev/video-virtual2");
    camera.arrivals.Announce();
    EXPECT_TRUE(camera.Dialog().m_bCameraLost);
    camera.io->Unplug();
    camera.io->Replug(kVirtualCameraNode);
    camera.window.harness.Advance(kCameraRetryPeriodMs);
    EXPECT_FALSE(camera.Dialog().m_bCameraLost);
}

TEST(V4l2CameraReturnTest, ClosingWhileLostLeavesNoThreadAndNothingOpen) {
    CameraReturnWindow camera;
    const ResourceLeakCheck check({.mappings = false});
    ASSERT_TRUE(camera.Start());
    ASSERT_TRUE(camera.Unplug());
    camera.window.harness.Stop();
    EXPECT_FALSE(camera.CameraHeldOpen());
    EXPECT_EQ(camera.arrivals.liveWatches, 0);
    EXPECT_TRUE(check.NothingLeftBehind());
}

// Each cycle gives back every descriptor, mapping and thread it took: the camera's descriptors
// and mappings (which only the emulated device counts) while it is away and once it is back, and
// the whole process's descriptors and threads. The process's own mappings are not compared: the
// C library grows and trims its heaps as it likes, which says nothing about the camera.
TEST(V4l2CameraReturnTest, FiftyLossesAndReturnsLeaveNothingBehind) {
    CameraReturnWindow camera;
    ASSERT_TRUE(camera.Start());
    const auto cycle = [&](int n) -> ::testing::AssertionResult {
        if (!camera.Unplug()) {
            return ::testing::AssertionFailure() << "the loss was not noticed";
        }
        if (camera.CameraHeldOpen()) {
            return ::testing::AssertionFailure() << "the lost camera is still held open";
        }
        camera.window.harness.Pump();  // the state is drawn
        camera.io->Replug();
        // Half the returns come from a device notice, half from the retry alone.
        if (n % 2 == 0) {
            camera.arrivals.Announce();
        } else {
            camera.window.harness.Advance(kCameraRetryPeriodMs);
        }
        if (camera.Dialog().m_bCameraLost || !camera.WaitForNewFrame(640 * 480 * 2)) {
            return ::testing::AssertionFailure() << "the camera did not come back";
        }
        camera.window.harness.Pump();
        return ::testing::AssertionSuccess();
    };
    ASSERT_TRUE(cycle(0)) << "warm-up";
    ResourceLeakCheck check({.mappings = false});
    check.AlsoCount("emulated camera descriptors", [&] { return camera.io->OpenDescriptors(); });
    check.AlsoCount("emulated camera mappings", [&] { return camera.io->OpenMappings(); });
    for (int n = 1; n <= 50; ++n) {
        ASSERT_TRUE(cycle(n)) << "cycle " << n;
        ASSERT_TRUE(check.NothingLeftBehind()) << "cycle " << n;
    }
    camera.window.harness.Stop();
    EXPECT_FALSE(camera.CameraHeldOpen());
}

}  // namespace
