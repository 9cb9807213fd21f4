// Painting, moving and the window's three timers: the drawing itself is ui/'s.

#include "app/webcam_dlg.h"
#include "platform/dialog_window.h"
#include "ui/button_faces.h"
#include "ui/resolution_menu.h"
#include "ui/strip_painting.h"
#include "ui/window_layout.h"
#include "ui/window_painting.h"

void CWebcamDlg::OnPaint() {
    PaintWindow(Window(), m_hIcon);
}

void CWebcamDlg::DrawThumbnailStrip() {
    ::DrawThumbnailStrip(Skin());
}

void CWebcamDlg::RefreshResolutionButton() {
    ::RefreshResolutionButton(*this, Window(), m_nResolution);
}

void CWebcamDlg::ShowResolutionMenu() {
    ::ShowResolutionMenu(*this, Window(), m_bHighResRefused);
}

void CWebcamDlg::SetButtonFace(int button, const Bitmap* face) {
    ::SetButtonFace(*this, button, face);
}

void CWebcamDlg::OnTimer(int id) {
    switch (id) {
        case TIMER_DRAW_STRIP:
            DrawThumbnailStrip();
            Window().KillTimer(TIMER_DRAW_STRIP);
            break;
        case TIMER_RESOLUTION_BUTTON:
            RefreshResolutionButton();
            break;
        case TIMER_SWEEP:
            // Counted from the end of the sweep, so that sweeps never overlap however long one
            // takes.
            Window().KillTimer(TIMER_SWEEP);
            SweepMissingPictures();
            Window().SetTimer(TIMER_SWEEP, kSweepPeriodMs);
            break;
        case TIMER_CAMERA_RETRY:
            LookForLostCamera();
            break;
        case TIMER_CAMERA_RESTART:
            RestartHungCamera();
            break;
        default:
            break;
    }
}

// Moving the window does not move the controls within it; the rectangles are read again all
// the same, as the pointer handling and the strip drawing rely on them.
void CWebcamDlg::OnMove(int /*x*/, int /*y*/) {
    ReadControlPlaces(*this, Window());
}

void CWebcamDlg::OnShowWindow(bool /*show*/, int /*status*/) {}
