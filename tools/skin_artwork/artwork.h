#pragma once

// Shared pieces of the artwork generator: the skin's colour vocabulary, exact-palette saving,
// and the vertical glass gradients every button face is built on.

#include <QColor>
#include <QImage>
#include <QString>

namespace artwork {

// Colours fixed by the window's look; every piece of art is drawn from these.
inline const QColor kNormalBorder{52, 102, 127};
inline const QColor kSelectionCyan{0, 203, 233};  // hover border and selected thumbnail frame
inline const QColor kDarkTeal{0, 88, 110};
inline const QColor kDividerBlue{49, 180, 246};
inline const QColor kTriangleNavy{0, 21, 91};
inline const QColor kLogoBlue{6, 71, 105};
inline const QColor kSkinGrey{99, 99, 99};

// The two end colours of each of the face's gradients.
struct FacePalette {
    QColor border;
    QColor upperTop, upperBottom;  // rows 1 to 12
    QColor lowerTop, lowerBottom;  // rows 13 to 28
};
const FacePalette& NormalFace();
const FacePalette& HoverFace();

// Colour k of an n-step ramp (k = 0 .. n-1) from `from` to `to`, both ends exact.
QColor Blend(const QColor& from, const QColor& to, int k, int n);

// A w x h face: the 1-pixel border and the two gradients, ready for an icon to be drawn on.
QImage FaceBackground(int width, int height, const FacePalette& palette);

// Converts to 8-bit indexed with an exact palette (sorted, so the output never depends on
// drawing order). Returns a null image when the picture has more than 256 colours.
QImage ToExactIndexed8(const QImage& image);

// Saves as an uncompressed 8-bit Windows bitmap; false, with a message on stderr, on failure.
bool SaveIndexedBmp(const QImage& image, const QString& path);

}  // namespace artwork
