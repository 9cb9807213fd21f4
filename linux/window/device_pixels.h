#pragma once

// Small helpers for the window layer's images of device pixels. Every such image is
// QImage::Format_RGB32 and carries its grid's scale as its device pixel ratio, so that a painter
// on it draws logical coordinates at the device resolution.

#include <QImage>
#include <algorithm>

#include "platform/device_grid.h"
#include "platform/geometry.h"

inline QRgb* Row(QImage& image, int y) {
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}
inline const QRgb* Row(const QImage& image, int y) {
    return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

inline Rect DeviceBounds(const QImage& image) {
    return Rect{0, 0, image.width(), image.height()};
}

inline Rect Overlap(const Rect& a, const Rect& b) {
    Rect result;
    IntersectRect(&result, a, b);
    return result;
}

inline Rect Offset(const Rect& rect, int dx, int dy) {
    return Rect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

// Fills a rectangle of device pixels, clipped to the image.
inline void FillDevicePixels(QImage& image, const Rect& device, QRgb value) {
    const Rect area = Overlap(device, DeviceBounds(image));
    for (int y = area.top; y < area.bottom; ++y) {
        std::fill_n(Row(image, y) + area.left, area.Width(), value);
    }
}

// An image of width x height logical pixels on the grid.
inline QImage DeviceImage(int width, int height, const DeviceGrid& grid) {
    QImage image(std::max(grid.X(width), 0), std::max(grid.Y(height), 0), QImage::Format_RGB32);
    image.setDevicePixelRatio(grid.Scale());
    return image;
}
