#include "artwork.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <vector>

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

// Fills rows [top, top + rows) inside the border with a ramp from `from` to `to`.
void FillGradient(QImage& image, int top, int rows, const QColor& from, const QColor& to) {
    for (int k = 0; k < rows; ++k) {
        const QRgb colour = Blend(from, to, k, rows).rgb();
        for (int x = 1; x < image.width() - 1; ++x) {
            image.setPixel(x, top + k, colour);
        }
    }
}

std::vector<QRgb> DistinctColours(const QImage& image) {
    std::vector<QRgb> colours;
    colours.reserve(static_cast<std::size_t>(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.push_back(image.pixel(x, y) | 0xff000000u);
        }
    }
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    return colours;
}

}  // namespace

QColor Blend(const QColor& from, const QColor& to, int k, int n) {
    return QColor(BlendChannel(from.red(), to.red(), k, n),
                  BlendChannel(from.green(), to.green(), k, n),
                  BlendChannel(from.blue(), to.blue(), k, n));
}

QImage FaceBackground(int width, int height, const FacePalette& palette) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(palette.border);
    constexpr int kUpperRows = 12;
    FillGradient(image, 1, kUpperRows, palette.upperTop, palette.upperBottom);
    FillGradient(image, 1 + kUpperRows, height - 2 - kUpperRows, palette.lowerTop,
                 palette.lowerBottom);
    return image;
}

QImage ToExactIndexed8(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const std::vector<QRgb> colours = DistinctColours(image);
    if (colours.size() > 256) {
        return {};
    }
    QImage indexed(image.size(), QImage::Format_Indexed8);
    indexed.setColorTable(QList<QRgb>(colours.begin(), colours.end()));
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = indexed.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const auto it =
                std::lower_bound(colours.begin(), colours.end(), image.pixel(x, y) | 0xff000000u);
            row[x] = static_cast<uchar>(it - colours.begin());
        }
    }
    return indexed;
}

bool SaveIndexedBmp(const QImage& image, const QString& path) {
    const QImage indexed = ToExactIndexed8(image);
    if (indexed.isNull()) {
        std::fprintf(stderr, "%s: more than 256 colours\n", qPrintable(path));
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!indexed.save(path, "BMP")) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace artwork
