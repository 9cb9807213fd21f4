#pragma once

// What the capture does when the camera's stream ends by itself while the graph runs (the camera
// went away, or its driver failed): it writes which way the stream ended to the log. The window
// goes on showing the last picture, and the last frame can still be taken.

#include "platform/media_framework.h"

// The log line of a camera that went away while streaming.
constexpr const char* kCameraDisconnectedLog = "Camera disconnected: frame capture stopped";

// The graph's stream-end handler; user-interface thread.
void OnCameraStreamEnd(const StreamEnd& end);
