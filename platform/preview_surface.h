#pragma once

// The window's live-video child. The streaming thread hands it frames (latest wins, no queue, no
// lock held while drawing); the user-interface thread shows the newest one in the placed
// rectangle. The placement is in logical client pixels; each frame is brought to the placement's
// size in device pixels, so that a finer screen shows more of the camera's detail (a frame
// enlarged by a whole number is enlarged only where it is drawn).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/device_grid.h"
#include "platform/geometry.h"
#include "platform/video_child.h"

class QImage;

class PreviewSurface final : public VideoChild {
public:
    PreviewSurface();
    ~PreviewSurface();
    PreviewSurface(const PreviewSurface&) = delete;
    PreviewSurface& operator=(const PreviewSurface&) = delete;

    // User-interface thread.
    void Place(const Rect& rect) override;
    void SetVisible(bool visible) override;
    // The client image's device pixel ratio: frames presented from now on are converted for the
    // placement's device size at this ratio; until one arrives the old frame is not shown.
    void SetDeviceScale(double scale);
    Rect Placement() const;
    bool IsVisible() const;
    // Draws the newest frame into the placement's device pixels of the client image (nothing
    // when none has arrived, when hidden, or while the newest frame still has the size of an
    // earlier placement or scale). Always takes the newest frame, so that the next one is
    // announced again. The second form limits the drawing to clip (logical client coordinates).
    void PaintInto(QImage& client);
    void PaintInto(QImage& client, const Rect& clip);
    // Takes the newest frame if one came since the last was taken (the next one is then
    // announced again); painting takes it too.
    void TakeNewestFrame();
    // Whether the placement shows the frame taken last as it is: visible, no notice, and the
    // frame converted for the placement's device size at this ratio.
    bool ShowsLiveFrame(double scale) const;
    // Lets the window show a frame straight from where it was converted, without a copy in
    // between: writes the part `area` of the frame taken last, at its device size, into an
    // image of 32-bit pixels whose device pixel `origin` is the placement's first (both in the
    // image's pixels, `origin` not left of or above it). False, writing nothing, when the
    // placement does not show the frame as it is or the image cannot take it.
    bool DrawLiveFrame(QImage& target, const Rect& area, Point origin, double scale) const;
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

    // Streaming thread (VideoChild::Present).
    void Present(const std::uint8_t* yuyv, int width, int height, int stride) override;

private:
    struct Slots;
    std::unique_ptr<Slots> m_slots;
};
