// What the live picture costs the whole program, at the window's display scales: the real
// program with its emulated camera on a private X server, started with QT_SCALE_FACTOR at each
// scale, the camera at 640 x 480 and, switched through the resolution menu, at 1280 x 1024. The
// process's processor time while the pointer stays still (the camera drawing its pattern, the
// frame copy, the conversion to the window's device pixels and the window's painting), as a
// share of one core, and that of the user-interface thread alone.
//
//     build/bench/preview_cpu_bench [seconds per case, default 10] [scales..., default 1 2]

#include <sys/wait.h>
#include <unistd.h>

#include <QImageReader>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/x_session.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using x_session::Quoted;

constexpr const char* kTitle = "Vantor Lumisight webcam";
// The resolution button and the menu's third row ("1.3 M"), in logical client pixels.
constexpr int kResolutionButtonX = 93 + 43;
constexpr int kButtonY = 483 + 15;
constexpr int kHighResRowY = 513 + 1 + 62;
constexpr int kTakePictureX = 20;

struct Case {
    double scale;
    bool highRes;
};

struct Result {
    double processCore = -1;  // share of one core
    double uiThreadCore = -1;
    bool verified = false;  // a picture taken afterwards has the case's size
};

class Program {
public:
    Program(const x_session::VirtualDisplay& display, const fs::path& root, double scale)
        : m_display(display), m_scale(scale), m_pictures(root / "pictures") {
        fs::remove_all(m_pictures);
        fs::create_directories(m_pictures);
        fs::create_directories(root / "home");
        std::ostringstream factor;
        factor << scale;
        m_child = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                     m_pictures.string()},
            std::vector<std::string>{
                "DISPLAY=" + display.Name(), "HOME=" + (root / "home").string(), "LANG=C.UTF-8",
                "PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=xcb", "QT_SCALE_FACTOR=" + factor.str()},
            root);
    }

    bool WaitForWindow() {
        return WaitUntil(
            [this] {
                const auto found = m_display.Run("xdotool search --onlyvisible --name " +
                                                 Quoted(std::string("^") + kTitle + "$"));
                m_window = found.output.substr(0, found.output.find('\n'));
                return found.exitCode == 0 && !m_window.empty();
            },
            20s, 200ms);
    }

    // A click at a logical client point, on the first device pixel that shows it.
    void ClickAt(int x, int y) {
        const std::string geometry =
            m_display.Run("xdotool getwindowgeometry --shell " + m_window).output;
        int left = 0;
        int top = 0;
        std::sscanf(geometry.c_str() + geometry.find("X="), "X=%d\nY=%d", &left, &top);
        m_display.Run("xdotool mousemove --sync " +
                      std::to_string(left + static_cast<int>(std::floor(x * m_scale + 0.5))) + " " +
                      std::to_string(top + static_cast<int>(std::floor(y * m_scale + 0.5))) +
                      " click 1");
    }

    void SwitchToHighRes() {
        ClickAt(kResolutionButtonX, kButtonY);
        std::this_thread::sleep_for(300ms);  // the menu is drawn by the button's release
        ClickAt(kResolutionButtonX, kHighResRowY);
    }

    // Takes a picture and reads back its size.
    QSize PictureSize() {
        ClickAt(kTakePictureX, kButtonY);
        QSize size;
        WaitUntil(
            [&] {
                for (const auto& entry : fs::directory_iterator(m_pictures)) {
                    size = QImageReader(QString::fromStdString(entry.path().string())).size();
                    return size.isValid();
                }
                return false;
            },
            5s, 100ms);
        return size;
    }

    pid_t Pid() const { return m_child->Pid(); }

private:
    const x_session::VirtualDisplay& m_display;
    double m_scale;
    fs::path m_pictures;
    std::unique_ptr<x_session::ChildProcess> m_child;
    std::string m_window;
};

Result Measure(const x_session::VirtualDisplay& display, const fs::path& root, const Case& c,
               int seconds) {
    Result result;
    Program program(display, root, c.scale);
    if (!program.WaitForWindow()) {
        std::fprintf(stderr, "the window did not appear at scale %g\n", c.scale);
        return result;
    }
    std::this_thread::sleep_for(2s);  // the start-up probe and the first frames
    if (c.highRes) {
        program.SwitchToHighRes();
        std::this_thread::sleep_for(2s);  // the camera restarted at the new size
    }
    // Leaves the pointer over the strip, off the buttons and the picture.
    program.ClickAt(320, 590);
    std::this_thread::sleep_for(1s);
    const pid_t pid = program.Pid();
    const long long process0 = x_session::ProcessCpuTicks(pid);
    const long long thread0 = x_session::ThreadCpuTicks(pid, pid);
    const auto start = std::chrono::steady_clock::now();
    // The still time is the measurement itself, so it is slept through.
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long long process = x_session::ProcessCpuTicks(pid) - process0;
    const long long thread = x_session::ThreadCpuTicks(pid, pid) - thread0;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    result.processCore = static_cast<double>(process) / ticks / elapsed;
    result.uiThreadCore = static_cast<double>(thread) / ticks / elapsed;
    const QSize expected = c.highRes ? QSize(1280, 1024) : QSize(640, 480);
    result.verified = program.PictureSize() == expected;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> scales;
    for (int i = 2; i < argc; ++i) {
        scales.push_back(std::atof(argv[i]));
    }
    if (scales.empty()) {
        scales = {1.0, 2.0};
    }
    TempDir work;
    x_session::VirtualDisplay display(work.Path(), "2560x1600x24");
    if (!display.Ready()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    std::printf("live picture, %d s per case, share of one core (whole process / UI thread)\n",
                seconds);
    for (const bool highRes : {false, true}) {
        for (const double scale : scales) {
            const Result r = Measure(display, work.Path(), Case{scale, highRes}, seconds);
            std::printf("camera %-9s  scale %-4g  process %5.1f %%  UI thread %5.1f %%%s\n",
                        highRes ? "1280x1024" : "640x480", scale, 100 * r.processCore,
                        100 * r.uiThreadCore,
                        r.verified ? "" : "  (the camera's size could not be confirmed)");
            std::fflush(stdout);
        }
    }
    return 0;
}
