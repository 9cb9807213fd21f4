#include "app/webcam_dlg.h"

#include "capture/camera_return.h"
#include "capture/frame_double_buffer.h"
#include "platform/diagnostic_log.h"
#include "platform/power_notices.h"
#include "ui/button_faces.h"

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

bool CWebcamDlg::PreTranslateMessage(const KeyMessage& message) {
    const bool keyMessage = message.message == WM_KEYDOWN || message.message == WM_KEYUP;
    // Neither Escape nor Enter may end the window: it has no OK or Cancel button.
    return keyMessage && (message.key == VK_ESCAPE || message.key == VK_RETURN);
}

// Everything that lives as long as the window goes here, the camera first, so that nothing runs
// on another thread that could still reach this dialog.
void CWebcamDlg::OnDestroy() {
    LetGoOfTheCamera();
    ReleaseButtonFaces(*this);
    ReleaseThumbnailPool(*this);
    DialogBase::OnDestroy();
}
