#pragma once

// Closing another program's window as its close button does, on an X server without a window
// manager: the window manager's delete request, sent straight to the window. Apart from the
// tests that use it because X11's headers define names that clash with Qt's and GoogleTest's.

#include <string>

// False when the display cannot be opened or the request not sent.
bool RequestClose(const std::string& display, unsigned long window);
