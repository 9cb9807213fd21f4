// Selecting pictures with the pointer, and the hover faces of the buttons.

#include <gtest/gtest.h>

#include "ui_fixture.h"

namespace ui_test {
namespace {

class PointerSelectionTest : public StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        AddPictures(18);  // the strip shows records 12 to 17
    }
    // A held drag through the given points, without the release.
    void DragThrough(std::initializer_list<Point> points, unsigned flags = 0) {
        harness.LButtonDown(*points.begin(), flags | MK_LBUTTON);
        for (const Point p : points) {
            harness.MouseMove(p, flags | MK_LBUTTON);
        }
    }
    bool DragStateClear() {
        return Dlg().m_ptDragStart == Point{} && Dlg().m_rcDrag == Rect{} &&
               Dlg().m_rcBand == Rect{} && Dlg().m_rcBandPrev == Rect{} &&
               Dlg().m_rcBandDirty == Rect{};
    }
};

using Indexes = std::vector<int>;

TEST_F(PointerSelectionTest, PlainThenShiftClicksFollowTheAnchor) {
    harness.Click(FrameCentre(2));
    EXPECT_EQ(SelectedIndexes(), Indexes{14});
    EXPECT_EQ(Dlg().m_nAnchorThumb, 14);
    EXPECT_EQ(Dlg().m_nClickedThumb, 14);

    harness.Click(FrameCentre(5), MK_SHIFT);
    EXPECT_EQ(SelectedIndexes(), (Indexes{14, 15, 16, 17}));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 17);

    harness.Click(FrameCentre(0), MK_SHIFT);
    EXPECT_EQ(SelectedIndexes(), (Indexes{12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 17);
    EXPECT_EQ(Dlg().m_nClickedThumb, 12);

    // A plain click replaces the whole selection, also pictures out of view.
    Dlg().m_thumbs[3].bSelected = true;
    harness.Click(FrameCentre(1));
    EXPECT_EQ(SelectedIndexes(), Indexes{13});
    harness.Advance(10);
    EXPECT_EQ(FramePixel(1, 0, 0), kCyan);
    EXPECT_EQ(FramePixel(0, 0, 0), Rgb(73, 73, 73));
}

TEST_F(PointerSelectionTest, CtrlClickAddsAndKeepsSelected) {
    harness.Click(FrameCentre(1));
    harness.Click(FrameCentre(4), MK_CONTROL);
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 16}));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 16);
    harness.Click(FrameCentre(1), MK_CONTROL);
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 16}));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 13);
}

TEST_F(PointerSelectionTest, ShiftClickWithoutAnchorOnlyRecordsTheClick) {
    ASSERT_EQ(Dlg().m_nAnchorThumb, -1);
    Dlg().m_thumbs[12].bSelected = true;
    harness.Advance(10);
    Dlg().OnLButtonUp(MK_SHIFT, FrameCentre(3));
    EXPECT_EQ(SelectedIndexes(), Indexes{12});
    EXPECT_EQ(Dlg().m_nClickedThumb, 15);
    EXPECT_EQ(Dlg().m_nAnchorThumb, -1);
    // The clicked frame is repainted all the same, with the margin around it.
    Rect frame = Frame(3);
    InflateRect(&frame, 6, 5);
    EXPECT_EQ(Win().DirtyBounds(), frame);
}

TEST_F(PointerSelectionTest, ClicksInTheSixPixelMarginSelectNothing) {
    harness.Click(FrameCentre(0));
    const Rect f = Frame(2);
    for (const Point p : {Point{f.left + 5, f.top + 35}, Point{f.right - 6, f.top + 35},
                          Point{f.left + 45, f.top + 5}, Point{f.left + 45, f.bottom - 6},
                          Point{f.left - 8, f.top + 35}}) {
        Dlg().OnLButtonUp(0, p);
        EXPECT_EQ(SelectedIndexes(), Indexes{12}) << p.x << "," << p.y;
        EXPECT_EQ(Dlg().m_nClickedThumb, -1);
        EXPECT_FALSE(Win().HasDirtyArea());
    }
    Dlg().OnLButtonUp(0, Point{f.left + 6, f.top + 6});
    EXPECT_EQ(SelectedIndexes(), Indexes{14});
}

TEST_F(PointerSelectionTest, BandOverFramesOneAndTwoReplacesTheSelection) {
    harness.Click(FrameCentre(5));
    DragThrough({{120, 530}, {180, 545}, {250, 560}});
    // The band is outlined while the drag goes on.
    EXPECT_EQ(harness.PixelAt(120, 530), kRed);
    EXPECT_EQ(harness.PixelAt(250, 560), kRed);
    EXPECT_EQ(Dlg().m_rcBand, (Rect{119, 529, 251, 561}));
    harness.LButtonUp(Point{250, 560});
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 14}));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 14);
    EXPECT_TRUE(DragStateClear());
    harness.Advance(10);
    for (int x = 100; x < 300; ++x) {
        ASSERT_NE(harness.PixelAt(x, 560), kRed) << x;  // the band is gone
    }
    EXPECT_EQ(FramePixel(1, 0, 0), kCyan);
    EXPECT_EQ(FramePixel(5, 0, 0), Rgb(73, 73, 73));
}

TEST_F(PointerSelectionTest, BandWithShiftOrCtrlAtTheFinishKeepsTheSelection) {
    for (const unsigned key : {MK_SHIFT, MK_CONTROL}) {
        harness.Click(FrameCentre(5));
        // The band ends in the gap after frame 2, so its right edge lies on bare skin.
        DragThrough({{120, 530}, {318, 560}});
        harness.LButtonUp(Point{318, 560}, key);
        EXPECT_EQ(SelectedIndexes(), (Indexes{13, 14, 17})) << key;
        harness.Advance(10);
        // No piece of the outline is left, not even along the band's right and bottom edges.
        for (int x = 100; x < 330; ++x) {
            ASSERT_NE(harness.PixelAt(x, 560), kRed) << x;
        }
        for (int y = 525; y < 565; ++y) {
            ASSERT_NE(harness.PixelAt(318, y), kRed) << y;
        }
    }
}

TEST_F(PointerSelectionTest, HeldMoveOutOfTheStripFinishesTheDragThere) {
    DragThrough({{120, 530}, {250, 560}});
    harness.MouseMove(Point{250, 600}, MK_LBUTTON);  // below the strip
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 14}));
    EXPECT_TRUE(DragStateClear());
    // The release that follows is a click outside every frame.
    harness.LButtonUp(Point{250, 600});
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 14}));
}

TEST_F(PointerSelectionTest, MoveWithoutTheButtonFinishesAnUnseenRelease) {
    harness.Click(FrameCentre(5));
    DragThrough({{120, 530}, {250, 560}});
    // The release happened outside the window; the pointer comes back without the button.
    harness.MouseMove(Point{320, 200});
    EXPECT_EQ(SelectedIndexes(), (Indexes{13, 14}));
    EXPECT_TRUE(DragStateClear());
    harness.Advance(10);
    EXPECT_NE(harness.PixelAt(250, 560), kRed);
}

// A band that shrank: the skin's shading wiped under its larger earlier steps comes back too.
TEST_F(PointerSelectionTest, UnseenReleaseRestoresTheSkinUnderEarlierBands) {
    const Point shaded{280, 518};  // the panel's shadow rows above the frames
    const Color skin = harness.PixelAt(shaded.x, shaded.y);
    ASSERT_NE(skin, kGrey);
    DragThrough({{212, 517}, {300, 580}, {250, 560}});
    EXPECT_EQ(harness.PixelAt(shaded.x, shaded.y), kGrey);  // wiped during the drag
    harness.MouseMove(Point{320, 200});
    harness.Advance(10);
    EXPECT_EQ(harness.PixelAt(shaded.x, shaded.y), skin);
}

TEST_F(PointerSelectionTest, TinyDragEndsAsAClickAtTheRelease) {
    DragThrough({{160, 550}, {162, 552}});
    harness.LButtonUp(Point{162, 552});
    EXPECT_EQ(SelectedIndexes(), Indexes{13});
    EXPECT_EQ(Dlg().m_nClickedThumb, 13);
    EXPECT_TRUE(DragStateClear());
}

using HoverFaceTest = StartedWindow;

TEST_F(HoverFaceTest, EnteringAndLeavingButtonsSwapsFaces) {
    harness.MouseMove(ButtonCentre(0));
    EXPECT_EQ(FaceShown(0), Dlg().m_hbmButton[0][1].get());  // 131
    EXPECT_EQ(Dlg().m_nHoverButton, 0);
    EXPECT_EQ(harness.Clock().Period(TIMER_RESOLUTION_BUTTON), 5);
    // From one button straight to another: both swap in one event.
    harness.MouseMove(ButtonCentre(3));
    EXPECT_EQ(FaceShown(0), Dlg().m_hbmButton[0][0].get());  // 130
    EXPECT_EQ(FaceShown(3), Dlg().m_hbmButton[3][1].get());
    harness.MouseMove(Point{320, 200});
    EXPECT_EQ(FaceShown(3), Dlg().m_hbmButton[3][0].get());
    EXPECT_EQ(Dlg().m_nHoverButton, -1);
    EXPECT_EQ(LastHoverButton(), -1);
    // The face on screen is the one set.
    EXPECT_EQ(harness.PixelAt(Dlg().m_rcButton[0].left + 20, Dlg().m_rcButton[0].top + 3),
              Dlg().m_hbmButton[0][0]->PixelAt(20, 3));
}

TEST_F(HoverFaceTest, DeleteButtonKeepsItsDisabledFaceWhileNothingIsSelected) {
    AddPictures(3);
    harness.MouseMove(ButtonCentre(1));
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[4][0].get());  // 154
    MoveAway();
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[4][0].get());

    harness.Click(FrameCentre(0));
    harness.Advance(10);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[1][0].get());
    harness.MouseMove(ButtonCentre(1));
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[1][1].get());
    // A strip repaint restores the normal face even under the pointer.
    Win().InvalidateRect(&Dlg().m_rcStrip);
    harness.Advance(10);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[1][0].get());
}

TEST_F(HoverFaceTest, ReleaseAwayFromThePressedButtonStillRunsItsCommand) {
    harness.MouseMove(ButtonCentre(2));
    harness.LButtonDown(ButtonCentre(2), MK_LBUTTON);
    harness.MouseMove(Point{320, 200}, MK_LBUTTON);
    EXPECT_EQ(Dlg().m_nHoverButton, 2);  // hover is not tracked with the button held
    harness.LButtonUp(Point{320, 200});
    EXPECT_TRUE(Dlg().m_bResMenuOpen);
}

}  // namespace
}  // namespace ui_test
