#pragma once

// The capture system of this machine: the V4L2 capture nodes under /dev, and the emulated camera
// when asked for.

#include <memory>
#include <string>

#include "platform/media_framework.h"
#include "platform/services.h"

class VirtualCameraIo;

// What the V4L2 framework offers besides the system's cameras.
struct CaptureOptions {
    bool virtualCamera = false;          // --virtual-camera: add the emulated camera to the list
    bool virtualRefusesHighRes = false;  // the emulated camera refuses 1280 x 1024
    bool virtualHasNoControls = false;   // the emulated camera offers no settings
    int virtualVanishAfterFrames = 0;    // > 0: the emulated camera is unplugged after N frames
    std::string sysfsRoot = "/sys";      // where the USB ids of /dev/video* are looked up
    std::string devRoot = "/dev";        // where the video device nodes are opened
    // The emulated camera itself, for tests that unplug it and plug it in again; when null and
    // virtualCamera is set, one is made from the options above.
    std::shared_ptr<VirtualCameraIo> virtualDevice;
    // Where the end of a stream is reported, on the user-interface thread; without it the end
    // of a stream goes unreported.
    TaskPoster* userInterface = nullptr;
};

std::unique_ptr<MediaFramework> CreateV4l2MediaFramework(const CaptureOptions& options);
