#include "linux/artwork/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "linux/artwork/artwork.h"

namespace artwork {
namespace {

// All shapes are laid out on a 64-unit square; the painter scales them to the size asked for.
constexpr double kDesignSize = 64.0;

void DrawBody(QPainter& painter) {
    QLinearGradient shade(0, 14, 0, 56);
    shade.setColorAt(0, QColor(62, 128, 158));
    shade.setColorAt(1, kDarkTeal);
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(22, 10, 20, 10), 3, 3);  // viewfinder hump
    painter.drawRoundedRect(QRectF(4, 16, 56, 40), 7, 7);
    painter.setBrush(kSelectionCyan);
    painter.drawRoundedRect(QRectF(47, 21, 8, 5), 1.5, 1.5);  // flash window
}

void DrawLens(QPainter& painter) {
    const QPointF centre(32, 36);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 16, 16);
    painter.setBrush(kNormalBorder);
    painter.drawEllipse(centre, 12.5, 12.5);
    QRadialGradient glass(centre - QPointF(4, 4), 14);
    glass.setColorAt(0, kDividerBlue);
    glass.setColorAt(1, kTriangleNavy);
    painter.setBrush(glass);
    painter.drawEllipse(centre, 10.5, 10.5);
    painter.setBrush(QColor(255, 255, 255, 210));
    painter.drawEllipse(centre + QPointF(-4, -4), 3, 3);
}

}  // namespace

QImage AppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.scale(size / kDesignSize, size / kDesignSize);
    DrawBody(painter);
    DrawLens(painter);
    return image;
}

}  // namespace artwork
