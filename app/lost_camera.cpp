// A camera that went away while streaming: the window shows it, refuses what needs a camera and
// looks for the camera until it is back (capture/camera_return does the camera's part).

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "capture/camera_return.h"
#include "capture/device_properties.h"
#include "platform/dialog_window.h"
#include "ui/resolution_menu.h"

namespace {

constexpr Rect kPictureArea{0, 0, 640, 480};

}  // namespace

// User-interface thread, from the graph's report; the stream's end is logged already.
void CWebcamDlg::OnCameraStreamEnd(const StreamEnd& /*end*/) {
    CloseDeviceProperties();  // the settings of a camera that is gone change nothing
    LoseCamera(*this, m_env.deviceArrivals, [this] { LookForLostCamera(); });
    if (!HasWindow()) {
        return;
    }
    Window().KillTimer(TIMER_CAMERA_RESTART);  // a camera that has gone is not restarted
    ShowCameraState(m_bChinese ? kCameraDisconnectedChinese : kCameraDisconnectedEnglish);
    Window().SetTimer(TIMER_CAMERA_RETRY, kCameraRetryPeriodMs);
}

// From the retry timer and from every notice of an added video device.
void CWebcamDlg::LookForLostCamera() {
    if (!HasWindow()) {
        return;
    }
    // Counted from the end of an attempt, so that slow attempts never pile up.
    Window().KillTimer(TIMER_CAMERA_RETRY);
    if (TryCameraReturn(*this, GraphHostForCamera()) != CameraReturn::Returned) {
        Window().SetTimer(TIMER_CAMERA_RETRY, kCameraRetryPeriodMs);
        return;
    }
    ShowCameraState({});
    // The camera may have come back refusing the size it had: the label follows.
    ShowResolutionChange(Window(), m_nResolution);
}

void CWebcamDlg::ShowCameraState(const std::string& text) {
    Window().Preview().SetNotice(text);
    Window().InvalidateRect(&kPictureArea, false);
}
