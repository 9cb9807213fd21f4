#pragma once

// Where the window's logical pixels land on the screen's device pixels at a display scale.
//
// The window logic works in logical client pixels whatever the screen's scale; the window layer
// draws at the screen's device pixel ratio. One mapping serves drawing and hit-testing alike:
// the edge at logical coordinate v lies on the device edge floor(v * scale + 0.5), so logical
// pixel x covers the device pixels from that edge of x up to that of x + 1, neighbouring
// rectangles tile without gaps or overlaps, and a click on a device pixel hits the logical pixel
// drawn there. A grid may be anchored at a logical origin (an off-screen image that will be
// shown at that place): its own coordinate a then maps as the window's origin + a does, less
// the origin's device edge, so that what it holds lines up pixel for pixel where it is shown.

#include "platform/geometry.h"

class DeviceGrid {
public:
    DeviceGrid() = default;  // scale 1: device pixels are logical pixels
    explicit DeviceGrid(double scale, Point origin = {});

    double Scale() const { return m_scale; }
    Point Origin() const { return m_origin; }
    bool IsIdentity() const { return m_scale == 1.0; }

    // The device edge of a logical edge, relative to the grid's origin.
    int X(int logical) const { return Edge(m_origin.x + logical) - m_originDevice.x; }
    int Y(int logical) const { return Edge(m_origin.y + logical) - m_originDevice.y; }
    Rect ToDevice(const Rect& logical) const;
    // The logical pixel that holds a device pixel.
    int LogicalX(int device) const { return Logical(device + m_originDevice.x) - m_origin.x; }
    int LogicalY(int device) const { return Logical(device + m_originDevice.y) - m_origin.y; }
    // The smallest logical rectangle whose device area holds the device rectangle.
    Rect ToLogicalOutward(const Rect& device) const;
    // The logical pixel under a pointer position given in logical units, possibly fractional
    // (the toolkit's own coordinates): the logical pixel drawn in the device pixel under it.
    Point PixelAt(double x, double y) const;

    // How many device pixels thick a one-pixel line or outline is: the scale rounded, at least 1.
    int PenWidth() const { return m_penWidth; }
    // Where the continuous picture of the grid lies: logical coordinate u (not only whole
    // pixels) is at device coordinate u * Scale() + SubpixelX(). Artwork drawn with this
    // transform has its whole-pixel edges within half a device pixel of the grid's edges.
    double SubpixelX() const { return m_origin.x * m_scale - m_originDevice.x; }
    double SubpixelY() const { return m_origin.y * m_scale - m_originDevice.y; }

    // The grid of an image whose top-left corner lies at `offset` in this grid.
    DeviceGrid At(Point offset) const {
        return DeviceGrid(m_scale, Point{m_origin.x + offset.x, m_origin.y + offset.y});
    }
    // True when the two grids map every logical offset to the same device offset.
    bool SameMapping(const DeviceGrid& other) const;

private:
    int Edge(int logical) const;
    int Logical(int device) const;

    double m_scale = 1.0;
    Point m_origin;
    Point m_originDevice;
    int m_penWidth = 1;
};
