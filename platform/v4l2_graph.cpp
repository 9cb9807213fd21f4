#include "platform/v4l2_graph.h"

#include <linux/videodev2.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/diagnostic_log.h"
#include "platform/preview_surface.h"
#include "platform/v4l2_camera.h"

namespace {

// What the grabber and the graph's streaming thread share: the installed callback.
struct FrameTap {
    // Set on the user-interface thread before Run, read on the streaming thread.
    std::atomic<SampleGrabberCallback*> callback{nullptr};
    std::atomic<bool> callsBufferCB{false};
    bool connected = false;  // user-interface thread only
    std::shared_ptr<V4l2Camera> camera;
};

MediaType ToMediaType(const CameraFormat& format) {
    MediaType type;
    type.majortype = MajorType::Video;
    const bool yuyv = format.pixelFormat == V4L2_PIX_FMT_YUYV;
    type.subtype = yuyv ? FOURCC_YUY2 : format.pixelFormat;
    type.bFixedSizeSamples = yuyv;
    type.lSampleSize = format.sizeImage;
    type.formattype = FormatType::VideoInfo;
    type.cbFormat = kVideoInfoHeaderBytes;
    BitmapInfoHeader& header = type.format.bmiHeader;
    header.biSize = 40;
    header.biWidth = static_cast<std::int32_t>(format.width);
    header.biHeight = static_cast<std::int32_t>(format.height);
    header.biPlanes = 1;
    header.biBitCount = yuyv ? 16 : 0;
    header.biCompression = type.subtype;
    header.biSizeImage = format.sizeImage;
    return type;
}

class V4l2StreamConfig : public StreamConfig {
public:
    explicit V4l2StreamConfig(std::shared_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}
    HResult GetFormat(MediaType* type) override {
        CameraFormat format;
        if (const int result = m_camera->GetFormat(&format); result < 0) {
            return HResultFromErrno(-result);
        }
        *type = ToMediaType(format);
        return S_OK_RESULT;
    }
    // Accepted only when the driver gives back exactly the size and format asked for.
    HResult SetFormat(const MediaType& type) override {
        if (type.subtype != FOURCC_YUY2) {
            return VFW_E_INVALIDMEDIATYPE;
        }
        const auto width = static_cast<std::uint32_t>(type.format.bmiHeader.biWidth);
        const auto height = static_cast<std::uint32_t>(std::abs(type.format.bmiHeader.biHeight));
        CameraFormat granted;
        if (const int result = m_camera->SetFormat(width, height, V4L2_PIX_FMT_YUYV, &granted);
            result < 0) {
            return HResultFromErrno(-result);
        }
        const bool exact = granted.width == width && granted.height == height &&
                           granted.pixelFormat == V4L2_PIX_FMT_YUYV;
        return exact ? S_OK_RESULT : VFW_E_INVALIDMEDIATYPE;
    }

private:
    std::shared_ptr<V4l2Camera> m_camera;
};

class V4l2Pin : public OutputPin {
public:
    explicit V4l2Pin(std::shared_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}
    std::unique_ptr<StreamConfig> QueryStreamConfig() override {
        return std::make_unique<V4l2StreamConfig>(m_camera);
    }

private:
    std::shared_ptr<V4l2Camera> m_camera;
};

// A V4L2 capture node has one output: the capture stream.
class V4l2PinEnumerator : public PinEnumerator {
public:
    explicit V4l2PinEnumerator(std::shared_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}
    HResult Next(std::unique_ptr<OutputPin>* pin) override {
        if (!m_camera) {
            return S_FALSE_RESULT;
        }
        *pin = std::make_unique<V4l2Pin>(std::move(m_camera));
        m_camera.reset();
        return S_OK_RESULT;
    }

private:
    std::shared_ptr<V4l2Camera> m_camera;
};

class V4l2PropertyPages : public PropertyPages {
public:
    explicit V4l2PropertyPages(std::shared_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}
    std::vector<DeviceControl> GetPages() override { return m_camera->QueryControls(); }
    HResult GetValue(std::uint32_t id, std::int32_t* value) override {
        const int result = m_camera->GetControl(id, value);
        return result < 0 ? HResultFromErrno(-result) : S_OK_RESULT;
    }
    HResult SetValue(std::uint32_t id, std::int32_t value) override {
        const int result = m_camera->SetControl(id, value);
        return result < 0 ? HResultFromErrno(-result) : S_OK_RESULT;
    }

private:
    std::shared_ptr<V4l2Camera> m_camera;
};

class V4l2CaptureFilter : public CaptureFilter {
public:
    explicit V4l2CaptureFilter(std::shared_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}
    HResult EnumPins(std::unique_ptr<PinEnumerator>* pins) override {
        *pins = std::make_unique<V4l2PinEnumerator>(m_camera);
        return S_OK_RESULT;
    }
    HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) override {
        if (m_camera->QueryControls().empty()) {
            return E_NOINTERFACE_RESULT;
        }
        *pages = std::make_unique<V4l2PropertyPages>(m_camera);
        return S_OK_RESULT;
    }
    const std::shared_ptr<V4l2Camera>& Camera() const { return m_camera; }

private:
    std::shared_ptr<V4l2Camera> m_camera;
};

class V4l2SampleGrabber : public SampleGrabber {
public:
    HResult GetConnectedMediaType(MediaType* type) override {
        if (!m_tap->connected || !m_tap->camera) {
            return VFW_E_NOT_CONNECTED;
        }
        CameraFormat format;
        if (const int result = m_tap->camera->GetFormat(&format); result < 0) {
            return HResultFromErrno(-result);
        }
        *type = ToMediaType(format);
        return S_OK_RESULT;
    }
    // Frames are always handed straight to the callback; nothing is kept.
    HResult SetBufferSamples(bool) override { return S_OK_RESULT; }
    HResult SetOneShot(bool oneShot) override { return oneShot ? E_NOTIMPL_RESULT : S_OK_RESULT; }
    HResult SetCallback(SampleGrabberCallback* callback, int whichMethod) override {
        m_tap->callsBufferCB.store(whichMethod == 1);
        m_tap->callback.store(callback);
        return S_OK_RESULT;
    }
    const std::shared_ptr<FrameTap>& Tap() const { return m_tap; }

private:
    std::shared_ptr<FrameTap> m_tap = std::make_shared<FrameTap>();
};

class V4l2NullRenderer : public NullRenderer {};

// The preview placement; it takes effect on the owner as soon as the owner is known.
class V4l2VideoWindow : public VideoWindow {
public:
    HResult PutOwner(PreviewSurface* owner) override {
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

    PreviewSurface* Owner() const { return m_owner; }
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

    PreviewSurface* m_owner = nullptr;
    Rect m_rect;
    bool m_visible = false;
};

void LogStreamEnd(int error) {
    if (error == -ENODEV) {
        WriteLog(kCameraDisconnectedLog);
        return;
    }
    char line[96];
    std::snprintf(line, sizeof line, "Camera stream failed (errno %d): frame capture stopped",
                  -error);
    WriteLog(line);
}

class V4l2Graph;

class V4l2MediaControl : public MediaControl {
public:
    explicit V4l2MediaControl(V4l2Graph& graph) : m_graph(graph) {}
    HResult Run() override;
    HResult Stop() override;

private:
    V4l2Graph& m_graph;
};

class V4l2Graph : public MediaGraph {
public:
    V4l2Graph() : m_control(*this) {}
    // Stops the streaming thread before anything it uses goes, and takes the picture away.
    ~V4l2Graph() override {
        m_control.Stop();
        m_window.Hide();
    }

    HResult AddFilter(MediaFilter& filter, const std::string&) override {
        if (auto* capture = dynamic_cast<V4l2CaptureFilter*>(&filter)) {
            m_camera = capture->Camera();
        } else if (auto* grabber = dynamic_cast<V4l2SampleGrabber*>(&filter)) {
            m_tap = grabber->Tap();
        } else if (dynamic_cast<V4l2NullRenderer*>(&filter) == nullptr) {
            return E_INVALIDARG_RESULT;
        }
        return S_OK_RESULT;
    }
    VideoWindow* QueryVideoWindow() override { return &m_window; }
    MediaControl* QueryMediaControl() override { return &m_control; }

    HResult Render(CaptureFilter& source, SampleGrabber& grabber, NullRenderer* sink) {
        auto* capture = dynamic_cast<V4l2CaptureFilter*>(&source);
        auto* tap = dynamic_cast<V4l2SampleGrabber*>(&grabber);
        if (capture == nullptr || tap == nullptr || capture->Camera() != m_camera ||
            tap->Tap() != m_tap) {
            return VFW_E_NOT_IN_GRAPH;
        }
        m_tap->connected = true;
        m_tap->camera = m_camera;
        m_previewShown = sink == nullptr;
        return S_OK_RESULT;
    }

    HResult Start();
    void Halt() {
        if (m_camera) {
            m_camera->StopStreaming();
        }
    }

private:
    std::shared_ptr<V4l2Camera> m_camera;
    std::shared_ptr<FrameTap> m_tap;
    bool m_previewShown = false;
    V4l2VideoWindow m_window;
    V4l2MediaControl m_control;
};

// The streaming thread hands each frame to the callback first (the snapshot's copy), then to
// the preview; the callback and the preview see the same bytes.
HResult V4l2Graph::Start() {
    if (!m_camera || !m_tap || !m_tap->connected) {
        return VFW_E_NOT_CONNECTED;
    }
    if (m_camera->IsStreaming()) {
        return S_FALSE_RESULT;
    }
    PreviewSurface* preview = m_previewShown ? m_window.Owner() : nullptr;
    V4l2Camera* camera = m_camera.get();
    FrameTap* tap = m_tap.get();
    auto onFrame = [camera, tap, preview](const CameraFrame& frame) {
        SampleGrabberCallback* callback = tap->callback.load();
        if (callback != nullptr && tap->callsBufferCB.load()) {
            callback->BufferCB(frame.time, frame.data, static_cast<std::int32_t>(frame.bytesUsed));
        }
        const CameraFormat& format = camera->StreamFormat();
        const bool complete = frame.bytesUsed >= format.bytesPerLine * format.height;
        if (preview != nullptr && complete && format.pixelFormat == V4L2_PIX_FMT_YUYV) {
            preview->Present(frame.data, static_cast<int>(format.width),
                             static_cast<int>(format.height),
                             static_cast<int>(format.bytesPerLine));
        }
    };
    const int result = m_camera->StartStreaming(onFrame, LogStreamEnd);
    return result < 0 ? HResultFromErrno(-result) : S_OK_RESULT;
}

HResult V4l2MediaControl::Run() {
    return m_graph.Start();
}

HResult V4l2MediaControl::Stop() {
    m_graph.Halt();
    return S_OK_RESULT;
}

class V4l2GraphBuilder : public CaptureGraphBuilder {
public:
    HResult SetFiltergraph(MediaGraph& graph) override {
        m_graph = dynamic_cast<V4l2Graph*>(&graph);
        return m_graph != nullptr ? S_OK_RESULT : E_INVALIDARG_RESULT;
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
        return m_graph->Render(source, grabber, sink);
    }

private:
    V4l2Graph* m_graph = nullptr;
};

}  // namespace

std::shared_ptr<CaptureFilter> MakeV4l2CaptureFilter(std::shared_ptr<V4l2Camera> camera) {
    return std::make_shared<V4l2CaptureFilter>(std::move(camera));
}

std::unique_ptr<MediaGraph> MakeV4l2Graph() {
    return std::make_unique<V4l2Graph>();
}

std::unique_ptr<SampleGrabber> MakeV4l2SampleGrabber() {
    return std::make_unique<V4l2SampleGrabber>();
}

std::unique_ptr<CaptureGraphBuilder> MakeV4l2GraphBuilder() {
    return std::make_unique<V4l2GraphBuilder>();
}

std::unique_ptr<NullRenderer> MakeV4l2NullRenderer() {
    return std::make_unique<V4l2NullRenderer>();
}
