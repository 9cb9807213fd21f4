#include "capture/camera_watch.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "capture/frame_double_buffer.h"
#include "platform/diagnostic_log.h"
#include "platform/media_framework.h"

namespace {

constexpr std::int64_t kTimeUnitsPerMs = 10'000;  // 100 ns units
constexpr int kSilentFrameIntervals = 3;

// The camera's node is gone, or the device answers that it has gone.
bool CameraGone(HResult result) {
    return result == HResultFromErrno(ENODEV) || result == HResultFromErrno(ENOENT);
}

}  // namespace

int CameraSilenceLimitMs(std::int64_t timePerFrame) {
    const std::int64_t intervalsMs =
        std::max<std::int64_t>(timePerFrame, 0) * kSilentFrameIntervals / kTimeUnitsPerMs;
    return static_cast<int>(std::clamp<std::int64_t>(intervalsMs, kCameraSilenceMs, 60'000));
}

bool MarkCameraHung(CaptureState& state) {
    if (!state.m_pGraph || state.m_bCameraLost || state.m_bCameraHung) {
        return false;
    }
    state.m_bCameraHung = true;
    state.m_nRestartAttempts = 0;
    {
        // No copy runs while the gate is held closed, so the publication can go.
        FrameGateReader gate(state);
        ForgetLatestFrame();
    }
    char line[96];
    std::snprintf(line, sizeof line, "Camera not responding: no frame for %d ms",
                  CameraSilenceLimitMs(state.m_nTimePerFrame));
    WriteLog(line);
    return true;
}

bool MarkCameraResponding(CaptureState& state) {
    if (!state.m_bCameraHung) {
        return false;
    }
    state.m_bCameraHung = false;
    state.m_nRestartAttempts = 0;
    WriteLog("Camera responding again: frame capture resumed");
    return true;
}

CameraRestart RestartHungCamera(CaptureState& state) {
    MediaControl* control = state.m_pGraph ? state.m_pGraph->QueryMediaControl() : nullptr;
    if (control == nullptr || !state.m_pCapture) {
        return CameraRestart::Failed;
    }
    ++state.m_nRestartAttempts;
    control->Stop();
    // Some cameras answer again only once their device is opened anew.
    if (state.m_nRestartAttempts % 2 == 0) {
        const HResult reopened = state.m_pCapture->ReopenDevice();
        if (reopened < 0) {
            return CameraGone(reopened) ? CameraRestart::Lost : CameraRestart::Failed;
        }
    }
    const HResult result = control->Run();
    if (result < 0) {
        return CameraGone(result) ? CameraRestart::Lost : CameraRestart::Failed;
    }
    return CameraRestart::Restarted;
}
