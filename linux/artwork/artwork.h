#pragma once

// Shared pieces of the skin's artwork: its colour vocabulary, the vertical glass gradients every
// button face is built on, and drawing on a device grid. Every picture is drawn for a grid (the
// display scale and where the picture is shown), so that it is drawn at the screen's own
// resolution rather than scaled from another size; at scale 1 it is the committed bitmap.
//
// The grid's rules: an area of whole logical pixels covers the device pixels between its mapped
// edges; a one-pixel line or border is the grid's pen width thick and starts on the mapped edge
// (a border lies inside the area it outlines); shapes are drawn with a painter that maps the
// logical design onto the device pixels.

#include <QColor>
#include <QImage>
#include <QPainter>

#include "platform/device_grid.h"
#include "platform/geometry.h"

namespace artwork {

// Colours fixed by the window's look; every piece of art is drawn from these.
inline const QColor kNormalBorder{52, 102, 127};
inline const QColor kSelectionCyan{0, 203, 233};  // hover border and selected thumbnail frame
inline const QColor kDarkTeal{0, 88, 110};
inline const QColor kDividerBlue{49, 180, 246};
inline const QColor kTriangleNavy{0, 21, 91};
inline const QColor kLogoBlue{6, 71, 105};
inline const QColor kSkinGrey{99, 99, 99};

// The two end colours of each of the face's gradients.
struct FacePalette {
    QColor border;
    QColor upperTop, upperBottom;  // rows 1 to 12
    QColor lowerTop, lowerBottom;  // rows 13 to 28
};
const FacePalette& NormalFace();
const FacePalette& HoverFace();

// Colour k of an n-step ramp (k = 0 .. n-1) from `from` to `to`, both ends exact.
QColor Blend(const QColor& from, const QColor& to, int k, int n);

// A picture of width x height logical pixels on the grid, in device pixels, unfilled.
QImage DevicePicture(int width, int height, const DeviceGrid& grid);
// Fills the device pixels of a rectangle of logical pixels.
void FillLogical(QImage& image, const DeviceGrid& grid, const Rect& logical, const QColor& colour);
// Fills a rectangle of device pixels, clipped to the image.
void FillDevice(QImage& image, const Rect& device, const QColor& colour);
// Sets the painter up to draw the logical design onto the grid's device pixels.
void MapLogicalOntoGrid(QPainter& painter, const DeviceGrid& grid);

// A w x h face: the border and the two gradients, ready for an icon to be drawn on.
QImage FaceBackground(int width, int height, const FacePalette& palette, const DeviceGrid& grid);

}  // namespace artwork
