#pragma once

// How each kind of control looks, painted into the window's client image by the window's
// repaint: a bitmap unscaled from the control's top-left corner over the dialog face (with the
// keyboard focus ring over it while the control shows one), a 1-pixel black outline, or the
// text on the dialog face.

class Control;
class QImage;
struct Rect;

// Paints the control's own look into the client image, limited to clip (client coordinates). A
// hidden control paints nothing.
void PaintControl(QImage& client, const Control& control, const Rect& clip);
