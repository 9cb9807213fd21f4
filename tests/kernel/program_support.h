#pragma once

// Running the real program in the kernel machine: shell commands, a child process ended with the
// test, an environment with some variables replaced, an X server of its own, the program on it
// with its window read back, and a udev daemon.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>

#include "capture/capture_test_support.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "window_pixels.h"

extern char** environ;

namespace vivid {

inline std::string RunShell(const std::string& command, int* exitCode = nullptr) {
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    std::array<char, 512> chunk{};
    while (const std::size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) {
        output.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    if (exitCode != nullptr) {
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return output;
}

inline bool HaveTool(const std::string& name) {
    int code = -1;
    RunShell("command -v " + name, &code);
    return code == 0;
}

// The last count lines of text, each ending with a newline.
inline std::string LastLines(const std::string& text, int count) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(std::move(line));
    }
    std::string tail;
    for (std::size_t i = lines.size() - std::min(lines.size(), std::size_t(count));
         i < lines.size(); ++i) {
        tail += lines[i] + "\n";
    }
    return tail;
}

// A thread's state line in /proc (for example "State:\tS (sleeping)\n"), or nothing.
inline std::string StateLine(const std::filesystem::path& task) {
    const std::string status = ReadWholeFile(task / "status");
    const std::size_t state = status.find("State:");
    return state == std::string::npos ? std::string()
                                      : status.substr(state, status.find('\n', state) + 1 - state);
}

// Where each thread of a process waits: its name, its state line and its kernel stack.
inline std::string ThreadWaits(pid_t pid) {
    std::string report;
    std::error_code error;
    for (const std::filesystem::directory_entry& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        // comm ends with a newline, as the state line does.
        report += "-- thread " + task.path().filename().string() + " " +
                  ReadWholeFile(task.path() / "comm") + StateLine(task.path()) +
                  LastLines(ReadWholeFile(task.path() / "stack"), 12);
    }
    return report;
}

// The process's environment with some variables replaced; an empty value removes the variable.
class Environment {
public:
    explicit Environment(const std::vector<std::pair<std::string, std::string>>& overrides) {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                              [&](const auto& o) { return o.first == name; });
            if (!replaced) {
                m_texts.push_back(text);
            }
        }
        for (const auto& [name, value] : overrides) {
            if (!value.empty()) {
                m_texts.push_back(name + "=" + value);
            }
        }
        for (std::string& text : m_texts) {
            m_pointers.push_back(text.data());
        }
        m_pointers.push_back(nullptr);
    }
    char** Get() { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};

// A child process, killed if it is still running when this goes.
class Child {
public:
    // Standard output and error go to errors (or nowhere); displayFd becomes descriptor 3.
    Child(std::vector<std::string> arguments, char** environment, const std::string& folder,
          const std::string& errors = "/dev/null", int displayFd = -1) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (displayFd >= 0) {
            posix_spawn_file_actions_adddup2(&actions, displayFd, 3);
        }
        if (!folder.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environment) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    // A process held inside the kernel (a driver waiting for a device that went away) does not
    // end even when killed: it is reported and left behind, so that the test goes on.
    ~Child() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            if (!WaitUntil([&] { return Exited(); }, std::chrono::seconds(30),
                           std::chrono::milliseconds(20))) {
                std::printf("[ WARNING  ] process %d did not end when killed; where it waits:\n%s",
                            static_cast<int>(m_pid), ThreadWaits(m_pid).c_str());
                std::fflush(stdout);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // True once the child has ended; its exit code is then in ExitCode().
    bool Exited() {
        int status = 0;
        if (!m_exited && m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return m_exited;
    }
    int ExitCode() const { return m_exitCode; }

private:
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_exitCode = -1;
};

// Holds a process stopped while it lives: once made, every thread of the process has stopped,
// unless Holds() says otherwise; they all go on when it goes.
class StoppedProcess {
public:
    explicit StoppedProcess(pid_t pid) : m_pid(pid) {
        kill(m_pid, SIGSTOP);
        m_holds = WaitUntil([&] { return EveryThreadStopped(); }, std::chrono::seconds(10),
                            std::chrono::milliseconds(10));
    }
    ~StoppedProcess() { kill(m_pid, SIGCONT); }
    StoppedProcess(const StoppedProcess&) = delete;
    StoppedProcess& operator=(const StoppedProcess&) = delete;

    bool Holds() const { return m_holds; }

private:
    bool EveryThreadStopped() const {
        std::error_code error;
        bool any = false;
        for (const std::filesystem::directory_entry& task : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(m_pid) + "/task", error)) {
            if (StateLine(task.path()).rfind("State:\tT", 0) != 0) {
                return false;
            }
            any = true;
        }
        return any;
    }

    pid_t m_pid;
    bool m_holds = false;
};

// An X server of its own on the first free display. Without GLX it starts several times faster
// in the emulated machine, and the window needs no OpenGL. A server that resets when its last
// client leaves (an xdotool that looks for the window before the program has connected) refuses
// connections for a moment, and the program, finding no display, aborts.
class XServer {
public:
    XServer() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        m_server = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp", "-extension", "GLX", "-noreset"},
            environ, "", "/dev/null", fds[1]);
        close(fds[1]);
        std::string number;
        pollfd entry{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&entry, 1, 90000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(fds[0]);
        if (!number.empty()) {
            m_display = ":" + number;
        }
    }
    const std::string& Display() const { return m_display; }

private:
    std::unique_ptr<Child> m_server;
    std::string m_display;
};

// What a process holds of a device node, from /proc: also of a node that has been removed
// while held (a device unplugged), which /proc shows as "NODE (deleted)".
inline bool NamesNode(const std::string& text, const std::string& node) {
    const std::string deleted = node + " (deleted)";
    const auto endsWith = [&](const std::string& tail) {
        return text.size() >= tail.size() &&
               text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(node) || endsWith(deleted);
}

inline std::size_t NodeDescriptors(pid_t pid, const std::string& node) {
    namespace fs = std::filesystem;
    std::size_t count = 0;
    std::error_code error;
    for (const fs::directory_entry& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = fs::read_symlink(entry.path(), error).string();
        count += !error && (target == node || target == node + " (deleted)") ? 1 : 0;
    }
    return count;
}

inline std::size_t NodeMappings(pid_t pid, const std::string& node) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::size_t count = 0;
    for (std::string line; std::getline(maps, line);) {
        count += NamesNode(line, node) ? 1 : 0;
    }
    return count;
}

// The program on an X server of its own with the given options, logging into its own folder.
class ProgramOnScreen {
public:
    explicit ProgramOnScreen(const std::vector<std::string>& options)
        : m_environment({{"DISPLAY", m_server.Display()},
                         {"QT_QPA_PLATFORM", "xcb"},
                         {"HOME", m_work.Path().string()},
                         {"LANG", "C.UTF-8"},
                         {"LC_ALL", ""}}) {
        WriteWholeFile(m_work / "Debug", "");
        std::vector<std::string> arguments{LUMISIGHT_BINARY, "--pictures",
                                           (m_work / "Pictures").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (!m_server.Display().empty()) {
            m_program =
                std::make_unique<Child>(arguments, m_environment.Get(), m_work.Path().string(),
                                        (m_work / "errors").string());
        }
    }

    bool Started() const { return m_program && m_program->Started(); }
    Child& Program() { return *m_program; }
    pid_t Pid() const { return m_program->Pid(); }
    const std::string& Display() const { return m_server.Display(); }
    std::filesystem::path PicturesDir() const { return m_work / "Pictures"; }

    std::vector<std::string> Log() const { return LogMessages(ReadWholeFile(m_work / "Message")); }
    int LogCount(const std::string& prefix) const {
        const std::vector<std::string> log = Log();
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    bool WaitForLog(const std::string& prefix, int count, std::chrono::milliseconds limit) {
        return WaitUntil([&] { return LogCount(prefix) >= count; }, limit,
                         std::chrono::milliseconds(10));
    }

    // The window's id once it shows; the picture is read from it from then on.
    bool FindWindow(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        return WaitUntil(
            [&] {
                const std::string id =
                    RunShell("DISPLAY=" + Display() +
                             " xdotool search --onlyvisible --name '^Vantor Lumisight webcam$'");
                if (id.empty()) {
                    return false;
                }
                m_window = std::stoul(id);
                m_pixels = std::make_unique<WindowPixels>(Display(), m_window);
                return true;
            },
            limit, std::chrono::milliseconds(500));
    }
    unsigned long Window() const { return m_window; }

    // For a failure's report: how the program ended or, while it runs, where each of its threads
    // waits in the kernel; then the end of what it wrote and of its log.
    std::string Whereabouts() {
        std::string report;
        if (!m_program || !m_program->Started()) {
            return "the program did not start";
        }
        if (m_program->Exited()) {
            report = "the program ended with " + std::to_string(m_program->ExitCode()) + "\n";
        } else {
            report = "the program still runs; where its threads wait:\n" + ThreadWaits(Pid());
        }
        return report + "it wrote, at the end:\n" +
               LastLines(ReadWholeFile(m_work / "errors"), 20) + "its log ends:\n" +
               LastLines(ReadWholeFile(m_work / "Message"), 10);
    }

    // The picture area (640 x 480 at the client's origin).
    std::optional<QImage> Picture() {
        std::vector<std::uint32_t> pixels;
        if (!m_pixels || !m_pixels->Read(0, 0, 640, 480, &pixels)) {
            return std::nullopt;
        }
        QImage picture(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < 480; ++y) {
            std::copy_n(pixels.data() + static_cast<std::size_t>(y) * 640, 640,
                        reinterpret_cast<std::uint32_t*>(picture.scanLine(y)));
        }
        return picture;
    }
    // Waits until two pictures in a row differ in a twentieth of their samples; the last
    // difference is kept for the report.
    bool PictureMoves(std::chrono::milliseconds limit) {
        std::optional<QImage> before = Picture();
        return WaitUntil(
            [&] {
                std::optional<QImage> now = Picture();
                lastDifference = before && now ? Differing(*before, *now) : -1;
                before = now;
                return lastDifference > 960;
            },
            limit, std::chrono::milliseconds(20));
    }
    int lastDifference = -1;
    // Until a notice is drawn over the darkened picture (ShowsANotice).
    bool WaitForNotice(std::chrono::milliseconds limit);
    static int Differing(const QImage& a, const QImage& b) {
        int count = 0;
        for (int y = 0; y < 480; y += 4) {
            for (int x = 0; x < 640; x += 4) {
                count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
            }
        }
        return count;
    }

private:
    XServer m_server;
    TempDir m_work;
    Environment m_environment;
    std::unique_ptr<Child> m_program;
    unsigned long m_window = 0;
    std::unique_ptr<WindowPixels> m_pixels;
};

// A notice drawn over the darkened picture: white text in the middle band of the picture and
// nothing that bright elsewhere.
inline ::testing::AssertionResult ShowsANotice(const QImage& picture) {
    int inBand = 0;
    int outside = 0;
    for (int y = 0; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2) {
            const QRgb p = picture.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200) {
                (y >= 200 && y < 280 ? inBand : outside) += 1;
            }
        }
    }
    if (inBand > 20 && outside == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << inBand << " bright samples in the text band, " << outside << " outside it";
}

inline bool ProgramOnScreen::WaitForNotice(std::chrono::milliseconds limit) {
    return WaitUntil(
        [&] {
            const std::optional<QImage> picture = Picture();
            return picture && ShowsANotice(*picture);
        },
        limit, std::chrono::milliseconds(20));
}

constexpr const char* kUdevd = "/lib/systemd/systemd-udevd";

// A udev daemon for the test's life: it announces the nodes drivers add, and makes the stable
// links under /dev/v4l. Replaying the machine's existing devices takes seconds under emulation;
// a suite that adds all the devices it needs afterwards can leave it out.
class UdevDaemon {
public:
    explicit UdevDaemon(bool replayExisting = true) {
        int code = -1;
        RunShell(std::string(kUdevd) + " --daemon", &code);
        m_running = code == 0;
        if (m_running && replayExisting) {
            RunShell("udevadm trigger && udevadm settle --timeout=30");
        }
    }
    ~UdevDaemon() {
        if (m_running) {
            RunShell("udevadm control --exit");
        }
    }
    UdevDaemon(const UdevDaemon&) = delete;
    UdevDaemon& operator=(const UdevDaemon&) = delete;
    bool Running() const { return m_running; }

private:
    bool m_running = false;
};

}  // namespace vivid
