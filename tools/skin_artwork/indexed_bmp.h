#pragma once

// Writing the skin's bitmaps the way the program carries them: 8-bit indexed, uncompressed.

#include <QImage>
#include <QString>

// Converts to 8-bit indexed with an exact palette (sorted, so the output never depends on
// drawing order). Returns a null image when the picture has more than 256 colours.
QImage ToExactIndexed8(const QImage& image);

// Saves as an uncompressed 8-bit Windows bitmap; false, with a message on stderr, on failure.
bool SaveIndexedBmp(const QImage& image, const QString& path);
