#pragma once

// The frame tap of the platform's graphs: a sample grabber whose installed callback gets every
// frame of the stream the graph connected to it.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/media_framework.h"

// What a sample grabber shares with the graph it joined: the callback installed on the grabber
// and the stream the graph connected to it. Shared, because the dialog may drop the grabber
// before it stops the graph.
class FrameTap {
public:
    // User-interface thread.
    void Install(SampleGrabberCallback* callback, int whichMethod);
    void Connect(std::weak_ptr<CaptureStream> stream);
    // The media type of the connected stream; VFW_E_NOT_CONNECTED without one.
    HResult GetConnectedType(MediaType* type) const;

    // Streaming thread: hands the frame to the installed callback's BufferCB.
    void Deliver(double time, std::uint8_t* data, std::int32_t length) const;

private:
    // Written on the user-interface thread, read on the streaming thread: installing a callback
    // while the graph runs takes effect from the next frame.
    std::atomic<SampleGrabberCallback*> m_callback{nullptr};
    std::atomic<bool> m_callsBufferCB{false};
    std::weak_ptr<CaptureStream> m_stream;  // user-interface thread only
    bool m_connected = false;               // user-interface thread only
};

std::unique_ptr<SampleGrabber> MakeSampleGrabber();
