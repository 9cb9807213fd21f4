// Writes the skin artwork under an output folder:
//   bitmaps/<id>.bmp                     the skin and the button faces (8-bit indexed BMP)
//   icons/128.png                        the window icon built into the program
//   icons/hicolor/<n>x<n>/apps/<name>.png the desktop icon at each installed size
// and, with --contact-sheet FILE, a PNG showing every face enlarged, for checking by eye.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "indexed_bmp.h"
#include "linux/artwork/app_icon.h"
#include "linux/artwork/button_faces.h"
#include "linux/artwork/skin.h"
#include "linux/artwork/skin_bitmaps.h"

namespace {

constexpr int kThemeIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr const char* kThemeIconName = "lumisight-webcam";

// The committed bitmaps are the artwork at scale 1.
QImage DrawAtScaleOne(int id) {
    return artwork::DrawSkinBitmap(id, DeviceGrid());
}

bool SavePng(const QImage& image, const QString& path) {
    QDir().mkpath(path.section('/', 0, -2));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(path));
        return false;
    }
    return true;
}

bool WriteBitmaps(const QDir& out) {
    for (const int id : artwork::SkinBitmapIds()) {
        const QString path = out.filePath(QStringLiteral("bitmaps/%1.bmp").arg(id));
        if (!SaveIndexedBmp(DrawAtScaleOne(id), path)) {
            return false;
        }
    }
    return true;
}

bool WriteIcons(const QDir& out) {
    if (!SavePng(artwork::AppIcon(artwork::kWindowIconSize), out.filePath("icons/128.png"))) {
        return false;
    }
    for (const int size : kThemeIconSizes) {
        const QString path = out.filePath(
            QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kThemeIconName));
        if (!SavePng(artwork::AppIcon(size), path)) {
            return false;
        }
    }
    return true;
}

// The window as it looks at start (skin, faces at their places, one selected frame), then every
// face at four times its size, normal and hover side by side, then the theme icons.
QImage ContactSheet() {
    constexpr int kZoom = 4;
    constexpr int kMargin = 12;
    constexpr int kColumnWidth = artwork::kResolutionFaceWidth * kZoom + kMargin;
    const int facesX = artwork::kSkinWidth + 2 * kMargin;
    QImage sheet(facesX + 2 * kColumnWidth, 1060, QImage::Format_RGB32);
    sheet.fill(QColor(210, 210, 210));
    QPainter painter(&sheet);
    std::map<int, QImage> faces;
    for (const int id : artwork::SkinBitmapIds()) {
        faces[id] = DrawAtScaleOne(id);
    }
    painter.drawImage(kMargin, kMargin, faces[129]);
    const int buttonX[] = {0, 47, 93, 185};
    const int buttonFace[] = {130, 154, 135, 136};
    for (int b = 0; b < 4; ++b) {
        painter.drawImage(kMargin + buttonX[b], kMargin + 483, faces[buttonFace[b]]);
    }
    painter.drawImage(kMargin + 8 + 106, kMargin + 519, faces[172]);
    const int pairs[][2] = {{130, 131}, {132, 133}, {134, 135}, {136, 137}, {154, 172}};
    int y = kMargin;
    for (const auto& pair : pairs) {
        int rowHeight = 0;
        for (int k = 0; k < 2; ++k) {
            const QImage& face = faces[pair[k]];
            painter.drawImage(
                QRect(facesX + k * kColumnWidth, y, face.width() * kZoom, face.height() * kZoom),
                face);
            rowHeight = std::max(rowHeight, face.height() * kZoom);
        }
        y += rowHeight + kMargin;
    }
    int iconX = kMargin;
    for (const int size : kThemeIconSizes) {
        painter.drawImage(iconX, artwork::kSkinHeight + 3 * kMargin, artwork::AppIcon(size));
        iconX += size + kMargin;
    }
    // The button band and the top of the strip panel at twice their size.
    const QRect band(0, 479, artwork::kSkinWidth, 60);
    painter.drawImage(QRect(kMargin, 920, band.width() * 2, band.height() * 2),
                      sheet.copy(band.translated(kMargin, kMargin)));
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    // Only raster painting into images is used: no display and no application object needed.
    const bool withSheet = argc == 4 && std::string_view(argv[2]) == "--contact-sheet";
    if (argc != 2 && !withSheet) {
        std::fprintf(stderr, "usage: skin_artwork OUTPUT_DIR [--contact-sheet FILE.png]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!WriteBitmaps(out) || !WriteIcons(out)) {
        return 1;
    }
    if (withSheet && !SavePng(ContactSheet(), QString::fromLocal8Bit(argv[3]))) {
        return 1;
    }
    return 0;
}
