// The real Qt services: timers, message boxes and the modal loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <vector>

#include "linux/window/qt_message_boxes.h"
#include "linux/window/qt_modal_loop.h"
#include "linux/window/qt_timer_host.h"
#include "linux/window/window_presenter.h"
#include "platform/dialog.h"
#include "resources/dialog_layout.h"
#include "support/doubles/headless_harness.h"
#include "support/doubles/queued_tasks.h"
#include "support/wait_until.h"

namespace {

class QtServicesTest : public ::testing::Test {
protected:
    QtServicesTest() { EnsureQtApplication(); }
};

TEST_F(QtServicesTest, TimerFiresRepeatedlyUntilDisarmedFromItsOwnHandler) {
    QtTimerHost timers;
    int fired = 0;
    timers.Arm(500, 1, [&](int id) {
        EXPECT_EQ(id, 500);
        if (++fired == 3) {
            timers.Disarm(id);
        }
    });
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return fired >= 3; }));
    EXPECT_FALSE(timers.IsArmed(500));
    // A disarmed timer announces nothing: it is given many of its periods to fire wrongly.
    ProcessEventsFor(std::chrono::milliseconds(30));
    EXPECT_EQ(fired, 3);
}

TEST_F(QtServicesTest, ArmingAnArmedTimerRestartsItWithTheNewPeriodAndHandler) {
    QtTimerHost timers;
    std::vector<int> calls;
    timers.Arm(100, 60000, [&](int) { calls.push_back(1); });
    timers.Arm(100, 2, [&](int id) {
        calls.push_back(2);
        timers.Disarm(id);
    });
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return !calls.empty(); }));
    EXPECT_EQ(calls, (std::vector<int>{2}));
    EXPECT_FALSE(timers.IsArmed(100));
}

// Answers the next modal message box by pressing one of its buttons, after recording it.
struct BoxSeen {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString text;
    QString title;
    QWidget* parent = nullptr;
    QWindow* transientParent = nullptr;
};
void AnswerNextBox(QMessageBox::StandardButton answer, BoxSeen* seen) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        seen->text = box->text();
        seen->title = box->windowTitle();
        seen->parent = box->parentWidget();
        seen->transientParent = box->windowHandle()->transientParent();
        box->button(answer)->click();
        poll->deleteLater();
        poll->stop();
    });
    poll->start(10);
}

TEST_F(QtServicesTest, QuestionBoxHasYesAndNoAndAnswersWithTheClassicCodes) {
    QtMessageBoxes boxes;
    BoxSeen seen;
    AnswerNextBox(QMessageBox::Yes, &seen);
    EXPECT_EQ(boxes.Show("Delete the pictures?", "刪除", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.text, QStringLiteral("Delete the pictures?"));
    EXPECT_EQ(seen.title, QString::fromUtf8("刪除"));

    AnswerNextBox(QMessageBox::No, &seen);
    EXPECT_EQ(boxes.Show("Again?", "", MB_YESNO | MB_ICONQUESTION), IDNO);
}

TEST_F(QtServicesTest, ExclamationBoxIsAWarningWithOneOkButton) {
    QtMessageBoxes boxes;
    BoxSeen seen;
    AnswerNextBox(QMessageBox::Ok, &seen);
    EXPECT_EQ(boxes.Show("Camera not found!", "Vantor Lumisight webcam", MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

class LoopDialog : public DialogBase {
public:
    using DialogBase::DialogBase;
    bool OnInitDialog() override {
        // What another copy of the program would find while this one is still starting.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == QString::fromUtf8(MainDialogLayout().caption)) {
                titledWhileStarting = widget->testAttribute(Qt::WA_WState_Created);
                hiddenWhileStarting = !widget->isVisible();
            }
        }
        if (endAtOnce) {
            EndDialog(1);
        }
        return true;
    }
    void OnPaint() override { ++paints; }
    bool endAtOnce = false;
    int paints = 0;
    bool titledWhileStarting = false;
    bool hiddenWhileStarting = false;
};

TEST_F(QtServicesTest, ModalLoopShowsTheWindowAndRunsUntilTheDialogEnds) {
    QtTimerHost timers;
    ScriptedMessageBoxes boxes;
    FakeWindowFinder finder;
    QtModalLoop loop;
    QueuedTasks tasks;
    PlatformServices services{timers, boxes, finder, loop, tasks};
    LoopDialog dialog(MainDialogLayout(), services);
    bool wasShown = false;
    QTimer::singleShot(0, [&] {
        WindowPresenter* presenter = WindowPresenter::Of(dialog.Window());
        wasShown = presenter != nullptr && presenter->isVisible();
        WaitUntilProcessingEvents([&] { return dialog.paints > 0; });
        dialog.EndDialog(5);
    });
    EXPECT_EQ(dialog.DoModal(), 5);
    EXPECT_TRUE(dialog.titledWhileStarting);
    EXPECT_TRUE(dialog.hiddenWhileStarting);
    EXPECT_TRUE(wasShown);
    EXPECT_GT(dialog.paints, 0);
    EXPECT_FALSE(dialog.HasWindow());
}

TEST_F(QtServicesTest, DialogEndedBeforeItsLoopNeverShowsAWindow) {
    QtTimerHost timers;
    ScriptedMessageBoxes boxes;
    FakeWindowFinder finder;
    QtModalLoop loop;
    QueuedTasks tasks;
    PlatformServices services{timers, boxes, finder, loop, tasks};
    LoopDialog dialog(MainDialogLayout(), services);
    dialog.endAtOnce = true;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.paints, 0);
    EXPECT_TRUE(dialog.titledWhileStarting);
    // Its hidden window went with the dialog's end.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_NE(widget->windowTitle(), QString::fromUtf8(MainDialogLayout().caption));
    }
}

TEST_F(QtServicesTest, MessageBoxBelongsToTheMainWindowEvenWhenAnotherWindowIsActive) {
    QtTimerHost timers;
    QtMessageBoxes boxes;
    FakeWindowFinder finder;
    QtModalLoop loop;
    QueuedTasks tasks;
    PlatformServices services{timers, boxes, finder, loop, tasks};
    LoopDialog dialog(MainDialogLayout(), services);
    BoxSeen before;
    AnswerNextBox(QMessageBox::Ok, &before);
    boxes.Show("Please Close Amcap then try again!", "lumisight-webcam", MB_OK);
    EXPECT_EQ(before.parent, nullptr);  // no main window on screen yet

    BoxSeen seen;
    QWidget* presenter = nullptr;  // only compared once the window is gone
    QWindow* presenterWindow = nullptr;
    bool otherWasActive = false;
    QTimer::singleShot(0, [&] {
        presenter = WindowPresenter::Of(dialog.Window());
        presenterWindow = presenter->windowHandle();
        QWidget other;
        other.setWindowTitle(QStringLiteral("Other window"));
        other.show();
        other.activateWindow();
        otherWasActive =
            WaitUntilProcessingEvents([&] { return QApplication::activeWindow() == &other; });
        AnswerNextBox(QMessageBox::Ok, &seen);
        boxes.Show("Camera is busy!", "Vantor Lumisight webcam", MB_ICONEXCLAMATION);
        dialog.EndDialog(1);
    });
    dialog.DoModal();
    ASSERT_NE(presenter, nullptr);
    EXPECT_TRUE(otherWasActive);
    EXPECT_EQ(seen.parent, presenter);
    EXPECT_EQ(seen.transientParent, presenterWindow);
}

}  // namespace
