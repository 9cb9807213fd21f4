// Camera discovery over the kernel's real device list: vivid is a platform device, not a USB
// camera, so the program passes over it; dressed as the maker's USB camera it is chosen.

#include <gtest/gtest.h>

#include "vivid_support.h"

namespace vivid {
namespace {

constexpr const char* kNoDeviceText =
    "No video capture device was detected on your system.\r\n\r\n"
    "This program requires a functional video capture device, such\r\n"
    "as a USB web camera.  Video capture will be disabled.";

std::ptrdiff_t IndexOf(const std::vector<std::string>& log, const std::string& message) {
    const auto found = std::find(log.begin(), log.end(), message);
    return found == log.end() ? -1 : found - log.begin();
}

using DiscoveryTest = VividTest;

TEST_F(DiscoveryTest, PassesOverVividLogsItsPathAndFindsNothing) {
    Window window(Window::Sysfs::Real);
    std::shared_ptr<CaptureFilter> found;
    window.dialog->GetDefaultCapDevice(&found);
    EXPECT_EQ(found, nullptr);

    const std::vector<std::string> log = window.Log();
    const auto vividPath = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.size() > 12 && line.compare(line.size() - 12, 12, "#/dev/video0") == 0;
    });
    ASSERT_NE(vividPath, log.end()) << "vivid's device path text was not logged";
    EXPECT_EQ(vividPath->find("vid_"), std::string::npos) << *vividPath;
    EXPECT_EQ(vividPath->rfind("platform#", 0), 0u) << *vividPath;
    const std::ptrdiff_t end = IndexOf(log, "GetDefaultCapDevice next error");
    ASSERT_GE(end, 0);
    EXPECT_LT(vividPath - log.begin(), end);
    // vivid's output and metadata nodes are not capture devices: they are not listed at all.
    EXPECT_EQ(IndexOf(log, "BindToStorage error"), -1);
    EXPECT_EQ(IndexOf(log, "Get FriendlyName error"), -1);
}

TEST_F(DiscoveryTest, WithoutTheMakersCameraTheGraphBuildEndsWithNoCamera) {
    Window window(Window::Sysfs::Real);
    EXPECT_FALSE(window.Start());
    EXPECT_EQ(window.dialog->m_nResolution, 3);
    EXPECT_EQ(window.dialog->m_pGraph, nullptr);
    EXPECT_EQ(window.dialog->m_pCapture, nullptr);
    ASSERT_EQ(window.harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(window.harness.MessageBoxes().Shown()[0].text, "Camera not found!");
    EXPECT_TRUE(window.LogHas(kNoDeviceText));
    EXPECT_TRUE(window.LogHas("InitStillGraph  Error"));
    EXPECT_FALSE(window.LogHas("Try again"));  // a missing camera is not retried
}

TEST_F(DiscoveryTest, VividOnTheMakersUsbIdsIsChosenWithoutLoggingItsPath) {
    Window window;
    std::shared_ptr<CaptureFilter> found;
    window.dialog->GetDefaultCapDevice(&found);
    ASSERT_NE(found, nullptr);
    const std::vector<std::string> log = window.Log();
    EXPECT_EQ(IndexOf(log, MakerCameraSysfs::PathText()), -1);
    EXPECT_EQ(IndexOf(log, "GetDefaultCapDevice next error"), -1);
}

}  // namespace
}  // namespace vivid
