// The one-copy rule of the real program in a desktop session of the test's own (a headless
// Weston with XWayland and a private session bus), in three kinds of session: a native Wayland
// session, a GNOME-like one (Wayland with DISPLAY set too) and the program as an X11 client
// through XWayland. A second launch ends with status 0, touching nothing, and the running copy
// hears its request with its launcher's token; two launches close together leave one copy.

#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <iostream>
#include <regex>

#include "support/doubles/headless_harness.h"
#include "support/temp_dir.h"
#include "wayland_session.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using wayland_session::Kind;
using x_session::Quoted;
namespace fs = std::filesystem;

constexpr const char* kTitle = "Vantor Lumisight webcam";

// One launch of the program in a folder of its own (its working directory), with its standard
// output and error in the file "output" there.
struct Launch {
    fs::path dir;
    std::unique_ptr<x_session::ChildProcess> process;
    std::chrono::steady_clock::time_point started;

    std::string Output() const { return ReadWholeFile(dir / "output"); }
    std::string Log() const { return ReadWholeFile(dir / "Message"); }
};

// The lines of a Wayland protocol trace that commit a surface, after the window's first
// configuration was acknowledged (that is, once it is mapped).
int CommitsAfterMapping(const std::string& trace) {
    const std::size_t mapped = trace.find(".ack_configure(");
    if (mapped == std::string::npos) {
        return 0;
    }
    int commits = 0;
    for (std::size_t at = trace.find(".commit()", mapped); at != std::string::npos;
         at = trace.find(".commit()", at + 1)) {
        ++commits;
    }
    return commits;
}

class SingleInstanceSessionTest : public ::testing::TestWithParam<Kind> {
protected:
    static void SetUpTestSuite() {
        EnsureQtApplication();
        if (wayland_session::MissingTool().empty() && fs::exists(LUMISIGHT_BINARY)) {
            s_session = std::make_unique<wayland_session::Session>();
        }
    }
    static void TearDownTestSuite() { s_session.reset(); }

    void SetUp() override {
        if (const std::string missing = wayland_session::MissingTool(); !missing.empty()) {
            GTEST_SKIP() << missing << " is not installed (tools/install-deps installs it)";
        }
        ASSERT_NE(s_session, nullptr) << "the program is not built: " << LUMISIGHT_BINARY;
        ASSERT_TRUE(s_session->Ready()) << s_session->Problem();
        fs::create_directories(m_dir / "home");
        fs::create_directories(Pictures());
    }

    Kind SessionKind() const { return GetParam(); }
    bool OnWayland() const { return SessionKind() != Kind::X11Client; }
    fs::path Pictures() const { return m_dir / "pictures"; }

    // Starts a copy with the token its launcher would hand it. A traced Wayland copy writes its
    // protocol traffic to its output, which shows its window being mapped and repainted.
    Launch Start(const std::string& name, const std::string& token, bool traced,
                 bool withLog = false) {
        Launch launch{m_dir / name, nullptr, {}};
        fs::create_directories(launch.dir);
        if (withLog) {
            WriteWholeFile(launch.dir / "Debug", "");
        }
        std::vector<std::string> env = s_session->Environment(SessionKind(), m_dir / "home");
        env.push_back((OnWayland() ? "XDG_ACTIVATION_TOKEN=" : "DESKTOP_STARTUP_ID=") + token);
        if (OnWayland() && traced) {
            env.push_back("WAYLAND_DEBUG=client");
        }
        const int output =
            open((launch.dir / "output").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        launch.started = std::chrono::steady_clock::now();
        launch.process = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                     Pictures().string()},
            env, launch.dir, output);
        close(output);
        return launch;
    }

    std::string WindowId() const {
        const std::string found =
            s_session->RunX("xdotool search --name " + Quoted(std::string("^") + kTitle + "$"))
                .output;
        return found.substr(0, found.find('\n'));
    }

    // The window is on screen and the live picture keeps changing in it.
    bool Streams(const Launch& launch) {
        if (OnWayland()) {
            const std::string trace = launch.Output();
            return trace.find(std::string("set_title(\"") + kTitle + "\")") != std::string::npos &&
                   CommitsAfterMapping(trace) >= 20;
        }
        const std::string window = WindowId();
        if (window.empty()) {
            return false;
        }
        const auto grab = [&](const char* name) {
            const fs::path file = m_dir / name;
            s_session->RunX("import -window " + window + " " + Quoted("png:" + file.string()));
            return QImage(QString::fromStdString(file.string()));
        };
        const QImage before = grab("before.png");
        std::this_thread::sleep_for(200ms);  // several frames of the emulated camera
        const QImage after = grab("after.png");
        return !before.isNull() && !after.isNull() && before != after;
    }

    // Waits for a launch to end by itself; the time it took since its start, or nothing.
    std::optional<std::chrono::milliseconds> WaitForEnd(Launch& launch) {
        if (!WaitUntil([&] { return !launch.process->Running(); }, 20s, 2ms)) {
            return std::nullopt;
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - launch.started);
    }

    // On X11: records the root window's structure traffic, where _NET_ACTIVE_WINDOW requests go.
    std::unique_ptr<x_session::ChildProcess> WatchRootWindow() {
        const int output =
            open((m_dir / "root-events").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        auto watcher = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{"/usr/bin/xev", "-root", "-event", "structure", "-event",
                                     "substructure", "-event", "property"},
            std::vector<std::string>{"DISPLAY=" + s_session->XDisplay()}, m_dir.Path(), output);
        close(output);
        // Listening once a change of a root property of the test's own shows in its record.
        const bool listening = WaitUntil(
            [&] {
                s_session->RunX("xprop -root -format _LUMISIGHT_TEST 8s -set _LUMISIGHT_TEST 1");
                return ReadWholeFile(m_dir / "root-events").find("_LUMISIGHT_TEST") !=
                       std::string::npos;
            },
            10s, 100ms);
        EXPECT_TRUE(listening) << "xev did not start";
        return watcher;
    }

    static std::unique_ptr<wayland_session::Session> s_session;
    TempDir m_dir;
};

std::unique_ptr<wayland_session::Session> SingleInstanceSessionTest::s_session;

TEST_P(SingleInstanceSessionTest, ASecondLaunchEndsAtOnceAndTheRunningCopyComesForward) {
    Launch first = Start("first", "first-token", true, true);
    ASSERT_TRUE(WaitUntil([&] { return Streams(first); }, 30s)) << "the first copy did not stream\n"
                                                                << first.Output().substr(0, 2000);
    const std::string window = OnWayland() ? std::string() : WindowId();
    std::unique_ptr<x_session::ChildProcess> rootWatch;
    if (!OnWayland()) {
        rootWatch = WatchRootWindow();
    }

    Launch second = Start("second", "second-token", false);
    const auto took = WaitForEnd(second);
    ASSERT_TRUE(took.has_value()) << "the second copy did not end";
    EXPECT_EQ(second.process->ExitCode(), 0);
    std::cout << wayland_session::Name(SessionKind()) << ": the second copy ended after "
              << took->count() << " ms\n";
    RecordProperty("second_copy_exit_ms", std::to_string(took->count()));

    // It printed nothing and touched no file: its folder holds only the test's output file.
    EXPECT_EQ(second.Output(), "");
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(second.dir)) {
        files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, (std::vector<std::string>{"output"}));
    EXPECT_TRUE(fs::is_empty(Pictures()));

    // The running copy heard the request with the second launch's token.
    EXPECT_TRUE(WaitUntil(
        [&] { return first.Log().find("Activate second-token\n") != std::string::npos; }, 10s))
        << first.Log();
    EXPECT_TRUE(first.process->Running());
    if (OnWayland()) {
        // Weston 10 offers no xdg-activation, so there the request can go no further; a
        // compositor that offers it must receive the token.
        const std::string trace = first.Output();
        if (trace.find("\"xdg_activation_v1\"") != std::string::npos) {
            EXPECT_NE(trace.find("activate(\"second-token\""), std::string::npos);
        } else {
            RecordProperty("xdg_activation", "not offered by the compositor");
        }
    } else {
        // The running copy asked the window manager to activate its window.
        const std::regex request(
            "window (0x[0-9a-f]+),\\s+message_type 0x[0-9a-f]+ "
            "\\(_NET_ACTIVE_WINDOW\\)");
        std::smatch match;
        std::string events;
        EXPECT_TRUE(WaitUntil(
            [&] {
                events = ReadWholeFile(m_dir / "root-events");
                return std::regex_search(events, match, request);
            },
            10s))
            << events;
        if (!match.empty()) {
            EXPECT_EQ(std::stoul(match[1].str(), nullptr, 16), std::stoul(window));
        }
    }
}

TEST_P(SingleInstanceSessionTest, TwoLaunchesCloseTogetherLeaveOneCopy) {
    Launch a = Start("a", "token-a", true);
    std::this_thread::sleep_for(200ms);  // the second launch of a double click on the menu
    Launch b = Start("b", "token-b", true);
    ASSERT_TRUE(WaitUntil([&] { return !a.process->Running() || !b.process->Running(); }, 30s))
        << "both copies are still running";
    Launch& ended = a.process->Running() ? b : a;
    Launch& running = a.process->Running() ? a : b;
    EXPECT_EQ(ended.process->ExitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Streams(running); }, 30s))
        << "the remaining copy did not stream\n"
        << running.Output().substr(0, 2000);
    EXPECT_TRUE(running.process->Running());
    EXPECT_FALSE(ended.process->Running());
}

INSTANTIATE_TEST_SUITE_P(Sessions, SingleInstanceSessionTest,
                         ::testing::Values(Kind::Wayland, Kind::GnomeLike, Kind::X11Client),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             switch (info.param) {
                                 case Kind::Wayland:
                                     return "NativeWayland";
                                 case Kind::GnomeLike:
                                     return "GnomeLike";
                                 case Kind::X11Client:
                                     return "X11ThroughXWayland";
                             }
                             return "";
                         });

}  // namespace
