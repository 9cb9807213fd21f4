#include "platform/control.h"

Control::Control(const ControlOwner& owner, int id, ControlKind kind, Rect rect, bool visible)
    : m_owner(owner), m_id(id), m_kind(kind), m_rect(rect), m_visible(visible) {}

void Control::Move(int x, int y) {
    MoveAndSize(x, y, m_rect.Width(), m_rect.Height());
}

void Control::MoveAndSize(int x, int y, int width, int height) {
    const Rect before = m_rect;
    m_rect = Rect{x, y, x + width, y + height};
    if (m_visible && before != m_rect) {
        m_owner.invalidate(before);
        m_owner.invalidate(m_rect);
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
        m_owner.paintNow(*this);
    } else {
        m_owner.invalidate(m_rect);
    }
}

void Control::SetImage(const Bitmap* bitmap) {
    m_image = bitmap;
    if (m_visible) {
        m_owner.paintNow(*this);
    }
}

void Control::SetText(const std::string& text) {
    m_text = text;
    if (m_visible && m_kind == ControlKind::Text) {
        m_owner.paintNow(*this);
    }
}

void Control::SetFocusRing(bool shown) {
    if (shown == m_focusRing) {
        return;
    }
    m_focusRing = shown;
    if (m_visible) {
        m_owner.paintNow(*this);
    }
}

DrawingSurface Control::GetDC() {
    return m_owner.surfaceAt(Point{m_rect.left, m_rect.top});
}
