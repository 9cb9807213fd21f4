// The process: the command line, the GUI application and the platform's real services, then the
// application object, which runs the main window and returns when it has closed.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/user_messages.h"
#include "app/webcam_app.h"
#include "app/webcam_dlg.h"
#include "linux/desktop/logind_power.h"
#include "linux/desktop/session_bus_instance.h"
#include "linux/desktop/udev_device_arrivals.h"
#include "linux/desktop/x11_window_finder.h"
#include "linux/desktop/xdg_shell.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/v4l2/v4l2_media_framework.h"
#include "linux/window/gui_application.h"
#include "linux/window/properties_dialog.h"
#include "linux/window/qt_message_boxes.h"
#include "linux/window/qt_modal_loop.h"
#include "linux/window/qt_task_poster.h"
#include "linux/window/qt_timer_host.h"

namespace {

// --help and --version answer without a display, before the toolkit starts.
bool AnswerWithoutWindow(const std::vector<std::string>& arguments, const char* program) {
    const CommandLine line = ParseCommandLine(arguments);
    if (line.help) {
        std::fputs(HelpText(program).c_str(), stdout);
        return true;
    }
    if (line.version) {
        std::fputs(VersionText().c_str(), stdout);
        return true;
    }
    return false;
}

// Every message but a question is also written to standard error, so that a start from a
// terminal, or the session's log, tells why the window went away.
class EchoingMessageBoxes : public MessageBoxes {
public:
    explicit EchoingMessageBoxes(MessageBoxes& boxes) : m_boxes(boxes) {}
    int Show(const std::string& text, const std::string& caption, unsigned style) override {
        if ((style & MB_YESNO) == 0) {
            // A box titled with a path (a picture that cannot be found) names it after the text.
            const std::string subject = caption == kMessageBoxCaption ? "" : caption;
            std::fprintf(stderr, "lumisight-webcam: %s%s\n", text.c_str(), subject.c_str());
        }
        return m_boxes.Show(text, caption, style);
    }

private:
    MessageBoxes& m_boxes;
};

}  // namespace

int main(int argc, char** argv) {
    if (AnswerWithoutWindow(std::vector<std::string>(argv + 1, argv + argc), "lumisight-webcam")) {
        return 0;
    }
    // Read before the toolkit starts: it takes the X11 startup id out of the environment.
    const std::string activationToken = StartupActivationToken();
    GuiApplication gui(argc, argv);  // takes the toolkit's own options out of the line
    const CommandLine line = ParseCommandLine(gui.ProgramArguments());
    if (!line.error.empty()) {
        std::fprintf(stderr, "lumisight-webcam: %s\nTry 'lumisight-webcam --help'.\n",
                     line.error.c_str());
        return 2;
    }

    // Other threads (the camera's stream, the thumbnail workers, the session bus's answers)
    // hand their results to the window's thread through this queue; it outlives them all.
    QtTaskPoster tasks;
    CaptureOptions captureOptions;
    if (line.virtualCamera) {
        captureOptions.virtualDevice = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    }
    captureOptions.userInterface = &tasks;
    captureOptions.showProperties = RunPropertiesDialog;
    const std::unique_ptr<MediaFramework> media = CreateV4l2MediaFramework(captureOptions);

    LogindPowerNotices power;
    QtTimerHost timers;
    QtMessageBoxes qtMessageBoxes;
    EchoingMessageBoxes messageBoxes(qtMessageBoxes);
    X11WindowFinder windowFinder;
    QtModalLoop modalLoop;
    PlatformServices services{timers, messageBoxes, windowFinder, modalLoop, tasks};
    XdgShell shell;
    UdevDeviceArrivals deviceArrivals;
    SessionBusInstance singleInstance(LUMISIGHT_APP_ID, activationToken, tasks);
    WebcamEnvironment environment{
        .platform = services,
        .media = *media,
        .power = power,
        .shell = shell,
        .getenv = [](const char* name) { return static_cast<const char*>(std::getenv(name)); },
        .picturesDirOverride = line.picturesDir,
        .allocatePool = nullptr,
        .singleInstance = &singleInstance,
        .deviceArrivals = &deviceArrivals,
        .captureDevice = line.device.value_or("")};

    CWebcamApp application(environment);
    application.InitInstance();
    return 0;
}
