// The dialog machinery: creation from the layout, the modal run, and the headless harness that
// the other suites drive dialogs with.
#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/dialog_window.h"
#include "platform/scroll_bar.h"
#include "resources/dialog_layout.h"
#include "support/doubles/headless_harness.h"
#include "support/temp_dir.h"

namespace {

class TestDialog : public DialogBase {
public:
    using DialogBase::DialogBase;

    bool OnInitDialog() override {
        events.push_back("init");
        if (endInInit) {
            EndDialog(1);
            return false;
        }
        Window().SetTimer(500, 3000);
        return true;
    }
    void OnDestroy() override { events.push_back("destroy"); }
    void OnPaint() override { events.push_back("paint"); }
    void OnTimer(int id) override {
        events.push_back("timer " + std::to_string(id));
        if (id == 99) {
            Window().KillTimer(99);
        }
    }
    void OnMouseMove(unsigned flags, Point point) override { Pointer("move", flags, point); }
    void OnLButtonDown(unsigned flags, Point point) override { Pointer("down", flags, point); }
    void OnLButtonUp(unsigned flags, Point point) override { Pointer("up", flags, point); }
    void OnLButtonDblClk(unsigned flags, Point point) override { Pointer("dblclk", flags, point); }
    void OnHScroll(int code, int position) override {
        events.push_back("scroll " + std::to_string(code) + " " + std::to_string(position));
    }
    bool PreTranslateMessage(const KeyMessage& message) override {
        events.push_back("key " + std::to_string(message.message) + " " +
                         std::to_string(message.key));
        return message.key == VK_RETURN;
    }

    std::vector<std::string> events;
    bool endInInit = false;

private:
    void Pointer(const char* name, unsigned flags, Point point) {
        events.push_back(std::string(name) + " " + std::to_string(flags) + " " +
                         std::to_string(point.x) + "," + std::to_string(point.y));
    }
};

TEST(DialogBase, DoModalInitialisesRunsTheLoopAndDestroysInOrder) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    harness.Loop().SetBody([](DialogBase& running) {
        EXPECT_TRUE(running.HasWindow());
        static_cast<TestDialog&>(running).events.push_back("loop");
        running.EndDialog(7);
    });
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "loop", "destroy"}));
    EXPECT_FALSE(dialog.HasWindow());
    EXPECT_EQ(harness.Loop().QuitCount(), 1);
    EXPECT_FALSE(harness.Clock().IsArmed(500));  // the window's timers went with it
}

TEST(DialogBase, DialogEndedDuringInitialisationSkipsTheLoop) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    dialog.endInInit = true;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(harness.Loop().RunCount(), 0);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "destroy"}));
}

TEST(DialogBase, WindowIsBuiltFromTheLayoutWithBitmapControlsSizedToTheirPictures) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    ASSERT_TRUE(harness.Start(dialog));
    DialogWindow& window = harness.Window();
    EXPECT_EQ(window.Title(), "Vantor Lumisight webcam");
    EXPECT_EQ(window.ClientWidth(), 640);
    EXPECT_EQ(window.ClientHeight(), 595);

    ASSERT_EQ(window.Controls().size(), 12u);
    EXPECT_EQ(window.Controls()[0]->Id(), 1012);
    EXPECT_EQ(window.GetDlgItem(1012)->WindowRect(), (Rect{0, 0, 640, 595}));
    const int buttonLefts[] = {0, 47, 93, 185};
    const int buttonWidths[] = {40, 40, 86, 40};
    for (int i = 0; i < 4; ++i) {
        const Control* button = window.GetDlgItem(1007 + i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->WindowRect(),
                  (Rect{buttonLefts[i], 483, buttonLefts[i] + buttonWidths[i], 513}))
            << "button " << i;
        EXPECT_NE(button->Image(), nullptr);
    }
    const Control* frame = window.GetDlgItem(1014);
    EXPECT_EQ(frame->WindowRect(), (Rect{12, 523, 95, 585}));
    EXPECT_FALSE(frame->IsVisible());
    EXPECT_FALSE(window.GetDlgItem(1013)->IsVisible());
    EXPECT_EQ(window.GetDlgItem(1013)->Text(), "Static");
    EXPECT_EQ(window.GetDlgItem(2000), nullptr);

    // The first paint shows the skin and the initial faces (the delete button: face 154).
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "paint"}));
    const auto skin = Bitmap::LoadResource(129);
    const auto disabledDelete = Bitmap::LoadResource(154);
    EXPECT_EQ(harness.PixelAt(300, 300), skin->PixelAt(300, 300));
    EXPECT_EQ(harness.PixelAt(600, 560), skin->PixelAt(600, 560));
    EXPECT_EQ(harness.PixelAt(47 + 20, 483 + 15), disabledDelete->PixelAt(20, 15));
}

TEST(HeadlessHarness, PointerScrollAndKeyMessagesReachTheDialog) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    dialog.events.clear();
    harness.MouseMove(Point{10, 20}, MK_SHIFT);
    harness.Click(Point{30, 40}, MK_CONTROL);
    harness.LButtonDblClk(Point{5, 6}, MK_LBUTTON);
    harness.Scroll(SB_THUMBTRACK, 3);
    EXPECT_TRUE(harness.Key(VK_RETURN));
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"move 4 10,20", "down 9 30,40", "up 8 30,40",
                                        "dblclk 1 5,6", "scroll 5 3", "key 256 13", "key 257 13"}));
    EXPECT_FALSE(dialog.IsEnded());
    EXPECT_FALSE(harness.Key(VK_ESCAPE));  // not handled: the close command
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), IDCANCEL);
}

TEST(HeadlessHarness, TimersFireInVirtualTimeWithPaintsBetweenThem) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    dialog.events.clear();
    harness.Window().SetTimer(99, 1);
    harness.Advance(2999);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"timer 99"}));
    const Rect area{0, 0, 10, 10};
    harness.Window().InvalidateRect(&area);
    harness.Advance(1);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"timer 99", "paint", "timer 500"}));
    harness.Advance(6000);
    EXPECT_EQ(dialog.events.size(), 5u);
    EXPECT_EQ(harness.Clock().Now(), 9000);
}

TEST(HeadlessHarness, SavesTheClientImageAsPng) {
    HeadlessHarness harness;
    TestDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    TempDir dir;
    const std::string path = (dir / "window.png").string();
    ASSERT_TRUE(harness.SavePng(path));
    const QImage saved(QString::fromStdString(path));
    ASSERT_EQ(saved.size(), QSize(640, 595));
    const Color pixel = harness.PixelAt(320, 500);
    EXPECT_EQ(saved.pixel(320, 500), qRgb(pixel.r, pixel.g, pixel.b));
}

TEST(TestDoubles, ScriptedMessageBoxesRecordAndAnswerInOrder) {
    ScriptedMessageBoxes boxes;
    boxes.QueueAnswer(IDNO);
    EXPECT_EQ(boxes.Show("Delete?", "Title", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(boxes.Show("Camera not found!", "", MB_ICONEXCLAMATION), IDOK);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "Delete?");
    EXPECT_EQ(boxes.Shown()[0].style, MB_YESNO | MB_ICONQUESTION);
}

TEST(TestDoubles, FakeWindowFinderMatchesWholeTitlesAndClosedWindowsGoAway) {
    FakeWindowFinder finder;
    const WindowRef amcap2 = finder.AddWindow("Amcap2");
    const WindowRef amcap = finder.AddWindow("Amcap");
    EXPECT_EQ(finder.Find("Amcap"), amcap);
    EXPECT_EQ(finder.Find("Amcap2"), amcap2);
    EXPECT_EQ(finder.Find("amcap"), std::nullopt);
    finder.BringToFront(amcap, "token-1");
    finder.Close(amcap);
    EXPECT_EQ(finder.Find("Amcap"), std::nullopt);
    EXPECT_EQ(finder.BroughtToFront(), (std::vector<WindowRef>{amcap}));
    EXPECT_EQ(finder.ActivationTokens(), (std::vector<std::string>{"token-1"}));
    EXPECT_EQ(finder.Closed(), (std::vector<WindowRef>{amcap}));
    EXPECT_EQ(finder.Searches().size(), 4u);
}

TEST(VirtualClockTest, TimersFireInDueOrderWithTiesInArmingOrder) {
    VirtualClock clock;
    std::vector<int> fired;
    const auto record = [&fired](int id) { fired.push_back(id); };
    clock.Arm(3, 5, record);
    clock.Arm(1, 5, record);
    clock.Arm(2, 3, record);
    clock.Advance(10);
    EXPECT_EQ(fired, (std::vector<int>{2, 3, 1, 2, 2, 3, 1}));  // at 3, 5, 5, 6, 9, 10, 10
    ASSERT_EQ(clock.Firings().size(), 7u);
    EXPECT_EQ(clock.Firings()[0].timeMs, 3);
    EXPECT_EQ(clock.Firings()[4].timeMs, 9);
    EXPECT_EQ(clock.Now(), 10);
}

TEST(VirtualClockTest, AHandlerMayDisarmOrReArmItsOwnTimer) {
    VirtualClock clock;
    int sweeps = 0;
    clock.Arm(500, 3000, [&](int id) {
        clock.Disarm(id);
        ++sweeps;
        clock.Arm(id, 3000, [&sweeps](int) { ++sweeps; });
    });
    clock.Arm(99, 1, [&clock](int id) { clock.Disarm(id); });
    clock.Advance(9000);
    EXPECT_EQ(sweeps, 3);
    EXPECT_FALSE(clock.IsArmed(99));
    EXPECT_EQ(clock.DueTime(500), 12000);
    EXPECT_EQ(clock.Period(500), 3000);
}

}  // namespace
