#pragma once

// The window's own drawing after the platform has repainted the skin and the controls.

#include "ui/skin_state.h"

// After a repaint: a minimised window shows the icon centred; otherwise the strip and the
// resolution label are drawn on top a moment later, from the two one-shot timers.
void PaintWindow(DialogWindow& window, const Bitmap* icon);
