// The program itself on an X server, on a machine whose only camera is vivid: it is not the
// maker's camera, so the program says "Camera not found!" and ends after OK.

#include <gtest/gtest.h>

#include "program_support.h"
#include "vivid_support.h"

namespace vivid {
namespace {

using namespace std::chrono_literals;

// The program starts slowly under emulation.
constexpr auto kStartLimit = 120s;
constexpr auto kExitLimit = 30s;

// The window id of the program's message box, found by its caption once it shows; empty when
// the program ended first or no box showed in time.
std::string WaitForMessageBox(const std::string& display, Child& program) {
    std::string found;
    WaitUntil(
        [&] {
            found = RunShell("DISPLAY=" + display +
                             " xdotool search --onlyvisible --name '^lumisight-webcam$'");
            return !found.empty() || program.Exited();
        },
        kStartLimit, 200ms);
    return found.substr(0, found.find('\n'));
}

using ProgramTest = VividTest;

TEST_F(ProgramTest, WithOnlyVividTheProgramReportsNoCameraAndEndsAfterOk) {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (!HaveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    TempDir work;
    WriteWholeFile(work / "Debug", "");
    XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    Environment environment({{"DISPLAY", server.Display()},
                             {"QT_QPA_PLATFORM", "xcb"},
                             {"HOME", work.Path().string()},
                             {"LANG", "C.UTF-8"},
                             {"LC_ALL", ""}});
    const std::string errors = (work / "errors").string();
    Child program({LUMISIGHT_BINARY}, environment.Get(), work.Path().string(), errors);
    ASSERT_TRUE(program.Started());

    const std::string box = WaitForMessageBox(server.Display(), program);
    ASSERT_FALSE(box.empty()) << "no message box appeared; the program "
                              << (program.Exited()
                                      ? "ended with " + std::to_string(program.ExitCode())
                                      : std::string("is still running"))
                              << "; it wrote:\n"
                              << ReadWholeFile(errors);
    int pressed = -1;
    RunShell("DISPLAY=" + server.Display() + " timeout 20 xdotool windowfocus --sync " + box +
                 " key Return",
             &pressed);
    EXPECT_EQ(pressed, 0);
    EXPECT_TRUE(WaitUntil([&] { return program.Exited(); }, kExitLimit));
    EXPECT_EQ(program.ExitCode(), 0);

    // The program echoes its messages; the log tells why: no camera of the maker, not a busy one.
    EXPECT_NE(ReadWholeFile(errors).find("lumisight-webcam: Camera not found!"), std::string::npos)
        << ReadWholeFile(errors);
    const std::vector<std::string> log = LogMessages(ReadWholeFile(work / "Message"));
    const auto has = [&](const std::string& message) {
        return std::find(log.begin(), log.end(), message) != log.end();
    };
    const auto vividPath = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("platform#", 0) == 0 && line.find("#/dev/video0") != std::string::npos;
    });
    EXPECT_NE(vividPath, log.end()) << "vivid's device path text was not logged";
    EXPECT_TRUE(has("GetDefaultCapDevice next error"));
    EXPECT_TRUE(has("InitStillGraph  Error"));
    EXPECT_FALSE(has("Try again"));
}

}  // namespace
}  // namespace vivid
