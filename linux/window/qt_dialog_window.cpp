#include "platform/dialog_window.h"

#include <QImage>
#include <algorithm>

#include "linux/window/control_painting.h"
#include "linux/window/device_pixels.h"
#include "platform/dialog.h"
#include "platform/preview_surface.h"

namespace {

// What shows where no control paints (the dialog's background brush).
constexpr QRgb kDialogFace = qRgb(212, 208, 200);

}  // namespace

DialogWindow::DialogWindow(WindowHandler& handler, TimerHost& timers, int clientWidth,
                           int clientHeight)
    : m_handler(handler),
      m_timers(timers),
      m_width(clientWidth),
      m_height(clientHeight),
      m_client(std::make_unique<QImage>(DeviceImage(clientWidth, clientHeight, m_grid))),
      m_controlOwner{.invalidate = [this](const Rect& area) { InvalidateRect(&area); },
                     .paintNow = [this](const Control& control) { PaintControlNow(control); },
                     .surfaceAt = [this](Point origin) { return SurfaceAt(origin); }} {
    m_client->fill(kDialogFace);
    // A new window has never been painted: its whole client area waits for the first repaint.
    m_dirty = Rect{0, 0, clientWidth, clientHeight};
}

DialogWindow::~DialogWindow() {
    for (const int id : m_armedTimers) {
        m_timers.Disarm(id);
    }
}

int DialogWindow::ClientWidth() const {
    return m_width;
}
int DialogWindow::ClientHeight() const {
    return m_height;
}

const DeviceGrid& DialogWindow::Grid() const {
    return m_grid;
}

void DialogWindow::SetDeviceScale(double scale) {
    const DeviceGrid grid(scale);
    if (grid.Scale() == m_grid.Scale()) {
        return;
    }
    m_grid = grid;
    m_client = std::make_unique<QImage>(DeviceImage(m_width, m_height, m_grid));
    m_client->fill(kDialogFace);
    m_preview.SetDeviceScale(m_grid.Scale());
    InvalidateRect(nullptr);
}

Control& DialogWindow::AddControl(int id, ControlKind kind, const Rect& rect, bool visible) {
    m_controls.push_back(std::make_unique<Control>(m_controlOwner, id, kind, rect, visible));
    if (visible) {
        InvalidateRect(&rect);
    }
    return *m_controls.back();
}

Control* DialogWindow::GetDlgItem(int id) {
    for (const auto& control : m_controls) {
        if (control->Id() == id) {
            return control.get();
        }
    }
    return nullptr;
}

// The erase flag is accepted for the callers' sake: every repaint draws the skin beneath
// the controls anyway, so an erased and an unerased repaint look the same.
void DialogWindow::InvalidateRect(const Rect* rect, bool /*erase*/) {
    const Rect client{0, 0, ClientWidth(), ClientHeight()};
    Rect area = client;
    if (rect != nullptr && !IntersectRect(&area, *rect, client)) {
        return;
    }
    UnionRect(&m_dirty, m_dirty, area);
    if (m_invalidated) {
        m_invalidated();
    }
}

bool DialogWindow::HasDirtyArea() const {
    return !IsRectEmpty(m_dirty);
}
Rect DialogWindow::DirtyBounds() const {
    return m_dirty;
}

void DialogWindow::UpdateWindow() {
    if (!HasDirtyArea()) {
        return;
    }
    const Rect area = m_dirty;
    RepaintArea(area);
    SetRectEmpty(&m_dirty);
    NotifyPixelsChanged(area);
    m_handler.OnPaint();
}

void DialogWindow::RepaintArea(const Rect& area) {
    FillDevicePixels(*m_client, m_grid.ToDevice(area), kDialogFace);
    for (const auto& control : m_controls) {
        PaintControl(*m_client, *control, area);
    }
    Rect video;
    if (m_preview.IsShown() && IntersectRect(&video, m_preview.Placement(), area)) {
        m_preview.PaintInto(*m_client, video);
    }
}

void DialogWindow::PaintControlNow(const Control& control) {
    Rect area;
    if (!IntersectRect(&area, control.WindowRect(), Rect{0, 0, ClientWidth(), ClientHeight()})) {
        return;
    }
    PaintControl(*m_client, control, area);
    Rect video;
    if (m_preview.IsShown() && IntersectRect(&video, m_preview.Placement(), area)) {
        m_preview.PaintInto(*m_client, video);
    }
    NotifyPixelsChanged(area);
}

void DialogWindow::PaintPreview() {
    m_preview.PaintInto(*m_client);
    Rect video;
    if (m_preview.IsShown() &&
        IntersectRect(&video, m_preview.Placement(), Rect{0, 0, ClientWidth(), ClientHeight()})) {
        NotifyPixelsChanged(video);
    }
}

DrawingSurface DialogWindow::GetDC() {
    return SurfaceAt(Point{0, 0});
}

DrawingSurface DialogWindow::SurfaceAt(Point origin) {
    return DrawingSurface(*m_client, origin, Rect{0, 0, ClientWidth(), ClientHeight()},
                          [this](const Rect& changed) { NotifyPixelsChanged(changed); });
}

void DialogWindow::SetTimer(int id, int periodMs) {
    m_armedTimers.insert(id);
    m_timers.Arm(id, periodMs, [this](int firedId) { m_handler.OnTimer(firedId); });
}

void DialogWindow::KillTimer(int id) {
    m_armedTimers.erase(id);
    m_timers.Disarm(id);
}

void DialogWindow::EnableScrollBar(bool enable) {
    if (m_scroll.enabled != enable) {
        m_scroll.enabled = enable;
        NotifyScrollBar();
    }
}

// The position always stays within the range, as the desktop's scroll bars keep it.
void DialogWindow::SetScrollRange(int minimum, int maximum, bool /*redraw*/) {
    const ScrollBarState before = m_scroll;
    m_scroll.minimum = minimum;
    m_scroll.maximum = maximum;
    m_scroll.position =
        std::clamp(m_scroll.position, std::min(minimum, maximum), std::max(minimum, maximum));
    if (before.minimum != minimum || before.maximum != maximum ||
        before.position != m_scroll.position) {
        NotifyScrollBar();
    }
}

void DialogWindow::SetScrollPos(int position, bool /*redraw*/) {
    const int clamped = std::clamp(position, std::min(m_scroll.minimum, m_scroll.maximum),
                                   std::max(m_scroll.minimum, m_scroll.maximum));
    if (clamped != m_scroll.position) {
        m_scroll.position = clamped;
        NotifyScrollBar();
    }
}

void DialogWindow::NotifyScrollBar() {
    if (m_scrollChanged) {
        m_scrollChanged(m_scroll);
    }
}

Color DialogWindow::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return Color{};
    }
    return DevicePixelAt(m_grid.X(x), m_grid.Y(y));
}

Color DialogWindow::DevicePixelAt(int x, int y) const {
    if (!m_client->valid(x, y)) {
        return Color{};
    }
    const QRgb pixel = m_client->pixel(x, y);
    return Rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

void DialogWindow::SetPixelsChangedListener(std::function<void(const Rect&)> listener) {
    m_pixelsChanged = std::move(listener);
}

void DialogWindow::SetInvalidatedListener(std::function<void()> listener) {
    m_invalidated = std::move(listener);
}

void DialogWindow::SetScrollBarListener(std::function<void(const ScrollBarState&)> listener) {
    m_scrollChanged = std::move(listener);
}

void DialogWindow::SetAnnouncementListener(std::function<void(const std::string&)> listener) {
    m_announced = std::move(listener);
}

void DialogWindow::Announce(const std::string& text) {
    if (m_announced) {
        m_announced(text);
    }
}

void DialogWindow::NotifyPixelsChanged(const Rect& rect) {
    if (m_pixelsChanged && !IsRectEmpty(rect)) {
        m_pixelsChanged(rect);
    }
}
