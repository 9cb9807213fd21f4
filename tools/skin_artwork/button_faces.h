#pragma once

// The pictures shown by the four button controls (bitmaps 130 to 137 and 154) and the look of a
// selected thumbnail frame (bitmap 172).

#include <QImage>

#include "artwork.h"

namespace artwork {

constexpr int kFaceWidth = 40;
constexpr int kFaceHeight = 30;
constexpr int kResolutionFaceWidth = 86;

QImage TakePictureFace(const FacePalette& palette);
QImage DeleteFace(const FacePalette& palette);
QImage DisabledDeleteFace();
QImage ResolutionFace(const FacePalette& palette);
QImage PropertiesFace(const FacePalette& palette);
QImage SelectedThumbnailFrame();

}  // namespace artwork
