#include "button_faces.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

namespace artwork {
namespace {

// The waste bin is drawn twice, in full colour and greyed out, from the same shapes.
struct BinColours {
    QColor metalEdge, metalCentre, rib, lid;
};

QImage Face(int width, const FacePalette& palette) {
    return FaceBackground(width, kFaceHeight, palette);
}

void BeginIcon(QPainter& painter) {
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

// Rows 12 to 15 of a resolution face: the menu's downward triangle, 7, 5, 3 and 1 pixels wide.
void DrawMenuTriangle(QImage& image) {
    constexpr int kCentreX = 77;
    for (int row = 0; row < 4; ++row) {
        const int half = 3 - row;
        for (int x = kCentreX - half; x <= kCentreX + half; ++x) {
            image.setPixel(x, 12 + row, kTriangleNavy.rgb());
        }
    }
}

void DrawDivider(QImage& image) {
    for (int y = 1; y < image.height() - 1; ++y) {
        image.setPixel(70, y, kDarkTeal.rgb());
        image.setPixel(71, y, kDividerBlue.rgb());
    }
}

}  // namespace

QImage TakePictureFace(const FacePalette& palette) {
    QImage image = Face(kFaceWidth, palette);
    QPainter painter(&image);
    BeginIcon(painter);
    DrawCameraBody(painter);
    DrawCameraLens(painter);
    return image;
}

QImage DeleteFace(const FacePalette& palette) {
    QImage image = Face(kFaceWidth, palette);
    QPainter painter(&image);
    BeginIcon(painter);
    DrawBin(painter,
            {QColor(118, 128, 136), QColor(226, 231, 234), QColor(96, 106, 114), kDarkTeal});
    return image;
}

QImage DisabledDeleteFace() {
    QImage image = Face(kFaceWidth, NormalFace());
    QPainter painter(&image);
    BeginIcon(painter);
    DrawBin(painter, {QColor(176, 184, 190), QColor(232, 236, 238), QColor(168, 176, 182),
                      QColor(146, 166, 176)});
    return image;
}

QImage ResolutionFace(const FacePalette& palette) {
    QImage image = Face(kResolutionFaceWidth, palette);
    DrawDivider(image);
    DrawMenuTriangle(image);
    return image;
}

QImage PropertiesFace(const FacePalette& palette) {
    QImage image = Face(kFaceWidth, palette);
    QPainter painter(&image);
    BeginIcon(painter);
    const QPointF centre(20, 15);
    QRadialGradient metal(centre - QPointF(3, 3), 13);
    metal.setColorAt(0, QColor(252, 252, 252));
    metal.setColorAt(1, QColor(196, 202, 208));
    painter.setBrush(metal);
    painter.setPen(QPen(QColor(92, 106, 118), 1));
    painter.drawPath(CogwheelPath(centre));
    return image;
}

QImage SelectedThumbnailFrame() {
    QImage image(90, 70, QImage::Format_RGB32);
    image.fill(kSelectionCyan);
    QPainter painter(&image);
    painter.fillRect(QRect(5, 5, 80, 60), Qt::white);
    return image;
}

}  // namespace artwork
