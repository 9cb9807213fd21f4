#include "capture/still_graph.h"

#include <string_view>

#include "capture/camera_watch.h"
#include "capture/device_discovery.h"
#include "capture/frame_double_buffer.h"
#include "capture/stream_end.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "platform/media_framework.h"

bool g_bProbeHighRes = true;

namespace {

constexpr const char* kNoDeviceText =
    "No video capture device was detected on your system.\r\n\r\n"
    "This program requires a functional video capture device, such\r\n"
    "as a USB web camera.  Video capture will be disabled.";

// Which of the state's graph members a failed step gives up.
enum class Released { Nothing, Graph, GrabberAndGraph };

void FillMediaType(MediaType& type, int width, int height) {
    const auto imageBytes = static_cast<std::uint32_t>(width * height * 2);
    type.majortype = MajorType::Video;
    type.subtype = FOURCC_YUY2;
    type.lSampleSize = imageBytes;
    type.formattype = FormatType::VideoInfo;
    // A source that declared a shorter block still gets a whole video format block.
    if (type.cbFormat < kVideoInfoHeaderBytes) {
        type.cbFormat = kVideoInfoHeaderBytes;
    }
    type.format = VideoInfoHeader{};
    BitmapInfoHeader& header = type.format.bmiHeader;
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 16;
    header.biCompression = BI_YUY2;
    header.biSizeImage = imageBytes;
}

// Fills the type for the resolution index and asks the source for it; true when accepted.
bool RequestResolution(StreamConfig& config, MediaType& type, int resolution) {
    int width = 0;
    int height = 0;
    ResolutionSize(resolution, &width, &height);
    FillMediaType(type, width, height);
    return config.SetFormat(type) >= 0;
}

void LogRefusal(int resolution) {
    WriteLog(resolution == 0 ? "Could not set format 320 x 240" : "Could not set format 640 x 480");
}

// The graph build of one InitStillGraph call: the state's members it fills and the local
// references it drops when it ends, whichever way.
class StillGraphBuild {
public:
    StillGraphBuild(CaptureState& state, const GraphHost& host)
        : m_state(state),
          m_media(host.media),
          m_preview(host.preview),
          m_deviceNode(host.deviceNode),
          m_onStreamEnd(host.onStreamEnd),
          m_onActivity(host.onActivity) {}

    HResult Run();

private:
    HResult Fail(std::string_view logLine, HResult result, Released released);
    HResult AddCamera();
    HResult RequestFormat();
    void NegotiateResolution(StreamConfig& config, MediaType& type);
    HResult AddGrabber();
    HResult MakeBuilder();
    HResult AddNullRendererForVideoPort();
    HResult RenderStreams();
    HResult ReadConnectedType();
    void InstallCallback();
    HResult PlacePreview();
    HResult StartGraph();

    CaptureState& m_state;
    MediaFramework& m_media;
    PreviewSurface* m_preview;
    std::string m_deviceNode;
    StreamEndHandler m_onStreamEnd;
    StreamActivityHandler m_onActivity;
    std::shared_ptr<CaptureFilter> m_capture;
    std::unique_ptr<PinEnumerator> m_pins;
    std::unique_ptr<CaptureGraphBuilder> m_builder;
    std::unique_ptr<OutputPin> m_videoPortPin;
    std::unique_ptr<NullRenderer> m_nullRenderer;
};

HResult StillGraphBuild::Fail(std::string_view logLine, HResult result, Released released) {
    WriteLog(logLine);
    if (released == Released::GrabberAndGraph) {
        m_state.m_pGrabber.reset();
    }
    if (released != Released::Nothing) {
        m_state.m_pGraph.reset();
    }
    return result;
}

HResult StillGraphBuild::Run() {
    if (!m_state.m_pGraph) {
        m_state.m_pGraph = m_media.CreateFilterGraph();
    }
    if (!m_state.m_pGraph) {
        return Fail("Could not create filter graph", E_FAIL_RESULT, Released::Nothing);
    }
    GetDefaultCapDevice(m_media, &m_capture, m_deviceNode);
    if (!m_capture) {
        return Fail(kNoDeviceText, E_NO_MAKER_CAMERA, Released::Graph);
    }
    for (auto step : {&StillGraphBuild::AddCamera, &StillGraphBuild::RequestFormat,
                      &StillGraphBuild::AddGrabber, &StillGraphBuild::MakeBuilder,
                      &StillGraphBuild::AddNullRendererForVideoPort,
                      &StillGraphBuild::RenderStreams, &StillGraphBuild::ReadConnectedType}) {
        if (const HResult result = (this->*step)(); result < 0) {
            return result;
        }
    }
    InstallCallback();
    if (const HResult result = PlacePreview(); result < 0) {
        return result;
    }
    return StartGraph();
}

// The camera joins the graph, the state keeps a reference of its own, the camera's pins are
// listed and the frame tap is made.
HResult StillGraphBuild::AddCamera() {
    if (m_state.m_pGraph->AddFilter(*m_capture, "Cap") < 0) {
        return Fail("Could not put capture device in graph", E_FAIL_RESULT, Released::Graph);
    }
    m_state.m_pCapture = m_capture;
    if (const HResult result = m_capture->EnumPins(&m_pins); result < 0) {
        return Fail("error 1", result, Released::Graph);
    }
    if (!m_state.m_pGrabber) {
        const HResult result = m_media.CreateSampleGrabber(&m_state.m_pGrabber);
        if (!m_state.m_pGrabber) {
            return Fail("Could not create SampleGrabber (is qedit.dll registered?)",
                        result < 0 ? result : E_FAIL_RESULT, Released::Graph);
        }
    }
    return S_OK_RESULT;
}

// Only the first pin is asked; a camera without a stream configuration there keeps whatever
// format it has.
HResult StillGraphBuild::RequestFormat() {
    std::unique_ptr<OutputPin> pin;
    if (!m_pins || m_pins->Next(&pin) != S_OK_RESULT || !pin) {
        return S_OK_RESULT;
    }
    std::unique_ptr<StreamConfig> config = pin->QueryStreamConfig();
    if (!config) {
        return S_OK_RESULT;
    }
    pin.reset();
    MediaType type;
    if (config->GetFormat(&type) < 0) {
        return Fail("Could not GetFormat", E_FAIL_RESULT, Released::Nothing);
    }
    NegotiateResolution(*config, type);
    return S_OK_RESULT;
}

// A request for 1280 x 1024 is only a probe on the first start; a refusal is remembered for
// the resolution menu, and both lead on to 640 x 480.
void StillGraphBuild::NegotiateResolution(StreamConfig& config, MediaType& type) {
    int& resolution = m_state.m_nResolution;
    if (resolution == 2) {
        const bool accepted = RequestResolution(config, type, 2);
        if (accepted && !g_bProbeHighRes) {
            return;
        }
        if (!accepted) {
            m_state.m_bHighResRefused = true;
        }
        g_bProbeHighRes = false;
        resolution = 1;
    }
    if ((resolution == 0 || resolution == 1) && !RequestResolution(config, type, resolution)) {
        LogRefusal(resolution);
    }
}

HResult StillGraphBuild::AddGrabber() {
    const HResult result = m_state.m_pGraph->AddFilter(*m_state.m_pGrabber, "Grabber");
    if (result < 0) {
        return Fail("Could not put sample grabber in graph", result, Released::GrabberAndGraph);
    }
    return S_OK_RESULT;
}

HResult StillGraphBuild::MakeBuilder() {
    HResult result = m_media.CreateCaptureGraphBuilder(&m_builder);
    if (result < 0 || !m_builder) {
        return Fail("Can't get a ICaptureGraphBuilder2 reference",
                    result < 0 ? result : E_FAIL_RESULT, Released::GrabberAndGraph);
    }
    result = m_builder->SetFiltergraph(*m_state.m_pGraph);
    if (result < 0) {
        return Fail("SetGraph failed", result, Released::GrabberAndGraph);
    }
    return S_OK_RESULT;
}

// A camera with a video-port pin streams into a NULL renderer instead of the preview.
HResult StillGraphBuild::AddNullRendererForVideoPort() {
    if (m_builder->FindVideoPortPin(*m_capture, &m_videoPortPin) != S_OK_RESULT) {
        return S_OK_RESULT;
    }
    if (m_media.CreateNullRenderer(&m_nullRenderer) != S_OK_RESULT || !m_nullRenderer) {
        return Fail("Unable to make a NULL renderer", E_FAIL_RESULT, Released::GrabberAndGraph);
    }
    const HResult result = m_state.m_pGraph->AddFilter(*m_nullRenderer, "NULL renderer");
    if (result < 0) {
        return Fail("Can't add the filter to graph", result, Released::GrabberAndGraph);
    }
    return S_OK_RESULT;
}

// The preview stream, else the capture stream.
HResult StillGraphBuild::RenderStreams() {
    SampleGrabber& grabber = *m_state.m_pGrabber;
    if (m_builder->RenderStream(PinCategory::Preview, *m_capture, grabber, m_nullRenderer.get()) <
        0) {
        WriteLog(" 103 Error");
        const HResult result = m_builder->RenderStream(PinCategory::Capture, *m_capture, grabber,
                                                       m_nullRenderer.get());
        if (result < 0) {
            return Fail(" 104 Error", result, Released::GrabberAndGraph);
        }
    }
    m_videoPortPin.reset();
    return S_OK_RESULT;
}

HResult StillGraphBuild::ReadConnectedType() {
    MediaType connected;
    const HResult result = m_state.m_pGrabber->GetConnectedMediaType(&connected);
    if (result < 0) {
        return Fail("Could not read the connected media type", result, Released::Nothing);
    }
    m_state.m_nTimePerFrame = connected.format.AvgTimePerFrame;
    return S_OK_RESULT;
}

// The callback knows its gate before the first frame can reach it.
void StillGraphBuild::InstallCallback() {
    g_frameGrabberCallback.m_pDialog.store(&m_state);
    SampleGrabber& grabber = *m_state.m_pGrabber;
    grabber.SetBufferSamples(false);
    grabber.SetOneShot(false);
    grabber.SetCallback(&g_frameGrabberCallback, 1);
    m_state.m_pGraph->SetStreamEndHandler([then = m_onStreamEnd](const StreamEnd& end) {
        OnCameraStreamEnd(end);
        if (then) {
            then(end);
        }
    });
    if (m_onActivity) {
        m_state.m_pGraph->SetStreamActivityHandler(CameraSilenceLimitMs(m_state.m_nTimePerFrame),
                                                   m_onActivity);
    }
}

// The live picture fills the 640 x 480 area, or sits centred at 320 x 240.
HResult StillGraphBuild::PlacePreview() {
    VideoWindow* window = m_state.m_pGraph->QueryVideoWindow();
    if (window == nullptr) {
        return Fail("Could not get video window interface", E_FAIL_RESULT, Released::Nothing);
    }
    window->PutOwner(m_preview);
    const int resolution = m_state.m_nResolution;
    if (resolution == 0 || resolution == 1 || resolution == 2) {
        const bool small = resolution == 0;
        window->PutLeft(small ? 160 : 0);
        window->PutTop(small ? 120 : 0);
        window->PutWidth(small ? 320 : 640);
        window->PutHeight(small ? 240 : 480);
    }
    window->PutWindowStyle(WS_CHILD_CLIPSIBLINGS);
    window->PutVisible(true);
    window->HideCursor(false);
    return S_OK_RESULT;
}

// Frames are accepted from here on.
HResult StillGraphBuild::StartGraph() {
    MediaControl* control = m_state.m_pGraph->QueryMediaControl();
    if (control == nullptr || control->Run() < 0) {
        return Fail("Could not run graph - 1", E_FAIL_RESULT, Released::GrabberAndGraph);
    }
    m_state.m_bAcceptFrames.store(true);
    return S_OK_RESULT;
}

}  // namespace

bool ResolutionSize(int resolution, int* width, int* height) {
    static constexpr int kSizes[3][2] = {{320, 240}, {640, 480}, {1280, 1024}};
    if (resolution < 0 || resolution > 2) {
        return false;
    }
    *width = kSizes[resolution][0];
    *height = kSizes[resolution][1];
    return true;
}

HResult InitStillGraph(CaptureState& state, const GraphHost& host) {
    return StillGraphBuild(state, host).Run();
}

void ReleaseStillGraph(CaptureState& state) {
    state.m_pCapture.reset();
    state.m_pGrabber.reset();
    if (state.m_pGraph) {
        // Stopping first: no frame reaches BufferCB once the graph is gone.
        if (MediaControl* control = state.m_pGraph->QueryMediaControl()) {
            control->Stop();
        }
        state.m_pGraph.reset();
    }
    // No copy can run any more, so the publication can go without closing the gate.
    ForgetLatestFrame();
}
