// The window's capture code on the kernel's uvcvideo driver and an emulated USB webcam, with the
// machine's real sysfs: discovery by vendor identifier past another maker's camera, the three
// sizes and a picture at each checked against the very frame the camera sent, the settings
// dialog on the camera's twelve controls, damaged frames with the driver dropping them and
// delivering them flagged, an unplug wherever the reader waits, a stable udev path across a
// renumbering, and fifty unplug and plug cycles.

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <cmath>
#include <mutex>
#include <regex>
#include <set>

#include "capture/camera_return.h"
#include "capture/stream_end.h"
#include "kernel/vivid_support.h"
#include "linux/v4l2/v4l2_camera.h"
#include "linux/v4l2/v4l2_device_io.h"
#include "linux/v4l2/v4l2_device_list.h"
#include "pictures/yuy2_conversion.h"
#include "usb_camera_support.h"

namespace usb {
namespace {

using vivid::Window;
using Clock = std::chrono::steady_clock;

// The window on the machine's real cameras.
class RealWindow : public Window {
public:
    RealWindow() : Window(Window::Sysfs::Real) {}
};

std::string PathText(const EmulatedCamera& camera, const std::string& ids) {
    return "usb#vid_" + ids + "&mi_00#" + camera.BusId() + ":1.0#" + camera.Node(0).value_or("");
}

// The descriptors this process holds of the node.
std::size_t HeldOf(const std::optional<std::string>& node) {
    return node ? vivid::NodeDescriptors(getpid(), *node) : 0;
}

using DiscoveryTest = UsbTest;

TEST_F(DiscoveryTest, PassesOverAnotherMakersCameraAndNeverTakesAMetadataNode) {
    RealWindow window;
    const ResourceLeakCheck metadata({.threads = false, .file = Maker().Node(1).value()});
    std::shared_ptr<CaptureFilter> found;
    window.dialog->GetDefaultCapDevice(&found);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(HeldOf(Maker().Node(0)), 1u) << "the maker's camera is the one opened";
    EXPECT_EQ(HeldOf(Other().Node(0)), 0u);
    EXPECT_EQ(HeldOf(Other().Node(1)), 0u);
    EXPECT_TRUE(metadata.NothingLeftBehind());
    // Only the other camera's capture node is named; the metadata nodes are not capture devices
    // and are passed over without a word.
    EXPECT_EQ(window.Log(), std::vector<std::string>{PathText(Other(), "046d&pid_0825")});
}

TEST_F(DiscoveryTest, WithOnlyAnotherMakersCameraTheCameraIsNotFound) {
    Maker().Unplug();
    ASSERT_TRUE(Maker().WaitUntilUnplugged());
    RealWindow window;
    EXPECT_FALSE(window.Start());
    ASSERT_EQ(window.harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(window.harness.MessageBoxes().Shown()[0].text, "Camera not found!");
    EXPECT_TRUE(window.LogHas(PathText(Other(), "046d&pid_0825")));
    EXPECT_TRUE(window.LogHas("GetDefaultCapDevice next error"));
    EXPECT_EQ(HeldOf(Other().Node(0)), 0u);
}

// ---- Sizes and pictures ----

struct Comparison {
    double meanError = 0;   // per channel, over the whole picture
    double worstBlock = 0;  // the mean error of the worst 16 x 16 block
    int worstX = 0;         // that block's top-left corner, from the picture's top
    int worstY = 0;
};

Comparison Compare(const std::vector<std::uint8_t>& expected, const DecodedPicture& picture) {
    Comparison comparison;
    const int blocksAcross = picture.width / 16;
    const int blocksDown = picture.height / 16;
    std::vector<double> blocks(static_cast<std::size_t>(blocksAcross * blocksDown), 0.0);
    double total = 0;
    for (int y = 0; y < blocksDown * 16; ++y) {
        for (int x = 0; x < blocksAcross * 16; ++x) {
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = (static_cast<std::size_t>(y) * picture.width + x) * 3 + c;
                const double error = std::abs(static_cast<int>(expected[at]) - picture.bgr[at]);
                total += error;
                blocks[static_cast<std::size_t>(y / 16 * blocksAcross + x / 16)] += error;
            }
        }
    }
    comparison.meanError = total / (blocksAcross * 16.0 * blocksDown * 16.0 * 3.0);
    const auto worst = std::max_element(blocks.begin(), blocks.end());
    comparison.worstBlock = *worst / (16.0 * 16.0 * 3.0);
    const int index = static_cast<int>(worst - blocks.begin());
    comparison.worstX = index % blocksAcross * 16;
    comparison.worstY = picture.height - 16 - index / blocksAcross * 16;  // rows are bottom-up
    return comparison;
}

// Keeps both pictures of a failed comparison in the working folder, to be looked at.
void SaveForInspection(const std::vector<std::uint8_t>& expected, const DecodedPicture& picture) {
    for (const auto& [name, bgr] :
         {std::pair{"expected", &expected}, std::pair{"taken", &picture.bgr}}) {
        QImage image(picture.width, picture.height, QImage::Format_RGB888);
        for (int y = 0; y < picture.height; ++y) {
            const std::uint8_t* row =
                bgr->data() + static_cast<std::size_t>(picture.height - 1 - y) * picture.width * 3;
            for (int x = 0; x < picture.width; ++x) {
                image.setPixel(x, y, qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
            }
        }
        const std::string file = "picture-" + std::to_string(picture.width) + "x" +
                                 std::to_string(picture.height) + "-" + name + ".png";
        image.save(QString::fromStdString((OutputFolder() / file).string()));
    }
}

// The camera's frame as the snapshot converts it: blue-green-red rows, bottom row first.
std::vector<std::uint8_t> Converted(const std::vector<std::uint8_t>& frame, int width, int height) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
    ConvertYuy2Frame(frame.data(), width, height, bgr.data());
    return bgr;
}

// One size's frame as the capture path held it, and the picture taken.
struct Taken {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> latest;  // the latest frame after the picture, as copied
    DecodedPicture picture;
};

void CheckPicture(const Taken& taken, const std::vector<std::uint8_t>& sent,
                  const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& next) {
    const int width = taken.width;
    const int height = taken.height;
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    // The capture path hands on the camera's bytes as they were sent.
    const auto differs = std::mismatch(sent.begin(), sent.end(), taken.latest.begin());
    EXPECT_EQ(differs.first, sent.end())
        << "the frame differs from row " << (differs.first - sent.begin()) / (width * 2);

    // Stored through the same encoder, exactly the picture's frame gives exactly its pixels.
    const std::vector<std::uint8_t> expected = Converted(frame, width, height);
    const std::optional<DecodedPicture> reference = ThroughJpeg(expected, width, height);
    ASSERT_TRUE(reference);
    const Comparison stored = Compare(reference->bgr, taken.picture);
    EXPECT_EQ(stored.worstBlock, 0.0) << "the picture is not its frame through the colour formula";
    if (stored.worstBlock != 0.0) {
        SaveForInspection(expected, taken.picture);
    }
    // Beside the frame itself, JPEG's error; the frame after it differs far more.
    const Comparison exact = Compare(expected, taken.picture);
    const Comparison after = Compare(Converted(next, width, height), taken.picture);
    std::printf(
        "[ MEASURED ] picture at %dx%d: mean error %.2f, worst block %.2f at (%d, %d); "
        "against the next frame %.2f, %.2f\n",
        width, height, exact.meanError, exact.worstBlock, exact.worstX, exact.worstY,
        after.meanError, after.worstBlock);
    EXPECT_LT(exact.meanError, 2.0);
    EXPECT_GT(after.meanError, 4 * exact.meanError) << "the comparison tells frames apart";
}

using PictureTest = UsbTest;

// The pattern carries its frame number, so a picture names the frame it was made from: drawn
// again by the camera's own code and converted by the colour formula, that frame is what the
// picture holds.
TEST_F(PictureTest, EachSizeStreamsAndItsPictureIsTheCamerasFrame) {
    RealWindow window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    EXPECT_FALSE(dialog.m_bHighResRefused) << "the camera offers 1280 x 1024";
    std::vector<Taken> taken;
    std::vector<PatternFrame> frames;  // per size: the latest, the picture's, the one after
    for (int resolution : {0, 1, 2}) {
        Taken size;
        ResolutionSize(resolution, &size.width, &size.height);
        dialog.ReleaseStillGraph();
        dialog.m_nResolution = resolution;
        ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
        ASSERT_EQ(dialog.m_nResolution, resolution);
        ASSERT_TRUE(vivid::WaitForFrame(size.width * size.height * 2));
        const int before = dialog.m_nThumbCount;
        dialog.TakeSnapshot();
        ASSERT_EQ(dialog.m_nThumbCount, before + 1);
        {
            FrameGateReader reader(dialog);
            const FrameView latest = reader.Latest();
            ASSERT_EQ(latest.length, size.width * size.height * 2);
            size.latest.assign(latest.data, latest.data + latest.length);
        }
        const std::optional<DecodedPicture> picture = DecodeJpeg(dialog.PicturePath(before + 1));
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->width, size.width);
        ASSERT_EQ(picture->height, size.height);
        size.picture = *picture;
        const PatternCode code =
            ReadCodeFromBgr(picture->bgr.data(), size.width, size.height, true);
        frames.push_back({size.width, size.height,
                          ReadCodeFromYuyv(size.latest.data(), size.width, size.height)});
        frames.push_back({size.width, size.height, code});
        frames.push_back({size.width, size.height, PatternCode{code.frame + 1, code.brightness}});
        taken.push_back(std::move(size));
    }
    window.Close();
    const std::vector<std::vector<std::uint8_t>> drawn = DrawPatternFrames(frames);
    ASSERT_EQ(drawn.size(), frames.size()) << "the emulator could not draw the frames";
    for (std::size_t i = 0; i < taken.size(); ++i) {
        CheckPicture(taken[i], drawn[3 * i], drawn[3 * i + 1], drawn[3 * i + 2]);
    }
}

// ---- Settings ----

QWidget* ControlWidget(QDialog& settings, std::uint32_t id) {
    return settings.findChild<QWidget*>(QStringLiteral("control-%1").arg(id));
}

// The latest frame's code, as the camera drew it.
std::optional<PatternCode> LatestCode(CWebcamDlg& dialog) {
    FrameGateReader reader(dialog);
    const FrameView frame = reader.Latest();
    if (frame.data == nullptr || frame.length != 640 * 480 * 2) {
        return std::nullopt;
    }
    return ReadCodeFromYuyv(frame.data, 640, 480);
}

// The camera's own answer, through a descriptor of the test's own.
std::int32_t CameraValue(const std::string& node, std::uint32_t id) {
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    v4l2_control control{};
    control.id = id;
    const int result = fd >= 0 ? ::ioctl(fd, VIDIOC_G_CTRL, &control) : -1;
    if (fd >= 0) {
        ::close(fd);
    }
    return result == 0 ? control.value : INT32_MIN;
}

using SettingsTest = UsbTest;

TEST_F(SettingsTest, ChangesReachTheCameraAutomaticModesGreyAndARefusalSpringsBack) {
    RealWindow window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    const std::string node = Maker().Node(0).value();
    const bool opened = vivid::WithOpenSettings(dialog, [&](QDialog& settings) {
        auto* brightness = qobject_cast<QSlider*>(ControlWidget(settings, V4L2_CID_BRIGHTNESS));
        auto* exposureMode =
            qobject_cast<QComboBox*>(ControlWidget(settings, V4L2_CID_EXPOSURE_AUTO));
        auto* exposure = ControlWidget(settings, V4L2_CID_EXPOSURE_ABSOLUTE);
        auto* automaticWhite =
            qobject_cast<QCheckBox*>(ControlWidget(settings, V4L2_CID_AUTO_WHITE_BALANCE));
        auto* temperature = ControlWidget(settings, V4L2_CID_WHITE_BALANCE_TEMPERATURE);
        ASSERT_TRUE(brightness && exposureMode && exposure && automaticWhite && temperature);
        EXPECT_EQ(settings.findChildren<QLabel*>().size(), 12) << "one row per control";

        // The camera draws its brightness into the picture's code.
        brightness->setValue(25);
        EXPECT_EQ(CameraValue(node, V4L2_CID_BRIGHTNESS), 25);
        EXPECT_TRUE(WaitUntil(
            [&] {
                const std::optional<PatternCode> code = LatestCode(dialog);
                return code && code->brightness == 25;
            },
            kFrameLimit));

        // What an automatic mode holds is greyed until the mode is switched off.
        EXPECT_FALSE(exposure->isEnabled());
        EXPECT_FALSE(temperature->isEnabled());
        exposureMode->setCurrentIndex(exposureMode->findData(V4L2_EXPOSURE_MANUAL));
        EXPECT_TRUE(exposure->isEnabled());
        qobject_cast<QSlider*>(exposure)->setValue(300);
        EXPECT_EQ(CameraValue(node, V4L2_CID_EXPOSURE_ABSOLUTE), 300);
        automaticWhite->setChecked(false);
        EXPECT_TRUE(temperature->isEnabled());
        EXPECT_EQ(CameraValue(node, V4L2_CID_AUTO_WHITE_BALANCE), 0);

        // Firmware that refuses a setting: the slider springs back to what the camera kept.
        ASSERT_TRUE(Maker().Fault("control-fail", "brightness"));
        const std::size_t logged = window.Log().size();
        brightness->setValue(40);
        EXPECT_EQ(brightness->value(), 25);
        EXPECT_EQ(CameraValue(node, V4L2_CID_BRIGHTNESS), 25);
        const std::vector<std::string> log = window.Log();
        ASSERT_EQ(log.size(), logged + 1);
        EXPECT_EQ(log.back().rfind("Camera refused the setting \"Brightness\" = 40 (0x8007", 0), 0u)
            << log.back();
        EXPECT_TRUE(Maker().Fault("control-fail", "off"));

        // The defaults come back; what the automatic modes hold again is left to them.
        settings.findChild<QPushButton*>(QStringLiteral("restore-defaults"))->click();
        EXPECT_EQ(CameraValue(node, V4L2_CID_BRIGHTNESS), 0);
        EXPECT_EQ(CameraValue(node, V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_APERTURE_PRIORITY);
        EXPECT_EQ(CameraValue(node, V4L2_CID_AUTO_WHITE_BALANCE), 1);
        EXPECT_FALSE(exposure->isEnabled());
        EXPECT_FALSE(temperature->isEnabled());
        EXPECT_EQ(window.Log().size(), logged + 1) << "the defaults were not refused";
    });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(vivid::WaitForFrame(640 * 480 * 2)) << "the camera streams on";
}

// ---- Damaged frames ----

// Sees every frame the graph hands the window's frame callback, and hands it on.
class RecordingCallback final : public SampleGrabberCallback {
public:
    HResult QueryInterface(const char* name, void** object) override {
        return g_frameGrabberCallback.QueryInterface(name, object);
    }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    HResult SampleCB(double, void*) override { return S_OK_RESULT; }
    HResult BufferCB(double time, std::uint8_t* buffer, std::int32_t length) override {
        {
            std::lock_guard lock(m_mutex);
            m_lengths.push_back(length);
            if (length == 640 * 480 * 2) {
                m_frames.push_back(ReadCodeFromYuyv(buffer, 640, 480).frame);
            }
        }
        return g_frameGrabberCallback.BufferCB(time, buffer, length);
    }
    std::vector<std::int32_t> Lengths() {
        std::lock_guard lock(m_mutex);
        return m_lengths;
    }
    std::vector<std::uint32_t> Frames() {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }

private:
    std::mutex m_mutex;  // guards both: written on the streaming thread
    std::vector<std::int32_t> m_lengths;
    std::vector<std::uint32_t> m_frames;  // the pattern's frame numbers
};

// The frames the camera sent damaged since the trace was that long: flagged, or cut short.
std::set<std::uint32_t> DamagedSince(const EmulatedCamera& camera, std::size_t traceLength) {
    static const std::regex kFault("fault: frame #([0-9]+) \\(frame [0-9]+ of the stream\\): (.*)");
    const std::string trace = ReadWholeFile(camera.TraceFile());
    std::set<std::uint32_t> damaged;
    std::istringstream lines(trace.substr(std::min(traceLength, trace.size())));
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, kFault) &&
            (match[2].str().find("UVC_STREAM_ERR") != std::string::npos ||
             match[2].str().find("short") != std::string::npos)) {
            damaged.insert(static_cast<std::uint32_t>(std::stoul(match[1].str())));
        }
    }
    return damaged;
}

unsigned LoggedDamage(const std::vector<std::string>& log) {
    unsigned total = 0;
    for (const std::string& line : log) {
        unsigned count = 0;
        if (std::sscanf(line.c_str(), "Camera sent %u damaged frame", &count) == 1) {
            total += count;
        }
    }
    return total;
}

// Streams a window from the maker's camera until 30 frames have reached its frame callback and
// takes a picture among them: none of them was damaged, all have the full length, and the log
// counts what the driver delivered damaged (at most a line a second).
void ExpectNoDamagedFrameGetsThrough(EmulatedCamera& camera, bool driverDelivers) {
    SCOPED_TRACE(driverDelivers ? "nodrop=1: the driver delivers them flagged"
                                : "nodrop=0: the driver drops them");
    const std::size_t traceLength = ReadWholeFile(camera.TraceFile()).size();
    RecordingCallback recorder;
    RealWindow window;
    ASSERT_TRUE(window.Start());
    window.dialog->m_pGrabber->SetCallback(&recorder, 1);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return recorder.Frames().size() >= 30; }, kFrameLimit));
    window.dialog->TakeSnapshot();
    EXPECT_EQ(window.dialog->m_nThumbCount, 1) << "a picture is taken among them";
    window.Close();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const std::vector<std::int32_t> lengths = recorder.Lengths();
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 640 * 480 * 2),
              static_cast<std::ptrdiff_t>(lengths.size()));
    const std::set<std::uint32_t> damaged = DamagedSince(camera, traceLength);
    EXPECT_GT(damaged.size(), 10u) << "the camera sent damaged frames";
    for (const std::uint32_t frame : recorder.Frames()) {
        EXPECT_EQ(damaged.count(frame), 0u) << "damaged frame " << frame << " got through";
    }
    // The program learns of damaged frames only when the driver delivers them.
    const std::vector<std::string> log = window.Log();
    const auto lines = std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("Camera sent ", 0) == 0;
    });
    if (driverDelivers) {
        EXPECT_GT(LoggedDamage(log), 0u);
        EXPECT_LE(lines, static_cast<std::ptrdiff_t>(seconds) + 2) << "at most once a second";
    } else {
        EXPECT_EQ(lines, 0);
    }
}

using DamagedFrameTest = UsbTest;

// uvcvideo drops flagged and short frames by itself; loaded with nodrop=1 it delivers them
// flagged. Either way none reaches the frame callback or the preview, and noise of the right
// length does no harm.
TEST_F(DamagedFrameTest, NoDamagedFrameIsShownOrSavedWhetherTheDriverDropsOrDeliversThem) {
    for (const auto& [fault, every] : {std::pair{"error-frames", "3"},
                                       std::pair{"short-frames", "4"}, std::pair{"garbage", "5"}}) {
        ASSERT_TRUE(Maker().Fault(fault, every)) << fault;
    }
    ExpectNoDamagedFrameGetsThrough(Maker(), false);
    // The parameter takes effect when the camera binds.
    ASSERT_TRUE(SetUvcNodrop(true));
    Maker().Unplug();
    ASSERT_TRUE(Maker().WaitUntilUnplugged());
    Maker().Plug();
    ASSERT_TRUE(Maker().WaitForNode());
    ExpectNoDamagedFrameGetsThrough(Maker(), true);
    EXPECT_TRUE(Maker().Fault("clear"));
    EXPECT_TRUE(SetUvcNodrop(false));
}

// ---- Unplugs ----

// The kernel's device calls for a reader that waits inside VIDIOC_DQBUF, as one without
// O_NONBLOCK does; it records what the dequeue that failed answered.
class BlockingReaderIo : public DeviceIo {
public:
    int Open(const std::string& path, int flags) override {
        return m_kernel->Open(path, flags & ~O_NONBLOCK);
    }
    int Close(int fd) override { return m_kernel->Close(fd); }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        const int result = m_kernel->Ioctl(fd, request, argument);
        if (request == VIDIOC_DQBUF && result < 0 && failedDequeue.load() == 0) {
            failedDequeue.store(result);
        }
        return result;
    }
    void* Mmap(std::size_t length, int fd, off_t offset, int* error) override {
        return m_kernel->Mmap(length, fd, offset, error);
    }
    int Munmap(void* address, std::size_t length) override {
        return m_kernel->Munmap(address, length);
    }
    // Straight into the dequeue, which waits for the frame.
    int Poll(int fd, short, short* revents, int timeoutMs) override {
        if (!blocking) {
            return m_kernel->Poll(fd, POLLIN, revents, timeoutMs);
        }
        *revents = POLLIN;
        return 1;
    }

    bool blocking = true;
    std::atomic<int> failedDequeue{0};

private:
    std::shared_ptr<DeviceIo> m_kernel = KernelDeviceIo();
};

struct UnplugRow {
    const char* name;
    bool blocking;
    int driverAnswer;  // what the failed dequeue answered
};

void PrintTo(const UnplugRow& row, std::ostream* out) {
    *out << row.name;
}

class UnplugTest : public UsbTest, public ::testing::WithParamInterface<UnplugRow> {};

TEST_P(UnplugTest, TheStreamEndsWithTheDeviceGoneWhateverTheDriverAnswered) {
    const UnplugRow& row = GetParam();
    auto io = std::make_shared<BlockingReaderIo>();
    io->blocking = row.blocking;
    int error = 0;
    const std::string node = Maker().Node(0).value();
    std::unique_ptr<V4l2Camera> camera = V4l2Camera::Open(io, node, &error);
    ASSERT_NE(camera, nullptr) << error;
    const std::string interface =
        UsbInterfaceFolder("/sys", std::filesystem::path(node).filename().string());
    ASSERT_FALSE(interface.empty());
    camera->AwaitRemovalOf(interface);
    std::atomic<int> frames{0};
    std::atomic<int> ended{0};
    ASSERT_EQ(camera->StartStreaming({[&](const CameraFrame&) { frames.fetch_add(1); },
                                      [&](int end) { ended.store(end); }}),
              0);
    ASSERT_TRUE(WaitUntil([&] { return frames.load() >= 3; }, kFrameLimit));
    Maker().Unplug();
    ASSERT_TRUE(WaitUntil([&] { return ended.load() != 0; }, kPlugLimit));
    EXPECT_EQ(ended.load(), -ENODEV);
    EXPECT_FALSE(std::filesystem::exists(interface)) << "the end came before the teardown";
    EXPECT_EQ(io->failedDequeue.load(), row.driverAnswer);
    camera.reset();
    EXPECT_TRUE(Maker().WaitUntilUnplugged());
}

INSTANTIATE_TEST_SUITE_P(Readers, UnplugTest,
                         ::testing::Values(UnplugRow{"blocked_in_dequeue", true, -EINVAL},
                                           UnplugRow{"polling", false, -ENODEV}),
                         [](const ::testing::TestParamInfo<UnplugRow>& info) {
                             return info.param.name;
                         });

// ---- Return ----

using ReturnTest = UsbTest;

// A descriptor of the test's own on the camera's node while it is unplugged makes the camera
// come back at another node; a stable udev path follows it there.
TEST_F(ReturnTest, AStableUdevPathFindsTheCameraAgainAtItsNewNode) {
    const std::string stable = "/dev/v4l/by-id/usb-Emulated_Devices_USB_Test_Camera-video-index0";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(stable); })) << stable;
    RealWindow window;
    window.environment.captureDevice = stable;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    const std::string before = Maker().Node(0).value();
    {
        const int held = ::open(before.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(held, 0);
        Maker().Unplug();
        ASSERT_TRUE(WaitUntilProcessingEvents([&] { return dialog.m_bCameraLost; }, kPlugLimit));
        ASSERT_TRUE(Maker().WaitUntilUnplugged());
        Maker().Plug();
        ASSERT_TRUE(Maker().WaitForNode());
        ::close(held);
    }
    const std::string after = Maker().Node(0).value();
    EXPECT_NE(after, before);
    ASSERT_TRUE(WaitUntil(
        [&] {
            window.harness.Advance(kCameraRetryPeriodMs);
            return !dialog.m_bCameraLost;
        },
        kPlugLimit, 100ms));
    EXPECT_EQ(HeldOf(after), 1u);
    EXPECT_TRUE(vivid::WaitForFrame(640 * 480 * 2));
}

// Two cameras of the maker. The second is plugged in while the first is out, so it gets the
// lower node: first in enumeration order, though plugged in later.
class TwoMakersTest : public UsbTest {
protected:
    static void SetUpTestSuite() {
        if (UsbMachine::Get().WhyNot()) {
            return;
        }
        EmulatedCamera& maker = UsbMachine::Get().Maker();
        maker.Unplug();
        if (!maker.WaitUntilUnplugged()) {
            return;
        }
        s_second = std::make_unique<EmulatedCamera>(
            "second", LUMISIGHT_VENDOR_ID, "2b8b",
            std::vector<std::string>{"--product-name", "Second Camera"});
        std::string output;
        if (!s_second->Attach(&output)) {
            std::printf("the second camera did not plug in: %s\n", output.c_str());
            s_second.reset();
        }
        maker.Plug();
        maker.WaitForNode();
    }
    static void TearDownTestSuite() { s_second.reset(); }
    void SetUp() override {
        UsbTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_NE(s_second, nullptr) << "the second camera did not plug in";
        if (!s_second->Node(0)) {
            s_second->Plug();
            ASSERT_TRUE(s_second->WaitForNode()) << s_second->Report();
        }
    }
    EmulatedCamera& Second() { return *s_second; }

    static std::unique_ptr<EmulatedCamera> s_second;
};

std::unique_ptr<EmulatedCamera> TwoMakersTest::s_second;

TEST_F(TwoMakersTest, TheFirstInEnumerationOrderIsTaken) {
    ASSERT_LT(Second().Node(0).value(), Maker().Node(0).value());
    RealWindow window;
    ASSERT_TRUE(window.Start());
    EXPECT_EQ(HeldOf(Second().Node(0)), 1u);
    EXPECT_EQ(HeldOf(Maker().Node(0)), 0u);
    EXPECT_TRUE(vivid::WaitForFrame(640 * 480 * 2));
    window.Close();
}

// Every cycle is a real USB unplug of the camera the window streams from, which the window
// notices from its stream and lets go of, and a real plug of it, after which it streams again.
// The two cameras take turns: while one plugs in again (the slow part under emulation), the
// window's next look finds the other and streams from it (at 320 x 240, the quickest to start).
// What the process holds is counted after every cycle.
TEST_F(TwoMakersTest, FiftyUnplugAndPlugCyclesLeaveNothingBehind) {
    RealWindow window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    std::vector<double> cycles;
    const auto cycle = [&]() -> ::testing::AssertionResult {
        const Clock::time_point start = Clock::now();
        const bool makerStreams = HeldOf(Maker().Node(0)) == 1;
        EmulatedCamera& active = makerStreams ? Maker() : Second();
        EmulatedCamera& idle = makerStreams ? Second() : Maker();
        const std::string node = active.Node(0).value_or("");
        if (node.empty() || HeldOf(node) != 1) {
            return ::testing::AssertionFailure() << "neither camera streams";
        }
        if (!idle.WaitForNode()) {
            return ::testing::AssertionFailure()
                   << "the other camera did not plug in again" << idle.Report();
        }
        active.Unplug();
        if (!WaitUntilProcessingEvents([&] { return dialog.m_bCameraLost; }, kPlugLimit)) {
            return ::testing::AssertionFailure() << "the unplug was not noticed";
        }
        if (vivid::NodeDescriptors(getpid(), node) + vivid::NodeMappings(getpid(), node) != 0) {
            return ::testing::AssertionFailure() << "the lost camera is still held";
        }
        const bool back = WaitUntil(
            [&] {
                window.harness.Advance(kCameraRetryPeriodMs);
                return !dialog.m_bCameraLost;
            },
            kPlugLimit, 50ms);
        if (!back || vivid::NodeMappings(getpid(), idle.Node(0).value_or("")) == 0) {
            return ::testing::AssertionFailure() << "the window does not stream again";
        }
        active.Plug();  // it plugs in while the next cycle begins
        cycles.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return ::testing::AssertionSuccess();
    };
    ASSERT_TRUE(cycle()) << "warm-up";
    // The C library keeps freed memory mapped as it likes; descriptors and threads are exact.
    ResourceLeakCheck check({.mappings = false});
    for (int n = 1; n <= 50; ++n) {
        ASSERT_TRUE(cycle()) << "cycle " << n;
        ASSERT_TRUE(check.NothingLeftBehind()) << "cycle " << n;
    }
    window.Close();
    PrintMeasured("unplug and plug cycle", cycles);
}

}  // namespace
}  // namespace usb
