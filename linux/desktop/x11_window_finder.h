#pragma once

// Finds top-level windows by their whole title: the program's own Qt windows first, then, on
// an X display, every top-level client by _NET_WM_NAME (or WM_NAME), hidden ones included.
// The clients come from the window manager's _NET_CLIENT_LIST, or, without one, from the root
// window's children (a bare X server) and the clients inside window-manager frames (the
// descendants that carry WM_STATE). Without an X display (a native Wayland session) only the
// own windows are found.

#include <string>

#include "platform/services.h"

class X11WindowFinder : public WindowFinder {
public:
    // displayName: the X display to search; empty means $DISPLAY.
    explicit X11WindowFinder(std::string displayName = {});

    std::optional<WindowRef> Find(const std::string& title) override;
    // Raises the window and asks the window manager to activate it (_NET_ACTIVE_WINDOW). An own
    // window is shown again if minimised, and on Wayland asks the compositor through the
    // xdg-activation protocol with the token.
    void BringToFront(WindowRef window, const std::string& activationToken) override;
    // Asks the window to close, as its close button would (WM_DELETE_WINDOW); never destroys it.
    void Close(WindowRef window) override;

private:
    std::string m_displayName;
};
