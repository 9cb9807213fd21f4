#include "linux/window/control_painting.h"

#include "platform/control.h"

namespace {

// The dialog face colour shows where a control's picture does not cover its rectangle.
constexpr Color kDialogFace = Rgb(212, 208, 200);
// The focus ring lies inside a button face's border and the first row of its glass.
constexpr int kFocusRingInset = 2;

}  // namespace

void PaintControl(QImage& client, const Control& control, const Rect& clip) {
    const Rect rect = control.WindowRect();
    Rect area;
    if (!control.IsVisible() || !IntersectRect(&area, rect, clip)) {
        return;
    }
    DrawingSurface surface(client, Point{rect.left, rect.top}, area);
    const Bitmap* image = control.Image();
    switch (control.Kind()) {
        case ControlKind::Bitmap:
            if (image == nullptr || image->Width() < rect.Width() ||
                image->Height() < rect.Height()) {
                surface.SelectBrush(kDialogFace);
                surface.Rectangle(control.ClientRect());
            }
            if (image != nullptr) {
                surface.DrawBitmap(*image, 0, 0);
            }
            if (control.HasFocusRing()) {
                Rect ring = control.ClientRect();
                InflateRect(&ring, -kFocusRingInset, -kFocusRingInset);
                surface.DrawFocusRect(ring);
            }
            break;
        case ControlKind::BlackFrame:
            surface.SelectPen(Rgb(0, 0, 0));
            surface.Rectangle(control.ClientRect());
            break;
        case ControlKind::Text:
            surface.SelectBrush(kDialogFace);
            surface.Rectangle(control.ClientRect());
            surface.SetBkMode(TRANSPARENT);
            surface.TextOut(0, 0, control.Text());
            break;
    }
}
