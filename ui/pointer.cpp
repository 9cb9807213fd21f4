// The window's pointer handlers: hover faces, the four button commands, the resolution menu and
// the selection in the thumbnail strip. The window never captures the pointer, so a release
// outside it is not seen; the next move without the button makes up for it.

#include "app/webcam_dlg.h"
#include "platform/dialog_window.h"
#include "ui/hover_tracking.h"
#include "ui/strip_selection.h"

namespace {

// The button whose hover face is shown; one main window per process.
int s_nLastHoverButton = -1;

constexpr int kHoverRedrawDelayMs = 5;
constexpr int kResolutionRedrawDelayMs = 50;
constexpr int kMenuRowHeight = 25;
constexpr Rect kLivePictureArea{0, 0, 640, 480};

int MenuRows(const CWebcamDlg& dialog) {
    return dialog.m_bHighResRefused ? 2 : 3;
}

// The rows of the menu below the resolution button, in client coordinates.
Rect MenuRowsArea(const CWebcamDlg& dialog) {
    const Rect& button = dialog.m_rcButton[2];
    return Rect{button.left, button.bottom + 1, button.right,
                button.bottom + 1 + kMenuRowHeight * MenuRows(dialog)};
}

// The resolution button together with its menu.
Rect MenuAndButtonArea(const CWebcamDlg& dialog) {
    Rect area = MenuRowsArea(dialog);
    area.top = dialog.m_rcButton[2].top;
    return area;
}

bool IsButton(int button) {
    return button >= 0 && button < 4;
}

// The delete button shows its disabled face whenever nothing is selected, hovered or not.
const Bitmap* FaceFor(const CWebcamDlg& dialog, int button, int state) {
    if (button == 1 && !dialog.m_bAnySelected) {
        return dialog.m_hbmButton[4][0].get();
    }
    return dialog.m_hbmButton[button][state].get();
}

void RunButtonCommand(CWebcamDlg& dialog, int button) {
    switch (button) {
        case 0:
            dialog.TakeSnapshot();
            break;
        case 1:
            dialog.DeleteSelectedPictures();
            break;
        case 2:
            dialog.ShowResolutionMenu();
            break;
        case 3:
            dialog.ShowDeviceProperties();
            break;
        default:
            break;
    }
}

// The row under a release inside the menu; the camera restarts only for another size.
void PickResolution(CWebcamDlg& dialog, Point point) {
    const int depth = point.y - MenuRowsArea(dialog).top;
    const int row = (depth > 2 * kMenuRowHeight && !dialog.m_bHighResRefused) ? 2
                    : depth > kMenuRowHeight                                  ? 1
                                                                              : 0;
    if (row == dialog.m_nResolution) {
        return;
    }
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = row;
    dialog.InitStillGraph();  // a failure is logged there; the label still follows the choice
    if (row == 0) {
        // The smaller picture leaves a border of the old one around it.
        dialog.Window().InvalidateRect(&kLivePictureArea, false);
    }
    dialog.Window().SetTimer(TIMER_RESOLUTION_BUTTON, kResolutionRedrawDelayMs);
}

void TrackHover(CWebcamDlg& dialog, Point point) {
    dialog.m_nHoverButton = -1;
    for (int b = 0; b < 4; ++b) {
        if (PtInRect(dialog.m_rcButton[b], point)) {
            dialog.m_nHoverButton = b;
            dialog.m_nClickedThumb = -1;
            break;
        }
    }
    if (dialog.m_nHoverButton == s_nLastHoverButton) {
        return;
    }
    if (IsButton(dialog.m_nHoverButton)) {
        dialog.SetButtonFace(dialog.m_nHoverButton, FaceFor(dialog, dialog.m_nHoverButton, 1));
    }
    if (IsButton(s_nLastHoverButton)) {
        dialog.SetButtonFace(s_nLastHoverButton, FaceFor(dialog, s_nLastHoverButton, 0));
    }
    dialog.Window().SetTimer(TIMER_RESOLUTION_BUTTON, kHoverRedrawDelayMs);
    s_nLastHoverButton = dialog.m_nHoverButton;
}

void MoveWithButtonHeld(CWebcamDlg& dialog, unsigned flags, Point point) {
    dialog.m_nClickedThumb = -1;
    if (PtInRect(dialog.m_rcStrip, point)) {
        StepDrag(dialog, point);
    } else if (DragInProgress(dialog)) {
        FinishDrag(dialog, flags, point);
    }
}

}  // namespace

int LastHoverButton() {
    return s_nLastHoverButton;
}
void ResetHoverTracking() {
    s_nLastHoverButton = -1;
}

void CWebcamDlg::OnMouseMove(unsigned flags, Point point) {
    if (m_bResMenuOpen) {
        const Rect menu = MenuAndButtonArea(*this);
        if (!PtInRect(menu, point)) {
            m_bResMenuOpen = false;
            Window().InvalidateRect(&menu, false);
        }
        return;
    }
    if ((flags & MK_LBUTTON) != 0) {
        MoveWithButtonHeld(*this, flags, point);
        return;
    }
    if (m_rcDrag.Width() > 2) {
        FinishUnseenDrag(*this, flags);
    }
    TrackHover(*this, point);
}

void CWebcamDlg::OnLButtonUp(unsigned flags, Point point) {
    m_nClickedThumb = -1;
    if (m_bResMenuOpen) {
        m_bResMenuOpen = false;
        const Rect rows = MenuRowsArea(*this);
        Window().InvalidateRect(&rows, false);
        if (PtInRect(rows, point)) {
            PickResolution(*this, point);
        }
        return;
    }
    // The command is the hovered button's, wherever the release happens: hover is not tracked
    // while the button is held.
    if (IsButton(m_nHoverButton)) {
        RunButtonCommand(*this, m_nHoverButton);
    } else if (DragInProgress(*this)) {
        FinishDrag(*this, flags, point);
    } else {
        SelectByClick(*this, flags, point);
    }
}

// Pressing records nothing: a drag starts with the first move with the button held.
void CWebcamDlg::OnLButtonDown(unsigned /*flags*/, Point /*point*/) {}
void CWebcamDlg::OnKillFocus() {}
void CWebcamDlg::OnCaptureChanged() {}
