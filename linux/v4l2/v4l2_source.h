#pragma once

// The capture source of an opened V4L2 camera: one object that owns the camera, answers as the
// graph's capture filter and streams for the graph it joins. Its pins, stream configuration and
// settings are views that do not keep the camera open.

#include <memory>

#include "platform/media_framework.h"

class V4l2Camera;

std::shared_ptr<CaptureFilter> MakeV4l2Source(std::unique_ptr<V4l2Camera> camera);
