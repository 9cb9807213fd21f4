#pragma once

// Running the real program in the kernel machine: shell commands, a child process ended with the
// test, an environment with some variables replaced, and an X server of its own.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
    ~Child() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
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

// An X server of its own on the first free display. Without GLX it starts several times faster
// in the emulated machine, and the window needs no OpenGL.
class XServer {
public:
    XServer() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        m_server = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp", "-extension", "GLX"},
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

}  // namespace vivid
