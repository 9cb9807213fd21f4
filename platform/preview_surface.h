#pragma once

// The window's live-video child. The streaming thread hands it frames (latest wins, no queue, no
// lock held while drawing); the user-interface thread shows the newest one in the placed
// rectangle.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/geometry.h"

class QImage;

class PreviewSurface {
public:
    PreviewSurface();
    ~PreviewSurface();
    PreviewSurface(const PreviewSurface&) = delete;
    PreviewSurface& operator=(const PreviewSurface&) = delete;

    // User-interface thread.
    void Place(const Rect& rect);
    void SetVisible(bool visible);
    Rect Placement() const;
    bool IsVisible() const;
    // Draws the newest frame scaled into the placement (nothing when none has arrived, when
    // hidden, or while the newest frame still has the size of an earlier placement). Always takes
    // the newest frame, so that the next one is announced again. The second form limits the
    // drawing to clip (client coordinates).
    void PaintInto(QImage& client);
    void PaintInto(QImage& client, const Rect& clip);
    // A state shown in place of the live picture (a camera that went away): while the text is
    // not empty, the placement shows the last frame darkened (black when there is none) with the
    // text centred on it, whether the surface is visible or not. An empty text ends it. The
    // caller repaints the placement to show the change.
    void SetNotice(const std::string& text);
    const std::string& Notice() const;
    // Whether painting draws anything into the placement: visible, or showing a notice.
    bool IsShown() const;
    // Called (on the streaming thread) after a new frame was stored, at most once per frame
    // until the user-interface thread has taken it; set by the presenter to request a repaint.
    // The callback must be quick and must not call back into this surface. Once this returns,
    // the previous callback is no longer running and will not be called again.
    void SetFrameReadyCallback(std::function<void()> callback);

    // Streaming thread: converts a YUYV frame (width x height, stride bytes per row) for display
    // at the placement's size and publishes it as the newest frame. Frames presented before the
    // first placement are dropped. Only one thread may present at a time, and presenting must
    // stop before the surface is destroyed.
    void Present(const std::uint8_t* yuyv, int width, int height, int stride);

private:
    struct Slots;
    std::unique_ptr<Slots> m_slots;
};
