#pragma once

// Finding the maker's camera in the list of video input devices.

#include <memory>
#include <string>

class CaptureFilter;
class MediaFramework;

// The first device whose path text carries "vid_" followed by the built-in vendor identifier
// (the digits in either case) and that opens; null when there is none. Every other device's
// path text is logged, as are the failures of the walk.
//
// With chosenNode set (the user named a device), the device at that node instead, whatever its
// vendor: "GetDefaultCapDevice " and the node are logged, and the result is null when the node
// does not exist, is not a video capture device or cannot be opened.
void GetDefaultCapDevice(MediaFramework& media, std::shared_ptr<CaptureFilter>* result,
                         const std::string& chosenNode = {});

// Whether the device GetDefaultCapDevice would look for is there and answers now, found the same
// way but without opening it as a source and without logging: asked again and again while the
// camera is away.
bool CaptureDevicePresent(MediaFramework& media, const std::string& chosenNode = {});
