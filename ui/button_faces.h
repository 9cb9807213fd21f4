#pragma once

// The faces of the four skin buttons.

#include "ui/skin_state.h"

// Shows `face` on button 0 to 3. The control only borrows the face; the window keeps owning every
// face it loaded. A face that was never loaded leaves the control showing what it showed.
void SetButtonFace(SkinState& skin, int button, const Bitmap* face);

// Loads the ten faces from the program's resources: pairs 0 to 3 (130 + 2p and 131 + 2p), then
// pair 4 (154 and 172). Logs "function bmp error" or "function bmp error 1" and answers false
// at the first face that cannot be had.
bool LoadButtonFaces(SkinState& skin);

// Deletes the ten faces (the window's end).
void ReleaseButtonFaces(SkinState& skin);
