// The pointer's handlers: ui/pointer decides what the pointer did; the commands it asks for
// (the four buttons, a resolution from the menu) run here.

#include "app/webcam_dlg.h"
#include "ui/pointer.h"

void CWebcamDlg::OnMouseMove(unsigned flags, Point point) {
    PointerMove(Skin(), flags, point, m_bHighResRefused);
}

void CWebcamDlg::OnLButtonUp(unsigned flags, Point point) {
    const PointerCommand command = PointerRelease(Skin(), flags, point, m_bHighResRefused);
    switch (command.kind) {
        case PointerCommand::Kind::Button:
            RunButtonCommand(command.value);
            break;
        case PointerCommand::Kind::Resolution:
            ChangeResolution(command.value);
            break;
        case PointerCommand::Kind::None:
            break;
    }
}

void CWebcamDlg::RunButtonCommand(int button) {
    // The resolution menu and the camera's settings need a camera; the pictures do not.
    if (m_bCameraLost && (button == 2 || button == 3)) {
        return;
    }
    switch (button) {
        case 0:
            TakeSnapshot();
            break;
        case 1:
            DeleteSelectedPictures();
            break;
        case 2:
            ShowResolutionMenu();
            break;
        case 3:
            ShowDeviceProperties();
            break;
        default:
            break;
    }
}

// Pressing records nothing: a drag starts with the first move with the button held.
void CWebcamDlg::OnLButtonDown(unsigned /*flags*/, Point /*point*/) {}
void CWebcamDlg::OnCaptureChanged() {}
