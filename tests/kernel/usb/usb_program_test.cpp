// The program itself, started as a new user would (no --device) on a machine with a udev daemon,
// another maker's camera plugged in first and the maker's camera second: it passes over the
// other camera and logs its path, opens the maker's camera and shows its moving picture. A
// camera whose firmware hangs is said to be not responding, a picture is refused meanwhile, and
// the moving picture returns with the frames; a camera sending two frames a second is not hung.
// An unplug shows the lost state and lets go of the device; a plug, while another process still
// holds the old node, brings the moving picture back from a new node. The window closes with 0.
//
// The times from each action to what the window shows are printed (medians of three), never
// asserted.

#include <fcntl.h>
#include <unistd.h>

#include "capture/stream_end.h"
#include "kernel/window_close_request.h"
#include "usb_camera_support.h"

namespace usb {
namespace {

using vivid::ProgramOnScreen;
using vivid::ShowsANotice;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The program on its window, watched through the picture area.
class WatchedProgram : public ProgramOnScreen {
public:
    WatchedProgram() : ProgramOnScreen({}) {}

    // Until the picture moves with no notice over it.
    bool WaitForLivePicture(std::chrono::milliseconds limit) {
        std::optional<QImage> before = Picture();
        return WaitUntil(
            [&] {
                std::optional<QImage> now = Picture();
                // The bars move a few pixels a frame: a hundred samples is a change.
                const bool live =
                    before && now && !ShowsANotice(*now) && Differing(*before, *now) > 100;
                before = now;
                return live;
            },
            limit, 20ms);
    }
    std::size_t Held(const std::string& node) {
        return vivid::NodeDescriptors(Pid(), node) + vivid::NodeMappings(Pid(), node);
    }
    // A left click in the window, in client coordinates.
    bool Click(int x, int y) {
        int code = -1;
        RunShell("DISPLAY=" + Display() + " timeout 20 xdotool mousemove --window " +
                     std::to_string(Window()) + " " + std::to_string(x) + " " + std::to_string(y) +
                     " click 1",
                 &code);
        return code == 0;
    }
};

using ProgramTest = UsbTest;

TEST_F(ProgramTest, FindsTheMakersCameraRidesOutHangsAndUnplugsAndClosesCleanly) {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (!vivid::HaveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
        }
    }
    std::string node = Maker().Node(0).value();
    const Clock::time_point launched = Clock::now();
    WatchedProgram program;
    ASSERT_TRUE(program.Started()) << "no X server, or the program did not start";
    ASSERT_TRUE(program.FindWindow()) << "the window did not show; " << program.Whereabouts();
    ASSERT_TRUE(program.WaitForLivePicture(60s)) << "the picture does not move";
    PrintMeasured("start to moving picture", {MillisecondsSince(launched)});

    // Passed over and named in the log: the other maker's camera; taken: the maker's.
    const std::string otherPath =
        "usb#vid_046d&pid_0825&mi_00#" + Other().BusId() + ":1.0#" + Other().Node(0).value();
    EXPECT_EQ(program.LogCount(otherPath), 1);
    EXPECT_EQ(program.LogCount("GetDefaultCapDevice next error"), 0);
    EXPECT_EQ(vivid::NodeDescriptors(program.Pid(), node), 1u);
    for (const std::optional<std::string>& unused :
         {Other().Node(0), Other().Node(1), Maker().Node(1)}) {
        EXPECT_EQ(program.Held(unused.value()), 0u) << *unused;
    }

    std::vector<double> toNotResponding;
    std::vector<double> toResponding;
    for (int round = 1; round <= kRounds; ++round) {
        const Clock::time_point stalled = Clock::now();
        Maker().Stall();
        ASSERT_TRUE(program.WaitForNotice(30s)) << "round " << round;
        toNotResponding.push_back(MillisecondsSince(stalled));
        ASSERT_TRUE(program.WaitForLog("Camera not responding", round, 5s));
        if (round == 1) {
            ASSERT_TRUE(program.Click(20, 500));  // the picture button
            EXPECT_TRUE(program.WaitForLog("TakeSnapshot: the camera is not responding", 1, 20s));
            EXPECT_TRUE(!std::filesystem::exists(program.PicturesDir()) ||
                        std::filesystem::is_empty(program.PicturesDir()));
        }
        const Clock::time_point resumed = Clock::now();
        Maker().Resume();
        ASSERT_TRUE(program.WaitForLivePicture(30s)) << "round " << round;
        toResponding.push_back(MillisecondsSince(resumed));
        EXPECT_TRUE(program.WaitForLog("Camera responding again", round, 5s));
    }

    // Two frames a second: slow, not hung, for longer than a silence would take to count.
    ASSERT_TRUE(Maker().Fault("slow", "2"));
    EXPECT_TRUE(program.WaitForLivePicture(10s));
    EXPECT_FALSE(program.WaitForLog("Camera not responding", kRounds + 1, 3s))
        << "a slow camera was taken for a hung one";
    ASSERT_TRUE(Maker().Fault("slow", "0"));

    std::vector<double> toLost;
    std::vector<double> toMoving;
    for (int round = 1; round <= kRounds; ++round) {
        // Another process holds the node, so the camera comes back at a new one.
        const int held = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(held, 0);
        const Clock::time_point unplugged = Clock::now();
        Maker().Unplug();
        ASSERT_TRUE(program.WaitForNotice(30s)) << "round " << round;
        toLost.push_back(MillisecondsSince(unplugged));
        EXPECT_TRUE(program.WaitForLog(kCameraDisconnectedLog, round, 5s));
        EXPECT_TRUE(WaitUntil([&] { return program.Held(node) == 0; }, 2s))
            << program.Held(node) << " descriptors and mappings of " << node << " are held";
        const Clock::time_point plugged = Clock::now();
        Maker().Plug();
        ASSERT_TRUE(program.WaitForLivePicture(60s)) << "round " << round;
        toMoving.push_back(MillisecondsSince(plugged));
        ::close(held);
        const std::string renumbered = Maker().Node(0).value_or("");
        EXPECT_NE(renumbered, node);
        EXPECT_EQ(vivid::NodeDescriptors(program.Pid(), renumbered), 1u);
        node = renumbered;
    }
    EXPECT_EQ(program.LogCount("Camera found again"), kRounds);

    ASSERT_TRUE(RequestClose(program.Display(), program.Window()));
    EXPECT_TRUE(WaitUntil([&] { return program.Program().Exited(); }, 30s, 100ms));
    EXPECT_EQ(program.Program().ExitCode(), 0);

    PrintMeasured("unplug to lost notice", toLost);
    PrintMeasured("plug to moving picture", toMoving);
    PrintMeasured("stall to not responding notice", toNotResponding);
    PrintMeasured("resume to moving picture", toResponding);
}

}  // namespace
}  // namespace usb
