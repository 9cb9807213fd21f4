#pragma once

// A camera that goes away while it streams (unplugged, or its driver failed) and its return.
//
//     running --stream ends--> lost --device back, graph runs--> running
//
// Losing the camera releases its graph at once: a camera that is gone keeps nothing open (a
// real unplug frees nothing while handles stay open, and some drivers come back only once every
// handle is closed). While lost, the window looks for the camera again whenever a video device
// is added and once a second, the same way the start found it, and rebuilds the graph at the
// resolution the user had chosen.

#include <functional>

#include "capture/capture_state.h"
#include "capture/still_graph.h"

class DeviceArrivals;

// How often a lost camera is looked for, whether or not device notices come: some drivers come
// back without any, and without a udev daemon there are none.
constexpr int kCameraRetryPeriodMs = 1000;

// The stream has ended by itself: releases the graph (every descriptor and mapping of the camera
// is closed when this returns), marks the camera lost and, when arrivals is given, watches for
// added video devices, calling onArrival on the user-interface thread for each notice.
void LoseCamera(CaptureState& state, DeviceArrivals* arrivals, std::function<void()> onArrival);

enum class CameraReturn {
    NotLost,   // nothing to do: the camera was not lost
    Absent,    // the camera is not there (yet); nothing was logged
    Failed,    // it is there but did not start; the failed build was logged and released
    Returned,  // the graph runs again; the watch has ended
};

// While lost: looks for the camera quietly and, when it is there, builds the graph again for
// state.m_nResolution (a camera that now refuses 1280 x 1024 falls back to 640 x 480 and the
// refusal is remembered, as at the start) and logs the return.
CameraReturn TryCameraReturn(CaptureState& state, const GraphHost& host);

// Ends the watch for added devices (the window is closing).
void EndCameraWatch(CaptureState& state);
