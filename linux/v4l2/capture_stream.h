#pragma once

// The streaming side of a capture source: what a graph drives once the source has joined it
// (FilterGraphSite::JoinSource). The source streams on a thread of its own and hands every frame
// to the graph there.

#include <cstdint>
#include <functional>

#include "platform/media_framework.h"

// How the frames of a running stream lie in memory.
struct StreamLayout {
    std::uint32_t subtype = 0;  // a four-character code: FOURCC_YUY2 for YUY2 frames
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes from the start of one row to the next
};

// One frame of a running stream; the bytes are valid during the call only.
struct StreamFrame {
    std::uint8_t* data = nullptr;
    std::uint32_t bytesUsed = 0;
    double time = 0.0;  // seconds
    StreamLayout layout;
};

// What a running stream calls on its streaming thread.
struct StreamSinks {
    // Every good frame, one call at a time: frames the driver flags as damaged and frames of
    // the wrong length never come here.
    std::function<void(const StreamFrame& frame)> onFrame;
    // The errno of the failure that ended the stream (ENODEV: the device went away); called
    // once, and the thread ends.
    std::function<void(int error)> onEnded;
    // Whether frames come (StreamActivity in platform/media_framework.h): Flowing with the
    // first good frame and the first after a silence, Silent after silenceLimitMs without a
    // good frame. Empty, or a limit of 0: no watch.
    std::function<void(StreamActivity activity)> onActivity;
    int silenceLimitMs = 0;
};

class CaptureStream {
public:
    virtual ~CaptureStream() = default;

    // User-interface thread, all of them.
    // The format the source delivers now, as a media type.
    virtual HResult GetStreamType(MediaType* type) = 0;
    // Starts the streaming thread, which calls the sinks there.
    virtual HResult StartStream(StreamSinks sinks) = 0;
    // True from StartStream until StopStream, also after the stream ended by itself.
    virtual bool IsStreaming() const = 0;
    // Ends streaming and joins the thread: no sink call runs once it returns.
    virtual void StopStream() = 0;
};
