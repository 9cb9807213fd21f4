#pragma once

// The application icon: a camera in the skin's colours, drawn as shapes so that every size of
// the desktop's icon theme is drawn, not scaled from another size.

#include <QImage>

namespace artwork {

QImage AppIcon(int size);

}  // namespace artwork
