// The camera's handlers: each hands its work to capture/ over the dialog's capture state. Beside
// the graph and the settings dialog, the camera's two troubles: a camera that goes away while
// streaming (the window shows it, refuses what needs a camera and looks for the camera until it
// is back; capture/camera_return does the camera's part), and one whose stream stays open but
// sends nothing (shown the same way, a picture refused, the stream restarted every second until
// frames come again; capture/camera_watch).

#include <cerrno>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "capture/camera_return.h"
#include "capture/camera_watch.h"
#include "capture/device_discovery.h"
#include "capture/device_properties.h"
#include "capture/still_graph.h"
#include "capture/stream_end.h"
#include "platform/dialog_window.h"
#include "ui/button_faces.h"
#include "ui/resolution_menu.h"

namespace {

constexpr Rect kPictureArea{0, 0, 640, 480};

}  // namespace

HResult CWebcamDlg::InitStillGraph() {
    return ::InitStillGraph(*this, GraphHostForCamera());
}

GraphHost CWebcamDlg::GraphHostForCamera() {
    // The live picture goes into the skin control's video child; without the skin there is
    // nowhere to show it.
    PreviewSurface* preview =
        HasWindow() && Window().GetDlgItem(IDC_SKIN) ? &Window().Preview() : nullptr;
    // The graph is the dialog's own, and its report never comes once the graph is gone.
    return GraphHost{m_env.media, preview, m_env.captureDevice,
                     [this](const StreamEnd& end) { OnCameraStreamEnd(end); },
                     [this](StreamActivity activity) { OnCameraActivity(activity); }};
}

void CWebcamDlg::ReleaseStillGraph() {
    ::ReleaseStillGraph(*this);
}

void CWebcamDlg::GetDefaultCapDevice(std::shared_ptr<CaptureFilter>* result) {
    ::GetDefaultCapDevice(m_env.media, result, m_env.captureDevice);
}

void CWebcamDlg::ShowDeviceProperties() {
    SetButtonFace(3, m_hbmButton[3][0].get());
    ::ShowDeviceProperties(*this, m_env.media, HasWindow() ? Window().Title() : std::string(),
                           m_bChinese);
}

// Asks the open settings dialog, found by its title, to close; its modal loop then returns into
// ShowDeviceProperties. Nothing when no settings are open.
void CWebcamDlg::CloseDeviceProperties() {
    if (m_pSpecifyPages == nullptr) {
        return;
    }
    WindowFinder& finder = Services().windowFinder;
    if (std::optional<WindowRef> settings = finder.Find(PropertiesTitle(m_bChinese))) {
        finder.Close(*settings);
    }
}

// The camera restarts only for another size. A failed restart is logged by the graph build and
// leaves the window without a live picture; the label still follows the choice. A camera that
// is away cannot change its size.
void CWebcamDlg::ChangeResolution(int resolution) {
    if (resolution == m_nResolution || m_bCameraLost) {
        return;
    }
    ReleaseStillGraph();
    m_nResolution = resolution;
    InitStillGraph();
    ShowResolutionChange(Window(), resolution);
}

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
