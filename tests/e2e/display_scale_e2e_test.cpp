// The real program on a private X server at display scales 1, 1.5 and 2 (QT_SCALE_FACTOR): the
// window keeps its logical size, the button band is drawn at the device resolution (not a
// pixel-doubled 1x picture), a thumbnail frame's border lands on the device pixels its logical
// pixels map to, a band drag selects the frame, and the pointer on a button's first or last
// device pixel is on the button.
//
// Logical edge v lies on device edge floor(v * scale + 0.5); logical pixel x covers the device
// pixels from the edge of x up to the edge of x + 1.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using x_session::Quoted;
namespace fs = std::filesystem;

constexpr const char* kTitle = "Vantor Lumisight webcam";
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 609;
constexpr int kVideoBottom = 480;  // the live picture spans the client's width above it
constexpr int kButtonTop = 483;
constexpr int kButtonBottom = 513;
const int kButtonLeft[4] = {0, 47, 93, 185};
const int kButtonWidth[4] = {40, 40, 86, 40};
constexpr int kBandRight = 225;  // past the last button
constexpr int kLabelLeft = 103;  // the resolution label's letters lie within these columns
constexpr int kLabelRight = 153;
constexpr int kFrameLeft = 8;
constexpr int kFrameTop = 519;
constexpr int kFrameWidth = 90;
constexpr int kFrameHeight = 70;
constexpr int kWhiteBorderInset = 4;  // the thumbnail's white border lies this far inside

int Edge(int logical, double scale) {
    return static_cast<int>(std::floor(logical * scale + 0.5));
}

bool IsGrey(QRgb p) {
    return qRed(p) == 99 && qGreen(p) == 99 && qBlue(p) == 99;
}
bool IsWhite(QRgb p) {
    return qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255;
}

// How a band drawn at a scale compares with the 1x band: logical pixels whose device pixels
// change colour along a device row (none at all in a pixel-doubled 1x picture; the faces'
// shading runs from top to bottom, so these are the edges of icons and letters drawn finer than
// a logical pixel), and those whose device pixels on average still show the 1x pixel's colour
// (the same picture).
struct Sharpness {
    int logicalPixels = 0;
    int detailed = 0;
    int like1x = 0;
};

Sharpness CompareWith1x(const QImage& shot, const QImage& band1x, double scale, int left,
                        int right) {
    Sharpness result;
    for (int y = kButtonTop; y < kButtonBottom; ++y) {
        for (int x = left; x < right; ++x) {
            bool flat = true;
            long sum[3] = {0, 0, 0};
            int count = 0;
            for (int dy = Edge(y, scale); dy < Edge(y + 1, scale); ++dy) {
                for (int dx = Edge(x, scale); dx < Edge(x + 1, scale); ++dx) {
                    const QRgb p = shot.pixel(dx, dy);
                    flat = flat && p == shot.pixel(Edge(x, scale), dy);
                    sum[0] += qRed(p);
                    sum[1] += qGreen(p);
                    sum[2] += qBlue(p);
                    ++count;
                }
            }
            const QRgb reference = band1x.pixel(x, y - kButtonTop);
            const bool close = std::abs(sum[0] / count - qRed(reference)) <= 40 &&
                               std::abs(sum[1] / count - qGreen(reference)) <= 40 &&
                               std::abs(sum[2] / count - qBlue(reference)) <= 40;
            ++result.logicalPixels;
            result.detailed += flat ? 0 : 1;
            result.like1x += close ? 1 : 0;
        }
    }
    return result;
}

class DisplayScaleTest : public ::testing::TestWithParam<double> {
protected:
    // One X server for every scale, big enough for the window at 3x, and the 1x band.
    static void SetUpTestSuite() {
        s_root = std::make_unique<TempDir>();
        s_display = std::make_unique<x_session::VirtualDisplay>(s_root->Path(), "2000x1900x24");
    }
    static void TearDownTestSuite() {
        s_display.reset();
        s_root.reset();
    }

    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "import"}) {
            if (!x_session::HaveTool(tool)) {
                GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
            }
        }
        ASSERT_TRUE(s_display && s_display->Ready()) << "Xvfb did not start";
        m_scale = GetParam();
    }

    std::unique_ptr<x_session::ChildProcess> Start(double scale, const fs::path& dir) {
        fs::remove_all(dir);
        fs::create_directories(dir / "pictures");
        fs::create_directories(dir / "home");
        std::ostringstream factor;
        factor << scale;
        return std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                     (dir / "pictures").string()},
            std::vector<std::string>{
                "DISPLAY=" + s_display->Name(), "HOME=" + (dir / "home").string(), "LANG=C.UTF-8",
                "PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=xcb", "QT_SCALE_FACTOR=" + factor.str()},
            dir);
    }

    // The window's id, position and size in device pixels.
    bool FindWindow() {
        return WaitUntil(
            [this] {
                const auto found = s_display->Run("xdotool search --onlyvisible --name " +
                                                  Quoted(std::string("^") + kTitle + "$") +
                                                  " getwindowgeometry --shell");
                std::istringstream lines(found.output);
                int seen = 0;
                for (std::string line; std::getline(lines, line);) {
                    const auto value = [&] { return std::atoi(line.c_str() + line.find('=') + 1); };
                    if (line.rfind("WINDOW=", 0) == 0) {
                        m_window = line.substr(7);
                    } else if (line.rfind("X=", 0) == 0) {
                        m_origin.setX(value());
                    } else if (line.rfind("Y=", 0) == 0) {
                        m_origin.setY(value());
                    } else if (line.rfind("WIDTH=", 0) == 0) {
                        m_size.setWidth(value());
                    } else if (line.rfind("HEIGHT=", 0) == 0) {
                        m_size.setHeight(value());
                    } else {
                        continue;
                    }
                    ++seen;
                }
                return found.exitCode == 0 && seen == 5;
            },
            20s, 200ms);
    }

    // The window's client area from a fresh screenshot, in device pixels.
    bool Shoot(const fs::path& dir) {
        std::ostringstream crop;
        crop << m_size.width() << "x" << m_size.height() << "+" << m_origin.x() << "+"
             << m_origin.y();
        auto image = x_session::Screenshot(*s_display, dir / "shot.png", crop.str());
        if (image && image->size() == m_size) {
            m_shot = *image;
            return true;
        }
        return false;
    }

    // Waits for the camera's frames and a band that holds still.
    bool WaitForSteadyBand(const fs::path& dir) {
        QImage previous;
        return WaitUntil(
            [&] {
                if (!Shoot(dir) || IsGrey(m_shot.pixel(Edge(320, m_scale), Edge(240, m_scale)))) {
                    return false;
                }
                const QImage band = Band(m_shot);
                const bool steady = band == previous;
                previous = band;
                return steady;
            },
            20s, 200ms);
    }

    QImage Band(const QImage& shot) const {
        return shot.copy(0, Edge(kButtonTop, m_scale), Edge(kBandRight, m_scale),
                         Edge(kButtonBottom, m_scale) - Edge(kButtonTop, m_scale));
    }
    QRect ButtonArea(int b) const {
        const int left = Edge(kButtonLeft[b], m_scale);
        const int top = Edge(kButtonTop, m_scale);
        return QRect(left, top, Edge(kButtonLeft[b] + kButtonWidth[b], m_scale) - left,
                     Edge(kButtonBottom, m_scale) - top);
    }
    QImage ButtonLook(int b) const { return m_shot.copy(ButtonArea(b)); }
    // A fresh screenshot of the button alone (quicker than the whole window).
    QImage ShootButton(int b, const fs::path& dir) const {
        const QRect area = ButtonArea(b);
        std::ostringstream crop;
        crop << area.width() << "x" << area.height() << "+" << m_origin.x() + area.x() << "+"
             << m_origin.y() + area.y();
        return x_session::Screenshot(*s_display, dir / "button.png", crop.str()).value_or(QImage());
    }

    // Moves the pointer off the window, to the screen's far corner. Without --sync: it waits
    // for a motion event, which never comes when the pointer is there already.
    void ParkPointer() {
        s_display->Run("xdotool mousemove 1999 1899");
        WaitUntil(
            [&] {
                return s_display->Run("xdotool getmouselocation")
                           .output.rfind("x:1999 y:1899", 0) == 0;
            },
            2s, x_session::kCommandPoll);
    }

    void MoveToDevicePixel(int x, int y) {
        s_display->Run("xdotool mousemove --sync " + std::to_string(m_origin.x() + x) + " " +
                       std::to_string(m_origin.y() + y));
    }

    // The 1x band, drawn by the program at scale 1 once for the whole suite.
    QImage Band1x() {
        if (s_band1x.isNull()) {
            const double scale = m_scale;
            m_scale = 1.0;
            const fs::path dir = s_root->Path() / "reference";
            auto program = Start(1.0, dir);
            if (FindWindow() && WaitForSteadyBand(dir)) {
                s_band1x = Band(m_shot);
            }
            program.reset();
            m_scale = scale;
        }
        return s_band1x;
    }

    static inline std::unique_ptr<TempDir> s_root;
    static inline std::unique_ptr<x_session::VirtualDisplay> s_display;
    static inline QImage s_band1x;

    double m_scale = 1.0;
    std::string m_window;
    QPoint m_origin;
    QSize m_size;
    QImage m_shot;
};

TEST_P(DisplayScaleTest, WindowIsDrawnAtTheDeviceResolutionAndHitWhereItIsDrawn) {
    const QImage band1x = Band1x();
    ASSERT_FALSE(band1x.isNull()) << "no 1x band to compare with";

    const fs::path dir = s_root->Path() / "run";
    auto program = Start(m_scale, dir);
    ASSERT_TRUE(FindWindow()) << "the window did not appear";
    EXPECT_EQ(m_size, QSize(Edge(kClientWidth, m_scale), Edge(kClientHeight, m_scale)));
    // The pointer stays off the window while the band is looked at.
    ParkPointer();
    ASSERT_TRUE(WaitForSteadyBand(dir)) << "no camera picture or no steady button band";

    // At a whole scale each camera pixel of the live picture is a block of exactly one colour,
    // from the placement's first device pixel to its last.
    if (m_scale == std::floor(m_scale)) {
        const int block = static_cast<int>(m_scale);
        int mixedBlocks = 0;
        for (int y = 0; y < Edge(kVideoBottom, m_scale); y += block) {
            for (int x = 0; x < Edge(kClientWidth, m_scale); x += block) {
                for (int k = 1; k < block * block; ++k) {
                    if (m_shot.pixel(x + k % block, y + k / block) != m_shot.pixel(x, y)) {
                        ++mixedBlocks;
                        break;
                    }
                }
            }
        }
        EXPECT_EQ(mixedBlocks, 0) << "blocks of the live picture with more than one colour";
    }

    // The band: the 1x picture, and (above 1) finer than it in every button.
    const Sharpness whole = CompareWith1x(m_shot, band1x, m_scale, 0, kBandRight);
    std::cout << "scale " << m_scale << ": " << whole.like1x << " of " << whole.logicalPixels
              << " logical pixels of the band show the 1x colour, " << whole.detailed
              << " have finer detail\n";
    EXPECT_GE(whole.like1x, whole.logicalPixels * 85 / 100)
        << whole.like1x << " of " << whole.logicalPixels << " logical pixels show the 1x colour";
    // Only logical pixels two or more device pixels wide can hold finer detail: a share of
    // scale - 1 of them between 1 and 2.
    const auto expectedDetail = [&](int logicalPixels) {
        return static_cast<int>(logicalPixels * std::min(1.0, (m_scale - 1.0) * 2.0) / 20);
    };
    for (int b = 0; b < 4; ++b) {
        const Sharpness button = CompareWith1x(m_shot, band1x, m_scale, kButtonLeft[b],
                                               kButtonLeft[b] + kButtonWidth[b]);
        if (m_scale == 1.0) {
            EXPECT_EQ(button.detailed, 0);
        } else {
            // Icons and the resolution label drawn at the device resolution have their edges
            // inside logical pixels; a pixel-doubled 1x face has none.
            EXPECT_GE(button.detailed, expectedDetail(button.logicalPixels))
                << "button " << b << ": " << button.detailed << " of " << button.logicalPixels
                << " logical pixels have detail finer than a logical pixel";
        }
    }
    // The resolution label ("640x480") alone.
    const Sharpness label = CompareWith1x(m_shot, band1x, m_scale, kLabelLeft, kLabelRight);
    if (m_scale != 1.0) {
        EXPECT_GE(label.detailed, expectedDetail(label.logicalPixels))
            << "the resolution label: " << label.detailed << " of " << label.logicalPixels;
        std::cout << "the resolution label: " << label.detailed << " of " << label.logicalPixels
                  << " logical pixels have finer detail\n";
    }
    // A thumbnail frame: a click on the take-picture button's first device pixel takes a picture.
    MoveToDevicePixel(Edge(kButtonLeft[0], m_scale), Edge(kButtonTop, m_scale));
    s_display->Run("xdotool click 1");
    ASSERT_TRUE(
        WaitUntil([&] { return !fs::is_empty(dir / "pictures"); }, 5s, x_session::kCommandPoll))
        << "a click on the button's first device pixel took no picture";
    ParkPointer();
    const int borderLeft = kFrameLeft + kWhiteBorderInset;
    const int borderTop = kFrameTop + kWhiteBorderInset;
    const int borderRight = kFrameLeft + kFrameWidth - kWhiteBorderInset;
    const int borderBottom = kFrameTop + kFrameHeight - kWhiteBorderInset;
    const int midX = Edge(kFrameLeft + kFrameWidth / 2, m_scale);
    const int midY = Edge(kFrameTop + kFrameHeight / 2, m_scale);
    ASSERT_TRUE(WaitUntil(
        [&] { return Shoot(dir) && IsWhite(m_shot.pixel(Edge(borderLeft, m_scale), midY)); }, 5s,
        x_session::kCommandPoll))
        << "no thumbnail frame";
    // The white border is a one-pixel pen: round(scale) device pixels from the device edge its
    // logical edge maps to, inwards (as far as its logical pixel reaches: the picture drawn
    // inside afterwards covers the rest); the grey outside starts on the next device pixel.
    const int pen = std::max(1, static_cast<int>(std::lround(m_scale)));
    const auto inkFrom = [&](int logical) {
        return std::min(pen, Edge(logical + 1, m_scale) - Edge(logical, m_scale));
    };
    for (int k = 0; k < inkFrom(borderLeft); ++k) {
        EXPECT_TRUE(IsWhite(m_shot.pixel(Edge(borderLeft, m_scale) + k, midY))) << "left + " << k;
    }
    for (int k = 0; k < inkFrom(borderTop); ++k) {
        EXPECT_TRUE(IsWhite(m_shot.pixel(midX, Edge(borderTop, m_scale) + k))) << "top + " << k;
    }
    for (int k = 0; k < inkFrom(borderRight - 1); ++k) {
        EXPECT_TRUE(IsWhite(m_shot.pixel(Edge(borderRight, m_scale) - 1 - k, midY)))
            << "right - " << k;
    }
    for (int k = 0; k < inkFrom(borderBottom - 1); ++k) {
        EXPECT_TRUE(IsWhite(m_shot.pixel(midX, Edge(borderBottom, m_scale) - 1 - k)))
            << "bottom - " << k;
    }
    EXPECT_TRUE(IsGrey(m_shot.pixel(Edge(borderLeft, m_scale) - 1, midY)));
    EXPECT_TRUE(IsGrey(m_shot.pixel(Edge(borderRight, m_scale), midY)));
    EXPECT_TRUE(IsGrey(m_shot.pixel(midX, Edge(borderBottom, m_scale))));
    // The picture inside starts on the next device pixel.
    EXPECT_FALSE(IsGrey(m_shot.pixel(Edge(borderLeft + 1, m_scale), midY)));

    // A band dragged from the gap before the frame over it selects the frame (the drag's
    // threshold and the band are in logical pixels, the pointer's steps in device pixels).
    MoveToDevicePixel(Edge(kFrameLeft - 6, m_scale), Edge(kFrameTop + 10, m_scale));
    s_display->Run("xdotool mousedown 1");
    for (int step = 1; step <= 4; ++step) {
        MoveToDevicePixel(Edge(kFrameLeft - 6 + 12 * step, m_scale),
                          Edge(kFrameTop + 10 + 10 * step, m_scale));
    }
    s_display->Run("xdotool mouseup 1");
    ParkPointer();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Shoot(dir) && m_shot.pixel(Edge(kFrameLeft + 1, m_scale),
                                              Edge(kFrameTop + 1, m_scale)) == qRgb(0, 203, 233);
        },
        5s, x_session::kCommandPoll))
        << "the band did not select the frame";

    // The pointer on a button's first and last device pixel shows its hover face; one device
    // pixel beyond, in the gap between buttons, the normal face (the delete button's is the
    // enabled one now that a picture is selected).
    ASSERT_TRUE(WaitForSteadyBand(dir));
    QImage normal[4];
    for (int b = 0; b < 4; ++b) {
        normal[b] = ButtonLook(b);
    }
    for (const int b : {0, 1, 2, 3}) {
        const int first = Edge(kButtonLeft[b], m_scale);
        const int last = Edge(kButtonLeft[b] + kButtonWidth[b], m_scale) - 1;
        const int y = Edge(kButtonTop + 15, m_scale);
        for (const auto& [inside, outside] : {std::pair{first, first - 1}, {last, last + 1}}) {
            MoveToDevicePixel(inside, y);
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const QImage look = ShootButton(b, dir);
                    return !look.isNull() && look != normal[b];
                },
                3s, x_session::kCommandPoll))
                << "button " << b << ": no hover face at device column " << inside;
            if (outside >= 0) {
                MoveToDevicePixel(outside, y);
                EXPECT_TRUE(WaitUntil([&] { return ShootButton(b, dir) == normal[b]; }, 3s,
                                      x_session::kCommandPoll))
                    << "button " << b << ": hover face at device column " << outside;
            }
        }
    }
    EXPECT_TRUE(program->Running());
}

INSTANTIATE_TEST_SUITE_P(Scales, DisplayScaleTest,
                         ::testing::Values(1.0, 1.25, 1.5, 1.75, 2.0, 3.0), [](const auto& info) {
                             std::string name = std::to_string(info.param);
                             name.erase(name.find_last_not_of("0.") + 1);
                             for (char& c : name) {
                                 c = c == '.' ? '_' : c;
                             }
                             return "x" + name;
                         });

}  // namespace
