// The machine's sleep notices arrive at the window as power broadcasts: a coming sleep ends the
// window (after closing the camera's settings dialog), any other broadcast is only logged.

#include <cstdio>

#include "app/webcam_dlg.h"
#include "platform/diagnostic_log.h"
#include "platform/power_notices.h"

namespace {

constexpr std::uintptr_t PBT_APMQUERYSUSPEND = 0;
constexpr std::uintptr_t PBT_APMSUSPEND = 4;
constexpr std::uintptr_t PBT_APMRESUMESUSPEND = 7;
constexpr int kSuspendResult = 4;

}  // namespace

// From the window's start, whatever becomes of the camera, to its destruction. While the watch
// lives the machine's sleep waits for the window to close the camera.
void CWebcamDlg::WatchPower() {
    if (m_powerWatch) {
        return;
    }
    // Delivered on the user-interface thread; the watch ends before the dialog goes.
    m_powerWatch = m_env.power.Watch([this](bool suspending) {
        WindowProc(WM_POWERBROADCAST, suspending ? PBT_APMSUSPEND : PBT_APMRESUMESUSPEND, 0);
    });
}

std::intptr_t CWebcamDlg::WindowProc(unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    if (message == WM_POWERBROADCAST) {
        char line[64];
        std::snprintf(line, sizeof line, "WM_POWERBROADCAST %08X %08X", message,
                      static_cast<unsigned>(wParam));
        WriteLog(line);
        if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMSUSPEND) {
            CloseDeviceProperties();
            EndDialog(kSuspendResult);
        }
    }
    return DialogBase::WindowProc(message, wParam, lParam);
}
