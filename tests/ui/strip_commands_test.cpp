// The strip's commands: delete after the question, open with a double click, and the
// resolution menu.

#include <gtest/gtest.h>

#include "app/user_messages.h"
#include "capture/capture_test_support.h"
#include "ui_fixture.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;

class DeleteTest : public StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        AddPictures(8);  // the strip shows records 2 to 7
    }
    // Pictures 3 and 5 (records 2 and 4) selected as the user does it.
    void SelectThreeAndFive() {
        harness.Click(FrameCentre(0));
        harness.Click(FrameCentre(2), MK_CONTROL);
        harness.Advance(10);
        ASSERT_TRUE(Dlg().m_bAnySelected);
    }
};

TEST_F(DeleteTest, YesRemovesFilesAndRecordsAndKeepsTheOrder) {
    SelectThreeAndFive();
    harness.MessageBoxes().QueueAnswer(IDYES);
    ClickButton(1);
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, kDeleteQuestionEnglish);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_FALSE(fs::exists(FileOf(3)));
    EXPECT_FALSE(fs::exists(FileOf(5)));
    for (const int kept : {1, 2, 4, 6, 7, 8}) {
        EXPECT_TRUE(fs::exists(FileOf(kept))) << kept;
    }
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2, 4, 6, 7, 8}));
    EXPECT_TRUE(SelectedIndexes().empty());
    EXPECT_EQ(Dlg().m_nAnchorThumb, -1);
    EXPECT_EQ(Dlg().m_nFirstThumb, 0);
    EXPECT_FALSE(Win().ScrollBar().enabled);
    EXPECT_FALSE(Dlg().m_bAnySelected);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[4][0].get());
    // All six show, from record 0, unselected.
    const int numbers[6] = {1, 2, 4, 6, 7, 8};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(FramePixel(i, 5, 5), PatternColour(numbers[i], 0, 0)) << i;
        EXPECT_EQ(FramePixel(i, 0, 0), Rgb(73, 73, 73)) << i;
    }
}

TEST_F(DeleteTest, NoChangesNothingAndShowsTheNormalFace) {
    SelectThreeAndFive();
    harness.MessageBoxes().QueueAnswer(IDNO);
    ClickButton(1);
    EXPECT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{2, 4}));
    EXPECT_TRUE(fs::exists(FileOf(3)));
    EXPECT_TRUE(fs::exists(FileOf(5)));
    EXPECT_EQ(Dlg().m_nAnchorThumb, 4);
    EXPECT_EQ(FaceShown(1), Dlg().m_hbmButton[1][0].get());
}

TEST_F(DeleteTest, NothingSelectedAsksNothing) {
    ClickButton(1);
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
    EXPECT_EQ(Dlg().m_nThumbCount, 8);
}

TEST_F(DeleteTest, ChineseTextsAskInChinese) {
    Dlg().m_bChinese = true;
    SelectThreeAndFive();
    harness.MessageBoxes().QueueAnswer(IDNO);
    ClickButton(1);
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, kDeleteQuestionChinese);
}

// A file that cannot be deleted leaves the list, but its number is not given to a new picture
// while the file is still there.
class UndeletableFileTest : public DeleteTest {
protected:
    void SetUp() override {
        ResetFrameDoubleBuffer();
        DeleteTest::SetUp();
    }
    void TearDown() override { ResetFrameDoubleBuffer(); }
};

TEST_F(UndeletableFileTest, NextSnapshotDoesNotTakeItsNumber) {
    fs::remove(FileOf(8));
    fs::create_directory(FileOf(8));  // unlink() refuses a folder, even for the superuser
    harness.Click(FrameCentre(5));
    harness.Advance(10);
    harness.MessageBoxes().QueueAnswer(IDYES);
    ClickButton(1);
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(fs::is_directory(FileOf(8)));

    std::vector<std::uint8_t> frame(640 * 480 * 2, 0x80);
    ASSERT_EQ(Dlg().m_nResolution, 1);
    ASSERT_EQ(media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())), 0);
    ClickButton(0);
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 9}));
    EXPECT_TRUE(fs::is_directory(FileOf(8)));
    EXPECT_GT(fs::file_size(FileOf(9)), 1000u);
}

class DoubleClickTest : public StartedWindow {
protected:
    void SetUp() override {
        EnableLog();
        StartedWindow::SetUp();
        AddPictures(3);
    }
};

TEST_F(DoubleClickTest, OpensTheClickedPicture) {
    harness.Click(FrameCentre(1));
    harness.LButtonDblClk(FrameCentre(1));
    EXPECT_EQ(shell.opened, std::vector<std::string>{FileOf(2)});
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
}

TEST_F(DoubleClickTest, NothingOpensWithoutAClickedPictureInTheList) {
    harness.Click(Point{320, 200});  // no frame took the click
    harness.LButtonDblClk(Point{320, 200});
    // A click on a frame whose record has since left the list.
    harness.Click(FrameCentre(2));
    Dlg().RemoveThumbnail(2);
    harness.LButtonDblClk(FrameCentre(2));
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(DoubleClickTest, MissingFileOrFolderShowsTheBoxTitledWithThePath) {
    for (const int failure : {2, 3}) {
        shell.result = failure;
        harness.MessageBoxes().ClearShown();
        harness.Click(FrameCentre(0));
        harness.LButtonDblClk(FrameCentre(0));
        ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u) << failure;
        EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, "找不到 ");
        EXPECT_EQ(harness.MessageBoxes().Shown()[0].caption, FileOf(1));
        EXPECT_EQ(harness.MessageBoxes().Shown()[0].style, MB_OK);
    }
    EXPECT_EQ(LogMessages(Log()),
              (std::vector<std::string>{"Error in ShellExecute", "Error in ShellExecute"}));
}

TEST_F(DoubleClickTest, OtherFailuresAreOnlyLogged) {
    shell.result = 31;
    harness.Click(FrameCentre(0));
    harness.LButtonDblClk(FrameCentre(0));
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
    EXPECT_EQ(LogMessages(Log()), std::vector<std::string>{"Error in ShellExecute"});
}

class ResolutionMenuTest : public StartedWindow {
protected:
    void OpenMenu() {
        ClickButton(2);
        ASSERT_TRUE(Dlg().m_bResMenuOpen);
    }
    Rect Button() { return Dlg().m_rcButton[2]; }
    Color MenuPixel(int depth) {
        return harness.PixelAt(Button().left + 4, Button().bottom + depth);
    }
};

constexpr Color kMenuFill = Rgb(187, 197, 199);

TEST_F(ResolutionMenuTest, ThreeRowsOrTwoWhileTheLargeSizeIsRefused) {
    OpenMenu();
    EXPECT_EQ(MenuPixel(1), Rgb(0, 0, 0));
    EXPECT_EQ(MenuPixel(60), kMenuFill);
    EXPECT_EQ(MenuPixel(75), Rgb(0, 0, 0));
    MoveAway();
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_NE(MenuPixel(60), kMenuFill);

    Dlg().m_bHighResRefused = true;
    OpenMenu();
    EXPECT_EQ(MenuPixel(40), kMenuFill);
    EXPECT_EQ(MenuPixel(50), Rgb(0, 0, 0));
    EXPECT_NE(MenuPixel(60), kMenuFill);
}

TEST_F(ResolutionMenuTest, ReleaseBelowTwoRowsOnlyClosesIt) {
    Dlg().m_bHighResRefused = true;
    OpenMenu();
    const int runs = media.record.runs;
    Dlg().OnLButtonUp(0, Point{Button().left + 20, Button().bottom + 1 + 60});
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_EQ(Dlg().m_nResolution, 1);
    EXPECT_EQ(media.record.runs, runs);
    EXPECT_EQ(Win().DirtyBounds(),
              (Rect{Button().left, Button().bottom + 1, Button().right, Button().bottom + 51}));
}

TEST_F(ResolutionMenuTest, PointerInsideKeepsItOpenAndOutsideClosesIt) {
    OpenMenu();
    harness.MouseMove(Point{Button().left + 10, Button().bottom + 70});
    harness.MouseMove(Point{Button().left + 10, Button().top + 2});
    EXPECT_TRUE(Dlg().m_bResMenuOpen);
    Dlg().OnMouseMove(0, Point{Button().right + 1, Button().bottom + 10});
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_EQ(Win().DirtyBounds(),
              (Rect{Button().left, Button().top, Button().right, Button().bottom + 76}));
}

TEST_F(ResolutionMenuTest, ClickingTheButtonAgainClosesWithoutChange) {
    OpenMenu();
    const auto requests = media.record.formatRequests;
    harness.Click(ButtonCentre(2));
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_EQ(media.record.formatRequests, requests);
}

TEST_F(ResolutionMenuTest, PickingTheSmallSizeRestartsTheCameraAndRelabels) {
    OpenMenu();
    const int runs = media.record.runs;
    const int stops = media.record.stops;
    Dlg().OnLButtonUp(0, Point{Button().left + 20, Button().bottom + 10});
    EXPECT_EQ(Dlg().m_nResolution, 0);
    EXPECT_EQ(media.record.stops, stops + 1);
    EXPECT_EQ(media.record.runs, runs + 1);
    EXPECT_EQ(media.record.formatRequests.back(), std::make_pair(320, 240));
    Rect covered;
    UnionRect(&covered, Win().DirtyBounds(), Rect{0, 0, 640, 480});
    EXPECT_EQ(covered, Win().DirtyBounds()) << "the live picture area is repainted";
    EXPECT_EQ(harness.Clock().Period(TIMER_RESOLUTION_BUTTON), 50);
    harness.Advance(50);
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));

    // The label on screen is the one drawn for 320x240.
    const Rect button = Button();
    std::vector<Color> shown;
    for (int x = button.left; x < button.left + 70; ++x) {
        shown.push_back(harness.PixelAt(x, button.top + 17));
    }
    Dlg().RefreshResolutionButton();
    std::vector<Color> again;
    for (int x = button.left; x < button.left + 70; ++x) {
        again.push_back(harness.PixelAt(x, button.top + 17));
    }
    EXPECT_EQ(shown, again);
    Dlg().m_nResolution = 1;
    Dlg().RefreshResolutionButton();
    std::vector<Color> other;
    for (int x = button.left; x < button.left + 70; ++x) {
        other.push_back(harness.PixelAt(x, button.top + 17));
    }
    EXPECT_NE(shown, other);
}

TEST_F(ResolutionMenuTest, PickingTheCurrentSizeChangesNothing) {
    OpenMenu();
    const auto requests = media.record.formatRequests;
    const int stops = media.record.stops;
    Dlg().OnLButtonUp(0, Point{Button().left + 20, Button().bottom + 1 + 30});  // row 1
    EXPECT_EQ(Dlg().m_nResolution, 1);
    EXPECT_EQ(media.record.formatRequests, requests);
    EXPECT_EQ(media.record.stops, stops);
    EXPECT_FALSE(Win().IsTimerArmed(TIMER_RESOLUTION_BUTTON));
}

}  // namespace
}  // namespace ui_test
