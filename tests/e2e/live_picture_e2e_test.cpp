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

// Every fourth pixel of the picture area in each direction, at the window's client origin.
template <typename Sample>
int CountSamples(QPoint origin, Sample&& sample) {
    int count = 0;
    for (int y = 0; y < kPictureHeight; y += 4) {
        for (int x = 0; x < kPictureWidth; x += 4) {
            count += sample(QPoint(origin.x() + x, origin.y() + y)) ? 1 : 0;
        }
    }
    return count;
}

constexpr int kSampled = (kPictureWidth / 4) * (kPictureHeight / 4);

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
    const QPoint origin(left, top);

    // After the start-up probe the picture covers the whole area: a 320 x 240 picture would
    // leave the skin's grey round it, and a window not painted yet is one flat colour.
    std::optional<QImage> first;
    const auto grey = [&](const QImage& shot) {
        return CountSamples(origin, [&](QPoint p) { return IsSkinGrey(shot.pixel(p)); });
    };
    const auto varied = [&](const QImage& shot) {
        return CountSamples(origin, [&](QPoint p) { return shot.pixel(p) != shot.pixel(origin); });
    };
    EXPECT_TRUE(WaitUntil(
        [&] {
            first = x_session::Screenshot(display, dir / "first.png");
            return first && grey(*first) < kSampled / 100 && varied(*first) > kSampled / 20;
        },
        20s, x_session::kCommandPoll))
        << "the picture does not fill the 640 x 480 area";
    ASSERT_TRUE(first);

    std::optional<QImage> second;
    const auto changed = [&](const QImage& shot) {
        return CountSamples(origin, [&](QPoint p) { return shot.pixel(p) != first->pixel(p); });
    };
    EXPECT_TRUE(WaitUntil(
        [&] {
            second = x_session::Screenshot(display, dir / "second.png");
            return second && changed(*second) > kSampled / 20;
        },
        10s, x_session::kCommandPoll))
        << "the picture did not move";
    EXPECT_TRUE(program.Running());
}

}  // namespace
