#pragma once

// The window layer: a software-composited client image with retained controls. Invalidating a
// rectangle marks it dirty; repainting the dirty area draws the skin, the visible controls in
// order and the live-video child, and then delivers the paint message to the dialog. Overlay
// drawing done through a surface stays until its area is repainted.

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/services.h"

class QImage;
class WindowHandler;

// The main window's client area: the skin's size. The outer window adds the frame, the caption
// and the horizontal scroll bar beneath it.
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 595;

enum class ControlKind {
    Bitmap,      // shows a bitmap unscaled from its top-left corner
    BlackFrame,  // a 1-pixel black outline
    Text,        // a text control (hidden in this window)
};

// A retained child control. Its rectangle is in client pixels.
class Control {
public:
    Control(class DialogWindow& owner, int id, ControlKind kind, Rect rect, bool visible);

    int Id() const { return m_id; }
    ControlKind Kind() const { return m_kind; }
    Rect WindowRect() const { return m_rect; }  // in client coordinates
    Rect ClientRect() const { return Rect{0, 0, m_rect.Width(), m_rect.Height()}; }
    bool IsVisible() const { return m_visible; }
    const Bitmap* Image() const { return m_image; }
    const std::string& Text() const { return m_text; }

    void Move(int x, int y);  // keeps the size
    void MoveAndSize(int x, int y, int width, int height);
    void Show(bool visible);              // repaints the control's area when it changes
    void SetImage(const Bitmap* bitmap);  // the image-setting message: repaints at once
    void SetText(const std::string& text);
    // A surface with its origin at the control's top-left corner; it may draw anywhere in the
    // window's client area.
    DrawingSurface GetDC();
    // Paints the control's own look into the client image (used by the repaint), limited to
    // clip (client coordinates) in the second form. A hidden control paints nothing.
    void PaintInto(QImage& client) const;
    void PaintInto(QImage& client, const Rect& clip) const;

private:
    class DialogWindow& m_owner;
    int m_id;
    ControlKind m_kind;
    Rect m_rect;
    bool m_visible;
    const Bitmap* m_image = nullptr;
    std::string m_text;
};

// The window's horizontal scroll bar state; the presenter mirrors it on a real QScrollBar.
struct ScrollBarState {
    bool enabled = true;
    int minimum = 0;
    int maximum = 0;
    int position = 0;
};

// Scroll codes delivered to the dialog's horizontal scroll handler.
constexpr int SB_LINELEFT = 0;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_LEFT = 6;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;

// The live-video child. The streaming thread hands it frames (latest wins, no queue, no lock
// held while drawing); the user-interface thread shows the newest one in the placed rectangle.
class PreviewSurface {
public:
    PreviewSurface();
    ~PreviewSurface();

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

// The window: client image, controls, dirty area, timers, scroll bar, live-video child.
class DialogWindow {
public:
    DialogWindow(WindowHandler& handler, TimerHost& timers, int clientWidth, int clientHeight);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    int ClientWidth() const;
    int ClientHeight() const;

    Control& AddControl(int id, ControlKind kind, const Rect& rect, bool visible);
    Control* GetDlgItem(int id);  // null when there is no such control
    const std::vector<std::unique_ptr<Control>>& Controls() const { return m_controls; }

    void SetTitle(const std::string& title) { m_title = title; }
    const std::string& Title() const { return m_title; }
    void SetOuterSize(int width, int height);  // the window's outer size request
    int OuterWidth() const { return m_outerWidth; }
    int OuterHeight() const { return m_outerHeight; }
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
    // Repaints one control's area at once (the image-setting message): the control, then the
    // video child where it overlaps.
    void RepaintControl(const Control& control);
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

    QImage& ClientImage() { return *m_client; }
    Color PixelAt(int x, int y) const;

    // Listeners for the presenter: pixels of the client image changed in a rectangle; the
    // dirty area grew (a repaint is wanted); the scroll bar changed.
    void SetPixelsChangedListener(std::function<void(const Rect&)> listener);
    void SetInvalidatedListener(std::function<void()> listener);
    void SetScrollBarListener(std::function<void(const ScrollBarState&)> listener);
    void NotifyPixelsChanged(const Rect& rect);  // called by surfaces and controls

    WindowHandler& Handler() { return m_handler; }

private:
    void RepaintArea(const Rect& area);
    void NotifyScrollBar();

    WindowHandler& m_handler;
    TimerHost& m_timers;
    std::unique_ptr<QImage> m_client;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::string m_title;
    int m_outerWidth = 0;
    int m_outerHeight = 0;
    bool m_iconic = false;
    Rect m_dirty;
    std::set<int> m_armedTimers;
    ScrollBarState m_scroll;
    PreviewSurface m_preview;
    std::function<void(const Rect&)> m_pixelsChanged;
    std::function<void()> m_invalidated;
    std::function<void(const ScrollBarState&)> m_scrollChanged;
};
