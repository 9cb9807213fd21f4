#pragma once

// The skin's bitmaps by resource id: the skin (129), the button faces (130 to 137, 154) and the
// selected frame's look (172), drawn for a device grid. At scale 1 these are the committed
// bitmaps the program carries; at any other scale they are drawn anew at that scale.

#include <QImage>
#include <vector>

#include "platform/device_grid.h"

namespace artwork {

// The ids of the skin's bitmaps, in resource order.
const std::vector<int>& SkinBitmapIds();

// The bitmap with this id drawn on the grid; a null image for an id that is not the skin's.
QImage DrawSkinBitmap(int id, const DeviceGrid& grid);

}  // namespace artwork
