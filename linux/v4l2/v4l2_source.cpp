#include "linux/v4l2/v4l2_source.h"

#include <linux/videodev2.h>

#include <cstdlib>

#include "linux/v4l2/capture_stream.h"
#include "linux/v4l2/v4l2_camera.h"

namespace {

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

StreamLayout ToLayout(const CameraFormat& format) {
    StreamLayout layout;
    layout.subtype = format.pixelFormat == V4L2_PIX_FMT_YUYV ? FOURCC_YUY2 : format.pixelFormat;
    layout.width = static_cast<int>(format.width);
    layout.height = static_cast<int>(format.height);
    layout.stride = static_cast<int>(format.bytesPerLine);
    return layout;
}

HResult FromErrno(int result) {
    return result < 0 ? HResultFromErrno(-result) : S_OK_RESULT;
}

class V4l2Source final : public CaptureFilter,
                         public CaptureStream,
                         public std::enable_shared_from_this<V4l2Source> {
public:
    explicit V4l2Source(std::unique_ptr<V4l2Camera> camera) : m_camera(std::move(camera)) {}

    // CaptureFilter.
    HResult JoinGraph(FilterGraphSite& graph) override {
        return graph.JoinSource(*this, shared_from_this());
    }
    HResult EnumPins(std::unique_ptr<PinEnumerator>* pins) override;
    HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) override;
    HResult ReopenDevice() override;

    // CaptureStream.
    HResult GetStreamType(MediaType* type) override;
    HResult StartStream(StreamSinks sinks) override;
    bool IsStreaming() const override { return m_camera->IsStreaming(); }
    void StopStream() override { m_camera->StopStreaming(); }

    // For the views.
    HResult SetFormat(const MediaType& type);
    std::vector<DeviceControl> Controls() { return m_camera->QueryControls(); }
    HResult GetControl(std::uint32_t id, std::int32_t* value) {
        return FromErrno(m_camera->GetControl(id, value));
    }
    HResult SetControl(std::uint32_t id, std::int32_t value) {
        return FromErrno(m_camera->SetControl(id, value));
    }

private:
    std::unique_ptr<V4l2Camera> m_camera;
};

// The views hold the source weakly: the dialog's release of the camera closes it, whatever
// views are still about.
class SourceView {
public:
    explicit SourceView(std::weak_ptr<V4l2Source> source) : m_source(std::move(source)) {}

protected:
    std::shared_ptr<V4l2Source> Source() const { return m_source.lock(); }
    std::weak_ptr<V4l2Source> Weak() const { return m_source; }

private:
    std::weak_ptr<V4l2Source> m_source;
};

class V4l2StreamConfig final : public StreamConfig, private SourceView {
public:
    using SourceView::SourceView;
    HResult GetFormat(MediaType* type) override {
        const std::shared_ptr<V4l2Source> source = Source();
        return source ? source->GetStreamType(type) : E_FAIL_RESULT;
    }
    HResult SetFormat(const MediaType& type) override {
        const std::shared_ptr<V4l2Source> source = Source();
        return source ? source->SetFormat(type) : E_FAIL_RESULT;
    }
};

class V4l2Pin final : public OutputPin, private SourceView {
public:
    using SourceView::SourceView;
    std::unique_ptr<StreamConfig> QueryStreamConfig() override {
        return std::make_unique<V4l2StreamConfig>(Weak());
    }
};

// A V4L2 capture node has one output: the capture stream.
class V4l2PinEnumerator final : public PinEnumerator, private SourceView {
public:
    using SourceView::SourceView;
    HResult Next(std::unique_ptr<OutputPin>* pin) override {
        if (m_given) {
            return S_FALSE_RESULT;
        }
        m_given = true;
        *pin = std::make_unique<V4l2Pin>(Weak());
        return S_OK_RESULT;
    }

private:
    bool m_given = false;
};

class V4l2PropertyPages final : public PropertyPages, private SourceView {
public:
    using SourceView::SourceView;
    std::vector<DeviceControl> GetPages() override {
        const std::shared_ptr<V4l2Source> source = Source();
        return source ? source->Controls() : std::vector<DeviceControl>{};
    }
    HResult GetValue(std::uint32_t id, std::int32_t* value) override {
        const std::shared_ptr<V4l2Source> source = Source();
        return source ? source->GetControl(id, value) : E_FAIL_RESULT;
    }
    HResult SetValue(std::uint32_t id, std::int32_t value) override {
        const std::shared_ptr<V4l2Source> source = Source();
        return source ? source->SetControl(id, value) : E_FAIL_RESULT;
    }
};

HResult V4l2Source::EnumPins(std::unique_ptr<PinEnumerator>* pins) {
    *pins = std::make_unique<V4l2PinEnumerator>(weak_from_this());
    return S_OK_RESULT;
}

HResult V4l2Source::QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) {
    if (m_camera->QueryControls().empty()) {
        return E_NOINTERFACE_RESULT;
    }
    *pages = std::make_unique<V4l2PropertyPages>(weak_from_this());
    return S_OK_RESULT;
}

HResult V4l2Source::GetStreamType(MediaType* type) {
    CameraFormat format;
    if (const int result = m_camera->GetFormat(&format); result < 0) {
        return HResultFromErrno(-result);
    }
    *type = ToMediaType(format);
    // In units of 100 ns; a driver that states no frame rate leaves it 0.
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;
    if (m_camera->GetFrameInterval(&numerator, &denominator) == 0) {
        type->format.AvgTimePerFrame = static_cast<std::int64_t>(numerator) * 10'000'000 /
                                       static_cast<std::int64_t>(denominator);
    }
    return S_OK_RESULT;
}

// A device opened anew may start in a format of its own: the one its last stream ran in is
// asked for again.
HResult V4l2Source::ReopenDevice() {
    const CameraFormat format = m_camera->StreamFormat();
    if (const int result = m_camera->Reopen(); result < 0) {
        return HResultFromErrno(-result);
    }
    CameraFormat granted;
    if (format.width != 0 && format.height != 0) {
        m_camera->SetFormat(format.width, format.height, format.pixelFormat, &granted);
    }
    return S_OK_RESULT;
}

// Accepted only when the driver gives back exactly the size and format asked for.
HResult V4l2Source::SetFormat(const MediaType& type) {
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

// The camera reports a failure as -errno; the stream's end carries the errno itself.
HResult V4l2Source::StartStream(StreamSinks sinks) {
    const V4l2Camera* camera = m_camera.get();
    CameraSinks cameraSinks;
    cameraSinks.onFrame = [camera, onFrame = std::move(sinks.onFrame)](const CameraFrame& frame) {
        onFrame(
            StreamFrame{frame.data, frame.bytesUsed, frame.time, ToLayout(camera->StreamFormat())});
    };
    cameraSinks.onEnded = [onEnded = std::move(sinks.onEnded)](int error) { onEnded(-error); };
    if (sinks.onActivity) {
        cameraSinks.onActivity = [onActivity = std::move(sinks.onActivity)](bool flowing) {
            onActivity(flowing ? StreamActivity::Flowing : StreamActivity::Silent);
        };
    }
    cameraSinks.silenceLimit = std::chrono::milliseconds(sinks.silenceLimitMs);
    return FromErrno(m_camera->StartStreaming(std::move(cameraSinks)));
}

}  // namespace

std::shared_ptr<CaptureFilter> MakeV4l2Source(std::unique_ptr<V4l2Camera> camera) {
    return std::make_shared<V4l2Source>(std::move(camera));
}
