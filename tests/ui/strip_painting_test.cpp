// The strip as drawn on the window: frames, the band, the resolution label and the paint timers.

#include <gtest/gtest.h>

#include "platform/control.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "ui/strip_painting.h"
#include "ui_fixture.h"

namespace ui_test {
namespace {

using StripPaintingTest = StartedWindow;

bool IsDark(Color c) {
    return c.r < 80 && c.g < 80 && c.b < 80;
}

TEST_F(StripPaintingTest, SelectedFrameIsCyanWithThePictureAtFiveFive) {
    AddPictures(3);
    Dlg().m_thumbs[1].bSelected = true;
    Win().InvalidateRect(&Dlg().m_rcStrip);
    harness.Advance(10);
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 90; ++x) {
            const bool picture = x >= 5 && x < 85 && y >= 5 && y < 65;
            const Color expected = picture ? PatternColour(2, x - 5, y - 5) : kCyan;
            ASSERT_EQ(FramePixel(1, x, y), expected) << x << "," << y;
        }
    }
    EXPECT_TRUE(Dlg().m_bAnySelected);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[1][0].get());
}

TEST_F(StripPaintingTest, UnselectedFrameHasGreyRampAndWhiteBorder) {
    AddPictures(3);
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 90; ++x) {
            Color expected = kGrey;
            if (x >= 5 && x < 85 && y >= 5 && y < 65) {
                expected = PatternColour(1, x - 5, y - 5);
            } else if (x >= 4 && x <= 85 && y >= 4 && y <= 65) {
                expected = kWhite;  // the border, both corners inclusive
            } else if (y < 8) {
                expected = Rgb(kRamp[y], kRamp[y], kRamp[y]);
            }
            ASSERT_EQ(FramePixel(0, x, y), expected) << x << "," << y;
        }
    }
    EXPECT_FALSE(Dlg().m_bAnySelected);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[4][0].get());
}

// A record whose thumbnail has not arrived shows its frame around a plain grey: never what its
// block held before (another picture's pixels, after records moved); the thumbnail replaces the
// grey in that frame alone when it arrives.
TEST_F(StripPaintingTest, AFrameWaitingForItsThumbnailShowsAPlaceholderUntilItArrives) {
    AddPictures(3);
    Dlg().m_thumbs[1].pixelsReady = false;  // its block still holds picture 2's pattern
    Win().InvalidateRect(&Dlg().m_rcStrip);
    harness.Advance(10);
    for (int y = 0; y < 70; y += 7) {
        for (int x = 0; x < 90; x += 9) {
            const bool picture = x >= 5 && x < 85 && y >= 5 && y < 65;
            if (picture) {
                ASSERT_EQ(FramePixel(1, x, y), Rgb(128, 128, 128)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(FramePixel(1, 4, 35), kWhite);
    Dlg().m_thumbs[1].pixelsReady = true;
    ShowArrivedThumbnail(SkinnedWindow{Dlg(), Dlg(), Win()}, 1);
    EXPECT_FALSE(Win().HasDirtyArea());  // drawn at once, nothing else repainted
    EXPECT_EQ(FramePixel(1, 40, 30), PatternColour(2, 35, 25));
}

TEST_F(StripPaintingTest, FramesWithoutPictureAreHiddenAndShowTheSkin) {
    AddPictures(3);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Win().GetDlgItem(IDC_THUMB_FRAME_FIRST + i)->IsVisible(), i < 3) << i;
    }
    // The skin's strip panel shows where a frame's black outline would be.
    EXPECT_NE(FramePixel(4, 0, 35), Rgb(0, 0, 0));
    EXPECT_EQ(FramePixel(4, 45, 35), kGrey);

    AddPictures(0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(Win().GetDlgItem(IDC_THUMB_FRAME_FIRST + i)->IsVisible()) << i;
    }
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[4][0].get());
}

// The list ends at its first empty record; pictures left beyond it are neither counted nor shown.
TEST_F(StripPaintingTest, EmptyRecordCutsTheList) {
    AddPictures(6);
    Dlg().m_thumbs[4].nNumber = 0;
    Dlg().m_thumbs[5].bSelected = true;
    Win().InvalidateRect(&Dlg().m_rcStrip);
    harness.Advance(10);
    EXPECT_EQ(Dlg().m_nThumbCount, 4);
    EXPECT_FALSE(Dlg().m_bAnySelected);
    EXPECT_FALSE(Win().GetDlgItem(IDC_THUMB_FRAME_FIRST + 4)->IsVisible());
    EXPECT_FALSE(Win().GetDlgItem(IDC_THUMB_FRAME_FIRST + 5)->IsVisible());
}

TEST_F(StripPaintingTest, BandOutlineRunsAlongTheBandShrunkByOne) {
    AddPictures(6);
    Dlg().m_rcBand = Rect{100, 530, 300, 580};
    Dlg().DrawThumbnailStrip();
    for (int x = 101; x <= 299; ++x) {
        EXPECT_EQ(harness.PixelAt(x, 531), kRed) << x;
        EXPECT_EQ(harness.PixelAt(x, 579), kRed) << x;
    }
    for (int y = 531; y <= 579; ++y) {
        EXPECT_EQ(harness.PixelAt(101, y), kRed) << y;
        EXPECT_EQ(harness.PixelAt(299, y), kRed) << y;
    }
    EXPECT_NE(harness.PixelAt(100, 530), kRed);
    EXPECT_NE(harness.PixelAt(300, 580), kRed);
    EXPECT_NE(harness.PixelAt(102, 532), kRed);
}

TEST_F(StripPaintingTest, BandOfTwoPixelsOrLessIsNotDrawn) {
    AddPictures(6);
    for (const Rect band : {Rect{100, 530, 102, 580}, Rect{100, 530, 300, 532}}) {
        Dlg().m_rcBand = band;
        Dlg().DrawThumbnailStrip();
        for (int y = 516; y < 595; ++y) {
            for (int x = 0; x < 640; ++x) {
                ASSERT_NE(harness.PixelAt(x, y), kRed) << x << "," << y;
            }
        }
    }
}

class ResolutionLabelTest : public StartedWindow {
protected:
    // The dark pixels of the resolution button after timer 100 has drawn its label.
    std::vector<Point> LabelPixels(int resolution) {
        Dlg().m_nResolution = resolution;
        Win().SetTimer(TIMER_RESOLUTION_BUTTON, 5);
        harness.Advance(10);
        const Rect button = Dlg().m_rcButton[2];
        std::vector<Point> dark;
        for (int y = button.top + 4; y < button.top + 26; ++y) {
            for (int x = button.left + 2; x < button.left + 70; ++x) {
                if (IsDark(harness.PixelAt(x, y))) {
                    dark.push_back(Point{x - button.left, y - button.top});
                }
            }
        }
        return dark;
    }
};

TEST_F(ResolutionLabelTest, EachResolutionHasItsOwnLabelAroundTheBaselineCentre) {
    std::vector<std::vector<Point>> labels;
    for (int resolution = 0; resolution < 3; ++resolution) {
        labels.push_back(LabelPixels(resolution));
        const auto& dark = labels.back();
        ASSERT_GT(dark.size(), 10u) << resolution;
        int left = 100, right = -1, top = 100, bottom = -1;
        for (const Point p : dark) {
            left = std::min(left, p.x), right = std::max(right, p.x);
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
        }
        EXPECT_NEAR((left + right) / 2, 36, 3) << resolution;  // centred on x = 36
        EXPECT_LE(bottom, 23) << resolution;                   // letters stand on y = 20
        EXPECT_GE(bottom, 19) << resolution;
        EXPECT_FALSE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));
    }
    EXPECT_NE(labels[0], labels[1]);
    EXPECT_NE(labels[1], labels[2]);
    // The same resolution draws the same label again.
    EXPECT_EQ(LabelPixels(0), labels[0]);
}

TEST_F(ResolutionLabelTest, HoverFaceLiesUnderTheLabel) {
    const auto normal = LabelPixels(1);
    harness.MouseMove(ButtonCentre(2));
    harness.Advance(10);
    EXPECT_EQ(FaceShown(2), Dlg().m_hbmButton[2][1].get());
    // The hover face's border has the selection colour; the label is drawn over it unchanged.
    const Rect button = Dlg().m_rcButton[2];
    EXPECT_EQ(harness.PixelAt(button.left, button.top), kCyan);
    EXPECT_EQ(LabelPixels(1), normal);
    MoveAway();
    EXPECT_EQ(FaceShown(2), Dlg().m_hbmButton[2][0].get());
    EXPECT_NE(harness.PixelAt(button.left, button.top), kCyan);
}

TEST_F(ResolutionLabelTest, NoLabelWithoutCameraAndTheTimerRetries) {
    Dlg().m_nResolution = 3;
    Win().SetTimer(TIMER_RESOLUTION_BUTTON, 5);
    harness.Advance(20);
    EXPECT_TRUE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));
    const Rect button = Dlg().m_rcButton[2];
    for (int y = button.top + 4; y < button.top + 26; ++y) {
        for (int x = button.left + 2; x < button.left + 70; ++x) {
            ASSERT_FALSE(IsDark(harness.PixelAt(x, y))) << x << "," << y;
        }
    }
}

using PaintTimerTest = StartedWindow;

TEST_F(PaintTimerTest, PaintArmsTheStripAndButtonTimersOnceEach) {
    AddPictures(2);
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_DRAW_STRIP));
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));
    const Rect area{0, 0, 10, 10};
    Win().InvalidateRect(&area);
    EXPECT_EQ(harness.Pump(), 1);
    EXPECT_EQ(harness.Clock().Period(TIMER_DRAW_STRIP), 1);
    EXPECT_EQ(harness.Clock().Period(TIMER_RESOLUTION_BUTTON), 2);
    const std::size_t before = harness.Clock().Firings().size();
    harness.Advance(1000);
    std::vector<int> fired;
    for (std::size_t i = before; i < harness.Clock().Firings().size(); ++i) {
        fired.push_back(harness.Clock().Firings()[i].id);
    }
    EXPECT_EQ(fired, (std::vector<int>{TIMER_DRAW_STRIP, TIMER_RESOLUTION_BUTTON}));
}

TEST_F(PaintTimerTest, MinimisedWindowPaintsItsIconAndArmsNoTimer) {
    // An icon of our own, so that the test does not depend on the artwork.
    Bitmap icon(32, 32);
    DrawingSurface painter(icon);
    painter.SelectBrush(Rgb(10, 200, 30));
    painter.Rectangle(0, 0, 32, 32);
    painter.SelectBrush(Rgb(250, 20, 90));
    painter.Rectangle(8, 8, 24, 24);
    Dlg().m_hIcon = &icon;
    Win().SetIconic(true);
    Win().InvalidateRect(nullptr);
    harness.Pump();
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_DRAW_STRIP));
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));
    const int x = (640 - 32 + 1) / 2;
    const int y = (595 - 32 + 1) / 2;
    for (int dy = 0; dy < 32; ++dy) {
        for (int dx = 0; dx < 32; ++dx) {
            ASSERT_EQ(harness.PixelAt(x + dx, y + dy), icon.PixelAt(dx, dy)) << dx << "," << dy;
        }
    }
    EXPECT_NE(harness.PixelAt(x - 1, y), Rgb(10, 200, 30));
    EXPECT_NE(harness.PixelAt(x + 32, y + 32), Rgb(10, 200, 30));
    Dlg().m_hIcon = nullptr;
    Win().InvalidateRect(nullptr);
    harness.Pump();  // no icon to draw: nothing is drawn, nothing breaks
}

// Idle with pictures listed and the camera streaming: only the sweep runs, every 3 s; the live
// picture reaches the window without a repaint of the dialog or any of its timers.
TEST_F(PaintTimerTest, IdleWindowOnlySweepsWhileFramesFlow) {
    AddPictures(8);
    std::vector<std::uint8_t> frame(640 * 480 * 2, 0x80);
    // The capture double leaves the video child alone; placed as the real graph places it.
    Win().Preview().Place(Rect{0, 0, 640, 480});
    Win().Preview().SetVisible(true);
    int repaints = 0;
    const long long end = harness.Clock().Now() + 10000;
    const std::size_t before = harness.Clock().Firings().size();
    while (harness.Clock().Now() < end) {
        media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size()));
        Win().Preview().Present(frame.data(), 640, 480, 640 * 2);
        const long long next = harness.Clock().Now() + 33;
        while (harness.Clock().FireNext(next)) {
            repaints += harness.Pump();
        }
        harness.Clock().SetNow(next);
        repaints += harness.Pump();
    }
    std::vector<int> fired;
    for (std::size_t i = before; i < harness.Clock().Firings().size(); ++i) {
        fired.push_back(harness.Clock().Firings()[i].id);
    }
    EXPECT_EQ(fired, (std::vector<int>{TIMER_SWEEP, TIMER_SWEEP, TIMER_SWEEP}));
    EXPECT_EQ(repaints, 0);
    EXPECT_NE(harness.PixelAt(320, 240), kGrey) << "the frames did reach the live picture";
}

// The sweep's next run counts from the end of this one, however long it took.
TEST_F(PaintTimerTest, SweepRearmsOnlyAfterItEnds) {
    AddPictures(3);
    std::filesystem::remove(FileOf(2));
    bool armedDuringSweep = true;
    // The sweep's repaint request comes from inside it: note the timer and let 700 ms pass there.
    Win().SetInvalidatedListener([this, &armedDuringSweep] {
        armedDuringSweep = Win().IsTimerArmed(TIMER_SWEEP);
        harness.Clock().SetNow(harness.Clock().Now() + 700);
    });
    const long long due = *harness.Clock().DueTime(TIMER_SWEEP);
    ASSERT_TRUE(harness.Clock().FireNext(due));
    Win().SetInvalidatedListener({});
    EXPECT_FALSE(armedDuringSweep);
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 3}));
    EXPECT_EQ(*harness.Clock().DueTime(TIMER_SWEEP), due + 700 + 3000);
}

}  // namespace
}  // namespace ui_test
