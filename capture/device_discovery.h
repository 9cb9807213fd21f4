#pragma once

// Finding the maker's camera in the list of video input devices.

#include <memory>

class CaptureFilter;
class MediaFramework;

// The first device whose path text carries "vid_" followed by the built-in vendor identifier
// (the digits in either case) and that opens; null when there is none. Every other device's
// path text is logged, as are the failures of the walk.
void GetDefaultCapDevice(MediaFramework& media, std::shared_ptr<CaptureFilter>* result);
