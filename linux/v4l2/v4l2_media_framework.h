#pragma once

// The capture system of this machine: the V4L2 capture nodes under /dev, and a camera answered
// in this process (the emulated one) when one is given.

#include <functional>
#include <memory>
#include <string>

#include "linux/v4l2/v4l2_device_io.h"
#include "platform/media_framework.h"
#include "platform/services.h"

// What the V4L2 framework offers besides the system's cameras, and what it is handed.
struct CaptureOptions {
    // A camera answered in this process instead of by the kernel (the emulated camera behind
    // --virtual-camera), listed after the system's cameras; none when null.
    std::shared_ptr<InProcessCamera> virtualDevice;
    std::string sysfsRoot = "/sys";  // where the USB ids of /dev/video* are looked up
    std::string devRoot = "/dev";    // where the video device nodes are opened
    // Where the end of a stream is reported, on the user-interface thread; without it the end
    // of a stream goes unreported.
    TaskPoster* userInterface = nullptr;
    // Shows the camera's settings dialog modally and returns when it was closed (the window
    // layer's RunPropertiesDialog in the program); without it no dialog is shown.
    std::function<void(const PropertyFrameRequest& request, PropertyPages& pages)> showProperties;
};

std::unique_ptr<MediaFramework> CreateV4l2MediaFramework(const CaptureOptions& options);
