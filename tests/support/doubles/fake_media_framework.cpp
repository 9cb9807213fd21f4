#include "support/doubles/fake_media_framework.h"

namespace {

constexpr HResult kRefused = static_cast<HResult>(0x80040200);  // an unacceptable media type

// Counts an object of the fake as alive for as long as it exists.
class LiveCount {
public:
    explicit LiveCount(int& counter) : m_counter(counter) { ++m_counter; }
    ~LiveCount() { --m_counter; }
    LiveCount(const LiveCount&) = delete;
    LiveCount& operator=(const LiveCount&) = delete;

private:
    int& m_counter;
};

class FakeStreamConfig : public StreamConfig {
public:
    explicit FakeStreamConfig(FakeMediaFramework& media) : m_media(media) {}
    HResult GetFormat(MediaType* type) override {
        if (m_media.Fails(FakeStep::GetFormat)) {
            return m_media.failureResult;
        }
        *type = MediaType{};
        type->majortype = MajorType::Video;
        type->subtype = FOURCC_YUY2;
        type->formattype = FormatType::VideoInfo;
        type->cbFormat = m_media.declaredFormatBytes;
        type->format.bmiHeader.biWidth = 640;
        type->format.bmiHeader.biHeight = 480;
        return S_OK_RESULT;
    }
    HResult SetFormat(const MediaType& type) override {
        const BitmapInfoHeader& header = type.format.bmiHeader;
        m_media.record.formatRequests.emplace_back(header.biWidth, header.biHeight);
        const bool yuy2 = type.subtype == FOURCC_YUY2 && header.biCompression == BI_YUY2;
        const bool known = m_media.acceptedSizes.count({header.biWidth, header.biHeight}) != 0;
        return yuy2 && known ? S_OK_RESULT : kRefused;
    }

private:
    FakeMediaFramework& m_media;
};

class FakePin : public OutputPin {
public:
    explicit FakePin(FakeMediaFramework& media) : m_media(media) {}
    std::unique_ptr<StreamConfig> QueryStreamConfig() override {
        if (m_media.Fails(FakeStep::StreamConfig)) {
            return nullptr;
        }
        return std::make_unique<FakeStreamConfig>(m_media);
    }

private:
    FakeMediaFramework& m_media;
};

class FakePinEnumerator : public PinEnumerator {
public:
    explicit FakePinEnumerator(FakeMediaFramework& media) : m_media(media) {}
    HResult Next(std::unique_ptr<OutputPin>* pin) override {
        if (m_given || m_media.Fails(FakeStep::FirstPin)) {
            return S_FALSE_RESULT;
        }
        m_given = true;
        *pin = std::make_unique<FakePin>(m_media);
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
    bool m_given = false;
};

class FakePropertyPages : public PropertyPages {
public:
    explicit FakePropertyPages(FakeMediaFramework& media) : m_media(media) {}
    std::vector<DeviceControl> GetPages() override { return m_media.controls; }
    HResult GetValue(std::uint32_t id, std::int32_t* value) override {
        *value = m_media.controlValues[id];
        return S_OK_RESULT;
    }
    HResult SetValue(std::uint32_t id, std::int32_t value) override {
        m_media.controlValues[id] = value;
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
};

// Streams nothing by itself: the test hands its frames to the callback (DeliverFrame).
class FakeCaptureFilter : public CaptureFilter {
public:
    explicit FakeCaptureFilter(FakeMediaFramework& media)
        : m_media(media), m_live(media.record.liveCaptureFilters) {}
    HResult JoinGraph(FilterGraphSite& graph) override { return graph.JoinSource(*this, nullptr); }
    HResult EnumPins(std::unique_ptr<PinEnumerator>* pins) override {
        if (m_media.Fails(FakeStep::EnumPins)) {
            return m_media.failureResult;
        }
        *pins = std::make_unique<FakePinEnumerator>(m_media);
        return S_OK_RESULT;
    }
    HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) override {
        if (m_media.controls.empty()) {
            return E_NOINTERFACE_RESULT;
        }
        *pages = std::make_unique<FakePropertyPages>(m_media);
        return S_OK_RESULT;
    }
    HResult ReopenDevice() override {
        if (m_media.Fails(FakeStep::Reopen)) {
            return m_media.failureResult;
        }
        ++m_media.record.reopens;
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
    LiveCount m_live;
};

class FakeMoniker : public DeviceMoniker {
public:
    FakeMoniker(FakeMediaFramework& media, const FakeDevice& device)
        : m_media(media), m_device(device) {}
    HResult BindToStorage() override {
        return m_device.storageFails ? m_media.failureResult : S_OK_RESULT;
    }
    HResult ReadFriendlyName(std::string* name) override {
        if (!m_device.friendlyName) {
            return m_media.failureResult;
        }
        *name = *m_device.friendlyName;
        return S_OK_RESULT;
    }
    std::optional<std::string> GetDisplayName() override { return m_device.displayName; }
    std::shared_ptr<CaptureFilter> BindToObject() override {
        if (!m_device.opens) {
            return nullptr;
        }
        ++m_media.record.openedDevices;
        return std::make_shared<FakeCaptureFilter>(m_media);
    }

private:
    FakeMediaFramework& m_media;
    FakeDevice m_device;
};

class FakeDeviceList : public DeviceList {
public:
    explicit FakeDeviceList(FakeMediaFramework& media) : m_media(media) {}
    void Reset() override { m_next = 0; }
    HResult Next(std::unique_ptr<DeviceMoniker>* moniker) override {
        if (m_next >= m_media.devices.size()) {
            return S_FALSE_RESULT;
        }
        *moniker = std::make_unique<FakeMoniker>(m_media, m_media.devices[m_next++]);
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
    std::size_t m_next = 0;
};

class FakeDeviceEnumerator : public DeviceEnumerator {
public:
    explicit FakeDeviceEnumerator(FakeMediaFramework& media) : m_media(media) {}
    std::unique_ptr<DeviceList> CreateVideoInputList() override {
        if (m_media.Fails(FakeStep::CreateVideoInputList) || m_media.devices.empty()) {
            return nullptr;
        }
        return std::make_unique<FakeDeviceList>(m_media);
    }
    std::unique_ptr<DeviceMoniker> MonikerForNode(const std::string& node) override {
        for (const FakeDevice& device : m_media.devices) {
            if (!node.empty() && device.node == node) {
                return std::make_unique<FakeMoniker>(m_media, device);
            }
        }
        return nullptr;
    }

private:
    FakeMediaFramework& m_media;
};

// Shares nothing with its graph: the installed callback is kept in the record.
class FakeGrabber : public SampleGrabber {
public:
    explicit FakeGrabber(FakeMediaFramework& media)
        : m_media(media), m_live(media.record.liveGrabbers) {}
    HResult JoinGraph(FilterGraphSite& graph) override {
        return graph.JoinSampleGrabber(*this, nullptr);
    }
    HResult GetConnectedMediaType(MediaType* type) override {
        if (m_media.Fails(FakeStep::ConnectedType)) {
            return m_media.failureResult;
        }
        *type = MediaType{};
        type->majortype = MajorType::Video;
        type->subtype = FOURCC_YUY2;
        type->format.AvgTimePerFrame = m_media.connectedTimePerFrame;
        return S_OK_RESULT;
    }
    HResult SetBufferSamples(bool) override { return S_OK_RESULT; }
    HResult SetOneShot(bool) override { return S_OK_RESULT; }
    HResult SetCallback(SampleGrabberCallback* callback, int whichMethod) override {
        m_media.record.callback = callback;
        m_media.record.callbackMethod = whichMethod;
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
    LiveCount m_live;
};

class FakeNullRenderer : public NullRenderer {
public:
    HResult JoinGraph(FilterGraphSite& graph) override { return graph.JoinNullRenderer(*this); }
};

class FakeVideoWindow : public VideoWindow {
public:
    explicit FakeVideoWindow(FakeMediaFramework& media) : m_media(media) {}
    HResult PutOwner(VideoChild* owner) override {
        m_media.record.previewOwner = owner;
        m_media.record.previewOwnerSet = true;
        return S_OK_RESULT;
    }
    HResult PutLeft(int left) override { return Place(&Rect::left, left); }
    HResult PutTop(int top) override { return Place(&Rect::top, top); }
    HResult PutWidth(int width) override { return Resize(width, -1); }
    HResult PutHeight(int height) override { return Resize(-1, height); }
    HResult PutWindowStyle(std::uint32_t style) override {
        m_media.record.previewStyle = style;
        return S_OK_RESULT;
    }
    HResult PutVisible(bool visible) override {
        m_media.record.previewVisible = visible;
        return S_OK_RESULT;
    }
    HResult HideCursor(bool hide) override {
        m_media.record.cursorHidden = hide;
        return S_OK_RESULT;
    }

private:
    // Keeps the size when the position moves.
    HResult Place(int Rect::*edge, int value) {
        Rect rect = m_media.record.previewRect.value_or(Rect{});
        const int width = rect.Width();
        const int height = rect.Height();
        rect.*edge = value;
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
        m_media.record.previewRect = rect;
        return S_OK_RESULT;
    }
    HResult Resize(int width, int height) {
        Rect rect = m_media.record.previewRect.value_or(Rect{});
        if (width >= 0) {
            rect.right = rect.left + width;
        }
        if (height >= 0) {
            rect.bottom = rect.top + height;
        }
        m_media.record.previewRect = rect;
        return S_OK_RESULT;
    }

    FakeMediaFramework& m_media;
};

class FakeMediaControl : public MediaControl {
public:
    explicit FakeMediaControl(FakeMediaFramework& media) : m_media(media) {}
    HResult Run() override {
        if (m_media.Fails(FakeStep::Run)) {
            return m_media.failureResult;
        }
        ++m_media.record.runs;
        m_media.SetRunning(true);
        return S_OK_RESULT;
    }
    HResult Stop() override {
        ++m_media.record.stops;
        m_media.SetRunning(false);
        return S_OK_RESULT;
    }

private:
    FakeMediaFramework& m_media;
};

// Adding a filter fails at the step of the filter's kind, which the filter tells by joining.
class FakeGraph : public MediaGraph, private FilterGraphSite {
public:
    explicit FakeGraph(FakeMediaFramework& media)
        : m_media(media), m_live(media.record.liveGraphs), m_window(media), m_control(media) {}
    ~FakeGraph() override {
        m_media.SetRunning(false);
        m_media.ForgetStreamEndHandler(this);
    }
    HResult AddFilter(MediaFilter& filter, const std::string& name) override {
        const HResult result = filter.JoinGraph(*this);
        if (result >= 0) {
            m_media.record.addedFilters.push_back(name);
        }
        return result;
    }
    HResult ConnectStream(CaptureFilter&, SampleGrabber&, NullRenderer* sink) override {
        m_media.record.renderedIntoNullRenderer = sink != nullptr;
        return S_OK_RESULT;
    }
    VideoWindow* QueryVideoWindow() override {
        return m_media.Fails(FakeStep::VideoWindow) ? nullptr : &m_window;
    }
    MediaControl* QueryMediaControl() override {
        return m_media.Fails(FakeStep::MediaControl) ? nullptr : &m_control;
    }
    void SetStreamEndHandler(StreamEndHandler handler) override {
        m_media.SetStreamEndHandler(this, std::move(handler));
    }
    void SetStreamActivityHandler(int silenceLimitMs, StreamActivityHandler handler) override {
        m_media.SetStreamActivityHandler(this, silenceLimitMs, std::move(handler));
    }

private:
    HResult Join(FakeStep step) {
        return m_media.Fails(step) ? m_media.failureResult : S_OK_RESULT;
    }
    HResult JoinSource(CaptureFilter&, std::shared_ptr<CaptureStream>) override {
        return Join(FakeStep::AddCapture);
    }
    HResult JoinSampleGrabber(SampleGrabber&, std::shared_ptr<FrameTap>) override {
        return Join(FakeStep::AddGrabber);
    }
    HResult JoinNullRenderer(NullRenderer&) override { return Join(FakeStep::AddNullRenderer); }

    FakeMediaFramework& m_media;
    LiveCount m_live;
    FakeVideoWindow m_window;
    FakeMediaControl m_control;
};

class FakeBuilder : public CaptureGraphBuilder {
public:
    explicit FakeBuilder(FakeMediaFramework& media) : m_media(media) {}
    HResult SetFiltergraph(MediaGraph& graph) override {
        if (m_media.Fails(FakeStep::SetFiltergraph)) {
            return m_media.failureResult;
        }
        m_graph = &graph;
        return S_OK_RESULT;
    }
    HResult FindVideoPortPin(CaptureFilter&, std::unique_ptr<OutputPin>* pin) override {
        if (!m_media.hasVideoPortPin) {
            return E_FAIL_RESULT;
        }
        *pin = std::make_unique<FakePin>(m_media);
        return S_OK_RESULT;
    }
    HResult RenderStream(PinCategory category, CaptureFilter& source, SampleGrabber& grabber,
                         NullRenderer* sink) override {
        const FakeStep step =
            category == PinCategory::Preview ? FakeStep::RenderPreview : FakeStep::RenderCapture;
        if (m_graph == nullptr) {
            return E_FAIL_RESULT;
        }
        if (m_media.Fails(step)) {
            return m_media.failureResult;
        }
        m_media.record.renderedCategories.push_back(category);
        return m_graph->ConnectStream(source, grabber, sink);
    }

private:
    FakeMediaFramework& m_media;
    MediaGraph* m_graph = nullptr;
};

std::string DevicePath(const std::string& vendor, const std::string& product) {
    return "usb#vid_" + vendor + "&pid_" + product + "&mi_00#1-4:1.0#/dev/video0";
}

}  // namespace

FakeMediaFramework::FakeMediaFramework() = default;
FakeMediaFramework::~FakeMediaFramework() = default;

FakeDevice FakeMediaFramework::MakerDevice(const std::string& product) {
    FakeDevice device;
    device.displayName = DevicePath(LUMISIGHT_VENDOR_ID, product);
    return device;
}

FakeDevice FakeMediaFramework::OtherDevice(const std::string& vendor, const std::string& product) {
    FakeDevice device;
    device.displayName = DevicePath(vendor, product);
    return device;
}

HResult FakeMediaFramework::DeliverFrame(std::uint8_t* data, std::int32_t length) {
    if (!m_running || record.callback == nullptr) {
        return E_FAIL_RESULT;
    }
    return record.callback->BufferCB(0.0, data, length);
}

bool FakeMediaFramework::EndStream(int error) {
    if (!m_running || !m_streamEndHandler) {
        return false;
    }
    m_running = false;
    // A copy: the handler may release the graph, which forgets its handler.
    const StreamEndHandler handler = m_streamEndHandler;
    handler(StreamEnd{error});
    return true;
}

void FakeMediaFramework::SetStreamEndHandler(const MediaGraph* graph, StreamEndHandler handler) {
    m_streamEndGraph = graph;
    m_streamEndHandler = std::move(handler);
}

void FakeMediaFramework::ForgetStreamEndHandler(const MediaGraph* graph) {
    if (m_streamEndGraph == graph) {
        m_streamEndGraph = nullptr;
        m_streamEndHandler = {};
        m_activityHandler = {};
    }
}

void FakeMediaFramework::SetStreamActivityHandler(const MediaGraph* graph, int silenceLimitMs,
                                                  StreamActivityHandler handler) {
    m_streamEndGraph = graph;
    record.silenceLimitMs = silenceLimitMs;
    m_activityHandler = std::move(handler);
}

bool FakeMediaFramework::ReportActivity(StreamActivity activity) {
    if (!m_running || !m_activityHandler) {
        return false;
    }
    // A copy: the handler may release the graph, which forgets its handlers.
    const StreamActivityHandler handler = m_activityHandler;
    handler(activity);
    return true;
}

std::unique_ptr<DeviceEnumerator> FakeMediaFramework::CreateDeviceEnumerator() {
    if (Fails(FakeStep::CreateDeviceEnumerator)) {
        return nullptr;
    }
    return std::make_unique<FakeDeviceEnumerator>(*this);
}

std::unique_ptr<MediaGraph> FakeMediaFramework::CreateFilterGraph() {
    if (Fails(FakeStep::CreateGraph)) {
        return nullptr;
    }
    return std::make_unique<FakeGraph>(*this);
}

HResult FakeMediaFramework::CreateSampleGrabber(std::unique_ptr<SampleGrabber>* grabber) {
    if (Fails(FakeStep::CreateGrabber)) {
        return failureResult;
    }
    *grabber = std::make_unique<FakeGrabber>(*this);
    return S_OK_RESULT;
}

HResult FakeMediaFramework::CreateCaptureGraphBuilder(
    std::unique_ptr<CaptureGraphBuilder>* builder) {
    if (Fails(FakeStep::CreateBuilder)) {
        return failureResult;
    }
    *builder = std::make_unique<FakeBuilder>(*this);
    return S_OK_RESULT;
}

HResult FakeMediaFramework::CreateNullRenderer(std::unique_ptr<NullRenderer>* renderer) {
    if (Fails(FakeStep::CreateNullRenderer)) {
        return failureResult;
    }
    *renderer = std::make_unique<FakeNullRenderer>();
    return S_OK_RESULT;
}

void FakeMediaFramework::ShowPropertyFrame(const PropertyFrameRequest& request,
                                           PropertyPages& pages) {
    ++record.propertyFramesShown;
    record.lastPropertyFrame = request;
    if (onPropertyFrame) {
        onPropertyFrame(request, pages);
    }
}
