// The retained window: repaint order, overlays, controls, timers and the scroll bar.
#include "platform/dialog_window.h"

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/dialog.h"
#include "platform/scroll_bar.h"
#include "support/doubles/headless_harness.h"

namespace {

constexpr Color kSkin = Rgb(99, 99, 99);
constexpr Color kFace = Rgb(0, 160, 0);
constexpr Color kOtherFace = Rgb(200, 0, 200);
constexpr Color kOverlay = Rgb(0, 0, 255);
constexpr Color kBlack = Rgb(0, 0, 0);

std::unique_ptr<Bitmap> FilledBitmap(int width, int height, Color color) {
    auto bitmap = std::make_unique<Bitmap>(width, height);
    bitmap->Image().fill(qRgb(color.r, color.g, color.b));
    return bitmap;
}

// Records the window's messages; its paint handler marks one pixel so the test can see what
// was on screen when it ran and what it left.
class RecordingHandler : public WindowHandler {
public:
    void OnPaint() override {
        events.push_back("paint");
        pixelSeenByPaint = window->PixelAt(15, 490);
        dirtyDuringPaint = window->HasDirtyArea();
        DrawingSurface surface = window->GetDC();
        surface.SelectBrush(kOverlay);
        surface.Rectangle(15, 490, 16, 491);
    }
    void OnTimer(int id) override { events.push_back("timer " + std::to_string(id)); }

    DialogWindow* window = nullptr;
    std::vector<std::string> events;
    Color pixelSeenByPaint;
    bool dirtyDuringPaint = true;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : window(handler, clock, kClientWidth, kClientHeight) {
        EnsureQtApplication();
        handler.window = &window;
        skin = FilledBitmap(640, 595, kSkin);
        face = FilledBitmap(40, 30, kFace);
        otherFace = FilledBitmap(40, 30, kOtherFace);
        window.AddControl(1012, ControlKind::Bitmap, Rect{0, 0, 640, 595}, true)
            .SetImage(skin.get());
        window.AddControl(1007, ControlKind::Bitmap, Rect{0, 483, 40, 513}, true)
            .SetImage(face.get());
        window.AddControl(1014, ControlKind::BlackFrame, Rect{8, 519, 98, 589}, false);
        window.AddControl(1013, ControlKind::Text, Rect{440, 484, 460, 502}, false)
            .SetText("Static");
        window.SetPixelsChangedListener([this](const Rect& rect) { changed.push_back(rect); });
        window.SetInvalidatedListener([this] { ++invalidations; });
        window.UpdateWindow();
        handler.events.clear();
        changed.clear();
        invalidations = 0;
    }

    VirtualClock clock;
    RecordingHandler handler;
    std::unique_ptr<Bitmap> skin;
    std::unique_ptr<Bitmap> face;
    std::unique_ptr<Bitmap> otherFace;
    DialogWindow window;
    std::vector<Rect> changed;
    int invalidations = 0;
};

TEST_F(WindowTest, RepaintDrawsSkinThenControlsThenCallsThePaintHandler) {
    const Rect area{0, 480, 100, 500};
    window.InvalidateRect(&area);
    EXPECT_EQ(invalidations, 1);
    window.UpdateWindow();

    ASSERT_EQ(handler.events, (std::vector<std::string>{"paint"}));
    EXPECT_EQ(handler.pixelSeenByPaint, kFace);  // the button was already over the skin
    EXPECT_FALSE(handler.dirtyDuringPaint);      // the dirty area is cleared before the handler
    EXPECT_EQ(window.PixelAt(15, 490), kOverlay);
    EXPECT_EQ(window.PixelAt(5, 481), kSkin);
    EXPECT_EQ(window.PixelAt(60, 490), kSkin);
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.front(), area);
}

TEST_F(WindowTest, UpdateWindowWithoutDirtyAreaDoesNothing) {
    window.UpdateWindow();
    EXPECT_TRUE(handler.events.empty());
    EXPECT_TRUE(changed.empty());
}

TEST_F(WindowTest, OverlayStaysUntilItsAreaIsInvalidatedAndRepaintedAndOnlyThere) {
    {
        DrawingSurface surface = window.GetDC();
        surface.SelectBrush(kOverlay);
        surface.Rectangle(100, 100, 200, 150);
    }
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], (Rect{100, 100, 200, 150}));

    const Rect unrelated{300, 300, 310, 310};
    window.InvalidateRect(&unrelated);
    window.UpdateWindow();
    EXPECT_EQ(window.PixelAt(150, 120), kOverlay);

    const Rect half{100, 100, 150, 150};
    window.InvalidateRect(&half);
    window.UpdateWindow();
    EXPECT_EQ(window.PixelAt(120, 120), kSkin);
    EXPECT_EQ(window.PixelAt(149, 149), kSkin);
    EXPECT_EQ(window.PixelAt(150, 120), kOverlay);
    // Only the invalidated rectangles were repainted (then the paint handler drew its mark).
    EXPECT_EQ(changed, (std::vector<Rect>{Rect{100, 100, 200, 150}, unrelated,
                                          Rect{15, 490, 16, 491}, half, Rect{15, 490, 16, 491}}));
}

TEST_F(WindowTest, DirtyAreaGrowsToTheBoundsOfEveryInvalidationWithinTheClient) {
    const Rect a{10, 10, 20, 20};
    const Rect b{600, 500, 700, 700};
    window.InvalidateRect(&a);
    window.InvalidateRect(&b);
    EXPECT_EQ(window.DirtyBounds(), (Rect{10, 10, 640, 595}));
    const Rect outside{700, 700, 710, 710};
    window.InvalidateRect(&outside);
    EXPECT_EQ(invalidations, 2);
    window.UpdateWindow();
    window.InvalidateRect(nullptr);
    EXPECT_EQ(window.DirtyBounds(), (Rect{0, 0, 640, 595}));
}

TEST_F(WindowTest, SettingAControlImageRepaintsItAtOnceWithoutThePaintHandler) {
    Control* button = window.GetDlgItem(1007);
    ASSERT_NE(button, nullptr);
    button->SetImage(otherFace.get());
    EXPECT_EQ(window.PixelAt(0, 483), kOtherFace);
    EXPECT_EQ(window.PixelAt(39, 512), kOtherFace);
    EXPECT_EQ(window.PixelAt(40, 490), kSkin);
    EXPECT_FALSE(window.HasDirtyArea());
    EXPECT_TRUE(handler.events.empty());
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], (Rect{0, 483, 40, 513}));
}

TEST_F(WindowTest, HiddenControlsPaintNothingAndShowingOneDrawsItAtOnce) {
    EXPECT_EQ(window.PixelAt(8, 519), kSkin);    // hidden frame
    EXPECT_EQ(window.PixelAt(445, 490), kSkin);  // hidden text
    Control* frame = window.GetDlgItem(1014);
    ASSERT_NE(frame, nullptr);

    frame->Show(true);
    EXPECT_EQ(window.PixelAt(8, 519), kBlack);
    EXPECT_EQ(window.PixelAt(97, 588), kBlack);
    EXPECT_EQ(window.PixelAt(50, 550), kSkin);  // a frame is only an outline
    EXPECT_EQ(window.PixelAt(98, 550), kSkin);

    frame->Show(false);
    EXPECT_EQ(window.DirtyBounds(), (Rect{8, 519, 98, 589}));
    window.UpdateWindow();
    EXPECT_EQ(window.PixelAt(8, 519), kSkin);
}

TEST_F(WindowTest, ControlSurfaceStartsAtTheControlAndMayDrawOutsideIt) {
    Control* button = window.GetDlgItem(1007);
    DrawingSurface surface = button->GetDC();
    surface.SelectBrush(kOverlay);
    surface.Rectangle(0, 31, 10, 40);  // below the button, as the resolution menu is
    EXPECT_EQ(window.PixelAt(0, 514), kOverlay);
    EXPECT_EQ(window.PixelAt(9, 522), kOverlay);
    EXPECT_EQ(window.PixelAt(0, 513), kSkin);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], (Rect{0, 514, 10, 523}));
}

TEST_F(WindowTest, MovingAVisibleControlInvalidatesBothPlaces) {
    window.GetDlgItem(1007)->Move(100, 483);
    EXPECT_EQ(window.DirtyBounds(), (Rect{0, 483, 140, 513}));
    window.UpdateWindow();
    EXPECT_EQ(window.PixelAt(5, 490), kSkin);
    EXPECT_EQ(window.PixelAt(105, 490), kFace);
}

TEST_F(WindowTest, ArmingAnArmedTimerRestartsItWithTheNewPeriod) {
    window.SetTimer(100, 2);
    clock.Advance(1);
    window.SetTimer(100, 50);
    clock.Advance(10);
    EXPECT_TRUE(handler.events.empty());
    clock.Advance(40);
    EXPECT_EQ(handler.events, (std::vector<std::string>{"timer 100"}));
    clock.Advance(50);
    EXPECT_EQ(handler.events.size(), 2u);  // periodic until killed
    window.KillTimer(100);
    clock.Advance(500);
    EXPECT_EQ(handler.events.size(), 2u);
}

TEST_F(WindowTest, TimersEndWithTheWindow) {
    VirtualClock ownClock;
    {
        RecordingHandler other;
        DialogWindow shortLived(other, ownClock, 10, 10);
        shortLived.SetTimer(500, 3000);
        EXPECT_TRUE(ownClock.IsArmed(500));
        EXPECT_TRUE(shortLived.IsTimerArmed(500));
    }
    EXPECT_FALSE(ownClock.IsArmed(500));
    ownClock.Advance(10000);  // nothing left to call into the destroyed window
    EXPECT_TRUE(ownClock.Firings().empty());
}

TEST_F(WindowTest, ScrollBarPositionStaysInRangeAndChangesAreReported) {
    std::vector<ScrollBarState> states;
    window.SetScrollBarListener(
        [&states](const ScrollBarState& state) { states.push_back(state); });
    window.SetScrollRange(0, 5, false);
    window.SetScrollPos(7, true);
    EXPECT_EQ(window.GetScrollPos(), 5);
    window.SetScrollPos(-2, true);
    EXPECT_EQ(window.GetScrollPos(), 0);
    window.SetScrollPos(3, true);
    window.SetScrollRange(0, 2, false);
    EXPECT_EQ(window.GetScrollPos(), 2);
    window.EnableScrollBar(false);
    window.EnableScrollBar(false);
    window.SetScrollPos(2, true);
    ASSERT_EQ(states.size(), 6u);  // unchanged calls are not reported
    EXPECT_FALSE(states.back().enabled);
    EXPECT_EQ(states.back().maximum, 2);
    EXPECT_EQ(states.back().position, 2);
}

}  // namespace
