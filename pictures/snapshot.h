#pragma once

// Taking a picture: the latest camera frame becomes a JPEG file under the next free number and a
// new record at the end of the list.

#include "capture/capture_state.h"
#include "pictures/picture_list.h"

// Reads the latest frame through the capture state's frame gate (at the size m_nResolution
// names) and stores it; true when a record was added. No frame yet: nothing happens. Every other
// refusal (a camera that went away or stopped responding, no folder, no record left, a frame of
// another size, a failed save) is logged.
bool TakeSnapshot(PictureList& list, CaptureState& capture);
