#pragma once

// The camera's part of the main window's record: the capture graph and its source, the chosen
// resolution, the frame gate and the open settings dialog. CWebcamDlg is made of this part and
// those of pictures/ and ui/; the functions of capture/ work on this part alone.

#include <atomic>
#include <cstdint>
#include <memory>

class CaptureFilter;
class DeviceArrivalWatch;
class MediaGraph;
class PropertyPages;
class SampleGrabber;

struct CaptureState {
    // 0 = 320 x 240, 1 = 640 x 480, 2 = 1280 x 1024, 3 = capture unavailable.
    int m_nResolution = 0;
    // The frame gate: while false, BufferCB drops frames. Read on the streaming thread.
    std::atomic<bool> m_bAcceptFrames{false};
    bool m_bHighResRefused = false;  // the camera refused 1280 x 1024
    std::unique_ptr<MediaGraph> m_pGraph;
    std::shared_ptr<CaptureFilter> m_pCapture;  // the graph holds a reference of its own
    std::unique_ptr<SampleGrabber> m_pGrabber;
    PropertyPages* m_pSpecifyPages = nullptr;  // non-null exactly while the settings are open
    // The camera's stream ended by itself (it was unplugged, or its driver failed): the graph is
    // gone and the window waits for the camera to come back. m_nResolution keeps the choice.
    bool m_bCameraLost = false;
    // While lost: the notices of video devices added to the machine.
    std::unique_ptr<DeviceArrivalWatch> m_arrivalWatch;
    // The camera's stream runs but no frame has come for a while (its firmware hangs): the
    // window says so and restarts the stream until frames come again (capture/camera_watch.h).
    bool m_bCameraHung = false;
    int m_nRestartAttempts = 0;  // the restarts tried since the camera stopped responding
    // The running stream's time per frame in units of 100 ns, as the camera states it (0: none).
    std::int64_t m_nTimePerFrame = 0;

    CaptureState();
    ~CaptureState();
    CaptureState(const CaptureState&) = delete;
    CaptureState& operator=(const CaptureState&) = delete;
};
