#include "platform/control.h"

#include <QImage>

namespace {

// The dialog face colour shows where a control's picture does not cover its rectangle.
constexpr Color kDialogFace = Rgb(212, 208, 200);

Rect ClientBounds(const QImage& client) {
    return Rect{0, 0, client.width(), client.height()};
}

}  // namespace

Control::Control(ControlOwner& owner, int id, ControlKind kind, Rect rect, bool visible)
    : m_owner(owner), m_id(id), m_kind(kind), m_rect(rect), m_visible(visible) {}

void Control::Move(int x, int y) {
    MoveAndSize(x, y, m_rect.Width(), m_rect.Height());
}

void Control::MoveAndSize(int x, int y, int width, int height) {
    const Rect before = m_rect;
    m_rect = Rect{x, y, x + width, y + height};
    if (m_visible && before != m_rect) {
        m_owner.InvalidateArea(before);
        m_owner.InvalidateArea(m_rect);
    }
}

void Control::Show(bool visible) {
    if (visible == m_visible) {
        return;
    }
    m_visible = visible;
    // A control that appears paints itself at once; one that goes away leaves its area to
    // the window's next repaint, which also tells the dialog.
    if (visible) {
        m_owner.PaintControlNow(*this);
    } else {
        m_owner.InvalidateArea(m_rect);
    }
}

void Control::SetImage(const Bitmap* bitmap) {
    m_image = bitmap;
    if (m_visible) {
        m_owner.PaintControlNow(*this);
    }
}

void Control::SetText(const std::string& text) {
    m_text = text;
    if (m_visible && m_kind == ControlKind::Text) {
        m_owner.PaintControlNow(*this);
    }
}

DrawingSurface Control::GetDC() {
    return m_owner.SurfaceAt(Point{m_rect.left, m_rect.top});
}

void Control::PaintInto(QImage& client) const {
    PaintInto(client, ClientBounds(client));
}

void Control::PaintInto(QImage& client, const Rect& clip) const {
    Rect area;
    if (!m_visible || !IntersectRect(&area, m_rect, clip)) {
        return;
    }
    DrawingSurface surface(client, Point{m_rect.left, m_rect.top}, area);
    switch (m_kind) {
        case ControlKind::Bitmap:
            if (m_image == nullptr || m_image->Width() < m_rect.Width() ||
                m_image->Height() < m_rect.Height()) {
                surface.SelectBrush(kDialogFace);
                surface.Rectangle(ClientRect());
            }
            if (m_image != nullptr) {
                surface.DrawBitmap(*m_image, 0, 0);
            }
            break;
        case ControlKind::BlackFrame:
            surface.SelectPen(Rgb(0, 0, 0));
            surface.Rectangle(ClientRect());
            break;
        case ControlKind::Text:
            surface.SelectBrush(kDialogFace);
            surface.Rectangle(ClientRect());
            surface.SetBkMode(TRANSPARENT);
            surface.TextOut(0, 0, m_text);
            break;
    }
}
