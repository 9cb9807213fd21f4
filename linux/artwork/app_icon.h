#pragma once

// The application icon: a camera in the skin's colours, drawn as shapes so that every size of
// the desktop's icon theme is drawn, not scaled from another size.

#include <QImage>

namespace artwork {

// The window's own icon (icon 128) is this many pixels square at scale 1.
constexpr int kWindowIconSize = 48;

QImage AppIcon(int size);

}  // namespace artwork
