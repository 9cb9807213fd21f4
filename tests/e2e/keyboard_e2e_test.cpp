// The real program with the emulated camera on a private X server, worked from the keyboard
// alone: Escape and Enter leave the window open, Space takes pictures, Tab to the strip, Left,
// Delete and Yes delete the last picture, and Shift+Tab to the settings button and Space open
// the camera's settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using x_session::Quoted;
namespace fs = std::filesystem;

constexpr const char* kTitle = "Vantor Lumisight webcam";

class KeyboardEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"}) {
            if (!x_session::HaveTool(tool)) {
                GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
            }
        }
        fs::create_directories(Pictures());
        m_display = std::make_unique<x_session::VirtualDisplay>(m_root.Path());
        ASSERT_TRUE(m_display->Ready()) << "Xvfb did not start";
        const int output =
            open((m_root / "program.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_program = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                     Pictures().string()},
            std::vector<std::string>{"DISPLAY=" + m_display->Name(),
                                     "HOME=" + m_root.Path().string(), "LANG=C.UTF-8",
                                     "PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=xcb"},
            m_root.Path(), output);
        close(output);
        const auto window = x_session::WaitForWindow(*m_display, kTitle, 20s);
        ASSERT_TRUE(window) << "the window did not appear";
        m_window = *window;
    }

    void TearDown() override {
        m_program.reset();
        if (HasFailure()) {
            std::cerr << "program output:\n" << ReadWholeFile(m_root / "program.out") << "\n";
        }
    }

    fs::path Pictures() const { return m_root / "Pictures"; }
    // The pictures in the folder, by name in order (the numbers grow with each picture).
    std::vector<std::string> PictureNames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Pictures())) {
            if (entry.path().extension() == ".jpg") {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    int PictureCount() const { return static_cast<int>(PictureNames().size()); }

    // Keys, as xdotool names them, to the window that has the keyboard focus.
    void Keys(const std::string& keys) { m_display->Run("xdotool key --delay 30 " + keys); }
    void FocusWindow(const std::string& window) {
        m_display->Run("xdotool windowfocus --sync " + window);
    }

    // Space on the focused take-a-picture button until the folder holds more pictures than
    // `before` (the first presses may come before the camera's first frame; a press that was
    // only slow may take one more).
    bool TakePicture(int before) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            Keys("space");
            if (WaitUntil([&] { return PictureCount() > before; }, 1s)) {
                return true;
            }
        }
        return false;
    }

    TempDir m_root;
    std::unique_ptr<x_session::VirtualDisplay> m_display;
    std::unique_ptr<x_session::ChildProcess> m_program;
    std::string m_window;
};

TEST_F(KeyboardEndToEndTest, PicturesAreTakenDeletedAndTheSettingsOpenedFromTheKeyboard) {
    FocusWindow(m_window);
    Keys("Escape Return KP_Enter");
    ASSERT_TRUE(TakePicture(0));
    ASSERT_TRUE(TakePicture(1));
    EXPECT_TRUE(m_program->Running()) << "Escape or Enter closed the window";
    const std::vector<std::string> taken = PictureNames();
    ASSERT_GE(taken.size(), 2u);
    EXPECT_EQ(taken[0], "Picture0001.jpg");

    // Tab round to the strip (delete, resolution, settings, strip), Left takes the last
    // picture, Delete asks.
    Keys("Tab Tab Tab Tab Left Delete");
    const auto question = x_session::WaitForWindow(*m_display, "lumisight-webcam", 10s);
    ASSERT_TRUE(question) << "no question box";
    FocusWindow(*question);
    Keys("Return");  // Yes
    const std::vector<std::string> kept(taken.begin(), taken.end() - 1);
    EXPECT_TRUE(WaitUntil([&] { return PictureNames() == kept; }, 10s))
        << "the last picture, " << taken.back() << ", alone should have gone";

    // Back in the window the focus is still on the strip: Shift+Tab is the settings button.
    FocusWindow(m_window);
    Keys("shift+Tab space");
    EXPECT_TRUE(x_session::WaitForWindow(*m_display, "Video Capture Properties", 10s))
        << "the camera's settings did not open";
}

}  // namespace
