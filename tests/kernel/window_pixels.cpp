#include "window_pixels.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

struct WindowPixels::Connection {
    Display* display = nullptr;
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

namespace {

// A failed request (the window went away) must not end the test program.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

struct ImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

}  // namespace

WindowPixels::WindowPixels(const std::string& display, unsigned long window)
    : m_connection(std::make_unique<Connection>()), m_window(window) {
    m_connection->display = XOpenDisplay(display.c_str());
    XSetErrorHandler(IgnoreError);
}

WindowPixels::~WindowPixels() = default;

bool WindowPixels::Read(int x, int y, int width, int height, std::vector<std::uint32_t>* pixels) {
    if (m_connection->display == nullptr) {
        return false;
    }
    const std::unique_ptr<XImage, ImageDeleter> image(
        XGetImage(m_connection->display, m_window, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap));
    if (!image) {
        return false;
    }
    pixels->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            (*pixels)[static_cast<std::size_t>(row) * width + column] =
                static_cast<std::uint32_t>(XGetPixel(image.get(), column, row)) & 0xffffffu;
        }
    }
    return true;
}
