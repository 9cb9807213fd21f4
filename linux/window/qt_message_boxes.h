#pragma once

// Modal message boxes on Qt: the exclamation style shows the warning icon, the question style
// the question icon, MB_YESNO gives Yes and No buttons, anything else an OK button. A box
// belongs to the main window (its transient child) while that window is on screen.

#include "platform/services.h"

class QtMessageBoxes : public MessageBoxes {
public:
    int Show(const std::string& text, const std::string& caption, unsigned style) override;
};
