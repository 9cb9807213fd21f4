#include "app/webcam_dlg.h"

#include "capture/camera_return.h"
#include "capture/frame_double_buffer.h"
#include "platform/diagnostic_log.h"
#include "platform/power_notices.h"
#include "ui/button_faces.h"
#include "ui/keyboard.h"

namespace {

constexpr int kIconResource = 128;

}  // namespace

CWebcamDlg::CWebcamDlg(WebcamEnvironment& environment)
    : DialogBase(MainDialogLayout(), environment.platform), m_env(environment) {
    m_strStatic.clear();
    m_iconBitmap = Bitmap::LoadIcon(kIconResource, Rgb(99, 99, 99));
    m_hIcon = m_iconBitmap.get();
    StartLogging();
}

// In the normal course OnDestroy has done this already.
CWebcamDlg::~CWebcamDlg() {
    LetGoOfTheCamera();
}

// Nothing that could call back into the dialog is left: the lost camera is no longer looked for
// (its timer goes with the window), the graph's streaming thread has ended once
// ReleaseStillGraph returns, the frame callback forgets the gate, and the machine may sleep
// without waiting for us.
void CWebcamDlg::LetGoOfTheCamera() {
    EndCameraWatch(*this);
    ReleaseStillGraph();
    DetachFrameCallback(*this);
    m_powerWatch.reset();
}

// Everything that lives as long as the window goes here, the camera first, so that nothing runs
// on another thread that could still reach this dialog.
void CWebcamDlg::OnDestroy() {
    // Nothing is described or drawn for the keyboard any more: the faces go below, and a focus
    // change while the window is taken off the screen must not repaint them.
    Window().SetAccessibleContent(nullptr);
    HideKeyboardFocus(Skin());
    LetGoOfTheCamera();
    ReleaseButtonFaces(*this);
    ReleaseThumbnailPool(*this);
    DialogBase::OnDestroy();
}
