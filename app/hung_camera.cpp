// A camera whose stream stays open but sends nothing: the window shows it as it shows a lost
// camera, refuses a picture, and restarts the stream every second until frames come again
// (capture/camera_watch does the camera's part).

#include <cerrno>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "capture/camera_watch.h"
#include "capture/stream_end.h"
#include "platform/dialog_window.h"

// User-interface thread, from the graph's report.
void CWebcamDlg::OnCameraActivity(StreamActivity activity) {
    if (activity == StreamActivity::Silent) {
        if (!MarkCameraHung(*this) || !HasWindow()) {
            return;
        }
        ShowCameraState(m_bChinese ? kCameraNotRespondingChinese : kCameraNotRespondingEnglish);
        Window().SetTimer(TIMER_CAMERA_RESTART, kCameraRestartPeriodMs);
        return;
    }
    if (!MarkCameraResponding(*this) || !HasWindow()) {
        return;
    }
    Window().KillTimer(TIMER_CAMERA_RESTART);
    ShowCameraState({});
}

// Counted from the end of an attempt, like the look for a lost camera.
void CWebcamDlg::RestartHungCamera() {
    if (!HasWindow()) {
        return;
    }
    Window().KillTimer(TIMER_CAMERA_RESTART);
    if (!m_bCameraHung) {
        return;
    }
    if (::RestartHungCamera(*this) == CameraRestart::Lost) {
        // As if the stream had ended with the device gone: logged, released, looked for.
        const StreamEnd gone{ENODEV};
        ::OnCameraStreamEnd(gone);
        OnCameraStreamEnd(gone);
        return;
    }
    Window().SetTimer(TIMER_CAMERA_RESTART, kCameraRestartPeriodMs);
}
