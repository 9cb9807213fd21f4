#include "capture/camera_return.h"

#include <cstdio>

#include "capture/device_discovery.h"
#include "platform/device_arrivals.h"
#include "platform/diagnostic_log.h"

void LoseCamera(CaptureState& state, DeviceArrivals* arrivals, std::function<void()> onArrival) {
    // The streaming thread has ended already; releasing joins it and closes the device.
    ReleaseStillGraph(state);
    state.m_bCameraLost = true;
    state.m_bCameraHung = false;  // a camera that has gone is lost, not hung
    state.m_nRestartAttempts = 0;
    if (arrivals != nullptr && !state.m_arrivalWatch) {
        state.m_arrivalWatch = arrivals->Watch(std::move(onArrival));
    }
}

CameraReturn TryCameraReturn(CaptureState& state, const GraphHost& host) {
    if (!state.m_bCameraLost) {
        return CameraReturn::NotLost;
    }
    // Asked once a second for as long as the camera stays away: only a camera that is there
    // gets the logged graph build.
    if (!CaptureDevicePresent(host.media, host.deviceNode)) {
        return CameraReturn::Absent;
    }
    if (InitStillGraph(state, host) != S_OK_RESULT) {
        ReleaseStillGraph(state);
        return CameraReturn::Failed;
    }
    state.m_bCameraLost = false;
    state.m_arrivalWatch.reset();
    int width = 0;
    int height = 0;
    ResolutionSize(state.m_nResolution, &width, &height);
    char line[96];
    std::snprintf(line, sizeof line, "Camera found again: frame capture resumed at %d x %d", width,
                  height);
    WriteLog(line);
    return CameraReturn::Returned;
}

void EndCameraWatch(CaptureState& state) {
    state.m_arrivalWatch.reset();
}
