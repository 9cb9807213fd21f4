#pragma once

// Drawing the six thumbnail frames and the drag band over the window.

#include "ui/skin_state.h"

// Draws every frame the window wants repainted (or the band's area touches), each composed off
// screen and shown in one copy, then the band's outline. Counts the selection on the way (the
// list is cut at its first empty record) and shows the delete button's face to match.
void DrawThumbnailStrip(SkinnedWindow strip);
