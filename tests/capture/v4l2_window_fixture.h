#pragma once

// The window on the real V4L2 capture system with the emulated camera, and no system camera.

#include <algorithm>

#include <QApplication>
#include <QWidget>

#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/window/properties_dialog.h"
#include "linux/window/qt_task_poster.h"
#include "support/process_resources.h"
#include "support/wait_until.h"

// Finds the program's own top-level Qt windows by their whole title, as the desktop's window
// search does for the program's windows, and closes them on request.
class QtTopLevelFinder : public WindowFinder {
public:
    std::optional<WindowRef> Find(const std::string& title) override {
        searches.push_back(title);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == QString::fromStdString(title)) {
                return reinterpret_cast<WindowRef>(widget);
            }
        }
        return std::nullopt;
    }
    void BringToFront(WindowRef, const std::string&) override {}
    void Close(WindowRef window) override { reinterpret_cast<QWidget*>(window)->close(); }

    std::vector<std::string> searches;
};

// The window on the real V4L2 capture system with the emulated camera and no system cameras.
class V4l2WindowFixture {
public:
    // power: the sleep notices to follow; none by default.
    explicit V4l2WindowFixture(CaptureOptions options = VirtualOnly(),
                               PowerNotices* power = nullptr)
        : m_options(WithUserInterface(options, m_userInterface)),
          m_power(power != nullptr ? *power : m_noPower) {
        ResetFrameDoubleBuffer();
        g_bProbeHighRes = true;
        g_bLogEnabled = false;
        WriteWholeFile(m_work / "Debug", "");
        std::filesystem::create_directories(m_work / "Pictures");
        dialog = std::make_unique<CWebcamDlg>(environment);
    }
    ~V4l2WindowFixture() {
        harness.Stop();
        dialog.reset();
        ResetFrameDoubleBuffer();
        g_bLogEnabled = false;
    }

    // The real user-interface queue: stream ends arrive as in the program, from the event loop;
    // and the real settings dialog.
    static CaptureOptions WithUserInterface(CaptureOptions options, QtTaskPoster& userInterface) {
        options.userInterface = &userInterface;
        options.showProperties = RunPropertiesDialog;
        return options;
    }

    static CaptureOptions VirtualOnly() { return VirtualOnly(VirtualCameraOptions{}); }
    static CaptureOptions VirtualOnly(const VirtualCameraOptions& camera) {
        CaptureOptions options;
        options.virtualDevice = std::make_shared<VirtualCameraIo>(camera);
        options.sysfsRoot = "/nonexistent-sysfs";  // no system camera can interfere
        return options;
    }
    std::vector<std::string> Log() const { return LogMessages(ReadWholeFile(m_work / "Message")); }
    bool LogHas(const std::string& message) const {
        const std::vector<std::string> log = Log();
        return std::find(log.begin(), log.end(), message) != log.end();
    }

    HeadlessHarness harness;
    QtTopLevelFinder windows;
    PlatformServices services{harness.Clock(), harness.MessageBoxes(), windows, harness.Loop(),
                              harness.Tasks()};
    RecordingShell shell;

private:
    QtTaskPoster m_userInterface;
    CaptureOptions m_options;
    FakePowerNotices m_noPower{false};
    PowerNotices& m_power;
    TempDir m_work;
    CurrentDirectoryGuard m_cwd{m_work.Path()};

public:
    std::unique_ptr<MediaFramework> media = CreateV4l2MediaFramework(m_options);
    WebcamEnvironment environment{.platform = services,
                                  .media = *media,
                                  .power = m_power,
                                  .shell = shell,
                                  .getenv = [](const char*) -> const char* { return nullptr; },
                                  .picturesDirOverride = (m_work / "Pictures").string(),
                                  .allocatePool = nullptr};
    std::unique_ptr<CWebcamDlg> dialog;
};
