#pragma once

// The media graph of the V4L2 capture system: it carries a source's stream through the frame
// tap to the preview placed in the window's live-video child, runs and stops the source's
// streaming thread, and reports a stream that ends by itself on the user-interface thread.

#include <memory>

#include "platform/media_framework.h"
#include "platform/services.h"

// userInterface: where the end of a stream is reported (null: not at all).
std::unique_ptr<MediaGraph> MakeV4l2Graph(TaskPoster* userInterface);
std::unique_ptr<CaptureGraphBuilder> MakeV4l2GraphBuilder();
std::unique_ptr<NullRenderer> MakeV4l2NullRenderer();
