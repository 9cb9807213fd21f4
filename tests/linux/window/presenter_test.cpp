// The on-screen window (offscreen platform): events become the dialog's messages with the right
// flags and coordinates, the scroll bar's actions become scroll codes, paints run the dialog's
// paint handler first, and the live picture is repainted without the dialog.
#include "linux/window/window_presenter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "platform/scroll_bar.h"
#include "support/doubles/headless_harness.h"
#include "support/wait_until.h"

namespace {

constexpr Color kSkin = Rgb(99, 99, 99);

class RecordingHandler : public WindowHandler {
public:
    void OnPaint() override { events.push_back("paint"); }
    void OnMouseMove(unsigned flags, Point point) override { Pointer("move", flags, point); }
    void OnLButtonDown(unsigned flags, Point point) override { Pointer("down", flags, point); }
    void OnLButtonUp(unsigned flags, Point point) override { Pointer("up", flags, point); }
    void OnLButtonDblClk(unsigned flags, Point point) override { Pointer("dblclk", flags, point); }
    void OnHScroll(int code, int position) override {
        events.push_back("scroll " + std::to_string(code) + " " + std::to_string(position));
        if (code == SB_LINERIGHT && followLineSteps) {
            window->SetScrollPos(window->GetScrollPos() + 1, true);
        }
    }
    void OnMove(int /*x*/, int /*y*/) override { events.push_back("move window"); }
    void OnCancel() override { events.push_back("cancel"); }
    bool PreTranslateMessage(const KeyMessage& message) override {
        events.push_back("key " + std::to_string(message.message) + " " +
                         std::to_string(message.key));
        return message.key == VK_RETURN;
    }

    DialogWindow* window = nullptr;
    bool followLineSteps = false;
    std::vector<std::string> events;

private:
    void Pointer(const char* name, unsigned flags, Point point) {
        events.push_back(std::string(name) + " " + std::to_string(flags) + " " +
                         std::to_string(point.x) + "," + std::to_string(point.y));
    }
};

class PresenterTest : public ::testing::Test {
protected:
    PresenterTest() {
        EnsureQtApplication();
        window = std::make_unique<DialogWindow>(handler, clock, kClientWidth, kClientHeight);
        handler.window = window.get();
        skin = std::make_unique<Bitmap>(640, 595);
        skin->Image().fill(qRgb(kSkin.r, kSkin.g, kSkin.b));
        window->AddControl(1012, ControlKind::Bitmap, Rect{0, 0, 640, 595}, true)
            .SetImage(skin.get());
        window->SetTitle("Vantor Lumisight webcam");
        presenter = std::make_unique<WindowPresenter>(*window);
        presenter->show();
        WaitUntilProcessingEvents([this] { return !window->HasDirtyArea(); });
        handler.events.clear();
    }
    ~PresenterTest() override {
        presenter.reset();
        window.reset();
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* view = presenter->ClientView();
        QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)), button, buttons,
                          modifiers);
        QCoreApplication::sendEvent(view, &event);
    }
    void KeyPress(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(presenter->ClientView(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(presenter->ClientView(), &release);
    }

    VirtualClock clock;
    RecordingHandler handler;
    std::unique_ptr<Bitmap> skin;
    std::unique_ptr<DialogWindow> window;
    std::unique_ptr<WindowPresenter> presenter;
};

TEST_F(PresenterTest, IsOneFixedSizeTitledWindowWithTheScrollBarBeneathTheClientArea) {
    EXPECT_EQ(presenter->windowTitle(), QStringLiteral("Vantor Lumisight webcam"));
    EXPECT_FALSE(presenter->windowIcon().isNull());
    // Title, system menu and close button; no minimise or maximise button.
    const Qt::WindowFlags flags = presenter->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(presenter->minimumSize(), presenter->maximumSize());
    EXPECT_EQ(presenter->ClientView()->geometry(), QRect(0, 0, 640, 595));
    EXPECT_EQ(presenter->ScrollBar()->geometry().top(), 595);
    EXPECT_EQ(presenter->ScrollBar()->width(), 640);
    EXPECT_EQ(WindowPresenter::Of(*window), presenter.get());
}

TEST_F(PresenterTest, PointerEventsReachTheDialogWithKeyFlagsInClientCoordinates) {
    Mouse(QEvent::MouseMove, QPoint(10, 500), Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    Mouse(QEvent::MouseButtonPress, QPoint(20, 520), Qt::LeftButton, Qt::LeftButton,
          Qt::ControlModifier);
    Mouse(QEvent::MouseMove, QPoint(30, 530), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(30, 530), Qt::LeftButton, Qt::NoButton);
    Mouse(QEvent::MouseButtonDblClick, QPoint(40, 540), Qt::LeftButton, Qt::LeftButton,
          Qt::ShiftModifier | Qt::ControlModifier);
    Mouse(QEvent::MouseButtonPress, QPoint(50, 550), Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(handler.events,
              (std::vector<std::string>{"move 4 10,500", "down 9 20,520", "move 1 30,530",
                                        "up 0 30,530", "dblclk 13 40,540"}));
}

TEST_F(PresenterTest, PointerOverTheLivePictureOrOutsideTheClientAreaIsNotForwarded) {
    window->Preview().Place(Rect{0, 0, 640, 480});
    Mouse(QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseMove, QPoint(100, 479), Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseMove, QPoint(100, 480), Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(700, 500), Qt::LeftButton, Qt::NoButton);
    window->Preview().SetVisible(false);
    Mouse(QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(handler.events, (std::vector<std::string>{"move 0 100,480", "move 0 100,100"}));
}

TEST_F(PresenterTest, KeysPassTheFilterAndAnUnhandledEscapeIsTheCloseCommand) {
    KeyPress(Qt::Key_Return);
    KeyPress(Qt::Key_Escape);
    EXPECT_EQ(handler.events, (std::vector<std::string>{"key 256 13", "key 257 13", "key 256 27",
                                                        "cancel", "key 257 27"}));
}

TEST_F(PresenterTest, CloseButtonSendsTheCloseCommandButLeavesTheWindowOpen) {
    EXPECT_FALSE(presenter->close());
    EXPECT_TRUE(presenter->isVisible());
    EXPECT_EQ(handler.events, (std::vector<std::string>{"cancel"}));
}

TEST_F(PresenterTest, PaintRunsTheDialogPaintAfterRepaintingAndBlitsTheClientImage) {
    {
        DrawingSurface surface = window->GetDC();
        surface.SelectBrush(Rgb(255, 0, 0));
        surface.Rectangle(100, 500, 110, 510);
    }
    const QImage shown = presenter->ClientView()->grab().toImage();
    EXPECT_EQ(shown.pixel(105, 505), qRgb(255, 0, 0));
    EXPECT_TRUE(handler.events.empty());  // drawing is not a paint

    const Rect area{100, 500, 105, 510};
    window->InvalidateRect(&area);
    ASSERT_TRUE(WaitUntilProcessingEvents([this] { return !handler.events.empty(); }));
    EXPECT_EQ(handler.events, (std::vector<std::string>{"paint"}));
    const QImage repainted = presenter->ClientView()->grab().toImage();
    EXPECT_EQ(repainted.pixel(102, 505), qRgb(kSkin.r, kSkin.g, kSkin.b));
    EXPECT_EQ(repainted.pixel(107, 505), qRgb(255, 0, 0));
}

TEST_F(PresenterTest, NewVideoFrameRepaintsTheVideoWithoutTheDialog) {
    window->Preview().Place(Rect{0, 0, 64, 48});
    std::vector<std::uint8_t> frame(64 * 48 * 2);
    for (std::size_t i = 0; i < frame.size(); i += 2) {
        frame[i] = 235;
        frame[i + 1] = 128;
    }
    std::jthread streaming([&] { window->Preview().Present(frame.data(), 64, 48, 128); });
    streaming.join();
    // Shown straight from the frame: what counts is the screen.
    ASSERT_TRUE(WaitUntilProcessingEvents([this] {
        return presenter->ClientView()->grab().toImage().pixel(10, 10) == qRgb(255, 255, 255);
    }));
    EXPECT_FALSE(window->HasDirtyArea());
    EXPECT_TRUE(handler.events.empty());
}

TEST_F(PresenterTest, ScrollBarFollowsTheWindowWithoutEchoingItsChanges) {
    window->SetScrollRange(0, 4, false);
    window->SetScrollPos(2, true);
    QScrollBar* bar = presenter->ScrollBar();
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->value(), 2);
    window->EnableScrollBar(false);
    EXPECT_FALSE(bar->isEnabled());
    window->EnableScrollBar(true);
    EXPECT_TRUE(handler.events.empty());
}

TEST_F(PresenterTest, ScrollBarActionsBecomeScrollCodesAndTheBarShowsTheDialogsPosition) {
    window->SetScrollRange(0, 4, false);
    window->SetScrollPos(2, true);
    QScrollBar* bar = presenter->ScrollBar();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 2);  // the dialog did not move it
    handler.followLineSteps = true;
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 3);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(handler.events,
              (std::vector<std::string>{"scroll 1 0", "scroll 8 0", "scroll 1 0", "scroll 8 0",
                                        "scroll 0 0", "scroll 8 0", "scroll 3 0", "scroll 8 0",
                                        "scroll 2 0", "scroll 8 0", "scroll 6 0", "scroll 8 0",
                                        "scroll 7 0", "scroll 8 0"}));
}

TEST_F(PresenterTest, DraggingTheThumbTracksAndReleasingItGivesThePosition) {
    window->SetScrollRange(0, 4, false);
    QScrollBar* bar = presenter->ScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(3);
    bar->setSliderDown(false);
    EXPECT_EQ(handler.events, (std::vector<std::string>{"scroll 5 3", "scroll 4 3", "scroll 8 0"}));
    EXPECT_EQ(bar->value(), 0);  // back where the dialog keeps it
}

TEST_F(PresenterTest, ClickingTheScrollBarArrowIsALineStep) {
    window->SetScrollRange(0, 4, false);
    QScrollBar* bar = presenter->ScrollBar();
    const QPoint rightArrow(bar->width() - 3, bar->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(rightArrow),
                      QPointF(bar->mapToGlobal(rightArrow)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(rightArrow),
                        QPointF(bar->mapToGlobal(rightArrow)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &release);
    ASSERT_GE(handler.events.size(), 2u);
    EXPECT_EQ(handler.events[0], "scroll 1 0");
    EXPECT_EQ(handler.events[1], "scroll 8 0");
}

// The window has no minimise button, but the desktop can still minimise it (a shortcut, a
// "minimise all"): the window then is iconic, and restored it is painted anew.
TEST_F(PresenterTest, MinimisedByTheDesktopTheWindowIsIconicAndRestoringRepaintsIt) {
    presenter->setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(WaitUntilProcessingEvents([this] { return window->IsIconic(); }));
    presenter->setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(WaitUntilProcessingEvents([this] { return !window->IsIconic(); }));
    EXPECT_TRUE(WaitUntilProcessingEvents([this] {
        return std::find(handler.events.begin(), handler.events.end(), "paint") !=
               handler.events.end();
    }));
}

}  // namespace
