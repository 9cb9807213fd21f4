#pragma once

// The modal dialog machinery: a dialog is created from its layout, initialised, shown and run
// until it is ended, then destroyed. Messages reach the dialog through the virtual handlers of
// WindowHandler; the defaults do what the desktop's default handling does.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dialog_window.h"
#include "platform/geometry.h"
#include "platform/services.h"

struct DialogLayout;

// Pointer key-state flags with their classic values.
constexpr unsigned MK_LBUTTON = 0x1;
constexpr unsigned MK_SHIFT = 0x4;
constexpr unsigned MK_CONTROL = 0x8;

// Keyboard messages that reach the dialog's keyboard filter.
constexpr unsigned WM_KEYDOWN = 0x100;
constexpr unsigned WM_KEYUP = 0x101;
constexpr unsigned WM_POWERBROADCAST = 0x218;
// Virtual-key codes with their classic values; letters and digits are their upper-case ASCII
// codes ('A', 'O').
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;

struct KeyMessage {
    unsigned message = WM_KEYDOWN;
    int key = 0;
};

// The messages of the window. Every handler runs on the user-interface thread.
class WindowHandler {
public:
    virtual ~WindowHandler() = default;
    virtual void OnPaint() {}
    virtual void OnTimer(int /*id*/) {}
    virtual void OnMouseMove(unsigned /*flags*/, Point /*point*/) {}
    virtual void OnLButtonDown(unsigned /*flags*/, Point /*point*/) {}
    virtual void OnLButtonUp(unsigned /*flags*/, Point /*point*/) {}
    virtual void OnLButtonDblClk(unsigned /*flags*/, Point /*point*/) {}
    virtual void OnHScroll(int /*code*/, int /*position*/) {}
    virtual void OnMove(int /*x*/, int /*y*/) {}
    virtual void OnShowWindow(bool /*show*/, int /*status*/) {}
    // The window gained or lost the keyboard focus.
    virtual void OnSetFocus() {}
    virtual void OnKillFocus() {}
    virtual void OnCaptureChanged() {}
    // The close command (system menu, window close button).
    virtual void OnCancel() {}
    // True when the message was handled and must go no further.
    virtual bool PreTranslateMessage(const KeyMessage& /*message*/) { return false; }
    // A key pressed (or repeated while held) that the keyboard filter let through; flags hold
    // MK_SHIFT and MK_CONTROL for the modifier keys held.
    virtual void OnKeyDown(unsigned /*flags*/, int /*key*/) {}
    // Every other message (power broadcasts) passes through here.
    virtual std::intptr_t WindowProc(unsigned /*message*/, std::uintptr_t /*wParam*/,
                                     std::intptr_t /*lParam*/) {
        return 0;
    }
};

// Runs a created, initialised dialog until it is ended. The real loop shows the window and
// runs the Qt event loop; tests use loops that drive the dialog themselves.
class ModalLoop {
public:
    virtual ~ModalLoop() = default;
    // Called once the dialog's window exists, before OnInitDialog: gives it its place on the
    // desktop, titled and still hidden, so that a search for the title finds a dialog that is
    // still starting.
    virtual void Prepare(class DialogBase& /*dialog*/) {}
    // Shows the window and returns when quit is called (from inside a handler).
    virtual void Run(class DialogBase& dialog) = 0;
    // Called when the dialog's window is about to go (after OnDestroy): takes it off the desktop.
    virtual void Dismiss(class DialogBase& /*dialog*/) {}
    virtual void Quit() = 0;
};

struct PlatformServices {
    TimerHost& timers;
    MessageBoxes& messageBoxes;
    WindowFinder& windowFinder;
    ModalLoop& modalLoop;
    TaskPoster& tasks;
};

// Stands in for the framework's dialog class.
class DialogBase : public WindowHandler {
public:
    DialogBase(const DialogLayout& layout, PlatformServices& services);
    ~DialogBase() override;

    // Creates the window from the layout, runs OnInitDialog, runs the modal loop unless the
    // dialog was already ended, then destroys the window (OnDestroy first). Returns the value
    // given to EndDialog.
    int DoModal();
    void EndDialog(int result);
    bool IsEnded() const { return m_ended; }
    int Result() const { return m_result; }

    // For tests: create the window and run OnInitDialog without a loop (its result is
    // returned); destroy it again (OnDestroy first). Creating while a window exists does nothing
    // and returns false.
    bool CreateAndInitialise();
    void DestroyWindow();

    DialogWindow& Window() { return *m_window; }
    const DialogWindow& Window() const { return *m_window; }
    bool HasWindow() const { return m_window != nullptr; }
    PlatformServices& Services() { return m_services; }

    // Ends the dialog with IDCANCEL.
    void OnCancel() override;

protected:
    virtual bool OnInitDialog() { return true; }
    virtual void OnDestroy() {}

private:
    void CreateWindowFromLayout();

    const DialogLayout& m_layout;
    PlatformServices& m_services;
    // The layout's initial pictures, shown by the bitmap controls for the window's whole life;
    // declared before the window so that the window goes first.
    std::vector<std::unique_ptr<Bitmap>> m_layoutBitmaps;
    std::unique_ptr<DialogWindow> m_window;
    bool m_ended = false;
    int m_result = 0;
};
