// Window search by title on a real X server (Xvfb, started per test suite; skipped when absent).
#include "linux/desktop/x11_window_finder.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/doubles/headless_harness.h"

// Xlib last: its macros would break the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::optional<std::string> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate =
            std::filesystem::path(folders.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        start = end + 1;
    }
    return std::nullopt;
}

// An Xvfb server on a free display, which it picks itself and reports through a pipe. It does not
// reset when its last client leaves: a server resetting refuses connections for a moment.
class XvfbServer {
public:
    explicit XvfbServer(const std::string& program) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {program.c_str(), "-displayfd", fd.c_str(),   "-nolisten", "tcp",
                              "-screen",       "0",          "320x240x24", "-noreset",  nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr,
                                        const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            m_pid = -1;
        } else {
            m_display = ReadDisplayNumber(fds[0]);
        }
        close(fds[0]);
    }
    ~XvfbServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& DisplayName() const { return m_display; }

private:
    static std::string ReadDisplayNumber(int fd) {
        std::string number;
        pollfd waiting{fd, POLLIN, 0};
        char c = 0;
        while (poll(&waiting, 1, 10000) > 0 && read(fd, &c, 1) == 1 && c != '\n') {
            number += c;
        }
        return number.empty() ? std::string() : ":" + number;
    }

    pid_t m_pid = -1;
    std::string m_display;
};

class X11WindowFinderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (const auto program = FindProgram("Xvfb")) {
            s_server = new XvfbServer(*program);
        }
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override {
        if (s_server == nullptr) {
            GTEST_SKIP() << "Xvfb is not installed";
        }
        ASSERT_FALSE(s_server->DisplayName().empty()) << "Xvfb did not start";
        EnsureQtApplication();
        m_display = XOpenDisplay(s_server->DisplayName().c_str());
        ASSERT_NE(m_display, nullptr);
    }
    void TearDown() override {
        if (m_display != nullptr) {
            XCloseDisplay(m_display);
        }
    }

    Window CreateWindow(bool mapped) {
        const Window window =
            XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 50, 40, 0, 0, 0);
        if (mapped) {
            XMapWindow(m_display, window);
        }
        return window;
    }
    Window CreateChild(Window parent) {
        const Window window = XCreateSimpleWindow(m_display, parent, 0, 0, 40, 30, 0, 0, 0);
        XMapWindow(m_display, window);
        return window;
    }
    // What a window manager puts on every client window it manages.
    void SetManaged(Window window) {
        const Atom wmState = XInternAtom(m_display, "WM_STATE", False);
        const long state[2] = {1 /* NormalState */, 0};
        XChangeProperty(m_display, window, wmState, wmState, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(state), 2);
    }
    void SetLegacyTitle(Window window, const char* title) { XStoreName(m_display, window, title); }
    void SetUtf8Title(Window window, const std::string& title) {
        XChangeProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False),
                        XInternAtom(m_display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
    }
    Window TopMostChild() {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count);
        const Window top = count > 0 ? children[count - 1] : 0;
        XFree(children);
        return top;
    }

    static XvfbServer* s_server;
    ::Display* m_display = nullptr;
};

XvfbServer* X11WindowFinderTest::s_server = nullptr;

TEST_F(X11WindowFinderTest, FindsOtherClientsByTheirWholeTitleHiddenOnesIncluded) {
    const Window amcap = CreateWindow(true);
    SetLegacyTitle(amcap, "Amcap");
    const Window amcap2 = CreateWindow(true);
    SetLegacyTitle(amcap2, "Amcap2");
    SetUtf8Title(amcap2, "Amcap2");
    const Window webcam = CreateWindow(false);
    SetUtf8Title(webcam, "Vantor Lumisight webcam");
    const Window properties = CreateWindow(true);
    SetLegacyTitle(properties, "Video Capture Properties");
    SetUtf8Title(properties, "Video Capture 內容");
    XSync(m_display, False);

    X11WindowFinder finder(s_server->DisplayName());
    EXPECT_EQ(finder.Find("Amcap"), WindowRef{amcap});
    EXPECT_EQ(finder.Find("Amcap2"), WindowRef{amcap2});
    EXPECT_EQ(finder.Find("Vantor Lumisight webcam"), WindowRef{webcam});
    EXPECT_EQ(finder.Find("Video Capture 內容"), WindowRef{properties});
    EXPECT_EQ(finder.Find("Video Capture Properties"), std::nullopt);  // _NET_WM_NAME wins
    EXPECT_EQ(finder.Find("Amca"), std::nullopt);
    EXPECT_EQ(finder.Find("amcap"), std::nullopt);
    EXPECT_EQ(finder.Find("Amcap "), std::nullopt);
    for (const Window window : {amcap, amcap2, webcam, properties}) {
        XDestroyWindow(m_display, window);
    }
    XSync(m_display, False);
}

// A reparenting window manager without _NET_CLIENT_LIST: the root's children are its frames.
TEST_F(X11WindowFinderTest, WithoutAClientListFindsTheClientsInsideWindowManagerFrames) {
    const Window frame = CreateWindow(true);
    const Window webcam = CreateChild(frame);
    SetManaged(webcam);
    SetUtf8Title(webcam, "Vantor Lumisight webcam");
    // A frame with a decoration window between it and its client.
    const Window deepFrame = CreateWindow(true);
    const Window decoration = CreateChild(deepFrame);
    const Window amcap = CreateChild(decoration);
    SetManaged(amcap);
    SetLegacyTitle(amcap, "Amcap");
    // A titled window inside a frame that the manager does not manage: not a top-level client.
    const Window otherFrame = CreateWindow(true);
    const Window otherClient = CreateChild(otherFrame);
    SetManaged(otherClient);
    SetLegacyTitle(otherClient, "Other program");
    SetLegacyTitle(CreateChild(otherClient), "Inner part");
    XSync(m_display, False);

    X11WindowFinder finder(s_server->DisplayName());
    EXPECT_EQ(finder.Find("Vantor Lumisight webcam"), WindowRef{webcam});
    EXPECT_EQ(finder.Find("Amcap"), WindowRef{amcap});
    EXPECT_EQ(finder.Find("Other program"), WindowRef{otherClient});
    EXPECT_EQ(finder.Find("Inner part"), std::nullopt);
    for (const Window window : {frame, deepFrame, otherFrame}) {
        XDestroyWindow(m_display, window);
    }
    XSync(m_display, False);
}

TEST_F(X11WindowFinderTest, CloseSendsTheDeleteMessageAndLeavesTheWindowAlive) {
    const Window window = CreateWindow(true);
    SetLegacyTitle(window, "Amcap");
    Atom deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(m_display, window, &deleteWindow, 1);
    XSync(m_display, False);

    X11WindowFinder finder(s_server->DisplayName());
    const auto found = finder.Find("Amcap");
    ASSERT_TRUE(found.has_value());
    finder.Close(*found);

    pollfd waiting{ConnectionNumber(m_display), POLLIN, 0};
    bool deleteAsked = false;
    for (int tries = 0; tries < 50 && !deleteAsked; ++tries) {
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            deleteAsked =
                deleteAsked ||
                (event.type == ClientMessage &&
                 event.xclient.message_type == XInternAtom(m_display, "WM_PROTOCOLS", False) &&
                 static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow);
        }
        if (!deleteAsked) {
            poll(&waiting, 1, 100);
        }
    }
    EXPECT_TRUE(deleteAsked);
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(m_display, window, &attributes), 0);
    XDestroyWindow(m_display, window);
    XSync(m_display, False);
}

TEST_F(X11WindowFinderTest, BringToFrontRaisesTheWindowOnABareServer) {
    const Window lower = CreateWindow(true);
    SetLegacyTitle(lower, "Lower");
    const Window upper = CreateWindow(true);
    SetLegacyTitle(upper, "Upper");
    XSync(m_display, False);
    ASSERT_EQ(TopMostChild(), upper);

    X11WindowFinder finder(s_server->DisplayName());
    finder.BringToFront(*finder.Find("Lower"), {});
    XSync(m_display, False);
    EXPECT_EQ(TopMostChild(), lower);
    XDestroyWindow(m_display, lower);
    XDestroyWindow(m_display, upper);
    XSync(m_display, False);
}

class ClosingWidget : public QWidget {
public:
    bool closeAsked = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        closeAsked = true;
        event->accept();
    }
};

TEST_F(X11WindowFinderTest, OwnWindowsComeFirstAndAreClosedThroughQt) {
    const Window other = CreateWindow(true);
    SetLegacyTitle(other, "Vantor Lumisight webcam");
    XSync(m_display, False);
    X11WindowFinder finder(s_server->DisplayName());
    {
        ClosingWidget own;
        own.setWindowTitle(QStringLiteral("Vantor Lumisight webcam"));
        const auto found = finder.Find("Vantor Lumisight webcam");
        ASSERT_TRUE(found.has_value());
        EXPECT_NE(*found, WindowRef{other});
        finder.Close(*found);
        EXPECT_TRUE(own.closeAsked);
    }
    EXPECT_EQ(finder.Find("Vantor Lumisight webcam"), WindowRef{other});
    XDestroyWindow(m_display, other);
    XSync(m_display, False);
}

TEST(X11WindowFinderWithoutDisplay, FindsOnlyOwnWindows) {
    EnsureQtApplication();
    X11WindowFinder finder(":999");  // no server there
    EXPECT_EQ(finder.Find("Amcap"), std::nullopt);
    QWidget own;
    own.setWindowTitle(QStringLiteral("Amcap"));
    EXPECT_TRUE(finder.Find("Amcap").has_value());
}

}  // namespace
