#pragma once

// The window's retained child controls: static pictures, black frames and the text control.
// Each has an id, a rectangle in client pixels, a visibility and its content; changing what a
// visible control shows repaints it through its window, which also knows how each kind looks.

#include <functional>
#include <string>

#include "platform/gdi.h"
#include "platform/geometry.h"

class Control;

enum class ControlKind {
    Bitmap,      // shows a bitmap unscaled from its top-left corner
    BlackFrame,  // a 1-pixel black outline
    Text,        // a text control (hidden in this window)
};

// What a control needs of the window it lives in, handed over by the window that makes it and
// outliving the control.
struct ControlOwner {
    // Marks an area of the client image (client coordinates) for the window's next repaint.
    std::function<void(const Rect& area)> invalidate;
    // Paints the control into the client image at once, with whatever shows above it.
    std::function<void(const Control& control)> paintNow;
    // A surface over the whole client image with its origin at the point (client coordinates).
    std::function<DrawingSurface(Point origin)> surfaceAt;
};

// A retained child control. Its rectangle is in client pixels.
class Control {
public:
    Control(const ControlOwner& owner, int id, ControlKind kind, Rect rect, bool visible);

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
    // Shows or hides the keyboard focus ring, a dotted outline inside the control drawn over its
    // content with every repaint; repaints the control at once when it changes.
    void SetFocusRing(bool shown);
    bool HasFocusRing() const { return m_focusRing; }
    // A surface with its origin at the control's top-left corner; it may draw anywhere in the
    // window's client area.
    DrawingSurface GetDC();

private:
    const ControlOwner& m_owner;
    int m_id;
    ControlKind m_kind;
    Rect m_rect;
    bool m_visible;
    const Bitmap* m_image = nullptr;
    std::string m_text;
    bool m_focusRing = false;
};
