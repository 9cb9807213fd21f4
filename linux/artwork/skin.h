#pragma once

// Bitmap 129: the 640 x 595 background of the whole client area.

#include <QImage>

#include "platform/device_grid.h"

namespace artwork {

constexpr int kSkinWidth = 640;
constexpr int kSkinHeight = 595;
constexpr int kButtonBandTop = 479;
constexpr int kStripPanelTop = 516;

QImage Skin(const DeviceGrid& grid);

}  // namespace artwork
