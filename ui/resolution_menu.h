#pragma once

// The resolution button's self-drawn menu and its label.

#include "platform/geometry.h"
#include "ui/skin_state.h"

// The labels of resolutions 0 to 2.
inline constexpr const char* kResolutionLabels[3] = {"320x240", "640x480", "1.3 M"};

// Draws the menu straight over the strip below the resolution button: it is no window and stays
// until its area is repainted, which the pointer handling asks for when it closes it. Without
// 1280 x 1024 ("1.3 M") it has two rows. The row the keys are on (m_nMenuRow) is highlighted;
// a menu the pointer opened has none.
void ShowResolutionMenu(SkinState& skin, DialogWindow& window, bool highResRefused);

// The menu's rows below the resolution button, and the button together with them.
Rect MenuRowsArea(const SkinState& skin, bool highResRefused);
Rect MenuAndButtonArea(const SkinState& skin, bool highResRefused);
// The row (resolution) under a point of the rows area.
int MenuRowAt(const SkinState& skin, Point point, bool highResRefused);

// After the camera was restarted at another resolution: the smaller picture leaves a border of
// the old one, so the picture area is repainted, and the button is relabelled shortly after.
void ShowResolutionChange(DialogWindow& window, int resolution);

// Shows the button's face and draws the label of `resolution` on it (none for 3: no capture).
// Until the label could be drawn timer 100 stays armed and the face is set again next time.
void RefreshResolutionButton(SkinState& skin, DialogWindow& window, int resolution);
