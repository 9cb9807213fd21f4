#pragma once

// The window's retained child controls: static pictures, black frames and the text control.
// Each has an id, a rectangle in client pixels, a visibility and its content; changing what a
// visible control shows repaints it through its window.

#include <string>

#include "platform/gdi.h"
#include "platform/geometry.h"

class Control;
class QImage;

enum class ControlKind {
    Bitmap,      // shows a bitmap unscaled from its top-left corner
    BlackFrame,  // a 1-pixel black outline
    Text,        // a text control (hidden in this window)
};

// What a control needs of the window it lives in (the window layer's DialogWindow).
class ControlOwner {
public:
    // Marks an area of the client image (client coordinates) for the window's next repaint.
    virtual void InvalidateArea(const Rect& area) = 0;
    // Paints the control into the client image at once, with whatever shows above it.
    virtual void PaintControlNow(const Control& control) = 0;
    // A surface over the whole client image with its origin at the point (client coordinates).
    virtual DrawingSurface SurfaceAt(Point origin) = 0;

protected:
    ~ControlOwner() = default;
};

// A retained child control. Its rectangle is in client pixels.
class Control {
public:
    Control(ControlOwner& owner, int id, ControlKind kind, Rect rect, bool visible);

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
    ControlOwner& m_owner;
    int m_id;
    ControlKind m_kind;
    Rect m_rect;
    bool m_visible;
    const Bitmap* m_image = nullptr;
    std::string m_text;
};
