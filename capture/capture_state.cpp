#include "capture/capture_state.h"

#include "platform/device_arrivals.h"
#include "platform/media_framework.h"

CaptureState::CaptureState() = default;

// The members go in reverse order: the grabber, the capture filter, then the graph. In the
// normal course the window's destroy handling has released them already.
CaptureState::~CaptureState() = default;
