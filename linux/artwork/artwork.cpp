#include "linux/artwork/artwork.h"

#include <algorithm>

namespace artwork {

const FacePalette& NormalFace() {
    static const FacePalette palette{kNormalBorder, QColor(169, 191, 211), QColor(192, 211, 224),
                                     QColor(100, 147, 179), QColor(199, 233, 237)};
    return palette;
}

const FacePalette& HoverFace() {
    static const FacePalette palette{kSelectionCyan, QColor(166, 202, 220), QColor(183, 220, 233),
                                     QColor(55, 160, 196), QColor(131, 240, 253)};
    return palette;
}

namespace {

int BlendChannel(int from, int to, int k, int n) {
    if (n <= 1) {
        return from;
    }
    const int span = n - 1;
    return (from * (span - k) + to * k + span / 2) / span;
}

// Fills device rows [top, bottom) between the columns with a ramp from `from` to `to`: one step
// per device row, so a finer screen shows a finer gradient with the same end colours.
void FillGradient(QImage& image, int top, int bottom, int left, int right, const QColor& from,
                  const QColor& to) {
    const int rows = bottom - top;
    for (int k = 0; k < rows; ++k) {
        FillDevice(image, Rect{left, top + k, right, top + k + 1}, Blend(from, to, k, rows));
    }
}

}  // namespace

QColor Blend(const QColor& from, const QColor& to, int k, int n) {
    return QColor(BlendChannel(from.red(), to.red(), k, n),
                  BlendChannel(from.green(), to.green(), k, n),
                  BlendChannel(from.blue(), to.blue(), k, n));
}

QImage DevicePicture(int width, int height, const DeviceGrid& grid) {
    return QImage(std::max(grid.X(width), 0), std::max(grid.Y(height), 0), QImage::Format_RGB32);
}

void FillDevice(QImage& image, const Rect& device, const QColor& colour) {
    const int left = std::max(device.left, 0);
    const int right = std::min(device.right, image.width());
    const QRgb value = colour.rgb();
    for (int y = std::max(device.top, 0); y < std::min(device.bottom, image.height()); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row + std::min(left, right), row + right, value);
    }
}

void FillLogical(QImage& image, const DeviceGrid& grid, const Rect& logical, const QColor& colour) {
    FillDevice(image, grid.ToDevice(logical), colour);
}

void MapLogicalOntoGrid(QPainter& painter, const DeviceGrid& grid) {
    if (grid.IsIdentity()) {
        return;
    }
    painter.translate(grid.SubpixelX(), grid.SubpixelY());
    painter.scale(grid.Scale(), grid.Scale());
}

QImage FaceBackground(int width, int height, const FacePalette& palette, const DeviceGrid& grid) {
    QImage image = DevicePicture(width, height, grid);
    image.fill(palette.border);
    // The border is one line thick inside the face; the upper gradient ends where logical row
    // 13 begins, the lower one at the bottom border.
    constexpr int kLowerTopRow = 13;
    const int pen = grid.PenWidth();
    const int left = pen;
    const int right = image.width() - pen;
    const int middle = grid.Y(kLowerTopRow);
    FillGradient(image, pen, middle, left, right, palette.upperTop, palette.upperBottom);
    FillGradient(image, middle, image.height() - pen, left, right, palette.lowerTop,
                 palette.lowerBottom);
    return image;
}

}  // namespace artwork
