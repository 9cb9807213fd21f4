#pragma once

// A desktop session of the test's own: a private session bus, and a headless Weston compositor
// (software rendering, so that windows repaint as on a screen) with XWayland for X11 clients,
// in a temporary runtime folder. The program runs in it as in one of three sessions.

#include <QLibraryInfo>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/private_bus.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace wayland_session {

enum class Kind {
    Wayland,    // a native Wayland session without X11
    GnomeLike,  // Wayland with XWayland's DISPLAY set too: Qt takes Wayland
    X11Client,  // the program as an X11 client through XWayland (QT_QPA_PLATFORM=xcb)
};

inline const char* Name(Kind kind) {
    switch (kind) {
        case Kind::Wayland:
            return "native Wayland";
        case Kind::GnomeLike:
            return "GNOME-like";
        case Kind::X11Client:
            return "X11 client through XWayland";
    }
    return "";
}

// What is missing to run the session, or empty.
inline std::string MissingTool() {
    for (const char* tool :
         {"weston", "Xwayland", "dbus-daemon", "xdotool", "xprop", "import", "xev"}) {
        if (!x_session::HaveTool(tool)) {
            return tool;
        }
    }
    const std::filesystem::path plugin =
        std::filesystem::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) /
        "platforms/libqwayland-generic.so";
    return std::filesystem::exists(plugin) ? std::string() : "qt6-wayland";
}

class Session {
public:
    static constexpr const char* kSocket = "wayland-lumisight";

    Session() {
        if (!m_bus.Running()) {
            m_problem = "the session bus did not start";
            return;
        }
        m_weston = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{WestonPath(), "--backend=headless-backend.so", "--use-pixman",
                                     "--xwayland", std::string("--socket=") + kSocket,
                                     "--no-config", "--width=1280", "--height=1024",
                                     "--log=" + (m_runtime / "weston.log").string()},
            std::vector<std::string>{"PATH=/usr/bin:/bin", "XDG_RUNTIME_DIR=" + RuntimeDir()},
            m_runtime.Path());
        using namespace std::chrono_literals;
        // Weston names XWayland's display once it listens for X clients.
        const bool listening = WaitUntil(
            [this] {
                m_xDisplay = XDisplayFromLog(ReadWholeFile(m_runtime / "weston.log"));
                return std::filesystem::exists(m_runtime / kSocket) && !m_xDisplay.empty();
            },
            20s);
        if (!listening) {
            m_problem = "weston did not start: " + ReadWholeFile(m_runtime / "weston.log");
        }
    }

    bool Ready() const { return m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }
    std::string RuntimeDir() const { return m_runtime.Path().string(); }
    const std::string& XDisplay() const { return m_xDisplay; }

    // The environment of a program started in this session of the given kind.
    std::vector<std::string> Environment(Kind kind, const std::filesystem::path& home) const {
        std::vector<std::string> env = {
            "PATH=/usr/bin:/bin",
            "HOME=" + home.string(),
            "LANG=C.UTF-8",
            "XDG_RUNTIME_DIR=" + RuntimeDir(),
            "XDG_SESSION_TYPE=wayland",
            "DBUS_SESSION_BUS_ADDRESS=" + m_bus.Address().toStdString(),
            std::string("WAYLAND_DISPLAY=") + kSocket,
        };
        if (kind != Kind::Wayland) {
            env.push_back("DISPLAY=" + m_xDisplay);
        }
        if (kind == Kind::X11Client) {
            env.push_back("QT_QPA_PLATFORM=xcb");
        }
        return env;
    }

    // A shell command against XWayland's display.
    x_session::CommandResult RunX(const std::string& command) const {
        return x_session::RunCommand("DISPLAY=" + m_xDisplay + " " + command);
    }

private:
    static std::string WestonPath() {
        const std::string path = x_session::RunCommand("command -v weston").output;
        return path.substr(0, path.find('\n'));
    }
    static std::string XDisplayFromLog(const std::string& log) {
        const std::string marker = "xserver listening on display ";
        const std::size_t at = log.find(marker);
        if (at == std::string::npos) {
            return {};
        }
        const std::size_t start = at + marker.size();
        return log.substr(start, log.find('\n', start) - start);
    }

    TempDir m_runtime;  // mode 0700, as a runtime folder must be
    PrivateBus m_bus{PrivateBus::Kind::Session};
    std::unique_ptr<x_session::ChildProcess> m_weston;
    std::string m_xDisplay;
    std::string m_problem;
};

}  // namespace wayland_session
