#pragma once

// The window's live-video child as a media graph drives it: the graph places it in the window's
// client area, shows or hides it, and hands it the stream's frames on the streaming thread. The
// window layer's PreviewSurface is the one the program uses.

#include <cstdint>

#include "platform/geometry.h"

class VideoChild {
public:
    // User-interface thread.
    virtual void Place(const Rect& rect) = 0;
    virtual void SetVisible(bool visible) = 0;

    // Streaming thread: converts a YUYV frame (width x height, stride bytes per row) for display
    // at the placement's size on the screen (its device pixels) and publishes it as the newest
    // frame. Frames presented before the first placement are dropped. Only one thread may
    // present at a time, and presenting must stop before the child is destroyed.
    virtual void Present(const std::uint8_t* yuyv, int width, int height, int stride) = 0;

protected:
    ~VideoChild() = default;
};
