// The program itself on an X server with vivid's /dev/video0 named by --device: the picture
// moves; vivid's disconnect button, pressed from another process, gives the lost state, and the
// program then holds nothing of the device; vivid unloaded and loaded again comes back as a
// moving picture; the window closes cleanly. Once with a udev daemon announcing the new node and
// once without, where the once-a-second look alone finds it. The return's time and what the
// program costs while it waits are printed and kept as test properties.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "capture/stream_end.h"
#include "program_support.h"
#include "vivid_support.h"
#include "window_close_request.h"

namespace vivid {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kLogPoll = 10ms;

// The processor time the process has used (user and system), from /proc/PID/stat.
double CpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) {
            utime = std::stoull(field);
        } else if (number == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The program with --device /dev/video0.
class ProgramOnVivid : public ProgramOnScreen {
public:
    ProgramOnVivid() : ProgramOnScreen({"--device", kNode}) {}
};

std::size_t NodeDescriptors(pid_t pid) {
    return vivid::NodeDescriptors(pid, kNode);
}

std::size_t NodeMappings(pid_t pid) {
    return vivid::NodeMappings(pid, kNode);
}

class ProgramReturnTest : public VividTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramReturnTest, DisconnectGivesTheLostStateAndAReloadedDriverMovesAgain) {
    const bool withUdev = GetParam();
    for (const char* tool : {"Xvfb", "xdotool", "import", "v4l2-ctl", "rmmod", "modprobe"}) {
        if (!HaveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
        }
    }
    if (withUdev && !std::filesystem::exists(kUdevd)) {
        GTEST_SKIP() << kUdevd << " is not installed (Debian package udev)";
    }
    std::optional<UdevDaemon> udev;
    if (withUdev) {
        udev.emplace();
        ASSERT_TRUE(udev->Running()) << "systemd-udevd did not start";
    }
    // vivid's test pattern stands still unless asked to move.
    const std::string moveFast =
        std::string("v4l2-ctl -d ") + kNode + " --set-ctrl horizontal_movement=0";
    RunShell(moveFast);
    ProgramOnVivid program;
    ASSERT_TRUE(program.Started()) << "no X server, or the program did not start";
    ASSERT_TRUE(program.FindWindow()) << "the window did not show; " << program.Whereabouts();
    EXPECT_EQ(program.LogCount(std::string("GetDefaultCapDevice ") + kNode), 1);
    ASSERT_TRUE(program.PictureMoves(60s))
        << "the picture does not move: " << program.lastDifference << " samples differ";

    {
        SideDoor door;  // keeps vivid disconnected while the lost state is looked at
        ASSERT_TRUE(door.IsOpen());
        int pressed = -1;
        RunShell(std::string("v4l2-ctl -d ") + kNode + " --set-ctrl disconnect=1", &pressed);
        ASSERT_EQ(pressed, 0);
        ASSERT_TRUE(program.WaitForLog(kCameraDisconnectedLog, 1, 30s));
        EXPECT_TRUE(WaitUntil(
            [&] { return NodeDescriptors(program.Pid()) == 0 && NodeMappings(program.Pid()) == 0; },
            2s, kLogPoll))
            << NodeDescriptors(program.Pid()) << " descriptors and " << NodeMappings(program.Pid())
            << " mappings of " << kNode << " are still held";
        // The log line comes first; the picture follows with the window's next paint.
        EXPECT_TRUE(program.WaitForNotice(5s));
        // What waiting for the camera costs: the processor share over ten seconds.
        const double before = CpuSeconds(program.Pid());
        std::this_thread::sleep_for(10s);  // the measured span itself
        const double share = (CpuSeconds(program.Pid()) - before) / 10.0 * 100.0;
        std::printf("[ MEASURED ] waiting for the lost camera (%s udev): %.2f %% of a CPU\n",
                    withUdev ? "with" : "without", share);
        RecordProperty("lost_cpu_share_percent", std::to_string(share));
        EXPECT_EQ(program.LogCount("Camera found again"), 0);

        // Closing the side door lets vivid back at once, and the program's next look would find
        // it and hold it before the driver is unloaded; on a busy machine, starting rmmod alone
        // can take longer than a second. So the program waits, stopped, until the driver is out.
        const StoppedProcess stopped(program.Pid());
        ASSERT_TRUE(stopped.Holds()) << "the program did not stop";
        door.Close();
        int code = -1;
        RunShell("rmmod vivid", &code);
        ASSERT_EQ(code, 0) << "vivid could not be unloaded";
    }
    EXPECT_EQ(NodeDescriptors(program.Pid()), 0u);

    int loaded = -1;
    RunShell("modprobe vivid n_devs=1", &loaded);
    const Clock::time_point back = Clock::now();
    ASSERT_EQ(loaded, 0);
    RunShell(moveFast);
    ASSERT_TRUE(program.WaitForLog("Camera found again", 1, 30s));
    const auto found = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - back);
    std::printf("[ MEASURED ] driver loaded -> capture running again (%s udev): %lld ms\n",
                withUdev ? "with" : "without", static_cast<long long>(found.count()));
    RecordProperty("return_ms", std::to_string(found.count()));
    EXPECT_GT(NodeMappings(program.Pid()), 0u) << "streaming again maps the buffers";
    EXPECT_TRUE(program.PictureMoves(60s))
        << "the picture does not move again: " << program.lastDifference << " samples differ";

    ASSERT_TRUE(RequestClose(program.Display(), program.Window()));
    EXPECT_TRUE(WaitUntil([&] { return program.Program().Exited(); }, 30s, 100ms));
    EXPECT_EQ(program.Program().ExitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Announcements, ProgramReturnTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "with_udev" : "retry_alone";
                         });

}  // namespace
}  // namespace vivid
