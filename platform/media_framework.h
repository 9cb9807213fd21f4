#pragma once

// The capture system as the camera logic sees it: a device list, a media graph that carries the
// camera's frames through a frame tap to a preview, the camera's format and property list, run
// and stop. Every step answers with its own result so that the graph building can log and
// unwind exactly where a step fails. The Linux implementation drives V4L2
// (linux/v4l2/v4l2_media_framework.h); tests use a double in which any step can fail
// (tests/support/doubles/fake_media_framework.h).
//
// Threads: everything here is called on the user-interface thread. Only the frame callback
// installed with SampleGrabber::SetCallback runs on the graph's streaming thread, one call at a
// time, between MediaControl::Run and MediaControl::Stop. The report of a stream that ended by
// itself (MediaGraph::SetStreamEndHandler) comes on the user-interface thread.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/result_codes.h"

class VideoChild;     // the window's live-video child (platform/video_child.h)
class CaptureStream;  // a source's streaming side, which graphs drive (linux/v4l2/capture_stream.h)
class FrameTap;       // what a sample grabber shares with its graph (linux/v4l2/sample_grabber.h)

constexpr std::uint32_t FOURCC_YUY2 = 0x32595559;  // 'Y' 'U' 'Y' '2'
constexpr std::uint32_t BI_YUY2 = FOURCC_YUY2;     // biCompression of a YUY2 frame

enum class MajorType { Unknown, Video };
enum class FormatType { Unknown, VideoInfo };
enum class PinCategory { Capture, Preview, VideoPort };

// The classic 88-byte video format block.
struct VideoInfoHeader {
    Rect rcSource;
    Rect rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    std::int64_t AvgTimePerFrame = 0;
    BitmapInfoHeader bmiHeader;
};
constexpr std::uint32_t kVideoInfoHeaderBytes = 88;

// A media type as the source reports it and as a format request carries it. cbFormat is the
// byte size of the format block the source declared; format holds its content.
struct MediaType {
    MajorType majortype = MajorType::Unknown;
    std::uint32_t subtype = 0;  // a four-character code
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    std::uint32_t lSampleSize = 0;
    FormatType formattype = FormatType::Unknown;
    std::uint32_t cbFormat = 0;
    VideoInfoHeader format;
};

// ---- Filters ----

class FilterGraphSite;

// A member of a graph. Adding a filter to a graph is a double dispatch: MediaGraph::AddFilter
// asks the filter to join, and the filter joins as what it is (FilterGraphSite), so that no graph
// has to ask a filter for its type.
class MediaFilter {
public:
    virtual ~MediaFilter() = default;
    virtual HResult JoinGraph(FilterGraphSite& graph) = 0;
};

// The camera's stream configuration on its first output pin.
class StreamConfig {
public:
    virtual ~StreamConfig() = default;
    virtual HResult GetFormat(MediaType* type) = 0;
    // Not negative when the source accepted the format exactly; after a refusal the source
    // keeps a format of its own.
    virtual HResult SetFormat(const MediaType& type) = 0;
};

class OutputPin {
public:
    virtual ~OutputPin() = default;
    // Null when the pin has no stream configuration.
    virtual std::unique_ptr<StreamConfig> QueryStreamConfig() = 0;
};

class PinEnumerator {
public:
    virtual ~PinEnumerator() = default;
    // S_OK with a pin while pins remain.
    virtual HResult Next(std::unique_ptr<OutputPin>* pin) = 0;
};

// One setting of the camera driver, as its property list shows it.
enum class DeviceControlType { Integer, Boolean, Menu, Button };

struct DeviceControl {
    std::uint32_t id = 0;
    DeviceControlType type = DeviceControlType::Integer;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::vector<std::pair<std::int32_t, std::string>> menuItems;  // value and label
    bool readOnly = false;
    bool inactive = false;  // shown greyed: the driver ignores it in the current mode
};

// The camera driver's settings: what stands in for the driver's property pages.
class PropertyPages {
public:
    virtual ~PropertyPages() = default;
    // The settings the driver offers now, in its order.
    virtual std::vector<DeviceControl> GetPages() = 0;
    virtual HResult GetValue(std::uint32_t id, std::int32_t* value) = 0;
    virtual HResult SetValue(std::uint32_t id, std::int32_t value) = 0;
};

// The chosen camera. Shared: the graph that carries it holds a reference of its own. The pins,
// stream configuration and property list it hands out are views of it that do not keep it
// open; used after the camera was released, they fail (and list no settings).
class CaptureFilter : public MediaFilter {
public:
    virtual HResult EnumPins(std::unique_ptr<PinEnumerator>* pins) = 0;
    // S_OK with the property list when the driver has settings to show.
    virtual HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) = 0;
    // Closes the device and opens the same device again in the format it had, as a camera that
    // stopped answering may need; only while its graph is stopped. A failure (the device has
    // gone: HResultFromErrno(ENODEV) or (ENOENT)) leaves it closed, and its graph cannot run.
    virtual HResult ReopenDevice() = 0;
};

// What the frame tap calls. Not reference-counted: the object outlives every graph it is
// installed in. The calls come on the graph's streaming thread, one at a time, between
// MediaControl::Run and MediaControl::Stop.
class SampleGrabberCallback {
public:
    // S_OK when the object answers to the named interface (the callback's own or the base one);
    // no reference is added.
    virtual HResult QueryInterface(const char* interfaceName, void** object) = 0;
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;
    virtual HResult SampleCB(double sampleTime, void* sample) = 0;
    // The frame's bytes; the pointer is valid only during the call.
    virtual HResult BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t length) = 0;

protected:
    ~SampleGrabberCallback() = default;
};

// The frame tap: calls the callback's BufferCB with each frame on the streaming thread.
class SampleGrabber : public MediaFilter {
public:
    virtual HResult GetConnectedMediaType(MediaType* type) = 0;
    virtual HResult SetBufferSamples(bool buffer) = 0;
    virtual HResult SetOneShot(bool oneShot) = 0;
    // whichMethod 1: BufferCB with the frame bytes.
    virtual HResult SetCallback(SampleGrabberCallback* callback, int whichMethod) = 0;
};

// A sink that discards frames.
class NullRenderer : public MediaFilter {};

// A graph as the filters joining it see it: a filter's JoinGraph calls the member of its own
// kind, once, and answers with that member's result.
class FilterGraphSite {
public:
    // stream: the source's streaming side; null for a source that has none (a test double).
    virtual HResult JoinSource(CaptureFilter& source, std::shared_ptr<CaptureStream> stream) = 0;
    // tap: what the grabber shares with the graph; null for a grabber that shares none.
    virtual HResult JoinSampleGrabber(SampleGrabber& grabber, std::shared_ptr<FrameTap> tap) = 0;
    virtual HResult JoinNullRenderer(NullRenderer& renderer) = 0;

protected:
    ~FilterGraphSite() = default;
};

// ---- The graph ----

// The preview window of the graph, placed in the owner's client pixels.
class VideoWindow {
public:
    virtual ~VideoWindow() = default;
    // The window's live-video child, or null for none.
    virtual HResult PutOwner(VideoChild* owner) = 0;
    virtual HResult PutLeft(int left) = 0;
    virtual HResult PutTop(int top) = 0;
    virtual HResult PutWidth(int width) = 0;
    virtual HResult PutHeight(int height) = 0;
    virtual HResult PutWindowStyle(std::uint32_t style) = 0;
    virtual HResult PutVisible(bool visible) = 0;
    virtual HResult HideCursor(bool hide) = 0;
};
constexpr std::uint32_t WS_CHILD_CLIPSIBLINGS = 0x44000000;

class MediaControl {
public:
    virtual ~MediaControl() = default;
    // Starts frame delivery; negative when it did not start.
    virtual HResult Run() = 0;
    // Ends frame delivery: no frame callback runs once it returns.
    virtual HResult Stop() = 0;
};

// How a running graph's stream ended by itself, without MediaControl::Stop.
struct StreamEnd {
    int error = 0;  // the errno that ended it
    // The camera went away (it was unplugged, or its driver let it go).
    bool DeviceLost() const { return error == ENODEV; }
};
using StreamEndHandler = std::function<void(const StreamEnd& end)>;

// Whether a running stream's frames come. Silent: no good frame for the watch's limit, and no
// error either (a camera whose firmware hangs keeps its stream open and sends nothing).
// Flowing: the first good frame of a run, and the first after a silence.
enum class StreamActivity { Flowing, Silent };
using StreamActivityHandler = std::function<void(StreamActivity activity)>;

// The graph; releasing it stops it, removes its filters and hides its preview.
class MediaGraph {
public:
    virtual ~MediaGraph() = default;
    // Asks the filter to join (MediaFilter::JoinGraph); not negative when it was added.
    virtual HResult AddFilter(MediaFilter& filter, const std::string& name) = 0;
    // Connects the source's stream through the grabber to the sink, or to the graph's video
    // window when there is no sink. All of them must have joined this graph.
    virtual HResult ConnectStream(CaptureFilter& source, SampleGrabber& grabber,
                                  NullRenderer* sink) = 0;
    // Owned by the graph; null when the graph has none.
    virtual VideoWindow* QueryVideoWindow() = 0;
    virtual MediaControl* QueryMediaControl() = 0;
    // What runs when the running stream ends by itself: the device failed or went away, and no
    // frame follows. The report comes on the user-interface thread, from its event loop, at most
    // once per Run, and never once MediaControl::Stop has returned, a later Run has started or
    // the graph is gone. The handler may release the graph. A new handler replaces the last one.
    virtual void SetStreamEndHandler(StreamEndHandler handler) = 0;
    // What runs when the frames of a running stream stop coming for silenceLimitMs, and when
    // they come (StreamActivity). Reported like the stream's end: on the user-interface thread,
    // never once MediaControl::Stop has returned, a later Run has started or the graph is gone.
    // Takes effect from the next Run; a new handler replaces the last one.
    virtual void SetStreamActivityHandler(int silenceLimitMs, StreamActivityHandler handler) = 0;
};

class CaptureGraphBuilder {
public:
    virtual ~CaptureGraphBuilder() = default;
    // The graph the builder connects streams in (MediaGraph::ConnectStream).
    virtual HResult SetFiltergraph(MediaGraph& graph) = 0;
    // Exactly S_OK when the source has a video-port output pin.
    virtual HResult FindVideoPortPin(CaptureFilter& source, std::unique_ptr<OutputPin>* pin) = 0;
    // Connects the source's stream of the category through the grabber to the sink, or to the
    // graph's video window when there is no sink.
    virtual HResult RenderStream(PinCategory category, CaptureFilter& source,
                                 SampleGrabber& intermediate, NullRenderer* sink) = 0;
};

// ---- The device list ----

class DeviceMoniker {
public:
    virtual ~DeviceMoniker() = default;
    virtual HResult BindToStorage() = 0;
    // S_OK with the name when the device has a readable friendly name.
    virtual HResult ReadFriendlyName(std::string* name) = 0;
    // The device path text ("...vid_xxxx&pid_xxxx..." for a USB camera), or none.
    virtual std::optional<std::string> GetDisplayName() = 0;
    // The opened device, or null when it cannot be opened.
    virtual std::shared_ptr<CaptureFilter> BindToObject() = 0;
};

class DeviceList {
public:
    virtual ~DeviceList() = default;
    virtual void Reset() = 0;
    // S_OK with a moniker while devices remain; anything else ends the walk.
    virtual HResult Next(std::unique_ptr<DeviceMoniker>* moniker) = 0;
};

class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;
    // The video input devices; null when there are none.
    virtual std::unique_ptr<DeviceList> CreateVideoInputList() = 0;
    // The one device at a node the user named (/dev/video0); null when there is no such node or
    // it is not a video capture device.
    virtual std::unique_ptr<DeviceMoniker> MonikerForNode(const std::string& node) = 0;
};

// ---- The framework ----

// Where and how the driver's settings dialog is shown.
struct PropertyFrameRequest {
    std::string ownerTitle;  // the title of the owning top-level window
    Point position;          // from the owner's top-left corner
    std::string caption;     // "Video Capture"
    std::string title;       // the dialog's window title in the user's language
    bool chinese = false;    // the dialog's own texts in Traditional Chinese
};

class MediaFramework {
public:
    virtual ~MediaFramework() = default;
    // Null when the device list cannot be had at all.
    virtual std::unique_ptr<DeviceEnumerator> CreateDeviceEnumerator() = 0;
    // Null when no graph can be made.
    virtual std::unique_ptr<MediaGraph> CreateFilterGraph() = 0;
    virtual HResult CreateSampleGrabber(std::unique_ptr<SampleGrabber>* grabber) = 0;
    virtual HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>* builder) = 0;
    virtual HResult CreateNullRenderer(std::unique_ptr<NullRenderer>* renderer) = 0;
    // Modal: shows the settings and returns when the dialog was closed.
    virtual void ShowPropertyFrame(const PropertyFrameRequest& request, PropertyPages& pages) = 0;
};
