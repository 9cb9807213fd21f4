#include "linux/v4l2/sample_grabber.h"

#include "linux/v4l2/capture_stream.h"

namespace {

constexpr int kBufferCallbackMethod = 1;  // BufferCB with the frame's bytes

class TapGrabber final : public SampleGrabber {
public:
    HResult JoinGraph(FilterGraphSite& graph) override {
        return graph.JoinSampleGrabber(*this, m_tap);
    }
    HResult GetConnectedMediaType(MediaType* type) override {
        return m_tap->GetConnectedType(type);
    }
    // Frames are always handed straight to the callback; nothing is kept.
    HResult SetBufferSamples(bool) override { return S_OK_RESULT; }
    HResult SetOneShot(bool oneShot) override { return oneShot ? E_NOTIMPL_RESULT : S_OK_RESULT; }
    HResult SetCallback(SampleGrabberCallback* callback, int whichMethod) override {
        m_tap->Install(callback, whichMethod);
        return S_OK_RESULT;
    }

private:
    std::shared_ptr<FrameTap> m_tap = std::make_shared<FrameTap>();
};

}  // namespace

void FrameTap::Install(SampleGrabberCallback* callback, int whichMethod) {
    m_callsBufferCB.store(whichMethod == kBufferCallbackMethod);
    m_callback.store(callback);
}

void FrameTap::Connect(std::weak_ptr<CaptureStream> stream) {
    m_stream = std::move(stream);
    m_connected = true;
}

HResult FrameTap::GetConnectedType(MediaType* type) const {
    const std::shared_ptr<CaptureStream> stream = m_stream.lock();
    if (!m_connected || !stream) {
        return VFW_E_NOT_CONNECTED;
    }
    return stream->GetStreamType(type);
}

void FrameTap::Deliver(double time, std::uint8_t* data, std::int32_t length) const {
    SampleGrabberCallback* callback = m_callback.load();
    if (callback != nullptr && m_callsBufferCB.load()) {
        callback->BufferCB(time, data, length);
    }
}

std::unique_ptr<SampleGrabber> MakeSampleGrabber() {
    return std::make_unique<TapGrabber>();
}
