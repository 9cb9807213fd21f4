// The capture system on V4L2: the device list of /dev/video* capture nodes (and the camera
// answered in this process, when one is given), graphs on the camera's streaming thread, and the
// settings dialog it is handed.

#include "linux/v4l2/v4l2_media_framework.h"

#include <algorithm>
#include <filesystem>

#include "linux/v4l2/sample_grabber.h"
#include "linux/v4l2/v4l2_camera.h"
#include "linux/v4l2/v4l2_device_list.h"
#include "linux/v4l2/v4l2_graph.h"
#include "linux/v4l2/v4l2_source.h"

namespace {

// One capture node as the device list found it.
struct DeviceEntry {
    std::shared_ptr<DeviceIo> io;
    std::string node;
    std::string pathText;
    int queryError = 0;  // -errno when the node could not be opened or asked
    std::string card;
    std::string usbInterface;  // see VideoNode
};

// Opens the node once to learn whether it captures video and what it is called. Nodes that
// answer but capture nothing (metadata, output nodes) are not listed at all.
std::optional<DeviceEntry> Probe(std::shared_ptr<DeviceIo> io, const VideoNode& node) {
    DeviceEntry entry{io, node.node, node.pathText, 0, {}, node.usbInterface};
    int error = 0;
    std::unique_ptr<V4l2Camera> camera = V4l2Camera::Open(io, node.node, &error);
    if (!camera) {
        entry.queryError = error;
        return entry;
    }
    CameraIdentity identity;
    entry.queryError = camera->QueryIdentity(&identity);
    if (entry.queryError == 0 && !identity.capturesVideo) {
        return std::nullopt;
    }
    entry.card = identity.card;
    return entry;
}

class V4l2Moniker : public DeviceMoniker {
public:
    explicit V4l2Moniker(DeviceEntry entry) : m_entry(std::move(entry)) {}
    HResult BindToStorage() override {
        return m_entry.queryError < 0 ? HResultFromErrno(-m_entry.queryError) : S_OK_RESULT;
    }
    HResult ReadFriendlyName(std::string* name) override {
        if (m_entry.card.empty()) {
            return E_FAIL_RESULT;
        }
        *name = m_entry.card;
        return S_OK_RESULT;
    }
    std::optional<std::string> GetDisplayName() override { return m_entry.pathText; }
    std::shared_ptr<CaptureFilter> BindToObject() override {
        int error = 0;
        std::unique_ptr<V4l2Camera> camera = V4l2Camera::Open(m_entry.io, m_entry.node, &error);
        if (!camera) {
            return nullptr;
        }
        camera->AwaitRemovalOf(m_entry.usbInterface);
        return MakeV4l2Source(std::move(camera));
    }

private:
    DeviceEntry m_entry;
};

class V4l2DeviceList : public DeviceList {
public:
    explicit V4l2DeviceList(std::vector<DeviceEntry> entries) : m_entries(std::move(entries)) {}
    void Reset() override { m_next = 0; }
    HResult Next(std::unique_ptr<DeviceMoniker>* moniker) override {
        if (m_next >= m_entries.size()) {
            return S_FALSE_RESULT;
        }
        *moniker = std::make_unique<V4l2Moniker>(m_entries[m_next++]);
        return S_OK_RESULT;
    }

private:
    std::vector<DeviceEntry> m_entries;
    std::size_t m_next = 0;
};

class V4l2DeviceEnumerator : public DeviceEnumerator {
public:
    explicit V4l2DeviceEnumerator(const CaptureOptions& options)
        : m_options(options), m_virtualCamera(options.virtualDevice) {}

    // The system's nodes in number order, then the in-process camera.
    std::unique_ptr<DeviceList> CreateVideoInputList() override {
        std::vector<DeviceEntry> entries;
        for (const VideoNode& node : ListVideoNodes(m_options.sysfsRoot, m_options.devRoot)) {
            if (std::optional<DeviceEntry> entry = Probe(KernelDeviceIo(), node)) {
                entries.push_back(std::move(*entry));
            }
        }
        if (m_virtualCamera) {
            if (std::optional<DeviceEntry> entry =
                    Probe(m_virtualCamera,
                          VideoNode{m_virtualCamera->Node(), m_virtualCamera->PathText()})) {
                entries.push_back(std::move(*entry));
            }
        }
        if (entries.empty()) {
            return nullptr;
        }
        return std::make_unique<V4l2DeviceList>(std::move(entries));
    }

    // The in-process camera's node, or a node of the system (a link such as /dev/v4l/by-id/...
    // is followed to its /dev/videoN for the path text). A node that cannot be opened is
    // listed as there but unreadable, as in the device list.
    std::unique_ptr<DeviceMoniker> MonikerForNode(const std::string& node) override {
        std::optional<DeviceEntry> entry;
        if (m_virtualCamera && node == m_virtualCamera->Node()) {
            entry = Probe(m_virtualCamera, VideoNode{node, m_virtualCamera->PathText()});
        } else {
            std::error_code error;
            const std::filesystem::path target = std::filesystem::canonical(node, error);
            if (error) {
                return nullptr;
            }
            const std::string name = target.filename().string();
            entry = Probe(KernelDeviceIo(), DescribeVideoNode(m_options.sysfsRoot, name, node));
        }
        if (!entry) {
            return nullptr;
        }
        return std::make_unique<V4l2Moniker>(std::move(*entry));
    }

private:
    CaptureOptions m_options;
    std::shared_ptr<InProcessCamera> m_virtualCamera;
};

class V4l2MediaFramework : public MediaFramework {
public:
    explicit V4l2MediaFramework(const CaptureOptions& options) : m_options(options) {}

    std::unique_ptr<DeviceEnumerator> CreateDeviceEnumerator() override {
        return std::make_unique<V4l2DeviceEnumerator>(m_options);
    }
    std::unique_ptr<MediaGraph> CreateFilterGraph() override {
        return MakeV4l2Graph(m_options.userInterface);
    }
    HResult CreateSampleGrabber(std::unique_ptr<SampleGrabber>* grabber) override {
        *grabber = MakeSampleGrabber();
        return S_OK_RESULT;
    }
    HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>* builder) override {
        *builder = MakeV4l2GraphBuilder();
        return S_OK_RESULT;
    }
    HResult CreateNullRenderer(std::unique_ptr<NullRenderer>* renderer) override {
        *renderer = MakeV4l2NullRenderer();
        return S_OK_RESULT;
    }
    void ShowPropertyFrame(const PropertyFrameRequest& request, PropertyPages& pages) override {
        if (m_options.showProperties) {
            m_options.showProperties(request, pages);
        }
    }

private:
    CaptureOptions m_options;
};

}  // namespace

std::unique_ptr<MediaFramework> CreateV4l2MediaFramework(const CaptureOptions& options) {
    return std::make_unique<V4l2MediaFramework>(options);
}
