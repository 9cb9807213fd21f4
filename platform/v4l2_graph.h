#pragma once

// The media graph on V4L2: the camera's capture filter, the frame tap, the preview placed in
// the window's live-video child, and run and stop on the camera's streaming thread.

#include <memory>

#include "platform/media_framework.h"

class V4l2Camera;

// The capture filter of an opened camera.
std::shared_ptr<CaptureFilter> MakeV4l2CaptureFilter(std::shared_ptr<V4l2Camera> camera);

std::unique_ptr<MediaGraph> MakeV4l2Graph();
std::unique_ptr<SampleGrabber> MakeV4l2SampleGrabber();
std::unique_ptr<CaptureGraphBuilder> MakeV4l2GraphBuilder();
std::unique_ptr<NullRenderer> MakeV4l2NullRenderer();

// The log line written when the camera's stream ends by itself.
constexpr const char* kCameraDisconnectedLog = "Camera disconnected: frame capture stopped";
