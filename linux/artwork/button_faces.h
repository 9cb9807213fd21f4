#pragma once

// The pictures shown by the four button controls (bitmaps 130 to 137 and 154) and the look of a
// selected thumbnail frame (bitmap 172).

#include <QImage>

#include "linux/artwork/artwork.h"

namespace artwork {

constexpr int kFaceWidth = 40;
constexpr int kFaceHeight = 30;
constexpr int kResolutionFaceWidth = 86;

QImage TakePictureFace(const FacePalette& palette, const DeviceGrid& grid);
QImage DeleteFace(const FacePalette& palette, const DeviceGrid& grid);
QImage DisabledDeleteFace(const DeviceGrid& grid);
QImage ResolutionFace(const FacePalette& palette, const DeviceGrid& grid);
QImage PropertiesFace(const FacePalette& palette, const DeviceGrid& grid);
QImage SelectedThumbnailFrame(const DeviceGrid& grid);

}  // namespace artwork
