#pragma once

// Shows a DialogWindow on screen: one fixed-size top-level QWidget titled with the window's
// title, with the system menu and a close button but no minimise or maximise button, showing
// the client image with the window's horizontal QScrollBar directly beneath it. Pointer,
// keyboard, focus, move and close events become the dialog's messages, and so does a minimise
// the desktop makes by itself; the scroll bar's actions become scroll codes. Only changed
// rectangles are blitted. The client area's parts are shown to assistive technology as the
// dialog describes them (window_accessibility.h).
//
// The window keeps its logical size on every screen; its client image follows the device pixel
// ratio of the screen it is on (also when it is moved to another), and a pointer position becomes
// the logical pixel drawn in the device pixel under the pointer.
//
// Pointer events are forwarded only inside the client area and not over the visible live
// picture: the window never captures the pointer, and the live picture is a child of its own
// that keeps its events.

#include <QRegion>
#include <QWidget>
#include <memory>

#include "platform/dialog_window.h"
#include "platform/scroll_bar.h"

class QScrollBar;
class WindowAccessibility;

class WindowPresenter : public QWidget {
public:
    explicit WindowPresenter(DialogWindow& window);
    ~WindowPresenter() override;

    // The widget that shows the client image (client coordinates = its coordinates).
    QWidget* ClientView() const;
    QScrollBar* ScrollBar() const { return m_scrollBar; }

    // The presenter currently showing this window, or null (for dialogs that open relative to
    // the main window, such as the device properties).
    static WindowPresenter* Of(const DialogWindow& window);

protected:
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class View;

    void ApplyScrollBarState(const ScrollBarState& state);
    void OnScrollAction(int action);
    void OnSliderReleased();
    void SendScroll(int code, int position);

    DialogWindow& m_window;
    View* m_view = nullptr;             // owned by this widget
    QScrollBar* m_scrollBar = nullptr;  // owned by this widget
    // Set while the window's scroll state is being copied onto the bar, so that the bar's own
    // reaction to a programmatic change is never taken for the user's action.
    bool m_applyingScrollState = false;
    // The client area's parts for assistive technology; goes before the view.
    std::unique_ptr<WindowAccessibility> m_accessibility;
};
