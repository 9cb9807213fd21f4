#pragma once

// The window layer: a software-composited client image with retained controls. Invalidating a
// rectangle marks it dirty; repainting the dirty area draws the skin, the visible controls in
// order and the live-video child, and then delivers the paint message to the dialog. Overlay
// drawing done through a surface stays until its area is repainted.
//
// Everything the dialog sees is in logical client pixels; the client image holds the device
// pixels of the screen the window is on, at its device pixel ratio (see DeviceGrid).

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/control.h"
#include "platform/device_grid.h"
#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/preview_surface.h"
#include "platform/scroll_bar.h"
#include "platform/services.h"

class QImage;
class WindowHandler;

// The main window's client area: the skin's size. The outer window adds the frame, the caption
// and the horizontal scroll bar beneath it.
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 595;

// The window: client image, controls, dirty area, timers, scroll bar, live-video child.
class DialogWindow {
public:
    DialogWindow(WindowHandler& handler, TimerHost& timers, int clientWidth, int clientHeight);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    int ClientWidth() const;  // logical pixels
    int ClientHeight() const;

    // The screen's device pixel ratio (1 until told otherwise). A new ratio (the window moved to
    // another screen, or the screen's scale changed) makes a new client image at that ratio and
    // marks the whole window for repainting, so that everything is drawn again at the new
    // resolution; the live picture is converted for the new size from the next frame on.
    void SetDeviceScale(double scale);
    const DeviceGrid& Grid() const;

    Control& AddControl(int id, ControlKind kind, const Rect& rect, bool visible);
    Control* GetDlgItem(int id);  // null when there is no such control
    const std::vector<std::unique_ptr<Control>>& Controls() const { return m_controls; }

    void SetTitle(const std::string& title) { m_title = title; }
    const std::string& Title() const { return m_title; }
    void SetIconic(bool iconic) { m_iconic = iconic; }
    bool IsIconic() const { return m_iconic; }

    // Marks the rectangle (or the whole client area when null) for repainting.
    void InvalidateRect(const Rect* rect, bool erase = false);
    bool HasDirtyArea() const;
    Rect DirtyBounds() const;
    // Repaints the dirty area now: skin and controls in order, the video child, then the
    // dialog's paint handler. Does nothing when nothing is dirty.
    void UpdateWindow();
    // Draws the newest video frame into its placement without touching the dirty area or the
    // dialog (the live picture costs the dialog nothing).
    void PaintPreview();
    // A surface over the whole client area, child controls included.
    DrawingSurface GetDC();

    // Window timers, delivered to the dialog's timer handler; all are disarmed with the window.
    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    bool IsTimerArmed(int id) const { return m_armedTimers.count(id) != 0; }

    // The horizontal scroll bar.
    void EnableScrollBar(bool enable);
    void SetScrollRange(int minimum, int maximum, bool redraw);
    void SetScrollPos(int position, bool redraw);
    int GetScrollPos() const { return m_scroll.position; }
    const ScrollBarState& ScrollBar() const { return m_scroll; }

    PreviewSurface& Preview() { return m_preview; }
    const PreviewSurface& Preview() const { return m_preview; }

    QImage& ClientImage() { return *m_client; }  // device pixels
    // The colour of a logical client pixel (its top-left device pixel), and of a device pixel.
    Color PixelAt(int x, int y) const;
    Color DevicePixelAt(int x, int y) const;

    // What the window shows to assistive technology: the logic's description of its parts
    // (none: the client area is shown as one plain area). The content must outlive the window or
    // be taken away first.
    void SetAccessibleContent(AccessibleContent* content) { m_accessible = content; }
    AccessibleContent* Accessible() const { return m_accessible; }
    // Tells assistive technology of an event it would not notice by itself (a picture taken),
    // in the user's language.
    void Announce(const std::string& text);

    // Listeners for the presenter: pixels of the client image changed in a rectangle; the
    // dirty area grew (a repaint is wanted); the scroll bar changed; an announcement.
    void SetPixelsChangedListener(std::function<void(const Rect&)> listener);
    void SetInvalidatedListener(std::function<void()> listener);
    void SetScrollBarListener(std::function<void(const ScrollBarState&)> listener);
    void SetAnnouncementListener(std::function<void(const std::string&)> listener);

    WindowHandler& Handler() { return m_handler; }

private:
    // Repaints one control's area at once (the image-setting message): the control, then the
    // video child where it overlaps.
    void PaintControlNow(const Control& control);
    DrawingSurface SurfaceAt(Point origin);

    void NotifyPixelsChanged(const Rect& rect);  // told by every surface over the client image
    void RepaintArea(const Rect& area);
    void NotifyScrollBar();

    WindowHandler& m_handler;
    TimerHost& m_timers;
    int m_width;
    int m_height;
    DeviceGrid m_grid;
    std::unique_ptr<QImage> m_client;
    // What the controls ask of this window; made before them, which keep it.
    const ControlOwner m_controlOwner;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::string m_title;
    bool m_iconic = false;
    Rect m_dirty;
    std::set<int> m_armedTimers;
    ScrollBarState m_scroll;
    PreviewSurface m_preview;
    std::function<void(const Rect&)> m_pixelsChanged;
    std::function<void()> m_invalidated;
    std::function<void(const ScrollBarState&)> m_scrollChanged;
    std::function<void(const std::string&)> m_announced;
    AccessibleContent* m_accessible = nullptr;
};
