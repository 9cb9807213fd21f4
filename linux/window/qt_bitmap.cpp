// Bitmaps: off-screen images on a device grid, and the skin's resources. A resource is the
// committed bitmap at scale 1; shown at any other scale it is drawn anew there by the skin's
// artwork, so that the faces are as sharp as the screen, never a scaled copy of the small one.
#include "platform/gdi.h"

#include <QImage>
#include <QPainter>
#include <deque>
#include <optional>

#include "linux/artwork/app_icon.h"
#include "linux/artwork/skin_bitmaps.h"
#include "linux/window/device_pixels.h"

namespace {

// A resource shown at one place keeps one drawing per scale it has been shown at; a window
// moved between two screens needs two. More places or scales draw again now and then.
constexpr std::size_t kKeptDrawings = 4;

}  // namespace

struct Bitmap::Source {
    int id = 0;
    std::optional<Color> iconBackground;  // the window icon, flattened onto this colour

    struct Drawing {
        DeviceGrid grid;
        QImage image;
    };
    std::deque<Drawing> drawings;  // newest first

    // The resource drawn for the grid; a null image when the artwork has no drawing of it.
    QImage Draw(int width, int height, const DeviceGrid& grid) const {
        if (!iconBackground) {
            QImage image = artwork::DrawSkinBitmap(id, grid);
            image.setDevicePixelRatio(grid.Scale());
            return image;
        }
        // The icon is square: drawn at the larger side, centred on the background.
        QImage image(grid.X(width), grid.Y(height), QImage::Format_RGB32);
        image.fill(QColor(iconBackground->r, iconBackground->g, iconBackground->b));
        const int side = std::max(image.width(), image.height());
        QPainter painter(&image);
        painter.drawImage(QPoint((image.width() - side) / 2, (image.height() - side) / 2),
                          artwork::AppIcon(side));
        painter.end();
        image.setDevicePixelRatio(grid.Scale());
        return image;
    }
};

Bitmap::Bitmap(int width, int height) : Bitmap(width, height, DeviceGrid()) {}

Bitmap::Bitmap(const DrawingSurface& compatibleWith, int width, int height)
    : Bitmap(width, height, compatibleWith.OriginGrid()) {}

Bitmap::Bitmap(int width, int height, const DeviceGrid& grid)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_grid(grid),
      m_image(std::make_unique<QImage>(DeviceImage(m_width, m_height, grid))) {
    m_image->fill(Qt::black);
}

Bitmap::Bitmap(std::unique_ptr<QImage> image, std::unique_ptr<Source> source)
    : m_width(image->width()),
      m_height(image->height()),
      m_image(std::move(image)),
      m_source(std::move(source)) {}

Bitmap::~Bitmap() = default;

std::unique_ptr<Bitmap> Bitmap::LoadResource(int id) {
    QImage loaded(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
    if (loaded.isNull()) {
        return nullptr;
    }
    auto image = std::make_unique<QImage>(loaded.convertToFormat(QImage::Format_RGB32));
    auto source = std::make_unique<Source>();
    source->id = id;
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(image), std::move(source)));
}

std::unique_ptr<Bitmap> Bitmap::LoadIcon(int id, Color background) {
    const QImage icon(QStringLiteral(":/icons/%1.png").arg(id));
    if (icon.isNull()) {
        return nullptr;
    }
    // An icon is drawn over an erased background: flatten its transparency onto that once.
    auto image = std::make_unique<QImage>(icon.size(), QImage::Format_RGB32);
    image->fill(QColor(background.r, background.g, background.b));
    QPainter painter(image.get());
    painter.drawImage(0, 0, icon);
    painter.end();
    auto source = std::make_unique<Source>();
    source->id = id;
    source->iconBackground = background;
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(image), std::move(source)));
}

int Bitmap::Width() const {
    return m_width;
}
int Bitmap::Height() const {
    return m_height;
}

Color Bitmap::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return Color{};
    }
    const int deviceX = m_grid.X(x);
    const int deviceY = m_grid.Y(y);
    if (!m_image->valid(deviceX, deviceY)) {
        return Color{};
    }
    const QRgb pixel = Row(*m_image, deviceY)[deviceX];
    return Rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

const QImage& Bitmap::PictureFor(const DeviceGrid& grid) const {
    if (!m_source || grid.SameMapping(m_grid)) {
        return *m_image;
    }
    std::deque<Source::Drawing>& drawings = m_source->drawings;
    for (const Source::Drawing& drawing : drawings) {
        if (drawing.grid.SameMapping(grid)) {
            return drawing.image;
        }
    }
    QImage drawn = m_source->Draw(m_width, m_height, grid);
    if (drawn.isNull()) {
        return *m_image;
    }
    if (drawings.size() == kKeptDrawings) {
        drawings.pop_back();
    }
    drawings.push_front(Source::Drawing{grid, std::move(drawn)});
    return drawings.front().image;
}
