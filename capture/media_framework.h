#pragma once

// The capture system as the camera logic sees it: a device list, a media graph that carries the
// camera's frames through a frame tap to a preview, the camera's format and property list, run
// and stop. Every step answers with its own result so that the graph building can log and
// unwind exactly where a step fails. The Linux implementation drives V4L2
// (CreateV4l2MediaFramework below); tests use a double in which any step can fail
// (platform/testing/fake_media_framework.h).
//
// Threads: everything here is called on the user-interface thread. Only the frame callback
// installed with SampleGrabber::SetCallback runs on the graph's streaming thread, one call at a
// time, between MediaControl::Run and MediaControl::Stop.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/frame_double_buffer.h"
#include "platform/gdi.h"
#include "platform/geometry.h"

class PreviewSurface;

using HResult = std::int32_t;

constexpr HResult S_FALSE_RESULT = 1;
constexpr HResult E_NOTIMPL_RESULT = static_cast<HResult>(0x80004001);
constexpr HResult E_INVALIDARG_RESULT = static_cast<HResult>(0x80070057);
// The result code of InitStillGraph when no camera of the maker is present.
constexpr HResult E_NO_MAKER_CAMERA = -5;

// A failure that carries an errno of the device, wrapped the way the desktop wraps system errors.
constexpr HResult HResultFromErrno(int error) {
    return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

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

class MediaFilter {
public:
    virtual ~MediaFilter() = default;
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

// The chosen camera. Shared: the graph that carries it holds a reference of its own.
class CaptureFilter : public MediaFilter {
public:
    virtual HResult EnumPins(std::unique_ptr<PinEnumerator>* pins) = 0;
    // S_OK with the property list when the driver has settings to show.
    virtual HResult QuerySpecifyPropertyPages(std::unique_ptr<PropertyPages>* pages) = 0;
};

// The frame tap: calls the callback's BufferCB with each frame on the streaming thread.
class SampleGrabber : public MediaFilter {
public:
    virtual HResult GetConnectedMediaType(MediaType* type) = 0;
    virtual HResult SetBufferSamples(bool buffer) = 0;
    virtual HResult SetOneShot(bool oneShot) = 0;
    // whichMethod 1: BufferCB with the frame bytes.
    virtual HResult SetCallback(FrameGrabberCallback* callback, int whichMethod) = 0;
};

// A sink that discards frames.
class NullRenderer : public MediaFilter {};

// ---- The graph ----

// The preview window of the graph, placed in the owner's client pixels.
class VideoWindow {
public:
    virtual ~VideoWindow() = default;
    // The window's live-video child, or null for none.
    virtual HResult PutOwner(PreviewSurface* owner) = 0;
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

// The graph; releasing it stops it, removes its filters and hides its preview.
class MediaGraph {
public:
    virtual ~MediaGraph() = default;
    // Not negative when the filter was added.
    virtual HResult AddFilter(MediaFilter& filter, const std::string& name) = 0;
    // Owned by the graph; null when the graph has none.
    virtual VideoWindow* QueryVideoWindow() = 0;
    virtual MediaControl* QueryMediaControl() = 0;
};

class CaptureGraphBuilder {
public:
    virtual ~CaptureGraphBuilder() = default;
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

// A subscription to the machine's sleep notifications. Destroying it ends the notifications
// and lets the machine sleep without waiting for this program any longer.
class PowerEvents {
public:
    virtual ~PowerEvents() = default;
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
    // Calls onSleep(true) on the user-interface thread when the machine is about to sleep and
    // onSleep(false) when it woke up. While the result lives, the machine's sleep waits (within
    // the system's limit) until the result is destroyed, so that the camera can be closed first.
    // Null when the platform gives no such notifications.
    virtual std::unique_ptr<PowerEvents> WatchPower(std::function<void(bool)> onSleep) = 0;
};

// What the V4L2 framework offers besides the system's cameras.
struct CaptureOptions {
    bool virtualCamera = false;          // --virtual-camera: add the emulated camera to the list
    bool virtualRefusesHighRes = false;  // the emulated camera refuses 1280 x 1024
    bool virtualHasNoControls = false;   // the emulated camera offers no settings
    int virtualVanishAfterFrames = 0;    // > 0: the emulated camera is unplugged after N frames
    std::string sysfsRoot = "/sys";      // where the USB ids of /dev/video* are looked up
    std::string devRoot = "/dev";        // where the video device nodes are opened
    bool watchPower = true;              // follow logind's sleep signals on the system bus
};

// The capture system of this machine: V4L2 capture devices (and the emulated camera when asked).
std::unique_ptr<MediaFramework> CreateV4l2MediaFramework(const CaptureOptions& options);
