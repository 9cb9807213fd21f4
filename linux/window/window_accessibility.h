#pragma once

// The client area for assistive technology (over AT-SPI on Linux). Qt sees the client view as
// one plain widget; this gives it children made from the dialog's description of its parts
// (platform/accessibility.h): each part and each item is an accessible object with its role,
// name, description and state, and the parts with a press action carry the action interface.
// After every message the window handled, the description is compared with the previous one and
// assistive technology is told what changed: names, descriptions, states, the focus, items that
// came, went or changed their selection. An announcement shows, for a while, as a notification
// object, which screen readers speak when it appears.
//
// User-interface thread only.

#include <functional>
#include <memory>
#include <string>

class DialogWindow;
class QAccessibleEvent;
class QWidget;

class WindowAccessibility {
public:
    // view: the widget that shows the client image, which this must not outlive; scrollBar: the
    // window's scroll bar, named from the description.
    WindowAccessibility(QWidget* view, QWidget* scrollBar, DialogWindow& window);
    ~WindowAccessibility();
    WindowAccessibility(const WindowAccessibility&) = delete;
    WindowAccessibility& operator=(const WindowAccessibility&) = delete;

    // Tells assistive technology what changed since the last time (nothing while none listens).
    void Update();
    // The view took the keyboard focus: the part or item that holds it is told as focused, after
    // Qt has told of the view itself.
    void FocusGained();
    void Announce(const std::string& text);

    // How long an announcement stays shown.
    static constexpr int kAnnouncementMs = 10000;

    // Where the events go: to Qt, and from there to assistive technology, while it listens.
    // A test (with no assistive technology on its display) hands them to a recorder instead,
    // which then counts as listening; an empty one gives them back to Qt.
    using EventSink = std::function<void(QAccessibleEvent* event)>;
    static void SetEventSink(EventSink sink);

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
