#include "linux/v4l2/v4l2_device_list.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The first word of a sysfs attribute file, lower-cased; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

// The USB device a video interface belongs to: the nearest folder above it with USB ids.
fs::path FindUsbDevice(fs::path folder, const fs::path& root) {
    while (!folder.empty() && folder != folder.root_path() && folder != root) {
        std::error_code error;
        if (fs::exists(folder / "idVendor", error) && fs::exists(folder / "idProduct", error)) {
            return folder;
        }
        folder = folder.parent_path();
    }
    return {};
}

int NodeNumber(const std::string& name) {
    return std::atoi(name.c_str() + std::string("video").size());
}

}  // namespace

std::string UsbInterfaceFolder(const std::string& sysfsRoot, const std::string& name) {
    std::error_code error;
    const fs::path interface =
        fs::canonical(fs::path(sysfsRoot) / "class" / "video4linux" / name / "device", error);
    if (error || FindUsbDevice(interface, fs::canonical(sysfsRoot, error)).empty()) {
        return {};
    }
    return interface.string();
}

VideoNode DescribeVideoNode(const std::string& sysfsRoot, const std::string& name,
                            const std::string& node) {
    return VideoNode{node, DevicePathText(sysfsRoot, name, node),
                     UsbInterfaceFolder(sysfsRoot, name)};
}

std::string DevicePathText(const std::string& sysfsRoot, const std::string& name,
                           const std::string& node) {
    std::error_code error;
    const fs::path link = fs::path(sysfsRoot) / "class" / "video4linux" / name / "device";
    const fs::path interface = fs::canonical(link, error);
    if (error) {
        return "platform#" + name + "#" + node;
    }
    const fs::path usb = FindUsbDevice(interface, fs::canonical(sysfsRoot, error));
    if (usb.empty()) {
        return "platform#" + interface.filename().string() + "#" + node;
    }
    std::string text =
        "usb#vid_" + ReadAttribute(usb / "idVendor") + "&pid_" + ReadAttribute(usb / "idProduct");
    const std::string interfaceNumber = ReadAttribute(interface / "bInterfaceNumber");
    if (!interfaceNumber.empty()) {
        text += "&mi_" + interfaceNumber;
    }
    return text + "#" + interface.filename().string() + "#" + node;
}

std::vector<VideoNode> ListVideoNodes(const std::string& sysfsRoot, const std::string& devRoot) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(fs::path(sysfsRoot) / "class" / "video4linux", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0 && name.size() > 5 &&
            std::all_of(name.begin() + 5, name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NodeNumber(a) < NodeNumber(b);
    });
    std::vector<VideoNode> nodes;
    for (const std::string& name : names) {
        const std::string node = devRoot + "/" + name;
        nodes.push_back(DescribeVideoNode(sysfsRoot, name, node));
    }
    return nodes;
}
