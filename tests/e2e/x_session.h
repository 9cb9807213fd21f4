#pragma once

// Driving the real program on a private X server: a child process that is ended with the test,
// an Xvfb display that picks its own free number, shell commands against that display (xdotool,
// ImageMagick's import) and a screenshot read back as pixels.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/wait_until.h"

namespace x_session {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output, and standard error when asked for
};

inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline CommandResult RunCommand(const std::string& command, bool withErrors = false) {
    CommandResult result;
    FILE* pipe = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> chunk{};
    while (const std::size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) {
        result.output.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline bool HaveTool(const std::string& name) {
    return RunCommand("command -v " + Quoted(name)).exitCode == 0;
}

// How often a wait checks a condition that runs a command (xdotool, a screenshot) each time.
inline constexpr std::chrono::milliseconds kCommandPoll{50};

// A started program, ended (SIGTERM, then SIGKILL) and reaped when the object goes.
class ChildProcess {
public:
    // argv[0] is the program's path; env replaces the environment; outputFd, when not -1,
    // receives the child's standard output and error; keepFd stays open in the child.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::filesystem::path& workDir, int outputFd = -1, int keepFd = -1) {
        std::vector<char*> args = Pointers(argv);
        std::vector<char*> vars = Pointers(env);
        m_pid = fork();
        if (m_pid == 0) {
            if (outputFd >= 0) {
                dup2(outputFd, STDOUT_FILENO);
                dup2(outputFd, STDERR_FILENO);
            }
            if (keepFd >= 0) {
                fcntl(keepFd, F_SETFD, 0);
            }
            if (chdir(workDir.c_str()) != 0) {
                _exit(126);
            }
            execve(args[0], args.data(), vars.data());
            _exit(127);
        }
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running() {
        if (m_pid <= 0) {
            return false;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return false;
        }
        return true;
    }
    // The exit status once the program has ended by itself (-1 for a signal), else nothing.
    std::optional<int> ExitCode() const { return m_exitCode; }
    void Stop() {
        if (!Running()) {
            return;
        }
        kill(m_pid, SIGTERM);
        if (!WaitUntil([this] { return !Running(); }, std::chrono::seconds(5))) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    static std::vector<char*> Pointers(const std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (const std::string& s : strings) {
            pointers.push_back(const_cast<char*>(s.c_str()));
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t m_pid = -1;
    std::optional<int> m_exitCode;
};

// An Xvfb server on the first free display number, which it reports itself (-displayfd), with one
// screen of the given size and depth.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::filesystem::path& workDir,
                            const std::string& screen = "1024x768x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        m_server = std::make_unique<ChildProcess>(
            std::vector<std::string>{XvfbPath(), "-displayfd", std::to_string(fds[1]), "-screen",
                                     "0", screen, "-nolisten", "tcp",
                                     // a server that resets when its last client leaves
                                     // refuses connections for a moment
                                     "-noreset"},
            std::vector<std::string>{"PATH=/usr/bin:/bin"}, workDir, -1, fds[1]);
        close(fds[1]);
        m_display = ReadDisplayNumber(fds[0]);
        close(fds[0]);
    }
    bool Ready() const { return !m_display.empty(); }
    const std::string& Name() const { return m_display; }  // ":<n>"

    // A shell command with DISPLAY set to this server.
    CommandResult Run(const std::string& command) const {
        return RunCommand("DISPLAY=" + m_display + " " + command);
    }

private:
    static std::string XvfbPath() {
        // The first line. (std::string::find here, inlined into the constructor, draws a false
        // stringop-overread warning from GCC 12 at -O2.)
        std::string path = RunCommand("command -v Xvfb").output;
        path.erase(std::find(path.begin(), path.end(), '\n'), path.end());
        return path;
    }
    static std::string ReadDisplayNumber(int fd) {
        std::string digits;
        char c = 0;
        // Xvfb writes the number and a line end once it accepts connections.
        while (read(fd, &c, 1) == 1 && c != '\n') {
            digits += c;
        }
        return digits.empty() ? std::string() : ":" + digits;
    }

    std::unique_ptr<ChildProcess> m_server;
    std::string m_display;
};

// The first shown window whose whole title is `title`, once there is one within the limit.
inline std::optional<std::string> WaitForWindow(const VirtualDisplay& display,
                                                const std::string& title,
                                                std::chrono::milliseconds limit) {
    std::string window;
    const bool found = WaitUntil(
        [&] {
            const CommandResult result =
                display.Run("xdotool search --onlyvisible --name " + Quoted("^" + title + "$"));
            window = result.output.substr(0, result.output.find('\n'));
            return result.exitCode == 0 && !window.empty();
        },
        limit, kCommandPoll);
    return found ? std::optional<std::string>(window) : std::nullopt;
}

// The whole screen as an image (ImageMagick's import of the root window), or the part of it
// given as WIDTHxHEIGHT+X+Y (the image then starts at that corner).
inline std::optional<QImage> Screenshot(const VirtualDisplay& display,
                                        const std::filesystem::path& file,
                                        const std::string& crop = "") {
    const std::string part = crop.empty() ? "" : " -crop " + Quoted(crop);
    if (display.Run("import -window root" + part + " " + Quoted("png:" + file.string())).exitCode !=
        0) {
        return std::nullopt;
    }
    QImage image(QString::fromStdString(file.string()));
    if (image.isNull()) {
        return std::nullopt;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// CPU time so far (user + system, clock ticks) from a /proc stat file: /proc/<pid>/stat for
// the whole process, /proc/<pid>/task/<tid>/stat for one thread.
inline long long CpuTicks(const std::string& statPath) {
    FILE* file = std::fopen(statPath.c_str(), "r");
    if (file == nullptr) {
        return -1;
    }
    char line[4096] = "";
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // The fields after the command name, which is in parentheses and may hold spaces.
    const char* rest = read ? std::strrchr(line, ')') : nullptr;
    unsigned long utime = 0;
    unsigned long stime = 0;
    if (rest == nullptr ||
        std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                    &stime) != 2) {
        return -1;
    }
    return static_cast<long long>(utime + stime);
}

inline long long ThreadCpuTicks(pid_t pid, pid_t tid) {
    return CpuTicks("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat");
}
inline long long ProcessCpuTicks(pid_t pid) {
    return CpuTicks("/proc/" + std::to_string(pid) + "/stat");
}

}  // namespace x_session
