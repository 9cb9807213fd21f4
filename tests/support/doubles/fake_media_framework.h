#pragma once

// A capture system for tests: a device list of plain records and a graph in which any step can
// be made to fail. It records what the logic asked of it (format requests, filters added,
// preview placement, run and stop) and can deliver frames to the installed callback.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/media_framework.h"

enum class FakeStep {
    CreateDeviceEnumerator,
    CreateVideoInputList,
    CreateGraph,
    AddCapture,
    EnumPins,
    CreateGrabber,
    FirstPin,      // the pin enumerator gives no pin
    StreamConfig,  // the first pin has no stream configuration
    GetFormat,
    AddGrabber,
    CreateBuilder,
    SetFiltergraph,
    CreateNullRenderer,
    AddNullRenderer,
    RenderPreview,
    RenderCapture,
    ConnectedType,
    VideoWindow,
    MediaControl,
    Run,
    Reopen,  // the camera cannot be opened again (it has gone)
};

struct FakeDevice {
    std::optional<std::string> displayName;
    std::optional<std::string> friendlyName = std::string("Fake camera");
    bool storageFails = false;
    bool opens = true;
    std::string node;  // the node a user may name for it (MonikerForNode); empty: none
};

// What the tests read back.
struct FakeMediaRecord {
    std::vector<std::pair<int, int>> formatRequests;  // width, height of every SetFormat
    std::vector<std::string> addedFilters;            // names in order
    std::vector<PinCategory> renderedCategories;
    bool renderedIntoNullRenderer = false;
    // The preview window as placed.
    VideoChild* previewOwner = nullptr;
    bool previewOwnerSet = false;
    std::optional<Rect> previewRect;  // set once any of left, top, width, height was given
    std::uint32_t previewStyle = 0;
    bool previewVisible = false;
    bool cursorHidden = true;
    SampleGrabberCallback* callback = nullptr;
    int callbackMethod = -1;
    int runs = 0;
    int stops = 0;
    int reopens = 0;         // ReopenDevice calls that opened the camera again
    int silenceLimitMs = 0;  // as the last activity handler was set
    int openedDevices = 0;
    // Objects alive now.
    int liveGraphs = 0;
    int liveGrabbers = 0;
    int liveCaptureFilters = 0;
    int propertyFramesShown = 0;
    std::optional<PropertyFrameRequest> lastPropertyFrame;
};

class FakeMediaFramework : public MediaFramework {
public:
    FakeMediaFramework();
    ~FakeMediaFramework() override;

    // ---- Set-up ----
    std::vector<FakeDevice> devices;
    std::set<FakeStep> failingSteps;
    HResult failureResult = static_cast<HResult>(0x80040217);  // what a failing step answers
    // Sizes the camera accepts exactly; any other request is refused.
    std::set<std::pair<int, int>> acceptedSizes = {{320, 240}, {640, 480}, {1280, 1024}};
    std::uint32_t declaredFormatBytes = kVideoInfoHeaderBytes;
    bool hasVideoPortPin = false;
    std::int64_t connectedTimePerFrame = 0;  // the connected type's AvgTimePerFrame (100 ns)
    std::vector<DeviceControl> controls;     // empty: the camera has no settings to show
    // Runs while the modal settings dialog "is open"; the default just returns.
    std::function<void(const PropertyFrameRequest&, PropertyPages&)> onPropertyFrame;

    // A device whose path text carries the built-in vendor identifier.
    static FakeDevice MakerDevice(const std::string& product = "0001");
    static FakeDevice OtherDevice(const std::string& vendor, const std::string& product = "1234");

    // ---- Read-back and driving ----
    FakeMediaRecord record;
    std::map<std::uint32_t, std::int32_t> controlValues;
    bool Fails(FakeStep step) const { return failingSteps.count(step) != 0; }
    bool Running() const { return m_running; }
    // Calls the installed callback's BufferCB as the streaming thread would; E_FAIL when the
    // graph does not run or no callback is installed.
    HResult DeliverFrame(std::uint8_t* data, std::int32_t length);
    // Ends the running stream by itself with the errno (ENODEV: the camera went away) and
    // delivers the report to the graph's stream-end handler, as the event loop would; the graph
    // then runs no more. False, with nothing done, when no graph runs or it has no handler.
    bool EndStream(int error);
    // Reports the running stream's activity to the graph's handler, as the event loop would;
    // false, with nothing done, when no graph runs or it has no handler.
    bool ReportActivity(StreamActivity activity);

    // ---- MediaFramework ----
    std::unique_ptr<DeviceEnumerator> CreateDeviceEnumerator() override;
    std::unique_ptr<MediaGraph> CreateFilterGraph() override;
    HResult CreateSampleGrabber(std::unique_ptr<SampleGrabber>* grabber) override;
    HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>* builder) override;
    HResult CreateNullRenderer(std::unique_ptr<NullRenderer>* renderer) override;
    void ShowPropertyFrame(const PropertyFrameRequest& request, PropertyPages& pages) override;

    // For the fake's own objects.
    void SetRunning(bool running) { m_running = running; }
    void SetStreamEndHandler(const MediaGraph* graph, StreamEndHandler handler);
    void ForgetStreamEndHandler(const MediaGraph* graph);
    void SetStreamActivityHandler(const MediaGraph* graph, int silenceLimitMs,
                                  StreamActivityHandler handler);

private:
    bool m_running = false;
    const MediaGraph* m_streamEndGraph = nullptr;  // whose handlers are installed
    StreamEndHandler m_streamEndHandler;
    StreamActivityHandler m_activityHandler;
};
