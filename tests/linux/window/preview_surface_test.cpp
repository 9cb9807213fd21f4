// The live-video child: placement, scaling, the once-per-taken-frame wake-up, and the hand-over
// between a presenting thread and a painting thread (run this suite under ThreadSanitizer).
#include <gtest/gtest.h>
#include <libyuv/convert_argb.h>

#include <QImage>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "support/doubles/headless_harness.h"

namespace {

std::vector<std::uint8_t> UniformYuyv(int width, int height, std::uint8_t luma) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t i = 0; i < frame.size(); i += 2) {
        frame[i] = luma;
        frame[i + 1] = 128;
    }
    return frame;
}

// The colour the display conversion gives a grey of this luma.
Color DisplayColour(std::uint8_t luma) {
    const std::uint8_t pair[4] = {luma, 128, luma, 128};
    std::uint8_t argb[8] = {};
    libyuv::YUY2ToARGB(pair, 4, argb, 8, 2, 1);
    return Rgb(argb[2], argb[1], argb[0]);
}

// Scaling filters the picture, which may move a uniform grey by a step or two.
::testing::AssertionResult Near(Color actual, Color expected) {
    const auto close = [](int a, int b) { return std::abs(a - b) <= 3; };
    if (close(actual.r, expected.r) && close(actual.g, expected.g) && close(actual.b, expected.b)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "RGB(" << int(actual.r) << "," << int(actual.g) << ","
                                         << int(actual.b) << ") is not near RGB(" << int(expected.r)
                                         << "," << int(expected.g) << "," << int(expected.b) << ")";
}

class CountingHandler : public WindowHandler {
public:
    void OnPaint() override { ++paints; }
    int paints = 0;
};

class PreviewTest : public ::testing::Test {
protected:
    PreviewTest() : window(handler, clock, kClientWidth, kClientHeight) {
        EnsureQtApplication();
        window.UpdateWindow();
        background = window.PixelAt(0, 0);
        handler.paints = 0;
        window.Preview().SetFrameReadyCallback([this] { ++announcements; });
    }
    ~PreviewTest() override { window.Preview().SetFrameReadyCallback({}); }

    void Present(int width, int height, std::uint8_t luma) {
        const auto frame = UniformYuyv(width, height, luma);
        window.Preview().Present(frame.data(), width, height, width * 2);
    }

    VirtualClock clock;
    CountingHandler handler;
    DialogWindow window;
    Color background;
    std::atomic<int> announcements{0};
};

TEST_F(PreviewTest, FrameShowsAtItsPlacementWhenPaintedWithoutInvolvingTheDialog) {
    window.Preview().Place(Rect{0, 0, 640, 480});
    Present(640, 480, 200);
    EXPECT_EQ(window.PixelAt(10, 10), background);  // nothing until the window paints it
    window.PaintPreview();
    EXPECT_EQ(window.PixelAt(10, 10), DisplayColour(200));
    EXPECT_EQ(window.PixelAt(639, 479), DisplayColour(200));
    EXPECT_EQ(window.PixelAt(0, 480), background);
    EXPECT_FALSE(window.HasDirtyArea());
    EXPECT_EQ(handler.paints, 0);
}

TEST_F(PreviewTest, LargeFramesAreScaledIntoASmallCentredPlacement) {
    window.Preview().Place(Rect{160, 120, 480, 360});
    std::vector<std::uint8_t> frame = UniformYuyv(1280, 1024, 60);
    for (int y = 0; y < 1024; ++y) {
        for (int x = 640; x < 1280; ++x) {
            frame[(static_cast<std::size_t>(y) * 1280 + x) * 2] = 220;
        }
    }
    window.Preview().Present(frame.data(), 1280, 1024, 1280 * 2);
    window.PaintPreview();
    EXPECT_TRUE(Near(window.PixelAt(170, 200), DisplayColour(60)));
    EXPECT_TRUE(Near(window.PixelAt(470, 200), DisplayColour(220)));
    EXPECT_TRUE(Near(window.PixelAt(479, 359), DisplayColour(220)));
    EXPECT_EQ(window.PixelAt(159, 200), background);
    EXPECT_EQ(window.PixelAt(480, 200), background);
    EXPECT_EQ(window.PixelAt(300, 360), background);
}

// On a screen at a whole-number scale each camera pixel of a 640 x 480 frame is a block of device
// pixels of exactly its 1x colour, also where only a part of the placement is repainted (at odd
// device pixels); at 1.5 the picture is filtered, so neighbours blend.
TEST_F(PreviewTest, FramesAreEnlargedIntoWholeBlocksAtWholeScalesAndFilteredOtherwise) {
    const auto luma = [](int x, int y) {
        return static_cast<std::uint8_t>(40 + 100 * (x % 2) + 50 * (y % 2));
    };
    std::vector<std::uint8_t> frame = UniformYuyv(640, 480, 0);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            frame[(static_cast<std::size_t>(y) * 640 + x) * 2] = luma(x, y);
        }
    }
    for (const double scale : {2.0, 3.0, 1.5}) {
        SCOPED_TRACE(scale);
        window.SetDeviceScale(scale);
        window.Preview().Place(Rect{0, 0, 640, 480});
        window.Preview().Present(frame.data(), 640, 480, 640 * 2);
        window.PaintPreview();
        const int block = static_cast<int>(scale);
        if (block != scale) {
            int blended = 0;
            for (int x = 0; x < 24; ++x) {
                const Color pixel = window.DevicePixelAt(x, 0);
                blended +=
                    !(pixel == DisplayColour(luma(0, 0))) && !(pixel == DisplayColour(luma(1, 0)));
            }
            EXPECT_GT(blended, 0);
            continue;
        }
        // Covered, then repainted from the frame, in a part that starts inside a block.
        const Rect part{13, 7, 57, 41};
        {
            DrawingSurface surface = window.GetDC();
            surface.SelectBrush(Rgb(255, 0, 0));
            surface.Rectangle(part.left, part.top, part.right, part.bottom);
        }
        window.InvalidateRect(&part);
        window.UpdateWindow();
        int wrong = 0;
        for (int y = 0; y < 48 * block; ++y) {
            for (int x = 0; x < 64 * block; ++x) {
                wrong += window.DevicePixelAt(x, y) != DisplayColour(luma(x / block, y / block));
            }
        }
        EXPECT_EQ(wrong, 0) << "device pixels not of their camera pixel's colour";
    }
}

TEST_F(PreviewTest, NewFramesAreAnnouncedOnceUntilTheWindowTakesOne) {
    window.Preview().Place(Rect{0, 0, 64, 48});
    Present(64, 48, 50);
    Present(64, 48, 60);
    Present(64, 48, 70);
    EXPECT_EQ(announcements.load(), 1);
    window.PaintPreview();
    EXPECT_EQ(window.PixelAt(5, 5), DisplayColour(70));  // the newest one wins
    Present(64, 48, 80);
    EXPECT_EQ(announcements.load(), 2);
}

TEST_F(PreviewTest, AFrameOfAnEarlierPlacementIsNotDrawn) {
    window.Preview().Place(Rect{0, 0, 640, 480});
    Present(640, 480, 200);
    window.Preview().Place(Rect{160, 120, 480, 360});
    window.PaintPreview();
    EXPECT_EQ(window.PixelAt(200, 200), background);
    Present(640, 480, 100);
    window.PaintPreview();
    EXPECT_TRUE(Near(window.PixelAt(200, 200), DisplayColour(100)));
}

TEST_F(PreviewTest, HiddenVideoDrawsNothingButKeepsTakingFrames) {
    window.Preview().Place(Rect{0, 0, 64, 48});
    window.Preview().SetVisible(false);
    Present(64, 48, 200);
    window.PaintPreview();
    EXPECT_EQ(window.PixelAt(5, 5), background);
    Present(64, 48, 200);
    EXPECT_EQ(announcements.load(), 2);
}

TEST_F(PreviewTest, RepaintingAnAreaPutsTheVideoBackOnTop) {
    window.Preview().Place(Rect{0, 0, 640, 480});
    Present(640, 480, 150);
    window.PaintPreview();
    {
        DrawingSurface surface = window.GetDC();
        surface.SelectBrush(Rgb(255, 0, 0));
        surface.Rectangle(10, 10, 20, 20);
    }
    const Rect area{0, 0, 30, 30};
    window.InvalidateRect(&area);
    window.UpdateWindow();
    EXPECT_EQ(window.PixelAt(15, 15), DisplayColour(150));
}

TEST_F(PreviewTest, MalformedFramesAndFramesBeforeAnyPlacementAreDropped) {
    Present(64, 48, 100);  // not placed yet
    window.Preview().Place(Rect{0, 0, 64, 48});
    const auto frame = UniformYuyv(64, 48, 100);
    window.Preview().Present(nullptr, 64, 48, 128);
    window.Preview().Present(frame.data(), 64, 48, 100);  // stride shorter than a row
    window.Preview().Present(frame.data(), 0, 48, 128);
    EXPECT_EQ(announcements.load(), 0);
    window.PaintPreview();
    EXPECT_EQ(window.PixelAt(5, 5), background);
}

// A notice: the frame the window holds, at three eighths of its brightness, with the text in
// white in the middle of the placement, also where the video is hidden (a released graph hides
// it); without a frame the picture is black. An empty text ends it.
struct NoticeRow {
    const char* name;
    int frameWidth;  // 640, or 0: no frame at all
    bool hidden;
    Color darkened;
};

void PrintTo(const NoticeRow& row, std::ostream* out) {
    *out << row.name;
}

class NoticeTest : public PreviewTest, public ::testing::WithParamInterface<NoticeRow> {};

TEST_P(NoticeTest, TheNoticeDarkensTheHeldFrameAndCentresItsText) {
    const NoticeRow& row = GetParam();
    window.Preview().Place(Rect{0, 0, 640, 480});
    if (row.frameWidth > 0) {
        Present(row.frameWidth, row.frameWidth * 3 / 4, 235);
        window.PaintPreview();
    }
    window.Preview().SetVisible(!row.hidden);
    window.Preview().SetNotice("Camera disconnected");
    EXPECT_TRUE(window.Preview().IsShown());
    window.InvalidateRect(nullptr);
    window.UpdateWindow();

    EXPECT_TRUE(Near(window.PixelAt(10, 10), row.darkened));
    EXPECT_TRUE(Near(window.PixelAt(630, 470), row.darkened));
    EXPECT_EQ(window.PixelAt(10, 500), background) << "nothing outside the placement";
    int white = 0;
    int whiteOffCentre = 0;
    for (int y = 0; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2) {
            if (window.PixelAt(x, y) == Rgb(255, 255, 255)) {
                ++white;
                whiteOffCentre += (y < 200 || y > 280 || x < 160 || x > 480) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(white, 20);
    EXPECT_EQ(whiteOffCentre, 0);

    window.Preview().SetNotice("");
    window.Preview().SetVisible(true);
    window.InvalidateRect(nullptr);
    window.UpdateWindow();
    if (row.frameWidth > 0) {
        EXPECT_EQ(window.PixelAt(320, 240), DisplayColour(235)) << "the live picture is back";
    } else {
        EXPECT_EQ(window.PixelAt(320, 240), background);
    }
}

Color ThreeEighths(Color c) {
    return Rgb(c.r / 4 + c.r / 8, c.g / 4 + c.g / 8, c.b / 4 + c.b / 8);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, NoticeTest,
    ::testing::Values(NoticeRow{"visible_frame", 640, false, ThreeEighths(DisplayColour(235))},
                      NoticeRow{"hidden_frame", 640, true, ThreeEighths(DisplayColour(235))},
                      NoticeRow{"no_frame", 0, true, Rgb(0, 0, 0)}),
    [](const ::testing::TestParamInfo<NoticeRow>& info) { return info.param.name; });

// The streaming thread presents while the user-interface thread paints: every painted picture
// must be one whole frame (uniform here), never a mix of two.
TEST_F(PreviewTest, PaintingWhilePresentingNeverShowsAMixedFrame) {
    window.Preview().Place(Rect{0, 0, 320, 240});
    constexpr int kFrames = 120;
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(UniformYuyv(640, 480, static_cast<std::uint8_t>(16 + i)));
    }
    std::atomic<bool> done{false};
    std::jthread streaming([&](std::stop_token stop) {
        for (const auto& frame : frames) {
            if (stop.stop_requested()) {
                break;
            }
            window.Preview().Present(frame.data(), 640, 480, 640 * 2);
        }
        done.store(true, std::memory_order_release);
    });
    int mixed = 0;
    int paints = 0;
    const Point samples[] = {{0, 0}, {319, 0}, {160, 120}, {0, 239}, {319, 239}, {77, 201}};
    while (!done.load(std::memory_order_acquire) || paints == 0) {
        window.PaintPreview();
        ++paints;
        const Color first = window.PixelAt(0, 0);
        for (const Point sample : samples) {
            mixed += window.PixelAt(sample.x, sample.y) != first;
        }
    }
    streaming.join();
    window.PaintPreview();
    EXPECT_EQ(mixed, 0);
    EXPECT_TRUE(Near(window.PixelAt(100, 100), DisplayColour(16 + kFrames - 1)));
    EXPECT_GE(announcements.load(), 1);
    EXPECT_LE(announcements.load(), kFrames);
}

}  // namespace
