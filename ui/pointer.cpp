#include "ui/pointer.h"

#include "pictures/picture_list.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "ui/button_faces.h"
#include "ui/keyboard.h"
#include "ui/resolution_menu.h"
#include "ui/strip_selection.h"
#include "ui/window_timers.h"

namespace {

// The button whose hover face is shown; one main window per process.
int s_nLastHoverButton = -1;

constexpr int kHoverRedrawDelayMs = 5;

bool IsButton(int button) {
    return button >= 0 && button < 4;
}

// The delete button shows its disabled face whenever nothing is selected, hovered or not.
const Bitmap* FaceFor(const SkinState& skin, int button, int state) {
    if (button == 1 && !skin.m_bAnySelected) {
        return skin.m_hbmButton[4][0].get();
    }
    return skin.m_hbmButton[button][state].get();
}

void TrackHover(SkinnedWindow strip, Point point) {
    SkinState& skin = strip.skin;
    skin.m_nHoverButton = -1;
    for (int b = 0; b < 4; ++b) {
        if (PtInRect(skin.m_rcButton[b], point)) {
            skin.m_nHoverButton = b;
            strip.pictures.m_nClickedThumb = -1;
            break;
        }
    }
    if (skin.m_nHoverButton == s_nLastHoverButton) {
        return;
    }
    if (IsButton(skin.m_nHoverButton)) {
        SetButtonFace(skin, skin.m_nHoverButton, FaceFor(skin, skin.m_nHoverButton, 1));
    }
    if (IsButton(s_nLastHoverButton)) {
        SetButtonFace(skin, s_nLastHoverButton, FaceFor(skin, s_nLastHoverButton, 0));
    }
    strip.window.SetTimer(TIMER_RESOLUTION_BUTTON, kHoverRedrawDelayMs);
    s_nLastHoverButton = skin.m_nHoverButton;
}

void MoveWithButtonHeld(SkinnedWindow strip, unsigned flags, Point point) {
    strip.pictures.m_nClickedThumb = -1;
    if (PtInRect(strip.skin.m_rcStrip, point)) {
        StepDrag(strip, point);
    } else if (DragInProgress(strip.skin)) {
        FinishDrag(strip, flags, point);
    }
}

}  // namespace

int LastHoverButton() {
    return s_nLastHoverButton;
}

void ResetHoverTracking() {
    s_nLastHoverButton = -1;
}

void PointerMove(SkinnedWindow strip, unsigned flags, Point point, bool highResRefused) {
    SkinState& skin = strip.skin;
    if (skin.m_bResMenuOpen) {
        const Rect menu = MenuAndButtonArea(skin, highResRefused);
        if (!PtInRect(menu, point)) {
            skin.m_bResMenuOpen = false;
            strip.window.InvalidateRect(&menu, false);
        }
        return;
    }
    if ((flags & MK_LBUTTON) != 0) {
        MoveWithButtonHeld(strip, flags, point);
        return;
    }
    if (skin.m_rcDrag.Width() > 2) {
        FinishUnseenDrag(strip, flags);
    }
    TrackHover(strip, point);
}

PointerCommand PointerRelease(SkinnedWindow strip, unsigned flags, Point point,
                              bool highResRefused) {
    SkinState& skin = strip.skin;
    strip.pictures.m_nClickedThumb = -1;
    if (skin.m_bResMenuOpen) {
        skin.m_bResMenuOpen = false;
        const Rect rows = MenuRowsArea(skin, highResRefused);
        strip.window.InvalidateRect(&rows, false);
        if (PtInRect(rows, point)) {
            return {PointerCommand::Kind::Resolution, MenuRowAt(skin, point, highResRefused)};
        }
        return {};
    }
    if (IsButton(skin.m_nHoverButton)) {
        // A clicked button takes the keyboard focus; a menu it opens has no row under the keys.
        skin.m_nMenuRow = -1;
        MoveFocus(strip, skin.m_nHoverButton);
        return {PointerCommand::Kind::Button, skin.m_nHoverButton};
    }
    if (DragInProgress(skin)) {
        FinishDrag(strip, flags, point);
    } else {
        SelectByClick(strip, flags, point);
        if (strip.pictures.m_nClickedThumb >= 0) {
            MoveFocus(strip, kFocusStrip);  // a clicked picture takes the keyboard focus
        }
    }
    return {};
}
