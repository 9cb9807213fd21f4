#pragma once

// Building, starting and releasing the camera's capture graph: the maker's camera, asked for one
// of three YUY2 sizes, through the frame tap (BufferCB) to the live-video child of the window.

#include <string>

#include "capture/capture_state.h"
#include "platform/media_framework.h"
#include "platform/result_codes.h"

class MediaFramework;
class PreviewSurface;

// True until the first format request for 1280 x 1024 has been answered. While it is true, a
// camera that accepts 1280 x 1024 is switched to 640 x 480 right after: the first start only
// finds out whether the high resolution is available.
extern bool g_bProbeHighRes;

// The frame size of a resolution index (0 = 320 x 240, 1 = 640 x 480, 2 = 1280 x 1024);
// false for any other index.
bool ResolutionSize(int resolution, int* width, int* height);

// Where a graph is built: the capture system, the window's live-video child that shows the
// preview (null when the window has no picture area), the device node the user chose (empty:
// the maker's camera is searched for), what the window does when the stream ends by itself,
// after the end was logged (nothing when empty), and what it does when the stream's frames stop
// coming and come again (not watched when empty; capture/camera_watch.h).
struct GraphHost {
    MediaFramework& media;
    PreviewSurface* preview;
    std::string deviceNode = {};
    StreamEndHandler onStreamEnd = {};
    StreamActivityHandler onActivity = {};
};

// Builds the graph for state.m_nResolution and runs it: S_OK_RESULT, E_NO_MAKER_CAMERA when no
// camera of the maker is present, or the failing step's result (each failure is logged). With
// m_pGraph or m_pGrabber still set, they are used instead of new ones. The first request for
// 1280 x 1024 may change m_nResolution to 1 and set m_bHighResRefused.
HResult InitStillGraph(CaptureState& state, const GraphHost& host);

// Stops and releases the graph; no frame reaches BufferCB once it returns, and the latest frame
// is forgotten: the frame of a run that has ended is never taken for a picture of the present.
// Safe with nothing set.
void ReleaseStillGraph(CaptureState& state);
