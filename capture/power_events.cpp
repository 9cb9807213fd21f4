#include "capture/power_events.h"

#include "app/webcam_dlg.h"
#include "platform/power_notices.h"

namespace {

constexpr std::uintptr_t PBT_APMSUSPEND = 4;
constexpr std::uintptr_t PBT_APMRESUMESUSPEND = 7;

}  // namespace

void WatchPowerWhileCameraRuns(CWebcamDlg& dialog) {
    if (dialog.m_powerEvents) {
        return;
    }
    // Delivered on the user-interface thread; the watch ends before the dialog goes.
    dialog.m_powerEvents = dialog.Environment().power.Watch([&dialog](bool suspending) {
        dialog.WindowProc(WM_POWERBROADCAST, suspending ? PBT_APMSUSPEND : PBT_APMRESUMESUSPEND, 0);
    });
}

void StopWatchingPower(CWebcamDlg& dialog) {
    dialog.m_powerEvents.reset();
}
