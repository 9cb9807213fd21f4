#pragma once

// What the kernel suite needs around the kernel's virtual camera driver (vivid): a side door to
// /dev/video0 for pressing its fault buttons and reading settings back, a sysfs stand-in that
// puts vivid's node on a USB camera of the maker (so the capture code accepts it), and the window
// on the real V4L2 capture system.
//
// The suite runs inside ../shared/tools/kernel-vm/run; anywhere /dev/video0 is not vivid each
// test skips with the reason.

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "app/webcam_dlg.h"
#include "capture/capture_test_support.h"
#include "capture/frame_double_buffer.h"
#include "capture/still_graph.h"
#include "linux/v4l2/v4l2_media_framework.h"
#include "linux/window/properties_dialog.h"
#include "linux/window/qt_task_poster.h"
#include "platform/diagnostic_log.h"
#include "support/doubles/fake_power_notices.h"
#include "support/process_resources.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "support/webcam_fixture.h"

namespace vivid {

constexpr const char* kNode = "/dev/video0";
constexpr std::int32_t kBytes640x480 = 640 * 480 * 2;
constexpr std::int32_t kBytes320x180 = 320 * 180 * 2;

// Frames come slowly under emulation (a few per second), and the host may be busy.
constexpr std::chrono::milliseconds kFrameWait{30000};

// A control as the driver lists it, compound ones included.
struct Control {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::uint32_t flags = 0;
    std::uint32_t dims = 0;
    std::int64_t defaultValue = 0;
};

// The name v4l2-ctl gives a control: "Inject VIDIOC_QBUF Error" is inject_vidioc_qbuf_error.
inline std::string ToolName(const std::string& name) {
    std::string tool;
    for (const unsigned char c : name) {
        if (std::isalnum(c)) {
            tool += static_cast<char>(std::tolower(c));
        } else if (!tool.empty() && tool.back() != '_') {
            tool += '_';
        }
    }
    while (!tool.empty() && tool.back() == '_') {
        tool.pop_back();
    }
    return tool;
}

// The test's own descriptor of vivid's capture node, beside the one the capture code opens.
class SideDoor {
public:
    SideDoor() : m_fd(::open(kNode, O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~SideDoor() { Close(); }
    SideDoor(const SideDoor&) = delete;
    SideDoor& operator=(const SideDoor&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    int Ioctl(unsigned long request, void* argument) const {
        int result;
        do {
            result = ::ioctl(m_fd, request, argument);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? -errno : result;
    }

    std::optional<v4l2_capability> Capability() const {
        v4l2_capability cap{};
        if (Ioctl(VIDIOC_QUERYCAP, &cap) < 0) {
            return std::nullopt;
        }
        return cap;
    }
    v4l2_pix_format Format() const {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        Ioctl(VIDIOC_G_FMT, &format);
        return format.fmt.pix;
    }
    std::vector<Control> Controls() const {
        std::vector<Control> controls;
        v4l2_query_ext_ctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
        while (Ioctl(VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
            controls.push_back(
                Control{query.id, query.type,
                        std::string(query.name, strnlen(query.name, sizeof query.name)),
                        query.flags, query.nr_of_dims, query.default_value});
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
        }
        return controls;
    }
    // The control's id by its v4l2-ctl name, or 0.
    std::uint32_t ControlId(const std::string& toolName) const {
        for (const Control& control : Controls()) {
            if (ToolName(control.name) == toolName) {
                return control.id;
            }
        }
        return 0;
    }
    int Get(std::uint32_t id, std::int32_t* value) const {
        v4l2_control control{};
        control.id = id;
        const int result = Ioctl(VIDIOC_G_CTRL, &control);
        *value = control.value;
        return result;
    }
    int Set(std::uint32_t id, std::int32_t value) const {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        return Ioctl(VIDIOC_S_CTRL, &control);
    }
    // Takes the capture stream for this descriptor, as another program that films does: the
    // driver then answers every other descriptor's format and buffer requests with EBUSY.
    int ClaimStream() const {
        v4l2_requestbuffers request{};
        request.count = 2;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        return Ioctl(VIDIOC_REQBUFS, &request);
    }
    // Presses one of vivid's buttons ("disconnect", "inject_vidioc_qbuf_error", ...).
    int Press(const std::string& toolName) const {
        const std::uint32_t id = ControlId(toolName);
        return id == 0 ? -ENOENT : Set(id, 1);
    }

private:
    int m_fd = -1;
};

// Why the suite cannot run here, or nothing when /dev/video0 is vivid's capture node.
inline std::optional<std::string> WhyNoVivid() {
    SideDoor door;
    if (!door.IsOpen()) {
        return std::string(kNode) +
               " cannot be opened: not inside the kernel-vm machine with vivid";
    }
    const std::optional<v4l2_capability> cap = door.Capability();
    const std::string driver = cap ? reinterpret_cast<const char*>(cap->driver) : "";
    if (driver != "vivid") {
        return std::string(kNode) + " is driven by '" + driver +
               "', not by the kernel's vivid: run inside ../shared/tools/kernel-vm/run";
    }
    int input = 0;
    if (door.Ioctl(VIDIOC_S_INPUT, &input) < 0) {
        return std::string("vivid's input 0 (Webcam 0) cannot be selected");
    }
    return std::nullopt;
}

// Waits until the next frame after this call has been copied by BufferCB with that length.
inline bool WaitForFrame(std::int32_t length) {
    std::uint8_t* const before = g_frameDoubleBuffer.m_pLatest.load();
    return WaitUntil(
        [&] {
            std::uint8_t* const latest = g_frameDoubleBuffer.m_pLatest.load();
            return latest != nullptr && latest != before &&
                   g_frameDoubleBuffer.m_nLatestLength.load() == length;
        },
        kFrameWait);
}

// A sysfs stand-in in which video0 is interface 0 of a USB camera with the maker's vendor id:
// with it as the sysfs root, discovery gives vivid's /dev/video0 the path text of the maker's
// camera. The shipped program always reads the real /sys.
class MakerCameraSysfs {
public:
    MakerCameraSysfs() {
        namespace fs = std::filesystem;
        const fs::path usb = m_root / "devices" / "pci0000:00" / "usb1" / "1-4";
        const fs::path interface = usb / "1-4:1.0";
        fs::create_directories(interface);
        WriteWholeFile(usb / "idVendor", std::string(LUMISIGHT_VENDOR_ID) + "\n");
        WriteWholeFile(usb / "idProduct", "2b8a\n");
        WriteWholeFile(interface / "bInterfaceNumber", "00\n");
        const fs::path node = m_root / "class" / "video4linux" / "video0";
        fs::create_directories(node);
        fs::create_symlink(interface, node / "device");
    }
    std::string Root() const { return m_root.Path().string(); }
    static std::string PathText() {
        return std::string("usb#vid_") + LUMISIGHT_VENDOR_ID + "&pid_2b8a&mi_00#1-4:1.0#" + kNode;
    }

private:
    TempDir m_root;
};

// The window on the real V4L2 capture system, logging on, with a fresh process's capture state.
// By default discovery reads the maker-camera sysfs stand-in, so the window drives vivid.
class Window {
public:
    enum class Sysfs { MakerCamera, Real };

    explicit Window(Sysfs sysfs = Sysfs::MakerCamera)
        : m_options(Options(sysfs, m_sysfs, m_userInterface)) {
        ResetFrameDoubleBuffer();
        g_bProbeHighRes = true;
        g_bLogEnabled = false;
        WriteWholeFile(m_work / "Debug", "");
        std::filesystem::create_directories(m_work / "Pictures");
        dialog = std::make_unique<CWebcamDlg>(environment);
    }
    ~Window() {
        Close();
        dialog.reset();
        ResetFrameDoubleBuffer();
        g_bLogEnabled = false;
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool Start() { return harness.Start(*dialog); }
    // The window's destroy handling: releases the graph and joins its streaming thread.
    void Close() { harness.Stop(); }

    std::vector<std::string> Log() const { return LogMessages(ReadWholeFile(m_work / "Message")); }
    bool LogHas(const std::string& message) const {
        const std::vector<std::string> log = Log();
        return std::find(log.begin(), log.end(), message) != log.end();
    }
    std::vector<std::string> Pictures() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_work / "Pictures")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    HeadlessHarness harness;
    RecordingShell shell;

private:
    static CaptureOptions Options(Sysfs sysfs, const MakerCameraSysfs& maker,
                                  QtTaskPoster& userInterface) {
        CaptureOptions options;
        options.userInterface = &userInterface;
        options.showProperties = RunPropertiesDialog;
        options.sysfsRoot = sysfs == Sysfs::MakerCamera ? maker.Root() : "/sys";
        return options;
    }

    MakerCameraSysfs m_sysfs;
    QtTaskPoster m_userInterface;
    CaptureOptions m_options;
    FakePowerNotices m_noPower{false};
    TempDir m_work;
    CurrentDirectoryGuard m_cwd{m_work.Path()};

public:
    std::unique_ptr<MediaFramework> media = CreateV4l2MediaFramework(m_options);
    WebcamEnvironment environment{.platform = harness.Services(),
                                  .media = *media,
                                  .power = m_noPower,
                                  .shell = shell,
                                  .getenv = [](const char*) -> const char* { return nullptr; },
                                  .picturesDirOverride = (m_work / "Pictures").string(),
                                  .allocatePool = nullptr};
    std::unique_ptr<CWebcamDlg> dialog;
};

// Runs the body on the settings dialog once ShowDeviceProperties has opened it, then closes it.
// The timer goes with this call, so nothing is left queued when no dialog opened.
inline bool WithOpenSettings(CWebcamDlg& dialog, const std::function<void(QDialog&)>& body) {
    bool opened = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (settings == nullptr) {
            return;
        }
        opened = true;
        EXPECT_EQ(settings->windowTitle(), QStringLiteral("Video Capture Properties"));
        EXPECT_NE(dialog.m_pSpecifyPages, nullptr);
        body(*settings);
        settings->reject();
    });
    timer.start(0);
    dialog.ShowDeviceProperties();
    return opened;
}

// Every test of the suite: skipped with the reason wherever vivid is not /dev/video0.
class VividTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<std::string> reason = WhyNoVivid()) {
            GTEST_SKIP() << reason.value();
        }
    }
};

}  // namespace vivid
