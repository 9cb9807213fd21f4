// The real program's start on a private X server, with 0, 2000 and 10000 pictures of 640 x 480
// in its folder, without and with its thumbnail cache: the time from launch to the window on
// screen, to the six visible thumbnails drawn, and to every thumbnail loaded (FileList.txt is
// written then), and the process's peak resident memory. With no picture, the resident memory a
// second after the start is shown as well.
//
//     build/bench/start_time_bench [runs per case, default 3]

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/x_session.h"
#include "picture_bench_support.h"
#include "support/temp_dir.h"

// After every Qt header: Xlib defines macros (Bool, Status) that Qt's headers also use.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* kTitle = "Vantor Lumisight webcam";

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// The program's main window, once it is viewable on the display.
std::optional<Window> ShownWindow(Display* display) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        char* name = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && XFetchName(display, children[i], &name) != 0) {
            if (std::string(name) == kTitle) {
                found = children[i];
            }
            XFree(name);
        }
    }
    XFree(children);
    return found;
}

// Whether the six frames show thumbnails: each frame's white border is drawn and its centre is
// not the grey of a thumbnail still to come.
bool SixThumbnailsShown(Display* display, Window window) {
    for (int frame = 0; frame < 6; ++frame) {
        const int left = 8 + 106 * frame;
        XImage* image = XGetImage(display, window, left, 519, 90, 70, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return false;
        }
        const unsigned long border = XGetPixel(image, 4, 35);
        const unsigned long centre = XGetPixel(image, 45, 35);
        XDestroyImage(image);
        if ((border & 0xFFFFFF) != 0xFFFFFF || (centre & 0xFFFFFF) == 0x808080) {
            return false;
        }
    }
    return true;
}

long KilobytesOf(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

struct Times {
    double shown = -1;
    double visibleThumbnails = -1;
    double allLoaded = -1;
    long peakKb = -1;
    long idleKb = -1;
};

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Times Launch(const x_session::VirtualDisplay& x, Display* display, const std::string& pictures,
             int count, const fs::path& work, const fs::path& cache) {
    fs::remove(work / "FileList.txt");
    Times times;
    const Clock::time_point start = Clock::now();
    x_session::ChildProcess program(
        {LUMISIGHT_BINARY, "--virtual-camera", "--pictures", pictures},
        {"PATH=/usr/bin:/bin", "HOME=" + work.string(), "LANG=en_US.UTF-8", "DISPLAY=" + x.Name(),
         "QT_QPA_PLATFORM=xcb", "XDG_CACHE_HOME=" + cache.string(),
         "XDG_RUNTIME_DIR=" + work.string()},
        work);
    std::optional<Window> window;
    const Clock::time_point limit = start + std::chrono::seconds(120);
    while (Clock::now() < limit && program.Running()) {
        if (!window && (window = ShownWindow(display))) {
            times.shown = MillisecondsSince(start);
        }
        if (window && times.visibleThumbnails < 0 &&
            (count == 0 || SixThumbnailsShown(display, *window))) {
            times.visibleThumbnails = MillisecondsSince(start);
        }
        if (window && times.allLoaded < 0 && (count == 0 || fs::exists(work / "FileList.txt"))) {
            times.allLoaded = MillisecondsSince(start);
            times.peakKb = KilobytesOf(program.Pid(), "VmHWM");
        }
        if (times.visibleThumbnails >= 0 && times.allLoaded >= 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        times.idleKb = KilobytesOf(program.Pid(), "VmRSS");
    }
    // The cache is saved in the background once every thumbnail is in: give it its time.
    std::this_thread::sleep_for(std::chrono::milliseconds(count >= 10000 ? 2500 : 800));
    return times;
}

void Print(const char* label, int count, const std::vector<Times>& runs) {
    auto median = [&](auto field) {
        std::vector<double> values;
        for (const Times& t : runs) {
            values.push_back(static_cast<double>(field(t)));
        }
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf(
        "%6d pictures, %-5s  shown %7.0f ms  six thumbnails %7.0f ms  all %7.0f ms  "
        "peak %6.1f MB",
        count, label, median([](const Times& t) { return t.shown; }),
        median([](const Times& t) { return t.visibleThumbnails; }),
        median([](const Times& t) { return t.allLoaded; }),
        median([](const Times& t) { return t.peakKb; }) / 1024.0);
    if (count == 0) {
        std::printf("  idle %6.1f MB", median([](const Times& t) { return t.idleKb; }) / 1024.0);
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    TempDir work;
    x_session::VirtualDisplay x(work.Path());
    if (!x.Ready()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(x.Name().c_str()));
    if (!display) {
        std::fprintf(stderr, "cannot open %s\n", x.Name().c_str());
        return 1;
    }
    std::ofstream(work / "Debug").put('\n');  // FileList.txt tells when every picture is in
    const fs::path cache = work / "cache";
    for (const int count : {0, 2000, 10000}) {
        const std::string pictures =
            count == 0 ? (work / "empty").string() : picture_bench::PictureFolder(count, 640, 480);
        fs::create_directories(work / "empty");
        std::vector<Times> cold;
        std::vector<Times> warm;
        for (int run = 0; run < runs; ++run) {
            fs::remove_all(cache);
            cold.push_back(Launch(x, display.get(), pictures, count, work.Path(), cache));
            warm.push_back(Launch(x, display.get(), pictures, count, work.Path(), cache));
        }
        Print("cold", count, cold);
        Print("warm", count, warm);
    }
    return 0;
}
