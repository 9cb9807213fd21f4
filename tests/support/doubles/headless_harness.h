#pragma once

// Runs a dialog without a display: the window layer's real code, with deterministic test
// doubles for everything around it. A test builds its dialog with Services(), starts it, then
// plays the message loop's part itself:
//
//     HeadlessHarness harness;
//     MyDialog dialog(MainDialogLayout(), harness.Services());
//     harness.Start(dialog);                  // OnInitDialog, then the first paint
//     harness.MouseMove({20, 490});           // a pointer message, then the paints it caused
//     harness.Advance(10);                    // timers due within 10 ms, each followed by paints
//     EXPECT_EQ(harness.PixelAt(5, 485), Rgb(...));
//
// Every injected message is followed by Pump(), as the real loop paints before it fires timers.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "support/doubles/fake_window_finder.h"
#include "support/doubles/queued_tasks.h"
#include "support/doubles/scripted_message_boxes.h"
#include "support/doubles/virtual_clock.h"

// Makes sure a Qt application exists (text drawing needs one), on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise. Safe to call any number of times.
void EnsureQtApplication();

// A modal loop that returns at once: Run() calls the body set by the test (nothing by default),
// so DoModal() runs OnInitDialog, the body, and OnDestroy.
class ImmediateModalLoop : public ModalLoop {
public:
    void SetBody(std::function<void(DialogBase&)> body) { m_body = std::move(body); }
    void Run(DialogBase& dialog) override;
    void Quit() override { ++m_quitCount; }
    int RunCount() const { return m_runCount; }
    int QuitCount() const { return m_quitCount; }

private:
    std::function<void(DialogBase&)> m_body;
    int m_runCount = 0;
    int m_quitCount = 0;
};

class HeadlessHarness {
public:
    HeadlessHarness();
    ~HeadlessHarness();
    HeadlessHarness(const HeadlessHarness&) = delete;
    HeadlessHarness& operator=(const HeadlessHarness&) = delete;

    PlatformServices& Services() { return m_services; }
    VirtualClock& Clock() { return m_clock; }
    ScriptedMessageBoxes& MessageBoxes() { return m_messageBoxes; }
    FakeWindowFinder& Windows() { return m_windows; }
    ImmediateModalLoop& Loop() { return m_loop; }
    QueuedTasks& Tasks() { return m_tasks; }

    // Creates the dialog's window, runs OnInitDialog, then Pump(). Returns OnInitDialog's answer.
    bool Start(DialogBase& dialog);
    // OnDestroy and the window's end. The harness outlives the dialogs it drives (they are built
    // from its services), so it never touches a dialog on its own destruction: call Stop() for a
    // test that needs OnDestroy to run.
    void Stop();
    DialogBase& Dialog() { return *m_dialog; }
    DialogWindow& Window() { return m_dialog->Window(); }

    // The loop's step: runs the work posted to the user-interface thread, shows a newly
    // presented video frame, and repaints while the window has a dirty area (each repaint runs
    // the dialog's OnPaint). Returns the number of repaints.
    int Pump();
    // Moves virtual time on by ms: the timers due fire in order, each followed by Pump().
    void Advance(long long ms);

    // Pointer messages in client coordinates; flags are MK_LBUTTON, MK_SHIFT, MK_CONTROL.
    void MouseMove(Point point, unsigned flags = 0);
    void LButtonDown(Point point, unsigned flags = 0);
    void LButtonUp(Point point, unsigned flags = 0);
    void LButtonDblClk(Point point, unsigned flags = 0);
    // Press and release at one place: down with MK_LBUTTON added, up without it.
    void Click(Point point, unsigned flags = 0);
    void Scroll(int code, int position = 0);
    // A key's down and up messages through PreTranslateMessage; a key down the filter lets
    // through reaches OnKeyDown with the modifier flags (MK_SHIFT, MK_CONTROL), except an
    // Escape, which is the close command, as in the real window. Returns whether the filter
    // handled the key down.
    bool Key(int virtualKey, unsigned flags = 0);

    Color PixelAt(int x, int y) const;
    bool SavePng(const std::string& path) const;

private:
    VirtualClock m_clock;
    ScriptedMessageBoxes m_messageBoxes;
    FakeWindowFinder m_windows;
    ImmediateModalLoop m_loop;
    QueuedTasks m_tasks;
    PlatformServices m_services;
    DialogBase* m_dialog = nullptr;
    // Set on the streaming thread when a frame is ready, cleared by Pump().
    std::atomic<bool> m_frameReady{false};
};
