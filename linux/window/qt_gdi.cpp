#include "platform/gdi.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "linux/window/device_pixels.h"

namespace {

QRgb ToQRgb(Color color) {
    return qRgb(color.r, color.g, color.b);
}

Rect Union(const Rect& a, const Rect& b) {
    Rect result;
    UnionRect(&result, a, b);
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

// The logical pixels that have device pixels in an image on a grid.
Rect LogicalBounds(const QImage& image, const DeviceGrid& grid) {
    return grid.ToLogicalOutward(DeviceBounds(image));
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

bool SourceInsideBlock(const BlockLayout& block, int xSrc, int ySrc, int srcWidth, int srcHeight) {
    return xSrc >= 0 && ySrc >= 0 && xSrc + srcWidth <= block.width &&
           ySrc + srcHeight <= block.height;
}

// Where the device pixels of one logical pixel of a bitmap's picture are taken from when it is
// copied onto a grid it does not line up with: device pixel j of the destination's n pixels of
// that logical pixel takes the source's pixel at the same fraction of its own pixels.
int SourceDevicePixel(int destinationDevice, const DeviceGrid& destination, bool alongX,
                      const DeviceGrid& source, int logicalShift, int sourceLimit) {
    const auto edge = [alongX](const DeviceGrid& grid, int v) {
        return alongX ? grid.X(v) : grid.Y(v);
    };
    const int logical =
        alongX ? destination.LogicalX(destinationDevice) : destination.LogicalY(destinationDevice);
    const int offset = destinationDevice - edge(destination, logical);
    const int destinationSpan =
        std::max(edge(destination, logical + 1) - edge(destination, logical), 1);
    const int sourceLogical = logical + logicalShift;
    const int sourceStart = edge(source, sourceLogical);
    const int sourceSpan = edge(source, sourceLogical + 1) - sourceStart;
    const int pixel = sourceStart + (sourceSpan > 0 ? offset * sourceSpan / destinationSpan : 0);
    return std::clamp(pixel, 0, sourceLimit - 1);
}

}  // namespace

QFont DefaultUiFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// ---- DrawingSurface ----

DrawingSurface::DrawingSurface(QImage& target, Point origin, Rect clip, ChangeListener onChanged)
    : DrawingSurface(target, DeviceGrid(target.devicePixelRatio()), origin, clip,
                     std::move(onChanged)) {}

DrawingSurface::DrawingSurface(Bitmap& offscreen)
    : DrawingSurface(offscreen.Image(), offscreen.Grid(), Point{0, 0},
                     Rect{0, 0, offscreen.Width(), offscreen.Height()}, {}) {}

DrawingSurface::DrawingSurface(QImage& target, const DeviceGrid& grid, Point origin, Rect clip,
                               ChangeListener onChanged)
    : m_target(&target),
      m_grid(grid),
      m_origin(origin),
      m_clip(Overlap(clip, LogicalBounds(target, grid))),
      m_deviceClip(Overlap(grid.ToDevice(m_clip), DeviceBounds(target))),
      m_onChanged(std::move(onChanged)) {}

Rect DrawingSurface::ToImage(const Rect& rect) const {
    return Offset(rect, m_origin.x, m_origin.y);
}

Rect DrawingSurface::ClipBox() const {
    return Offset(m_clip, -m_origin.x, -m_origin.y);
}

bool DrawingSurface::RectVisible(const Rect& rect) const {
    return !IsRectEmpty(Overlap(ToImage(Normalised(rect)), m_clip));
}

// Reported in logical pixels: every logical pixel with a changed device pixel.
void DrawingSurface::Changed(const Rect& device) {
    const Rect changed = Overlap(device, m_deviceClip);
    if (m_onChanged && !IsRectEmpty(changed)) {
        m_onChanged(m_grid.ToLogicalOutward(changed));
    }
}

void DrawingSurface::FillDevice(const Rect& device, Color color) {
    FillDevicePixels(*m_target, Overlap(device, m_deviceClip), ToQRgb(color));
}

// The outline is the pen's width thick, inside the rectangle's device edges.
void DrawingSurface::Rectangle(const Rect& rect) {
    const Rect box = m_grid.ToDevice(ToImage(Normalised(rect)));
    if (IsRectEmpty(box) || (!m_pen && !m_brush)) {
        return;
    }
    if (!m_pen) {
        FillDevice(box, *m_brush);
        Changed(box);
        return;
    }
    const int pen = m_grid.PenWidth();
    if (m_brush) {
        Rect inside = box;
        InflateRect(&inside, -pen, -pen);
        if (!IsRectEmpty(inside)) {
            FillDevice(inside, *m_brush);
        }
    }
    const Color colour = *m_pen;
    const int topEnd = std::min(box.top + pen, box.bottom);
    const int bottomStart = std::max(box.bottom - pen, topEnd);
    FillDevice(Rect{box.left, box.top, box.right, topEnd}, colour);
    FillDevice(Rect{box.left, bottomStart, box.right, box.bottom}, colour);
    FillDevice(Rect{box.left, topEnd, std::min(box.left + pen, box.right), bottomStart}, colour);
    FillDevice(Rect{std::max(box.right - pen, box.left), topEnd, box.right, bottomStart}, colour);
    Changed(box);
}

// The pattern follows the rectangle's own corner, so a ring looks the same wherever it is drawn
// (off screen or straight into the window).
void DrawingSurface::DrawFocusRect(const Rect& rect) {
    const Rect box = ToImage(Normalised(rect));
    if (IsRectEmpty(box)) {
        return;
    }
    const QRgb dark = ToQRgb(kFocusRingDark);
    const QRgb light = ToQRgb(kFocusRingLight);
    const auto plot = [&](int x, int y) {
        if (PtInRect(m_clip, Point{x, y})) {
            Row(*m_target, y)[x] = ((x - box.left) + (y - box.top)) % 2 == 0 ? dark : light;
        }
    };
    for (int x = box.left; x < box.right; ++x) {
        plot(x, box.top);
        plot(x, box.bottom - 1);
    }
    for (int y = box.top + 1; y < box.bottom - 1; ++y) {
        plot(box.left, y);
        plot(box.right - 1, y);
    }
    Changed(box);
}

// Plots from `from` towards `to` (image coordinates), the end point left out, with the
// Bresenham steps over logical pixels; horizontal, vertical and 45-degree lines come out exact.
// Each logical pixel covers its device pixels along the line and the pen's width across it,
// from its mapped edge.
Rect DrawingSurface::DrawSegment(Point from, Point to) {
    const QRgb value = ToQRgb(*m_pen);
    const int pen = m_grid.PenWidth();
    const int dx = std::abs(to.x - from.x);
    const int dy = std::abs(to.y - from.y);
    const int sx = to.x >= from.x ? 1 : -1;
    const int sy = to.y >= from.y ? 1 : -1;
    const bool alongX = dx >= dy;
    const int steps = std::max(dx, dy);
    int x = from.x;
    int y = from.y;
    int error = (dx >= dy ? dx : dy) / 2;
    Rect touched;
    for (int i = 0; i < steps; ++i) {
        const int left = m_grid.X(x);
        const int top = m_grid.Y(y);
        const Rect block = alongX ? Rect{left, top, m_grid.X(x + 1), top + pen}
                                  : Rect{left, top, left + pen, m_grid.Y(y + 1)};
        FillDevicePixels(*m_target, Overlap(block, m_deviceClip), value);
        touched = Union(touched, block);
        if (alongX) {
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
    return Union(touched, m_grid.ToDevice(SegmentBox(from, to)));
}

void DrawingSurface::LineTo(int x, int y) {
    const Point from{m_current.x + m_origin.x, m_current.y + m_origin.y};
    const Point to{x + m_origin.x, y + m_origin.y};
    m_current = Point{x, y};
    if (!m_pen || from == to) {
        return;
    }
    Changed(DrawSegment(from, to));
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
        changed = Union(changed, DrawSegment(from, to));
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
    const Rect destination =
        m_grid.ToDevice(ToImage(Rect{xDest, yDest, xDest + destWidth, yDest + destHeight}));
    const Rect area = Overlap(destination, m_deviceClip);
    if (IsRectEmpty(area)) {
        return;
    }
    if (!m_grid.IsIdentity() && SourceInsideBlock(*block, xSrc, ySrc, srcWidth, srcHeight)) {
        StretchSmoothly(destination, area, xSrc, ySrc, srcWidth, srcHeight, bits, info);
        Changed(area);
        return;
    }
    std::vector<int> sourceColumn(static_cast<std::size_t>(area.Width()));
    for (int x = area.left; x < area.right; ++x) {
        sourceColumn[x - area.left] =
            xSrc + SourceIndex(x - destination.left, srcWidth, destination.Width());
    }
    const auto* base = static_cast<const std::uint8_t*>(bits);
    for (int y = area.top; y < area.bottom; ++y) {
        // Row k of the source rectangle counted from its top; a bottom-up block's ySrc and its
        // memory rows both count from the bottom.
        const int k = SourceIndex(y - destination.top, srcHeight, destination.Height());
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

// The block's pixels are what they are (a thumbnail keeps its own sampling); on a finer screen
// they are filtered up to the destination's device pixels rather than shown as blocks.
void DrawingSurface::StretchSmoothly(const Rect& destination, const Rect& area, int xSrc, int ySrc,
                                     int srcWidth, int srcHeight, const void* bits,
                                     const BitmapInfo& info) {
    const BlockLayout block = *DescribeBlock(info.bmiHeader);
    std::vector<std::uint32_t> source(static_cast<std::size_t>(srcWidth) * srcHeight);
    const auto* base = static_cast<const std::uint8_t*>(bits);
    for (int k = 0; k < srcHeight; ++k) {
        const int memoryRow = block.bottomUp ? ySrc + (srcHeight - 1 - k) : ySrc + k;
        const std::uint8_t* pixel = base + static_cast<std::size_t>(memoryRow) * block.stride +
                                    static_cast<std::size_t>(xSrc) * block.bytesPerPixel;
        std::uint32_t* row = source.data() + static_cast<std::size_t>(k) * srcWidth;
        for (int c = 0; c < srcWidth; ++c, pixel += block.bytesPerPixel) {
            row[c] = qRgb(pixel[2], pixel[1], pixel[0]);
        }
    }
    // The toolkit's smooth scaling keeps a flat colour exact (libyuv's ARGB filter darkens it
    // by a level or two); a thumbnail is small enough for its cost.
    const QImage scaled = QImage(reinterpret_cast<const uchar*>(source.data()), srcWidth, srcHeight,
                                 srcWidth * 4, QImage::Format_RGB32)
                              .scaled(destination.Width(), destination.Height(),
                                      Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const std::size_t rowBytes = static_cast<std::size_t>(area.Width()) * sizeof(QRgb);
    for (int y = area.top; y < area.bottom; ++y) {
        std::memcpy(Row(*m_target, y) + area.left,
                    Row(scaled, y - destination.top) + (area.left - destination.left), rowBytes);
    }
}

void DrawingSurface::BitBlt(int x, int y, int width, int height, const Bitmap& source, int xSrc,
                            int ySrc) {
    const Rect destination = ToImage(Rect{x, y, x + width, y + height});
    const int dx = xSrc - destination.left;  // source = destination + (dx, dy), logically
    const int dy = ySrc - destination.top;
    const Rect sourceInDestination = Offset(Rect{0, 0, source.Width(), source.Height()}, -dx, -dy);
    const Rect logicalArea = Overlap(Overlap(destination, m_clip), sourceInDestination);
    const QImage& picture = source.Image();
    // Where the source's own grid lies when its (0, 0) is placed in this image.
    const DeviceGrid placed = m_grid.At(Point{-dx, -dy});
    const int shiftX = m_grid.X(-dx);
    const int shiftY = m_grid.Y(-dy);
    Rect area = Overlap(m_grid.ToDevice(logicalArea), m_deviceClip);
    if (source.Grid().SameMapping(placed)) {
        area = Overlap(area, Offset(DeviceBounds(picture), shiftX, shiftY));
        if (IsRectEmpty(area)) {
            return;
        }
        const std::size_t rowBytes = static_cast<std::size_t>(area.Width()) * sizeof(QRgb);
        for (int row = area.top; row < area.bottom; ++row) {
            std::memmove(Row(*m_target, row) + area.left,
                         Row(picture, row - shiftY) + area.left - shiftX, rowBytes);
        }
        Changed(area);
        return;
    }
    if (IsRectEmpty(area) || picture.isNull()) {
        return;
    }
    // The grids differ (another scale, or another place on a fractional one): each logical
    // pixel is copied onto its own device pixels. A copy within one image reads a snapshot.
    const QImage snapshot = &picture == m_target ? picture.copy() : QImage();
    const QImage& from = snapshot.isNull() ? picture : snapshot;
    std::vector<int> columns(static_cast<std::size_t>(area.Width()));
    for (int p = area.left; p < area.right; ++p) {
        columns[p - area.left] =
            SourceDevicePixel(p, m_grid, true, source.Grid(), dx, from.width());
    }
    for (int row = area.top; row < area.bottom; ++row) {
        const QRgb* sourceRow =
            Row(from, SourceDevicePixel(row, m_grid, false, source.Grid(), dy, from.height()));
        QRgb* target = Row(*m_target, row);
        for (int p = area.left; p < area.right; ++p) {
            target[p] = sourceRow[columns[p - area.left]];
        }
    }
    Changed(area);
}

void DrawingSurface::DrawBitmap(const Bitmap& bitmap, int x, int y) {
    const Point at{x + m_origin.x, y + m_origin.y};
    const QImage& picture = bitmap.PictureFor(m_grid.At(at));
    if (&picture == &bitmap.Image()) {
        BitBlt(x, y, bitmap.Width(), bitmap.Height(), bitmap, 0, 0);
        return;
    }
    // Drawn for exactly this place: device pixel for device pixel.
    const int left = m_grid.X(at.x);
    const int top = m_grid.Y(at.y);
    const Rect area = Overlap(Offset(DeviceBounds(picture), left, top), m_deviceClip);
    if (IsRectEmpty(area)) {
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(area.Width()) * sizeof(QRgb);
    for (int row = area.top; row < area.bottom; ++row) {
        std::memcpy(Row(*m_target, row) + area.left, Row(picture, row - top) + area.left - left,
                    rowBytes);
    }
    Changed(area);
}

void DrawingSurface::TextOut(int x, int y, std::string_view text) {
    // Text needs the font machinery of a running GUI application; without one there is
    // nothing to draw with.
    if (text.empty() || qGuiApp == nullptr) {
        return;
    }
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QFont font = DefaultUiFont();
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
    if (m_bkMode == OPAQUE) {
        FillDevice(m_grid.ToDevice(box), m_bkColor);
    }
    // The painter works in the image's logical units (its device pixel ratio is the grid's
    // scale); the pen position is put on the device pixel of the reference point.
    const double scale = m_grid.Scale();
    if (!m_grid.IsIdentity()) {
        font.setStyleStrategy(QFont::PreferAntialias);  // smooth, as text on a fine screen is
    }
    QPainter painter(m_target);
    painter.setClipRect(QRectF(m_deviceClip.left / scale, m_deviceClip.top / scale,
                               m_deviceClip.Width() / scale, m_deviceClip.Height() / scale));
    painter.setFont(font);
    painter.setPen(QColor(ToQRgb(m_textColor)));
    painter.drawText(
        QPointF(m_grid.X(left + m_origin.x) / scale, m_grid.Y(baseline + m_origin.y) / scale),
        string);
    painter.end();
    // Glyphs may reach a pixel past their advance box.
    Rect changed = box;
    InflateRect(&changed, 2, 1);
    Changed(m_grid.ToDevice(changed));
}
