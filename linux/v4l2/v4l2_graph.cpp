#include "linux/v4l2/v4l2_graph.h"

#include "linux/v4l2/capture_stream.h"
#include "linux/v4l2/sample_grabber.h"
#include "linux/v4l2/stream_end_relay.h"
#include "platform/video_child.h"

namespace {

class V4l2NullRenderer final : public NullRenderer {
public:
    HResult JoinGraph(FilterGraphSite& graph) override { return graph.JoinNullRenderer(*this); }
};

// The preview placement; it takes effect on the owner as soon as the owner is known.
class V4l2VideoWindow final : public VideoWindow {
public:
    HResult PutOwner(VideoChild* owner) override {
        if (m_owner != nullptr && owner != m_owner) {
            m_owner->SetVisible(false);
        }
        m_owner = owner;
        Apply();
        return S_OK_RESULT;
    }
    HResult PutLeft(int left) override { return Move(left - m_rect.left, 0); }
    HResult PutTop(int top) override { return Move(0, top - m_rect.top); }
    HResult PutWidth(int width) override {
        m_rect.right = m_rect.left + width;
        Apply();
        return S_OK_RESULT;
    }
    HResult PutHeight(int height) override {
        m_rect.bottom = m_rect.top + height;
        Apply();
        return S_OK_RESULT;
    }
    HResult PutWindowStyle(std::uint32_t) override { return S_OK_RESULT; }
    HResult PutVisible(bool visible) override {
        m_visible = visible;
        Apply();
        return S_OK_RESULT;
    }
    HResult HideCursor(bool) override { return S_OK_RESULT; }

    VideoChild* Owner() const { return m_owner; }
    void Hide() {
        if (m_owner != nullptr) {
            m_owner->SetVisible(false);
        }
    }

private:
    HResult Move(int dx, int dy) {
        m_rect = Rect{m_rect.left + dx, m_rect.top + dy, m_rect.right + dx, m_rect.bottom + dy};
        Apply();
        return S_OK_RESULT;
    }
    void Apply() {
        if (m_owner != nullptr) {
            m_owner->Place(m_rect);
            m_owner->SetVisible(m_visible);
        }
    }

    VideoChild* m_owner = nullptr;
    Rect m_rect;
    bool m_visible = false;
};

// Answers whether the filters that introduce themselves are this graph's own members.
class MembershipCheck final : public FilterGraphSite {
public:
    MembershipCheck(const CaptureStream* source, const FrameTap* tap)
        : m_source(source), m_tap(tap) {}
    HResult JoinSource(CaptureFilter&, std::shared_ptr<CaptureStream> stream) override {
        return stream != nullptr && stream.get() == m_source ? S_OK_RESULT : VFW_E_NOT_IN_GRAPH;
    }
    HResult JoinSampleGrabber(SampleGrabber&, std::shared_ptr<FrameTap> tap) override {
        return tap != nullptr && tap.get() == m_tap ? S_OK_RESULT : VFW_E_NOT_IN_GRAPH;
    }
    // Null renderers hold nothing: any of this platform's will do.
    HResult JoinNullRenderer(NullRenderer&) override { return S_OK_RESULT; }

private:
    const CaptureStream* m_source;
    const FrameTap* m_tap;
};

// Streaming thread: a whole YUY2 frame goes on to the preview.
void ShowInPreview(VideoChild* preview, const StreamFrame& frame) {
    const StreamLayout& layout = frame.layout;
    const bool complete = layout.stride > 0 && layout.height > 0 &&
                          frame.bytesUsed >= static_cast<std::uint64_t>(layout.stride) *
                                                 static_cast<std::uint64_t>(layout.height);
    if (preview != nullptr && complete && layout.subtype == FOURCC_YUY2) {
        preview->Present(frame.data, layout.width, layout.height, layout.stride);
    }
}

class V4l2Graph;

class V4l2MediaControl final : public MediaControl {
public:
    explicit V4l2MediaControl(V4l2Graph& graph) : m_graph(graph) {}
    HResult Run() override;
    HResult Stop() override;

private:
    V4l2Graph& m_graph;
};

class V4l2Graph final : public MediaGraph, private FilterGraphSite {
public:
    explicit V4l2Graph(TaskPoster* userInterface) : m_control(*this), m_streamEnd(userInterface) {}
    // Stops the streaming thread before anything it uses goes, and takes the picture away.
    ~V4l2Graph() override {
        Halt();
        m_window.Hide();
    }

    HResult AddFilter(MediaFilter& filter, const std::string&) override {
        return filter.JoinGraph(*this);
    }
    HResult ConnectStream(CaptureFilter& source, SampleGrabber& grabber,
                          NullRenderer* sink) override;
    VideoWindow* QueryVideoWindow() override { return &m_window; }
    MediaControl* QueryMediaControl() override { return &m_control; }
    void SetStreamEndHandler(StreamEndHandler handler) override {
        m_streamEnd.SetHandler(std::move(handler));
    }
    void SetStreamActivityHandler(int silenceLimitMs, StreamActivityHandler handler) override {
        m_silenceLimitMs = handler ? silenceLimitMs : 0;
        m_streamEnd.SetActivityHandler(std::move(handler));
    }

    HResult Start();
    void Halt();

private:
    // The graph holds its source and tap itself: the dialog may drop its own references to them
    // before it stops the graph. A graph carries one source: one that joins later stops the
    // earlier one's stream and has to be connected anew.
    HResult JoinSource(CaptureFilter&, std::shared_ptr<CaptureStream> stream) override {
        if (!stream) {
            return E_INVALIDARG_RESULT;
        }
        Halt();
        m_source = std::move(stream);
        m_connected = false;
        return S_OK_RESULT;
    }
    HResult JoinSampleGrabber(SampleGrabber&, std::shared_ptr<FrameTap> tap) override {
        if (!tap) {
            return E_INVALIDARG_RESULT;
        }
        m_tap = std::move(tap);
        return S_OK_RESULT;
    }
    HResult JoinNullRenderer(NullRenderer&) override { return S_OK_RESULT; }

    std::shared_ptr<CaptureStream> m_source;
    std::shared_ptr<FrameTap> m_tap;
    bool m_connected = false;
    bool m_previewShown = false;
    int m_silenceLimitMs = 0;  // 0: the stream's activity is not watched
    V4l2VideoWindow m_window;
    V4l2MediaControl m_control;
    StreamEndRelay m_streamEnd;
};

HResult V4l2Graph::ConnectStream(CaptureFilter& source, SampleGrabber& grabber,
                                 NullRenderer* sink) {
    MembershipCheck member(m_source.get(), m_tap.get());
    for (MediaFilter* filter :
         {static_cast<MediaFilter*>(&source), static_cast<MediaFilter*>(&grabber),
          static_cast<MediaFilter*>(sink)}) {
        if (filter != nullptr) {
            if (const HResult result = filter->JoinGraph(member); result < 0) {
                return result;
            }
        }
    }
    m_tap->Connect(m_source);
    m_connected = true;
    m_previewShown = sink == nullptr;
    return S_OK_RESULT;
}

// The streaming thread hands each frame to the tap first (the snapshot's copy), then to the
// preview; both see the same bytes.
HResult V4l2Graph::Start() {
    if (!m_source || !m_tap || !m_connected) {
        return VFW_E_NOT_CONNECTED;
    }
    if (m_source->IsStreaming()) {
        return S_FALSE_RESULT;
    }
    VideoChild* preview = m_previewShown ? m_window.Owner() : nullptr;
    StreamSinks sinks;
    sinks.onFrame = [tap = m_tap, preview](const StreamFrame& frame) {
        tap->Deliver(frame.time, frame.data, static_cast<std::int32_t>(frame.bytesUsed));
        ShowInPreview(preview, frame);
    };
    sinks.onEnded = m_streamEnd.Arm();
    if (m_silenceLimitMs > 0) {
        sinks.onActivity = m_streamEnd.ActivityOfRun();
        sinks.silenceLimitMs = m_silenceLimitMs;
    }
    return m_source->StartStream(std::move(sinks));
}

void V4l2Graph::Halt() {
    m_streamEnd.Disarm();
    if (m_source) {
        m_source->StopStream();
    }
}

HResult V4l2MediaControl::Run() {
    return m_graph.Start();
}

HResult V4l2MediaControl::Stop() {
    m_graph.Halt();
    return S_OK_RESULT;
}

class V4l2GraphBuilder final : public CaptureGraphBuilder {
public:
    HResult SetFiltergraph(MediaGraph& graph) override {
        m_graph = &graph;
        return S_OK_RESULT;
    }
    // V4L2 has no video-port outputs.
    HResult FindVideoPortPin(CaptureFilter&, std::unique_ptr<OutputPin>*) override {
        return E_FAIL_RESULT;
    }
    // The camera has one stream; the preview and capture categories both name it.
    HResult RenderStream(PinCategory category, CaptureFilter& source, SampleGrabber& grabber,
                         NullRenderer* sink) override {
        if (m_graph == nullptr) {
            return E_FAIL_RESULT;
        }
        if (category == PinCategory::VideoPort) {
            return E_INVALIDARG_RESULT;
        }
        return m_graph->ConnectStream(source, grabber, sink);
    }

private:
    MediaGraph* m_graph = nullptr;
};

}  // namespace

std::unique_ptr<MediaGraph> MakeV4l2Graph(TaskPoster* userInterface) {
    return std::make_unique<V4l2Graph>(userInterface);
}

std::unique_ptr<CaptureGraphBuilder> MakeV4l2GraphBuilder() {
    return std::make_unique<V4l2GraphBuilder>();
}

std::unique_ptr<NullRenderer> MakeV4l2NullRenderer() {
    return std::make_unique<V4l2NullRenderer>();
}
