#include "linux/artwork/button_faces.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>

namespace artwork {
namespace {

// The waste bin is drawn twice, in full colour and greyed out, from the same shapes.
struct BinColours {
    QColor metalEdge, metalCentre, rib, lid;
};

QImage Face(int width, const FacePalette& palette, const DeviceGrid& grid) {
    return FaceBackground(width, kFaceHeight, palette, grid);
}

void BeginIcon(QPainter& painter, const DeviceGrid& grid) {
    MapLogicalOntoGrid(painter, grid);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
}

void DrawCameraBody(QPainter& painter) {
    QLinearGradient body(0, 8, 0, 25);
    body.setColorAt(0, kNormalBorder);
    body.setColorAt(1, kDarkTeal);
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(15, 7, 9, 4), 1.5, 1.5);  // viewfinder hump
    painter.drawRoundedRect(QRectF(8, 9.5, 24, 15), 2.5, 2.5);
    painter.setBrush(kSelectionCyan);
    painter.drawRect(QRectF(26, 11.5, 3, 2));  // flash window
}

// A white lens ring around blue glass, as on the application icon.
void DrawCameraLens(QPainter& painter) {
    const QPointF centre(20, 17);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 6.2, 6.2);
    QRadialGradient glass(centre - QPointF(1.5, 1.5), 5);
    glass.setColorAt(0, kDividerBlue);
    glass.setColorAt(1, kTriangleNavy);
    painter.setBrush(glass);
    painter.drawEllipse(centre, 4.2, 4.2);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre - QPointF(1.5, 1.5), 1.1, 1.1);
}

void DrawBin(QPainter& painter, const BinColours& colours) {
    QLinearGradient metal(13, 0, 27, 0);
    metal.setColorAt(0, colours.metalEdge);
    metal.setColorAt(0.45, colours.metalCentre);
    metal.setColorAt(1, colours.metalEdge);
    painter.setBrush(metal);
    painter.drawPolygon(QPolygonF({{13, 11}, {27, 11}, {25.5, 25}, {14.5, 25}}));
    painter.setPen(QPen(colours.rib, 1));
    for (const double x : {17.0, 20.0, 23.0}) {
        painter.drawLine(QPointF(x, 13.5), QPointF(x, 22.5));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.lid);
    painter.drawRoundedRect(QRectF(11, 8, 18, 3), 1, 1);  // lid
    painter.drawRect(QRectF(14.5, 23.5, 11, 1.5));        // foot rim
    painter.setPen(QPen(colours.lid, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(17, 5.5, 6, 3), 1, 1);  // handle
}

QPainterPath CogwheelPath(QPointF centre) {
    QPainterPath wheel;
    wheel.addEllipse(centre, 8, 8);
    QPainterPath tooth;
    tooth.addRoundedRect(QRectF(-2, -11, 4, 6), 0.8, 0.8);
    for (int k = 0; k < 8; ++k) {
        const QTransform place = QTransform().translate(centre.x(), centre.y()).rotate(45.0 * k);
        wheel = wheel.united(place.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 3.2, 3.2);
    return wheel.subtracted(hole);
}

// Rows 12 to 15 of a resolution face: the menu's downward triangle, 7, 5, 3 and 1 pixels wide
// centred on column 77. A device pixel is inked when its centre lies in the triangle whose top
// edge spans columns 74 to 80 and whose tip is the middle of column 77's bottom edge, which at
// scale 1 gives exactly those rows.
void DrawMenuTriangle(QImage& image, const DeviceGrid& grid) {
    constexpr double kLeft = 74;
    constexpr double kWidth = 7;
    constexpr double kTop = 12;
    constexpr double kHeight = 4;
    const Rect box = grid.ToDevice(Rect{74, 12, 81, 16});
    const double centre = kLeft + kWidth / 2;
    for (int py = box.top; py < box.bottom; ++py) {
        const double v = kTop + (py + 0.5 - box.top) * kHeight / box.Height();
        const double halfWidth = kWidth / 2 * (kTop + kHeight - v) / kHeight;
        for (int px = box.left; px < box.right; ++px) {
            const double u = kLeft + (px + 0.5 - box.left) * kWidth / box.Width();
            if (std::abs(u - centre) <= halfWidth) {
                image.setPixel(px, py, kTriangleNavy.rgb());
            }
        }
    }
}

// Two one-pixel lines side by side from column 70, inside the top and bottom borders.
void DrawDivider(QImage& image, const DeviceGrid& grid) {
    const int pen = grid.PenWidth();
    const int left = grid.X(70);
    const int top = pen;
    const int bottom = image.height() - pen;
    FillDevice(image, Rect{left, top, left + pen, bottom}, kDarkTeal);
    FillDevice(image, Rect{left + pen, top, left + 2 * pen, bottom}, kDividerBlue);
}

}  // namespace

QImage TakePictureFace(const FacePalette& palette, const DeviceGrid& grid) {
    QImage image = Face(kFaceWidth, palette, grid);
    QPainter painter(&image);
    BeginIcon(painter, grid);
    DrawCameraBody(painter);
    DrawCameraLens(painter);
    return image;
}

QImage DeleteFace(const FacePalette& palette, const DeviceGrid& grid) {
    QImage image = Face(kFaceWidth, palette, grid);
    QPainter painter(&image);
    BeginIcon(painter, grid);
    DrawBin(painter,
            {QColor(118, 128, 136), QColor(226, 231, 234), QColor(96, 106, 114), kDarkTeal});
    return image;
}

QImage DisabledDeleteFace(const DeviceGrid& grid) {
    QImage image = Face(kFaceWidth, NormalFace(), grid);
    QPainter painter(&image);
    BeginIcon(painter, grid);
    DrawBin(painter, {QColor(176, 184, 190), QColor(232, 236, 238), QColor(168, 176, 182),
                      QColor(146, 166, 176)});
    return image;
}

QImage ResolutionFace(const FacePalette& palette, const DeviceGrid& grid) {
    QImage image = Face(kResolutionFaceWidth, palette, grid);
    DrawDivider(image, grid);
    DrawMenuTriangle(image, grid);
    return image;
}

QImage PropertiesFace(const FacePalette& palette, const DeviceGrid& grid) {
    QImage image = Face(kFaceWidth, palette, grid);
    QPainter painter(&image);
    BeginIcon(painter, grid);
    const QPointF centre(20, 15);
    QRadialGradient metal(centre - QPointF(3, 3), 13);
    metal.setColorAt(0, QColor(252, 252, 252));
    metal.setColorAt(1, QColor(196, 202, 208));
    painter.setBrush(metal);
    painter.setPen(QPen(QColor(92, 106, 118), 1));
    painter.drawPath(CogwheelPath(centre));
    return image;
}

QImage SelectedThumbnailFrame(const DeviceGrid& grid) {
    QImage image = DevicePicture(90, 70, grid);
    image.fill(kSelectionCyan);
    FillLogical(image, grid, Rect{5, 5, 85, 65}, Qt::white);
    return image;
}

}  // namespace artwork
