// The window worked from the keyboard: the focus order and its ring, Space on each button, the
// resolution menu's keys, the strip's keys with their selection and scrolling, and Delete.

#include <gtest/gtest.h>

#include <initializer_list>

#include "app/user_messages.h"
#include "capture/capture_test_support.h"
#include "ui/window_timers.h"
#include "ui_fixture.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;

constexpr Color kMenuHighlight = Rgb(0, 203, 233);

struct Key {
    int key;
    unsigned flags = 0;
};

class KeyboardTest : public StartedWindow {
protected:
    void SetUp() override {
        ResetFrameDoubleBuffer();
        StartedWindow::SetUp();
    }
    void TearDown() override { ResetFrameDoubleBuffer(); }

    void Press(std::initializer_list<Key> keys) {
        for (const Key& k : keys) {
            harness.Key(k.key, k.flags);
        }
        harness.Advance(10);
    }
    // The ring's first two pixels, inside the rectangle's corner.
    bool RingAt(const Rect& area, int inset) {
        return harness.PixelAt(area.left + inset, area.top + inset) == kFocusRingDark &&
               harness.PixelAt(area.left + inset + 1, area.top + inset) == kFocusRingLight;
    }
    bool ButtonRing(int b) { return RingAt(Dlg().m_rcButton[b], 2); }
    bool FrameRing(int frame) { return RingAt(Frame(frame), 2); }
    bool StripRing() { return RingAt(Dlg().m_rcStrip, 0); }
    // Where the ring shows: a button 0 to 3, 4 for the strip, 10 + i for frame i, -1 nowhere.
    int RingShown() {
        int shown = -1;
        for (int b = 0; b < 4; ++b) {
            shown = ButtonRing(b) ? b : shown;
        }
        for (int i = 0; i < 6; ++i) {
            shown = FrameRing(i) ? 10 + i : shown;
        }
        return StripRing() ? kFocusStrip : shown;
    }
    void DeliverFrame() {
        std::vector<std::uint8_t> frame(640 * 480 * 2, 0x80);
        ASSERT_EQ(media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())), 0);
    }
};

TEST_F(KeyboardTest, TabGoesRoundTheButtonsAndTheStripBothWaysWithTheRing) {
    EXPECT_EQ(Dlg().m_nFocus, 0);
    EXPECT_EQ(RingShown(), -1) << "no ring before the keyboard is used";
    const struct {
        Key key;
        int focus;
    } steps[] = {{{VK_TAB}, 1},           {{VK_TAB}, 2},          {{VK_TAB}, 3},
                 {{VK_TAB}, kFocusStrip}, {{VK_TAB}, 0},          {{VK_TAB, MK_SHIFT}, kFocusStrip},
                 {{VK_TAB, MK_SHIFT}, 3}, {{VK_TAB, MK_SHIFT}, 2}};
    for (const auto& step : steps) {
        Press({step.key});
        EXPECT_EQ(Dlg().m_nFocus, step.focus);
        EXPECT_EQ(RingShown(), step.focus) << "focus " << step.focus;
    }
}

TEST_F(KeyboardTest, RingSurvivesTheFacesRepaintsAndLeavesWithTheWindowsFocus) {
    Press({{VK_TAB}, {VK_TAB}});  // the resolution button
    ASSERT_TRUE(ButtonRing(2));
    harness.MouseMove(ButtonCentre(2));  // the hover face, then timer 100's label
    harness.Advance(10);
    EXPECT_EQ(FaceShown(2), Dlg().m_hbmButton[2][1].get());
    EXPECT_TRUE(ButtonRing(2));
    bool labelDrawn = false;
    for (int x = Dlg().m_rcButton[2].left; x < Dlg().m_rcButton[2].left + 70; ++x) {
        labelDrawn = labelDrawn || harness.PixelAt(x, Dlg().m_rcButton[2].top + 17) == Rgb(0, 0, 0);
    }
    EXPECT_TRUE(labelDrawn) << "the label is drawn again over the ring's repaint";
    MoveAway();
    EXPECT_TRUE(ButtonRing(2));

    Dlg().OnKillFocus();
    harness.Advance(10);
    EXPECT_EQ(RingShown(), -1);
    Dlg().OnSetFocus();
    harness.Advance(10);
    EXPECT_TRUE(ButtonRing(2));
}

TEST_F(KeyboardTest, SpacePressesTheFocusedButton) {
    // Take a picture.
    DeliverFrame();
    Press({{VK_SPACE}});
    EXPECT_EQ(ListedNumbers(), std::vector<int>{1});
    EXPECT_TRUE(fs::exists(FileOf(1)));
    // Delete, with nothing selected: no question.
    Press({{VK_TAB}, {VK_SPACE}});
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
    // The camera's settings.
    media.controls = {DeviceControl{.id = 1, .name = "Brightness", .maximum = 255}};
    Press({{VK_TAB}, {VK_TAB}, {VK_SPACE}});
    EXPECT_EQ(media.record.propertyFramesShown, 1);
    EXPECT_EQ(FaceShown(3), Dlg().m_hbmButton[3][0].get());
    EXPECT_TRUE(ButtonRing(3));
}

TEST_F(KeyboardTest, EscapeAndEnterNeverCloseTheWindow) {
    EXPECT_TRUE(harness.Key(VK_ESCAPE));
    EXPECT_TRUE(harness.Key(VK_RETURN));
    EXPECT_FALSE(Dlg().IsEnded());
    EXPECT_EQ(harness.Loop().QuitCount(), 0);
}

class KeyboardMenuTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        Press({{VK_TAB}, {VK_TAB}, {VK_SPACE}});
        ASSERT_TRUE(Dlg().m_bResMenuOpen);
    }
    // A pixel inside row 0 to 2 of the open menu.
    Color RowPixel(int row) {
        const Rect& button = Dlg().m_rcButton[2];
        return harness.PixelAt(button.left + 4, button.bottom + 1 + 25 * row + 12);
    }
};

TEST_F(KeyboardMenuTest, OpensOnTheChosenRowWhichUpAndDownMove) {
    ASSERT_EQ(Dlg().m_nResolution, 1);
    EXPECT_EQ(RowPixel(1), kMenuHighlight);
    EXPECT_NE(RowPixel(0), kMenuHighlight);
    Press({{VK_DOWN}, {VK_DOWN}});  // stops at the last row
    EXPECT_EQ(Dlg().m_nMenuRow, 2);
    EXPECT_EQ(RowPixel(2), kMenuHighlight);
    EXPECT_NE(RowPixel(1), kMenuHighlight);
    Press({{VK_UP}, {VK_UP}, {VK_UP}});
    EXPECT_EQ(Dlg().m_nMenuRow, 0);
    EXPECT_EQ(RowPixel(0), kMenuHighlight);
}

TEST_F(KeyboardMenuTest, SpaceChoosesTheRowAndRestartsTheCamera) {
    const int stops = media.record.stops;
    Press({{VK_UP}, {VK_SPACE}});
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_EQ(Dlg().m_nResolution, 0);
    EXPECT_EQ(media.record.stops, stops + 1);
    EXPECT_EQ(media.record.formatRequests.back(), std::make_pair(320, 240));
}

TEST_F(KeyboardMenuTest, EscapeClosesTheMenuOnly) {
    const auto requests = media.record.formatRequests;
    EXPECT_TRUE(harness.Key(VK_ESCAPE));
    harness.Advance(10);
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_FALSE(Dlg().IsEnded());
    EXPECT_EQ(Dlg().m_nResolution, 1);
    EXPECT_EQ(media.record.formatRequests, requests);
    EXPECT_NE(RowPixel(1), kMenuHighlight) << "the menu's area is repainted";
}

TEST_F(KeyboardMenuTest, APointerOpenedMenuHasNoRowUntilAnArrow) {
    harness.Key(VK_ESCAPE);
    ClickButton(2);
    ASSERT_TRUE(Dlg().m_bResMenuOpen);
    EXPECT_NE(RowPixel(1), kMenuHighlight);
    Press({{VK_DOWN}});
    EXPECT_EQ(Dlg().m_nMenuRow, 1) << "the first arrow lands on the chosen row";
}

class StripKeysTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        AddPictures(8);  // the strip shows records 2 to 7
        Press({{VK_TAB, MK_SHIFT}});
        ASSERT_EQ(Dlg().m_nFocus, kFocusStrip);
    }
};

struct StripKeysRow {
    const char* name;
    std::vector<int> clickedFrames;  // plain clicks before the keys
    std::vector<Key> keys;
    std::vector<int> selected;
    int anchor;
    int current;
    int first;  // record shown in frame 0 afterwards
};

void PrintTo(const StripKeysRow& row, std::ostream* out) {
    *out << row.name;
}

class StripKeysTableTest : public StripKeysTest,
                           public ::testing::WithParamInterface<StripKeysRow> {};

TEST_P(StripKeysTableTest, MoveSelectAndScroll) {
    const StripKeysRow& row = GetParam();
    for (const int frame : row.clickedFrames) {
        harness.Click(FrameCentre(frame));
    }
    for (const Key& key : row.keys) {
        harness.Key(key.key, key.flags);
    }
    harness.Advance(10);
    EXPECT_EQ(SelectedIndexes(), row.selected);
    EXPECT_EQ(Dlg().m_nAnchorThumb, row.anchor);
    EXPECT_EQ(Dlg().m_nCaretThumb, row.current);
    EXPECT_EQ(Dlg().m_nFirstThumb, row.first);
    EXPECT_EQ(Win().GetScrollPos(), Dlg().m_nScrollPos) << "the scroll bar follows";
    EXPECT_EQ(Dlg().m_nFocus, kFocusStrip);
    EXPECT_TRUE(FrameRing(row.current - row.first));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StripKeysTableTest,
    ::testing::Values(
        StripKeysRow{"LeftWithNothingSelectedTakesTheLast", {}, {{VK_LEFT}}, {7}, 7, 7, 2},
        StripKeysRow{"RightWithNothingSelectedTakesTheFirst", {}, {{VK_RIGHT}}, {0}, 0, 0, 0},
        StripKeysRow{"RightMovesByOne", {0}, {{VK_RIGHT}}, {3}, 3, 3, 2},
        StripKeysRow{"LeftScrollsByOne", {0}, {{VK_LEFT}}, {1}, 1, 1, 1},
        StripKeysRow{"HomeAndEnd", {3}, {{VK_HOME}, {VK_END}}, {7}, 7, 7, 2},
        StripKeysRow{"ShiftExtendsRight",
                     {1},
                     {{VK_RIGHT, MK_SHIFT}, {VK_RIGHT, MK_SHIFT}},
                     {3, 4, 5},
                     5,
                     5,
                     2},
        StripKeysRow{"ShiftExtendsLeft",
                     {3},
                     {{VK_LEFT, MK_SHIFT}, {VK_LEFT, MK_SHIFT}},
                     {3, 4, 5},
                     5,
                     3,
                     2},
        StripKeysRow{
            "ShiftHomeExtendsToTheStart", {1}, {{VK_HOME, MK_SHIFT}}, {0, 1, 2, 3}, 3, 0, 0},
        StripKeysRow{"CtrlMovesAloneAndCtrlSpaceAdds",
                     {3},
                     {{VK_LEFT, MK_CONTROL}, {VK_LEFT, MK_CONTROL}, {VK_SPACE, MK_CONTROL}},
                     {3, 5},
                     3,
                     3,
                     2},
        StripKeysRow{
            "CtrlASelectsAll", {3}, {{'A', MK_CONTROL}}, {0, 1, 2, 3, 4, 5, 6, 7}, 5, 5, 2}),
    [](const ::testing::TestParamInfo<StripKeysRow>& info) { return info.param.name; });

TEST_F(StripKeysTest, CtrlOOpensTheCurrentPictureAsADoubleClick) {
    Press({{VK_LEFT}, {VK_LEFT}});
    Press({{'O', MK_CONTROL}});
    EXPECT_EQ(shell.opened, std::vector<std::string>{FileOf(7)});
    EXPECT_EQ(Dlg().m_nClickedThumb, 6);
}

TEST_F(StripKeysTest, DeleteAsksAtOnceFromAnywhereAndDeletes) {
    // The strip's next drawing, which counts the clicked selection, has not come yet.
    harness.Click(FrameCentre(5));
    harness.Key(VK_TAB);
    ASSERT_EQ(Dlg().m_nFocus, 0);
    ASSERT_FALSE(Dlg().m_bAnySelected);
    harness.MessageBoxes().QueueAnswer(IDYES);
    harness.Key(VK_DELETE);
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, kDeleteQuestionEnglish);
    EXPECT_FALSE(fs::exists(FileOf(8)));
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    // The next Left starts from the end again.
    Press({{VK_TAB, MK_SHIFT}, {VK_LEFT}});
    EXPECT_EQ(SelectedIndexes(), std::vector<int>{6});
}

TEST_F(StripKeysTest, AClickedPictureTakesTheFocusAndTheRingFollows) {
    Press({{VK_TAB}});
    ASSERT_EQ(Dlg().m_nFocus, 0);
    harness.Click(FrameCentre(4));
    harness.Advance(10);
    EXPECT_EQ(Dlg().m_nFocus, kFocusStrip);
    EXPECT_EQ(RingShown(), 14);
    Press({{VK_RIGHT}});
    EXPECT_EQ(SelectedIndexes(), std::vector<int>{7});
    EXPECT_EQ(RingShown(), 15);
    // Scrolled away with the scroll bar: the ring goes round the whole strip.
    harness.Scroll(SB_LEFT);
    harness.Advance(10);
    EXPECT_EQ(RingShown(), kFocusStrip);
}

}  // namespace
}  // namespace ui_test
