// The real program with the emulated camera on a private X server: the live picture moves and,
// after the start-up probe, fills the whole 640 x 480 picture area.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using x_session::Quoted;

constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;

bool IsSkinGrey(QRgb pixel) {
    return qRed(pixel) == 99 && qGreen(pixel) == 99 && qBlue(pixel) == 99;
}

TEST(LivePictureTest, EmulatedCameraMovesInTheWholePictureArea) {
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
        if (!x_session::HaveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
        }
    }
    TempDir dir;
    std::filesystem::create_directories(dir / "pictures");
    x_session::VirtualDisplay display(dir.Path());
    ASSERT_TRUE(display.Ready()) << "Xvfb did not start";
    x_session::ChildProcess program(
        {LUMISIGHT_BINARY, "--virtual-camera", "--pictures", (dir / "pictures").string()},
        {"DISPLAY=" + display.Name(), "HOME=" + dir.Path().string(), "LANG=C.UTF-8",
         "PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=xcb"},
        dir.Path());

    std::string position;
    ASSERT_TRUE(WaitUntil(
        [&] {
            position = display
                           .Run(
                               "xdotool search --name '^Vantor Lumisight webcam$' "
                               "getwindowgeometry --shell")
                           .output;
            return !position.empty();
        },
        20s, x_session::kCommandPoll));
    int left = 0;
    int top = 0;
    ASSERT_EQ(std::sscanf(position.c_str() + position.find("X="), "X=%d\nY=%d", &left, &top), 2)
        << position;
    std::this_thread::sleep_for(1500ms);  // the start-up probe and the first frames

    const auto first = x_session::Screenshot(display, dir / "first.png");
    std::this_thread::sleep_for(1s);
    const auto second = x_session::Screenshot(display, dir / "second.png");
    ASSERT_TRUE(first && second);

    int changed = 0;
    int grey = 0;
    for (int y = 0; y < kPictureHeight; y += 4) {
        for (int x = 0; x < kPictureWidth; x += 4) {
            const QRgb before = first->pixel(left + x, top + y);
            changed += before != second->pixel(left + x, top + y) ? 1 : 0;
            grey += IsSkinGrey(before) ? 1 : 0;
        }
    }
    const int sampled = (kPictureWidth / 4) * (kPictureHeight / 4);
    EXPECT_GT(changed, sampled / 20) << "the picture did not move";
    // A 320 x 240 picture would leave the skin's grey round it; 640 x 480 covers it all.
    EXPECT_LT(grey, sampled / 100) << "the picture does not fill the 640 x 480 area";
    EXPECT_TRUE(program.Running());
}

}  // namespace
