#include "indexed_bmp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

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

namespace {

std::uint32_t ReadLittleEndian(const QByteArray& bytes, int offset, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    }
    return value;
}

// Qt's BMP writer leaves the bytes that pad each row to four bytes as it found them in its
// buffer, so the same picture could give different files. Clears them in the written file.
bool ClearRowPadding(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    QByteArray bytes = file.readAll();
    if (bytes.size() < 54) {
        return false;
    }
    const auto pixels = static_cast<int>(ReadLittleEndian(bytes, 10, 4));
    const auto width = static_cast<int>(ReadLittleEndian(bytes, 18, 4));
    const int height = std::abs(static_cast<std::int32_t>(ReadLittleEndian(bytes, 22, 4)));
    const auto bits = static_cast<int>(ReadLittleEndian(bytes, 28, 2));
    const int used = (width * bits + 7) / 8;
    const int stride = (width * bits + 31) / 32 * 4;
    if (pixels + static_cast<qsizetype>(stride) * height > bytes.size()) {
        return false;
    }
    for (int row = 0; row < height; ++row) {
        for (int x = used; x < stride; ++x) {
            bytes[pixels + row * stride + x] = 0;
        }
    }
    return file.seek(0) && file.write(bytes) == bytes.size();
}

}  // namespace

bool SaveIndexedBmp(const QImage& image, const QString& path) {
    const QImage indexed = ToExactIndexed8(image);
    if (indexed.isNull()) {
        std::fprintf(stderr, "%s: more than 256 colours\n", qPrintable(path));
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!indexed.save(path, "BMP") || !ClearRowPadding(path)) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(path));
        return false;
    }
    return true;
}
