#pragma once

// The main window's layout (dialog resource 102).

#include "platform/dialog_template.h"

// Control identifiers of the main window's layout.
constexpr int IDC_SKIN = 1012;          // the skin, parent of the live picture
constexpr int IDC_BUTTON_FIRST = 1007;  // 1007 to 1010: take picture, delete, resolution, props
constexpr int IDC_STATIC_TEXT = 1013;   // the hidden text control
constexpr int IDC_THUMB_FRAME_FIRST = 1014;  // 1014 to 1019: the six thumbnail frames

const DialogLayout& MainDialogLayout();
