// The camera's handlers: each hands its work to capture/ over the dialog's capture state.

#include "app/webcam_dlg.h"
#include "capture/device_discovery.h"
#include "capture/device_properties.h"
#include "capture/still_graph.h"
#include "platform/dialog_window.h"
#include "ui/button_faces.h"
#include "ui/resolution_menu.h"

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
