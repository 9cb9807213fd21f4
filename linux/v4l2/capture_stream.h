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

class CaptureStream {
public:
    using FrameSink = std::function<void(const StreamFrame& frame)>;
    // The errno of the failure that ended the stream (ENODEV: the device went away).
    using EndSink = std::function<void(int error)>;

    virtual ~CaptureStream() = default;

    // User-interface thread, all of them.
    // The format the source delivers now, as a media type.
    virtual HResult GetStreamType(MediaType* type) = 0;
    // Starts the streaming thread: onFrame gets every good frame there, one call at a time. If
    // the stream ends by itself, onEnded runs there once and the thread ends.
    virtual HResult StartStream(FrameSink onFrame, EndSink onEnded) = 0;
    // True from StartStream until StopStream, also after the stream ended by itself.
    virtual bool IsStreaming() const = 0;
    // Ends streaming and joins the thread: no sink call runs once it returns.
    virtual void StopStream() = 0;
};
