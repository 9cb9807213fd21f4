#pragma once

// Drawing with the desktop drawing rules the window logic was written for: solid 1-pixel pens and
// solid brushes, rectangles whose outline lies inside and whose right/bottom edges are exclusive,
// lines whose end point is not drawn, bottom-up 24-bit pixel blocks, and text aligned on its
// baseline. Every surface draws straight into an image (the window's client image or an
// off-screen bitmap); the origin is the top-left corner of the window, control or bitmap.
//
// Coordinates are logical pixels whatever the display scale; the images hold device pixels, and
// every drawing call lands on them through the image's DeviceGrid: an area covers the device
// pixels between its mapped edges, a one-pixel pen is the grid's pen width thick (an outline
// inside its rectangle, a line from the mapped edge of its pixels), text and pictures are drawn
// at the device resolution. At scale 1 device pixels are logical pixels and nothing differs.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/device_grid.h"
#include "platform/geometry.h"

class DrawingSurface;
class QFont;
class QImage;

struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Color&) const = default;
};
constexpr Color Rgb(int r, int g, int b) {
    return Color{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                 static_cast<std::uint8_t>(b)};
}

// The two colours of the keyboard focus ring (DrawingSurface::DrawFocusRect): the skin's dark
// blue and white.
constexpr Color kFocusRingDark = Rgb(0, 21, 91);
constexpr Color kFocusRingLight = Rgb(255, 255, 255);

// The header of a device-independent pixel block (the classic 40-byte layout).
struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: the first row in memory is the bottom row
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;  // BI_RGB only
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    std::uint32_t bmiColors[1] = {0};
};
constexpr std::uint32_t BI_RGB = 0;

// Text alignment and background flags with their classic values.
constexpr unsigned TA_LEFT = 0;
constexpr unsigned TA_TOP = 0;
constexpr unsigned TA_RIGHT = 2;
constexpr unsigned TA_CENTER = 6;
constexpr unsigned TA_BOTTOM = 8;
constexpr unsigned TA_BASELINE = 24;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// A bitmap: a skin resource loaded from the program's resources, or an off-screen image.
// Owned by whoever made it; controls and surfaces only borrow it. Its size is in logical pixels.
class Bitmap {
public:
    Bitmap(int width, int height);  // off-screen image at scale 1, black
    // An off-screen image compatible with a surface: at the surface's scale, on the grid of the
    // surface's origin, so that it is copied back to that origin pixel for pixel. Black.
    Bitmap(const DrawingSurface& compatibleWith, int width, int height);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // The bitmap resource with this id (129 to 137, 154, 172), or null when there is none.
    // Drawn on a surface at another scale, it is drawn anew at that scale by the skin's artwork.
    static std::unique_ptr<Bitmap> LoadResource(int id);
    // The icon resource with this id (128), flattened onto the background it is drawn over,
    // or null when there is none. Drawn anew at another scale, like a resource.
    static std::unique_ptr<Bitmap> LoadIcon(int id, Color background);

    int Width() const;
    int Height() const;
    // The colour of a logical pixel (its top-left device pixel).
    Color PixelAt(int x, int y) const;
    const DeviceGrid& Grid() const { return m_grid; }

    QImage& Image() { return *m_image; }  // the device pixels; for the window layer only
    const QImage& Image() const { return *m_image; }
    // The device pixels to show for a grid (the destination's grid anchored where the bitmap
    // goes): a resource drawn for that grid (drawn once, then kept), else the image itself.
    const QImage& PictureFor(const DeviceGrid& grid) const;

private:
    struct Source;

    Bitmap(int width, int height, const DeviceGrid& grid);
    Bitmap(std::unique_ptr<QImage> image, std::unique_ptr<Source> source);

    int m_width = 0;
    int m_height = 0;
    DeviceGrid m_grid;
    std::unique_ptr<QImage> m_image;
    std::unique_ptr<Source> m_source;  // for a resource: what it is, and its other drawings
};

// A drawing surface over an image, with an origin and a clip rectangle in the image's logical
// pixels. Pens and brushes are selected into it; an unset pen draws no outline, an unset brush no
// fill.
class DrawingSurface {
public:
    // Told which part of the image (logical image coordinates, already clipped, covering every
    // device pixel changed) a drawing call changed.
    using ChangeListener = std::function<void(const Rect&)>;

    // target: the image drawn into, whose device pixel ratio is its scale; origin: where the
    // surface's (0, 0) lies in the image; clip: the part of the image the surface may change
    // (image coordinates); onChanged: told after every call that changed pixels (the owning
    // window uses it to show them).
    DrawingSurface(QImage& target, Point origin, Rect clip, ChangeListener onChanged = {});
    explicit DrawingSurface(Bitmap& offscreen);  // an off-screen surface, origin at (0, 0)

    // The grid of the image drawn into, and that grid anchored at the surface's origin.
    const DeviceGrid& Grid() const { return m_grid; }
    DeviceGrid OriginGrid() const { return m_grid.At(m_origin); }

    void SelectPen(std::optional<Color> pen) { m_pen = pen; }
    void SelectBrush(std::optional<Color> brush) { m_brush = brush; }

    // Fills the inside with the brush and draws a 1-pixel outline with the pen, inside the
    // rectangle; right and bottom exclusive. Without a pen the brush fills the whole rectangle.
    void Rectangle(const Rect& rect);
    void Rectangle(int left, int top, int right, int bottom) {
        Rectangle(Rect{left, top, right, bottom});
    }
    void MoveTo(int x, int y) { m_current = Point{x, y}; }
    // Draws from the current position to (x, y) with the pen, the end point excluded.
    void LineTo(int x, int y);
    // Joins the points with the pen; each segment's end point is excluded, as in LineTo.
    void Polyline(const Point* points, int count);

    // Copies an 80x60-style bottom-up 24-bit block (bits, described by info) from the source
    // rectangle into the destination rectangle, nearest-pixel (colour-on-colour) scaling at
    // scale 1; at any other scale the block is scaled smoothly to the destination's device
    // pixels. Rows are padded to 4 bytes; ySrc counts from the block's bottom row when
    // biHeight > 0 (a negative biHeight describes a top-down block). 32-bit blocks are accepted
    // too; any other format, or a source rectangle outside the block, draws nothing where it
    // falls out.
    void StretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                       int srcWidth, int srcHeight, const void* bits, const BitmapInfo& info);
    // Copies pixels of an off-screen bitmap to (x, y): device pixel for device pixel when the
    // two grids line up, else each logical pixel onto its own.
    void BitBlt(int x, int y, int width, int height, const Bitmap& source, int xSrc, int ySrc);
    // Draws a bitmap at its own size with its top-left corner at (x, y); a resource is drawn
    // for this surface's scale.
    void DrawBitmap(const Bitmap& bitmap, int x, int y);

    void SetTextAlign(unsigned align) { m_textAlign = align; }
    void SetBkMode(int mode) { m_bkMode = mode; }
    void SetTextColor(Color color) { m_textColor = color; }
    void SetBkColor(Color color) { m_bkColor = color; }
    // UTF-8 text in the default UI font at the reference point given by the alignment; in
    // OPAQUE mode the text's box is filled with the background colour first. The reference
    // point and the text's extent are those of the font at scale 1; the glyphs are drawn at
    // the device resolution, on the device pixel of that point.
    void TextOut(int x, int y, std::string_view text);

    // The keyboard focus ring: a 1-pixel outline inside the rectangle whose pixels alternate
    // between dark blue and white, so that it shows on the light button faces, the dark strip
    // and the cyan selection alike.
    void DrawFocusRect(const Rect& rect);

    // True when some part of the rectangle (surface coordinates) lies in the clip area.
    bool RectVisible(const Rect& rect) const;

    // The clip rectangle in surface coordinates.
    Rect ClipBox() const;

private:
    DrawingSurface(QImage& target, const DeviceGrid& grid, Point origin, Rect clip,
                   ChangeListener onChanged);

    void FillDevice(const Rect& device, Color color);
    // Plots a segment in image coordinates, end point excluded; returns the device pixels it
    // may have touched.
    Rect DrawSegment(Point from, Point to);
    void Changed(const Rect& device);
    Rect ToImage(const Rect& rect) const;
    void StretchSmoothly(const Rect& destination, const Rect& area, int xSrc, int ySrc,
                         int srcWidth, int srcHeight, const void* bits, const BitmapInfo& info);

    QImage* m_target;
    DeviceGrid m_grid;
    Point m_origin;
    Rect m_clip;        // logical image coordinates
    Rect m_deviceClip;  // the same in device pixels
    std::optional<Color> m_pen;
    std::optional<Color> m_brush;
    Point m_current;
    unsigned m_textAlign = TA_LEFT;
    int m_bkMode = OPAQUE;
    Color m_textColor;
    Color m_bkColor = Rgb(255, 255, 255);
    ChangeListener m_onChanged;
};

// The default UI font the surfaces draw text in (the desktop's 8-point system font: the
// application font's family at 11 pixels, without antialiasing). Needs a QGuiApplication.
QFont DefaultUiFont();
