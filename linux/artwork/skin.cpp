#include "linux/artwork/skin.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <string_view>

#include "linux/artwork/artwork.h"

namespace artwork {
namespace {

// The strip panel's inner shadow: the same greys run down from its top edge and right from its
// left edge, so the panel looks sunk under the button band.
constexpr std::array<int, 11> kShadowGreys{45, 44, 68, 73, 78, 83, 87, 90, 93, 96, 97};
constexpr std::array<int, 3> kRightEdgeGreys{97, 96, 93};
const QColor kPanelEdgeBlue{37, 67, 148};
const QColor kPanelEdgeGrey{72, 72, 73};

// The logo's lettering: a 7-row pixel font, one string per row, '#' for ink.
struct Glyph {
    char letter;
    std::array<std::string_view, 7> rows;
};
constexpr std::array<Glyph, 8> kGlyphs{{
    {'L', {"#   ", "#   ", "#   ", "#   ", "#   ", "#   ", "####"}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'I', {"###", " # ", " # ", " # ", " # ", " # ", "###"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ### "}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
}};

const Glyph& GlyphFor(char letter) {
    return *std::find_if(kGlyphs.begin(), kGlyphs.end(),
                         [letter](const Glyph& glyph) { return glyph.letter == letter; });
}

// Draws `text` with its top-left corner at (x, y); returns the x just past the last letter.
// The lettering is pixel art: each inked cell covers its logical pixel's device pixels.
int DrawPixelText(QImage& image, const DeviceGrid& grid, int x, int y, std::string_view text) {
    for (const char letter : text) {
        const Glyph& glyph = GlyphFor(letter);
        for (int row = 0; row < 7; ++row) {
            for (std::size_t col = 0; col < glyph.rows[row].size(); ++col) {
                if (glyph.rows[row][col] == '#') {
                    const int cellX = x + static_cast<int>(col);
                    FillLogical(image, grid, Rect{cellX, y + row, cellX + 1, y + row + 1},
                                kLogoBlue);
                }
            }
        }
        x += static_cast<int>(glyph.rows[0].size()) + 1;
    }
    return x - 1;
}

// A lens seen from the front: outer barrel ring, glass, and a highlight.
void DrawLensMark(QImage& image, const DeviceGrid& grid, QRectF box) {
    QPainter painter(&image);
    MapLogicalOntoGrid(painter, grid);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = box.center();
    painter.setPen(QPen(kLogoBlue, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, box.width() / 2 - 1, box.height() / 2 - 1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLogoBlue);
    painter.drawEllipse(centre, 4.6, 4.6);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre + QPointF(-1.6, -1.6), 1.3, 1.3);
}

void DrawLogo(QImage& image, const DeviceGrid& grid) {
    // Logo area: x 568 to 637, rows 489 to 507.
    DrawLensMark(image, grid, QRectF(568, 489, 19, 19));
    const int textEnd = DrawPixelText(image, grid, 590, 493, "LUMISIGHT");
    // The underline: a one-pixel line under the lettering.
    const int top = grid.Y(503);
    FillDevice(image, Rect{grid.X(590), top, grid.X(textEnd), top + grid.PenWidth()}, kLogoBlue);
}

int PanelGrey(int x, int y) {
    int grey = kSkinGrey.red();
    const int row = y - kStripPanelTop;
    if (row < static_cast<int>(kShadowGreys.size())) {
        grey = std::min(grey, kShadowGreys[row]);
    }
    if (x - 2 < static_cast<int>(kShadowGreys.size())) {
        grey = std::min(grey, kShadowGreys[x - 2]);
    }
    if (x >= kSkinWidth - 3) {
        grey = std::min(grey, kRightEdgeGreys[x - (kSkinWidth - 3)]);
    }
    return grey;
}

// The panel's shading is drawn pixel by pixel, each logical pixel over its own device pixels:
// its edge columns and its shadow rows are shades of a surface, not lines.
void FillStripPanel(QImage& image, const DeviceGrid& grid) {
    for (int y = kStripPanelTop; y < kSkinHeight; ++y) {
        FillLogical(image, grid, Rect{0, y, 1, y + 1}, kPanelEdgeBlue);
        FillLogical(image, grid, Rect{1, y, 2, y + 1}, kPanelEdgeGrey);
        // Runs of one grey are filled at once.
        int runStart = 2;
        for (int x = 3; x <= kSkinWidth; ++x) {
            if (x == kSkinWidth || PanelGrey(x, y) != PanelGrey(runStart, y)) {
                const int grey = PanelGrey(runStart, y);
                FillLogical(image, grid, Rect{runStart, y, x, y + 1}, QColor(grey, grey, grey));
                runStart = x;
            }
        }
    }
}

}  // namespace

QImage Skin(const DeviceGrid& grid) {
    QImage image = DevicePicture(kSkinWidth, kSkinHeight, grid);
    image.fill(kSkinGrey);
    FillLogical(image, grid, Rect{0, kButtonBandTop, kSkinWidth, kStripPanelTop}, Qt::white);
    DrawLogo(image, grid);
    FillStripPanel(image, grid);
    return image;
}

}  // namespace artwork
