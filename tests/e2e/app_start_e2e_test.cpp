// The real program's start on a private X server: the missing camera, the log, the
// single-instance rule and the "Amcap" rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <regex>

#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using x_session::Quoted;

struct StartResult {
    int exitCode = -1;
    std::string errors;  // standard error
};

class AppStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_session::HaveTool("Xvfb") || !x_session::HaveTool("xdotool") ||
            !x_session::HaveTool("xmessage")) {
            GTEST_SKIP() << "needs Xvfb, xdotool and xmessage (tools/install-deps installs them)";
        }
        m_display = std::make_unique<x_session::VirtualDisplay>(m_dir.Path());
        ASSERT_TRUE(m_display->Ready()) << "Xvfb did not start";
        std::filesystem::create_directories(m_dir / "home");
    }

    // Starts the program in the background with the given locale; the result arrives when it
    // has ended (or was ended after 30 s).
    std::future<StartResult> StartProgram(const std::string& lang) {
        const std::string command =
            "cd " + Quoted(m_dir.Path().string()) +
            " && env -i PATH=/usr/bin:/bin HOME=" + Quoted((m_dir / "home").string()) +
            " LANG=" + lang + " DISPLAY=" + m_display->Name() + " QT_QPA_PLATFORM=xcb" +
            " timeout 30 " + Quoted(LUMISIGHT_BINARY) + " 2>errors; echo $?";
        return std::async(std::launch::async, [this, command] {
            const x_session::CommandResult run = x_session::RunCommand(command);
            return StartResult{std::atoi(run.output.c_str()), ReadWholeFile(m_dir / "errors")};
        });
    }

    bool WindowExists(const std::string& title) const {
        return !m_display->Run("xdotool search --name " + Quoted("^" + title + "$")).output.empty();
    }

    // Waits for the program's message box (titled with the program's name) and presses Enter in
    // it until it has gone: a box that has just been mapped may not take the keyboard yet. Only
    // the wait for the focus has a time limit: a keystroke cut off between its press and its
    // release would leave Enter held down on the server, and its repeats would answer the next
    // box at once, before anyone sees it.
    bool AnswerMessageBox() const {
        const std::string box = "xdotool search --onlyvisible --name '^lumisight-webcam$'";
        const auto shown = [&] { return !m_display->Run(box).output.empty(); };
        if (!WaitUntil(shown, 20s, 100ms)) {
            return false;
        }
        return WaitUntil(
            [&] {
                m_display->Run("sh -c " + Quoted("timeout 5 " + box +
                                                 " windowfocus --sync && xdotool key Return"));
                return !shown();
            },
            10s, 100ms);
    }

    // A plain X window with this title, as another program's window.
    std::unique_ptr<x_session::ChildProcess> OpenWindowTitled(const std::string& title) {
        auto window = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{"/usr/bin/xmessage", "-title", title, "-name", title,
                                     "other program"},
            std::vector<std::string>{"DISPLAY=" + m_display->Name()}, m_dir.Path());
        EXPECT_TRUE(WaitUntil([&] { return WindowExists(title); }, 10s, x_session::kCommandPoll));
        return window;
    }

    TempDir m_dir;
    std::unique_ptr<x_session::VirtualDisplay> m_display;
};

TEST_F(AppStartTest, WithoutCameraTellsSoAndEndsCleanlyWithoutAnyLog) {
    auto run = StartProgram("en_US.UTF-8");
    ASSERT_TRUE(AnswerMessageBox());
    const StartResult result = run.get();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.errors.find("Camera not found!"), std::string::npos) << result.errors;
    EXPECT_FALSE(WindowExists("Vantor Lumisight webcam"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Message"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "FileList.txt"));
}

TEST_F(AppStartTest, ChineseLocaleGetsTheChineseMessageAndDebugTurnsTheLogOn) {
    WriteWholeFile(m_dir / "Debug", "");
    auto run = StartProgram("zh_TW.UTF-8");
    ASSERT_TRUE(AnswerMessageBox());
    const StartResult result = run.get();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.errors.find("找不到網路攝影機!"), std::string::npos) << result.errors;

    const std::string log = ReadWholeFile(m_dir / "Message");
    EXPECT_EQ(log.rfind("\n\n\n\n", 0), 0u) << log;
    const std::regex entry(
        " \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2} 發生錯誤\n\t錯誤訊息:"
        "InitStillGraph  Error\n");
    EXPECT_TRUE(std::regex_search(log, entry)) << log;
}

TEST_F(AppStartTest, SecondCopyBringsTheFirstToTheFrontAndEndsSilently) {
    auto first = OpenWindowTitled("Vantor Lumisight webcam");
    auto other = OpenWindowTitled("Some other program");
    auto run = StartProgram("en_US.UTF-8");
    ASSERT_EQ(run.wait_for(20s), std::future_status::ready);
    const StartResult result = run.get();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.errors.find("lumisight-webcam:") == std::string::npos) << result.errors;
    EXPECT_FALSE(WindowExists("lumisight-webcam"));  // no box was shown
    // The running copy's window is now the top of the stacking order.
    const std::string stack = m_display->Run("xwininfo -root -children").output;
    const auto firstAt = stack.rfind("\"Vantor Lumisight webcam\"");
    const auto otherAt = stack.rfind("\"Some other program\"");
    ASSERT_NE(firstAt, std::string::npos) << stack;
    ASSERT_NE(otherAt, std::string::npos) << stack;
    EXPECT_LT(firstAt, otherAt) << "xwininfo lists the top window first\n" << stack;
}

// Without a session bus the title is the only sign of a running copy. The first copy has its
// titled window on the display before it reads its folder, so a copy launched as soon as that
// window shows, while the first is still reading 2000 pictures, finds it and ends. (A copy
// launched before the first has a window cannot know of it: on a busy machine that can be
// more than a fifth of a second after the first launch.)
TEST_F(AppStartTest, ACopyLaunchedWhileTheFirstIsStillStartingLeavesOneWindow) {
    const std::filesystem::path pictures = m_dir / "pictures";
    std::filesystem::create_directories(pictures);
    ASSERT_EQ(x_session::RunCommand("convert -size 640x480 plasma:fractal " +
                                    Quoted((m_dir / "picture.jpg").string()))
                  .exitCode,
              0);
    for (int number = 1; number <= 2000; ++number) {  // hard links: 2000 pictures at once
        char name[32];
        std::snprintf(name, sizeof name, "Picture%04d.jpg", number);
        std::filesystem::create_hard_link(m_dir / "picture.jpg", pictures / name);
    }
    const std::vector<std::string> argv = {LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                           pictures.string()};
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + (m_dir / "home").string(),
                                          "LANG=en_US.UTF-8", "DISPLAY=" + m_display->Name(),
                                          "QT_QPA_PLATFORM=xcb"};
    x_session::ChildProcess first(argv, env, m_dir.Path());
    ASSERT_TRUE(x_session::WaitForWindow(*m_display, "Vantor Lumisight webcam", 20s))
        << "the first copy showed no window";
    x_session::ChildProcess second(argv, env, m_dir.Path());
    ASSERT_TRUE(WaitUntil([&] { return !second.Running(); }, 20s));
    EXPECT_EQ(second.ExitCode(), 0);
    const std::string shown = "xdotool search --onlyvisible --name '^Vantor Lumisight webcam$'";
    ASSERT_TRUE(WaitUntil([&] { return !m_display->Run(shown).output.empty(); }, 20s));
    const std::string windows = m_display->Run(shown).output;
    EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
    EXPECT_TRUE(first.Running());
}

TEST_F(AppStartTest, AmcapWindowBlocksTheStartButAmcap2DoesNot) {
    {
        auto amcap = OpenWindowTitled("Amcap");
        auto run = StartProgram("zh_TW.UTF-8");
        ASSERT_TRUE(AnswerMessageBox());
        const StartResult result = run.get();
        EXPECT_EQ(result.exitCode, 0);
        // English on a Chinese locale too: the message has no Chinese form.
        EXPECT_NE(result.errors.find("Please Close Amcap then try again!"), std::string::npos)
            << result.errors;
        EXPECT_EQ(result.errors.find("找不到"), std::string::npos) << result.errors;
    }
    ASSERT_TRUE(WaitUntil([this] { return !WindowExists("Amcap"); }, 5s, x_session::kCommandPoll));
    auto amcap2 = OpenWindowTitled("Amcap2");
    auto run = StartProgram("en_US.UTF-8");
    ASSERT_TRUE(AnswerMessageBox());
    const StartResult result = run.get();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors.find("Amcap"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("Camera not found!"), std::string::npos) << result.errors;
}

}  // namespace
