#include "capture/device_discovery.h"

#include <strings.h>
#include <cstring>

#include "platform/diagnostic_log.h"
#include "platform/media_framework.h"

namespace {

constexpr const char* kVendorId = LUMISIGHT_VENDOR_ID;
constexpr std::size_t kDevicePathCapacity = 512;  // at most 511 bytes and a terminator

// The device path text, cut to what the path buffer holds; empty when there is none.
std::string ReadDevicePath(DeviceMoniker& moniker) {
    std::optional<std::string> name = moniker.GetDisplayName();
    if (!name) {
        return {};
    }
    // The buffer is a C string: the path ends at its first zero byte as well.
    std::string path(name->c_str());
    if (path.size() > kDevicePathCapacity - 1) {
        path.resize(kDevicePathCapacity - 1);
    }
    return path;
}

// Only the first "vid_" counts, and it must be in lower case; the digits after it may be in
// either case.
bool CarriesMakerVendorId(const std::string& path) {
    const std::size_t at = path.find("vid_");
    if (at == std::string::npos) {
        return false;
    }
    const std::string digits = path.substr(at + 4, 4);
    return digits.size() == 4 && strncasecmp(digits.c_str(), kVendorId, 4) == 0;
}

enum class DeviceOutcome { Skipped, Found };

DeviceOutcome ExamineDevice(DeviceMoniker& moniker, std::shared_ptr<CaptureFilter>* result) {
    if (moniker.BindToStorage() != S_OK_RESULT) {
        WriteLog("BindToStorage error");
        return DeviceOutcome::Skipped;
    }
    std::string friendlyName;
    if (moniker.ReadFriendlyName(&friendlyName) != S_OK_RESULT) {
        WriteLog("Get FriendlyName error");
        return DeviceOutcome::Skipped;
    }
    const std::string path = ReadDevicePath(moniker);
    if (!CarriesMakerVendorId(path)) {
        WriteLog(path);
        return DeviceOutcome::Skipped;
    }
    // Only the opened filter counts; a maker's device that cannot be opened is passed over.
    *result = moniker.BindToObject();
    return *result ? DeviceOutcome::Found : DeviceOutcome::Skipped;
}

// The device at the node the user named: it must answer, as a device of the list must.
void OpenChosenDevice(DeviceEnumerator& enumerator, const std::string& node,
                      std::shared_ptr<CaptureFilter>* result) {
    std::unique_ptr<DeviceMoniker> moniker = enumerator.MonikerForNode(node);
    if (!moniker) {
        return;
    }
    if (moniker->BindToStorage() != S_OK_RESULT) {
        WriteLog("BindToStorage error");
        return;
    }
    *result = moniker->BindToObject();
}

// The quiet form of ExamineDevice: the same tests, nothing opened as a source, nothing logged.
bool IsMakerDevice(DeviceMoniker& moniker) {
    std::string friendlyName;
    return moniker.BindToStorage() == S_OK_RESULT &&
           moniker.ReadFriendlyName(&friendlyName) == S_OK_RESULT &&
           CarriesMakerVendorId(ReadDevicePath(moniker));
}

}  // namespace

bool CaptureDevicePresent(MediaFramework& media, const std::string& chosenNode) {
    std::unique_ptr<DeviceEnumerator> enumerator = media.CreateDeviceEnumerator();
    if (!enumerator) {
        return false;
    }
    if (!chosenNode.empty()) {
        std::unique_ptr<DeviceMoniker> moniker = enumerator->MonikerForNode(chosenNode);
        return moniker && moniker->BindToStorage() == S_OK_RESULT;
    }
    std::unique_ptr<DeviceList> devices = enumerator->CreateVideoInputList();
    if (!devices) {
        return false;
    }
    devices->Reset();
    std::unique_ptr<DeviceMoniker> moniker;
    while (devices->Next(&moniker) == S_OK_RESULT && moniker) {
        if (IsMakerDevice(*moniker)) {
            return true;
        }
        moniker.reset();
    }
    return false;
}

void GetDefaultCapDevice(MediaFramework& media, std::shared_ptr<CaptureFilter>* result,
                         const std::string& chosenNode) {
    result->reset();
    if (!chosenNode.empty()) {
        WriteLog("GetDefaultCapDevice " + chosenNode);
    }
    std::unique_ptr<DeviceEnumerator> enumerator = media.CreateDeviceEnumerator();
    if (!enumerator) {
        WriteLog("CoCreateInstance error");
        return;
    }
    if (!chosenNode.empty()) {
        OpenChosenDevice(*enumerator, chosenNode, result);
        return;
    }
    std::unique_ptr<DeviceList> devices = enumerator->CreateVideoInputList();
    if (!devices) {
        WriteLog("CreateClassEnumerator error");
        return;
    }
    devices->Reset();
    for (;;) {
        std::unique_ptr<DeviceMoniker> moniker;
        if (devices->Next(&moniker) != S_OK_RESULT || !moniker) {
            WriteLog("GetDefaultCapDevice next error");
            return;
        }
        if (ExamineDevice(*moniker, result) == DeviceOutcome::Found) {
            return;
        }
    }
}
