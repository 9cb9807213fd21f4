#pragma once

// Reading another program's window on an X server, straight from the server (XGetImage): a few
// milliseconds a picture, where a screenshot tool takes seconds in the emulated machine, so a
// test can watch a picture change. Apart from the tests that use it because X11's headers
// define names that clash with Qt's and GoogleTest's.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class WindowPixels {
public:
    // A connection to the display; Read fails while it could not be opened.
    WindowPixels(const std::string& display, unsigned long window);
    ~WindowPixels();
    WindowPixels(const WindowPixels&) = delete;
    WindowPixels& operator=(const WindowPixels&) = delete;

    // The rectangle at (x, y) of the window, row by row, as 0x00RRGGBB; false when the window
    // cannot be read (it is not shown, or has gone).
    bool Read(int x, int y, int width, int height, std::vector<std::uint32_t>* pixels);

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
    unsigned long m_window;
};
