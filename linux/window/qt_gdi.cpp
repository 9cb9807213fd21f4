#include "platform/gdi.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

QRgb ToQRgb(Color color) {
    return qRgb(color.r, color.g, color.b);
}

QRgb* Row(QImage& image, int y) {
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}
const QRgb* Row(const QImage& image, int y) {
    return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

Rect Bounds(const QImage& image) {
    return Rect{0, 0, image.width(), image.height()};
}

Rect Offset(const Rect& rect, int dx, int dy) {
    return Rect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

Rect Intersection(const Rect& a, const Rect& b) {
    Rect result;
    IntersectRect(&result, a, b);
    return result;
}

// The desktop draws a rectangle given with swapped edges as if they were in order.
Rect Normalised(const Rect& rect) {
    return Rect{std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
                std::max(rect.left, rect.right), std::max(rect.top, rect.bottom)};
}

// The box a segment touches, end point included (image coordinates).
Rect SegmentBox(Point from, Point to) {
    return Rect{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x) + 1,
                std::max(from.y, to.y) + 1};
}

// Where the pixels of a 24- or 32-bit device-independent block lie in memory.
struct BlockLayout {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
    std::size_t stride = 0;
    bool bottomUp = true;
};

std::optional<BlockLayout> DescribeBlock(const BitmapInfoHeader& header) {
    if (header.biCompression != BI_RGB || (header.biBitCount != 24 && header.biBitCount != 32) ||
        header.biWidth <= 0 || header.biHeight == 0) {
        return std::nullopt;
    }
    BlockLayout layout;
    layout.width = header.biWidth;
    layout.height = std::abs(header.biHeight);
    layout.bytesPerPixel = header.biBitCount / 8;
    layout.stride = ((static_cast<std::size_t>(layout.width) * header.biBitCount + 31) / 32) * 4;
    layout.bottomUp = header.biHeight > 0;
    return layout;
}

// Nearest-pixel scaling: destination pixel i of n takes the source pixel under its centre.
int SourceIndex(int i, int sourceCount, int destCount) {
    return static_cast<int>((2LL * i + 1) * sourceCount / (2LL * destCount));
}

}  // namespace

QFont DefaultUiFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// ---- Bitmap ----

Bitmap::Bitmap(int width, int height)
    : m_image(
          std::make_unique<QImage>(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32)) {
    m_image->fill(Qt::black);
}

Bitmap::Bitmap(std::unique_ptr<QImage> image) : m_image(std::move(image)) {}

Bitmap::~Bitmap() = default;

std::unique_ptr<Bitmap> Bitmap::LoadResource(int id) {
    QImage loaded(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
    if (loaded.isNull()) {
        return nullptr;
    }
    auto image = std::make_unique<QImage>(loaded.convertToFormat(QImage::Format_RGB32));
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(image)));
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
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(image)));
}

int Bitmap::Width() const {
    return m_image->width();
}
int Bitmap::Height() const {
    return m_image->height();
}

Color Bitmap::PixelAt(int x, int y) const {
    if (!m_image->valid(x, y)) {
        return Color{};
    }
    const QRgb pixel = Row(*m_image, y)[x];
    return Rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

// ---- DrawingSurface ----

DrawingSurface::DrawingSurface(QImage& target, Point origin, Rect clip, ChangeListener onChanged)
    : m_target(&target),
      m_origin(origin),
      m_clip(Intersection(clip, Bounds(target))),
      m_onChanged(std::move(onChanged)) {}

DrawingSurface::DrawingSurface(Bitmap& offscreen)
    : DrawingSurface(offscreen.Image(), Point{0, 0}, Bounds(offscreen.Image())) {}

Rect DrawingSurface::ToImage(const Rect& rect) const {
    return Offset(rect, m_origin.x, m_origin.y);
}

Rect DrawingSurface::ClipBox() const {
    return Offset(m_clip, -m_origin.x, -m_origin.y);
}

bool DrawingSurface::RectVisible(const Rect& rect) const {
    return !IsRectEmpty(Intersection(ToImage(Normalised(rect)), m_clip));
}

void DrawingSurface::Changed(const Rect& imageRect) {
    const Rect changed = Intersection(imageRect, m_clip);
    if (m_onChanged && !IsRectEmpty(changed)) {
        m_onChanged(changed);
    }
}

void DrawingSurface::FillImageRect(const Rect& imageRect, Color color) {
    const Rect area = Intersection(imageRect, m_clip);
    if (IsRectEmpty(area)) {
        return;
    }
    const QRgb value = ToQRgb(color);
    for (int y = area.top; y < area.bottom; ++y) {
        std::fill_n(Row(*m_target, y) + area.left, area.Width(), value);
    }
}

void DrawingSurface::Rectangle(const Rect& rect) {
    const Rect box = ToImage(Normalised(rect));
    if (IsRectEmpty(box) || (!m_pen && !m_brush)) {
        return;
    }
    if (!m_pen) {
        FillImageRect(box, *m_brush);
        Changed(box);
        return;
    }
    if (m_brush) {
        Rect inside = box;
        InflateRect(&inside, -1, -1);
        if (!IsRectEmpty(inside)) {
            FillImageRect(inside, *m_brush);
        }
    }
    const Color pen = *m_pen;
    FillImageRect(Rect{box.left, box.top, box.right, box.top + 1}, pen);
    FillImageRect(Rect{box.left, box.bottom - 1, box.right, box.bottom}, pen);
    FillImageRect(Rect{box.left, box.top + 1, box.left + 1, box.bottom - 1}, pen);
    FillImageRect(Rect{box.right - 1, box.top + 1, box.right, box.bottom - 1}, pen);
    Changed(box);
}

// Plots from `from` towards `to` (image coordinates), the end point left out, with the
// Bresenham steps; horizontal, vertical and 45-degree lines come out exact.
void DrawingSurface::DrawSegment(Point from, Point to) {
    const QRgb value = ToQRgb(*m_pen);
    const int dx = std::abs(to.x - from.x);
    const int dy = std::abs(to.y - from.y);
    const int sx = to.x >= from.x ? 1 : -1;
    const int sy = to.y >= from.y ? 1 : -1;
    const int steps = std::max(dx, dy);
    int x = from.x;
    int y = from.y;
    int error = (dx >= dy ? dx : dy) / 2;
    for (int i = 0; i < steps; ++i) {
        if (PtInRect(m_clip, Point{x, y})) {
            Row(*m_target, y)[x] = value;
        }
        if (dx >= dy) {
            x += sx;
            error -= dy;
            if (error < 0) {
                y += sy;
                error += dx;
            }
        } else {
            y += sy;
            error -= dx;
            if (error < 0) {
                x += sx;
                error += dy;
            }
        }
    }
}

void DrawingSurface::LineTo(int x, int y) {
    const Point from{m_current.x + m_origin.x, m_current.y + m_origin.y};
    const Point to{x + m_origin.x, y + m_origin.y};
    m_current = Point{x, y};
    if (!m_pen || from == to) {
        return;
    }
    DrawSegment(from, to);
    Changed(SegmentBox(from, to));
}

void DrawingSurface::Polyline(const Point* points, int count) {
    if (!m_pen || points == nullptr || count < 2) {
        return;
    }
    Rect changed;
    for (int i = 1; i < count; ++i) {
        const Point from{points[i - 1].x + m_origin.x, points[i - 1].y + m_origin.y};
        const Point to{points[i].x + m_origin.x, points[i].y + m_origin.y};
        if (from == to) {
            continue;
        }
        DrawSegment(from, to);
        UnionRect(&changed, changed, SegmentBox(from, to));
    }
    Changed(changed);
}

void DrawingSurface::StretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                                   int ySrc, int srcWidth, int srcHeight, const void* bits,
                                   const BitmapInfo& info) {
    const std::optional<BlockLayout> block = DescribeBlock(info.bmiHeader);
    if (!block || bits == nullptr || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 ||
        srcHeight <= 0) {
        return;
    }
    const Rect destination = ToImage(Rect{xDest, yDest, xDest + destWidth, yDest + destHeight});
    const Rect area = Intersection(destination, m_clip);
    if (IsRectEmpty(area)) {
        return;
    }
    std::vector<int> sourceColumn(static_cast<std::size_t>(area.Width()));
    for (int x = area.left; x < area.right; ++x) {
        sourceColumn[x - area.left] = xSrc + SourceIndex(x - destination.left, srcWidth, destWidth);
    }
    const auto* base = static_cast<const std::uint8_t*>(bits);
    for (int y = area.top; y < area.bottom; ++y) {
        // Row k of the source rectangle counted from its top; a bottom-up block's ySrc and its
        // memory rows both count from the bottom.
        const int k = SourceIndex(y - destination.top, srcHeight, destHeight);
        const int memoryRow = block->bottomUp ? ySrc + (srcHeight - 1 - k) : ySrc + k;
        if (memoryRow < 0 || memoryRow >= block->height) {
            continue;
        }
        const std::uint8_t* source = base + static_cast<std::size_t>(memoryRow) * block->stride;
        QRgb* target = Row(*m_target, y);
        for (int x = area.left; x < area.right; ++x) {
            const int column = sourceColumn[x - area.left];
            if (column < 0 || column >= block->width) {
                continue;
            }
            const std::uint8_t* pixel =
                source + static_cast<std::size_t>(column) * block->bytesPerPixel;
            target[x] = qRgb(pixel[2], pixel[1], pixel[0]);
        }
    }
    Changed(area);
}

void DrawingSurface::BitBlt(int x, int y, int width, int height, const Bitmap& source, int xSrc,
                            int ySrc) {
    const Rect destination = ToImage(Rect{x, y, x + width, y + height});
    const int dx = xSrc - destination.left;  // source = destination + (dx, dy)
    const int dy = ySrc - destination.top;
    const Rect sourceInDestination = Offset(Bounds(source.Image()), -dx, -dy);
    const Rect area = Intersection(Intersection(destination, m_clip), sourceInDestination);
    if (IsRectEmpty(area)) {
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(area.Width()) * sizeof(QRgb);
    for (int row = area.top; row < area.bottom; ++row) {
        std::memmove(Row(*m_target, row) + area.left,
                     Row(source.Image(), row + dy) + area.left + dx, rowBytes);
    }
    Changed(area);
}

void DrawingSurface::DrawBitmap(const Bitmap& bitmap, int x, int y) {
    BitBlt(x, y, bitmap.Width(), bitmap.Height(), bitmap, 0, 0);
}

void DrawingSurface::TextOut(int x, int y, std::string_view text) {
    // Text needs the font machinery of a running GUI application; without one there is
    // nothing to draw with.
    if (text.empty() || qGuiApp == nullptr) {
        return;
    }
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFont font = DefaultUiFont();
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(string);
    int left = x;
    if ((m_textAlign & TA_CENTER) == TA_CENTER) {
        left = x - width / 2;
    } else if ((m_textAlign & TA_CENTER) == TA_RIGHT) {
        left = x - width;
    }
    int baseline = y + metrics.ascent();
    if ((m_textAlign & TA_BASELINE) == TA_BASELINE) {
        baseline = y;
    } else if ((m_textAlign & TA_BASELINE) == TA_BOTTOM) {
        baseline = y - metrics.descent();
    }
    const Rect box = ToImage(
        Rect{left, baseline - metrics.ascent(), left + width, baseline + metrics.descent()});
    QPainter painter(m_target);
    painter.setClipRect(QRect(m_clip.left, m_clip.top, m_clip.Width(), m_clip.Height()));
    if (m_bkMode == OPAQUE) {
        painter.fillRect(QRect(box.left, box.top, box.Width(), box.Height()),
                         QColor(ToQRgb(m_bkColor)));
    }
    painter.setFont(font);
    painter.setPen(QColor(ToQRgb(m_textColor)));
    painter.drawText(QPoint(left + m_origin.x, baseline + m_origin.y), string);
    painter.end();
    // Glyphs may reach a pixel past their advance box.
    Rect changed = box;
    InflateRect(&changed, 2, 1);
    Changed(changed);
}
