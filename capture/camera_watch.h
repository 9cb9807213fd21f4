#pragma once

// A camera that stops answering while it streams: its stream stays open, nothing fails, and no
// frame comes (its firmware hangs). The graph watches the stream and reports the silence; the
// window then says that the camera is not responding and restarts the stream once a second,
// quietly, until frames come again:
//
//     running --no frame for the limit--> hung --frames again--> running
//                                          |
//                                          +--the camera has gone--> lost (capture/camera_return.h)
//
// While hung, the last frame is no picture of the present: it is forgotten, and a picture is
// refused as while the camera is lost.

#include <cstdint>

#include "capture/capture_state.h"

// A stream is hung after this long without a frame, or three of its frame intervals when that
// is longer: a camera sending two frames a second is slow, not hung.
constexpr int kCameraSilenceMs = 2000;
// How often a hung camera's stream is restarted.
constexpr int kCameraRestartPeriodMs = 1000;

// The silence after which a stream with this time per frame (100 ns units, 0 when the camera
// states none) counts as hung.
int CameraSilenceLimitMs(std::int64_t timePerFrame);

// The stream fell silent: the camera counts as not responding and its last frame is forgotten.
// Logged once; false when nothing changed (no graph runs, the camera is lost, or already hung).
bool MarkCameraHung(CaptureState& state);

// Frames come again: true, logged, when the camera was hung.
bool MarkCameraResponding(CaptureState& state);

enum class CameraRestart {
    Restarted,  // the stream runs again; whether frames come, its activity tells
    Failed,     // the camera is there but did not start; tried again at the next restart
    Lost,       // the camera has gone: the caller loses it as if its stream had ended
};

// One restart of a hung camera's stream, without a log line: stop and start it, and on every
// second attempt close and reopen the device in between.
CameraRestart RestartHungCamera(CaptureState& state);
