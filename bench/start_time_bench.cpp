// The real program's start on a private X server, with 0, 2000 and 10000 pictures of 640 x 480
// in its folder, without and with its thumbnail cache: the time from launch to the window on
// screen, to the six visible thumbnails drawn, and to every thumbnail loaded (FileList.txt is
// written then), and the process's resident memory once the start has settled (every thumbnail
// in, the cache saved, the resident size steady) with its peak until then. With no picture, the
// resident memory a second after the start is shown instead.
//
//     build/bench/start_time_bench [runs per case, default 3] [picture counts...]
//
// The picture counts default to 0 2000 10000.

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

// The thumbnail cache's saves: none under way (no temporary file beside the cache file) and at
// least one file written.
bool CacheSaved(const fs::path& cacheFolder) {
    bool saved = false;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(cacheFolder, error)) {
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) {
            return false;
        }
        saved = true;
    }
    return saved;
}

// The resident size once the start has settled: the cache saved and the size steady (within
// 1 MB) for two seconds, sampled every 50 ms; the last sample after 30 s at most.
long SettledKilobytes(pid_t pid, const fs::path& cacheFolder) {
    constexpr auto kInterval = std::chrono::milliseconds(50);
    constexpr std::size_t kSteadySamples = 40;
    constexpr long kSteadyKb = 1024;
    std::vector<long> samples;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(30);
    for (;;) {
        const bool saved = CacheSaved(cacheFolder);
        samples.push_back(KilobytesOf(pid, "VmRSS"));
        if (!saved) {
            samples.clear();
        }
        if (samples.size() >= kSteadySamples) {
            const auto [low, high] =
                std::minmax_element(samples.end() - kSteadySamples, samples.end());
            if (*high - *low <= kSteadyKb) {
                return samples.back();
            }
        }
        if (Clock::now() >= limit) {
            return samples.empty() ? KilobytesOf(pid, "VmRSS") : samples.back();
        }
        std::this_thread::sleep_for(kInterval);
    }
}

struct Times {
    double shown = -1;
    double visibleThumbnails = -1;
    double allLoaded = -1;
    long peakKb = -1;
    long settledKb = -1;  // with no picture: a second after the start
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
        }
        if (times.visibleThumbnails >= 0 && times.allLoaded >= 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        times.settledKb = KilobytesOf(program.Pid(), "VmRSS");
    } else if (times.allLoaded >= 0) {
        times.settledKb = SettledKilobytes(program.Pid(), cache / "lumisight-webcam");
    }
    times.peakKb = KilobytesOf(program.Pid(), "VmHWM");
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
        "peak %6.1f MB  %s %6.1f MB\n",
        count, label, median([](const Times& t) { return t.shown; }),
        median([](const Times& t) { return t.visibleThumbnails; }),
        median([](const Times& t) { return t.allLoaded; }),
        median([](const Times& t) { return t.peakKb; }) / 1024.0, count == 0 ? "idle" : "settled",
        median([](const Times& t) { return t.settledKb; }) / 1024.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) {
        counts.push_back(std::clamp(std::atoi(argv[i]), 0, 10000));
    }
    if (counts.empty()) {
        counts = {0, 2000, 10000};
    }
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
    for (const int count : counts) {
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
