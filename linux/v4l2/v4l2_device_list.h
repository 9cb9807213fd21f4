#pragma once

// The video device nodes of this machine, with the path texts the camera selection reads.

#include <string>
#include <vector>

struct VideoNode {
    std::string node;               // /dev/videoN
    std::string pathText;           // "usb#vid_xxxx&pid_xxxx&mi_nn#<interface>#/dev/videoN" for USB
    std::string usbInterface = {};  // the USB interface's sysfs folder; empty when not on USB
};

// The nodes that sysfs lists under class/video4linux, in number order.
std::vector<VideoNode> ListVideoNodes(const std::string& sysfsRoot, const std::string& devRoot);

// The path text of one node: built from its USB parent's idVendor and idProduct and the
// interface number; a device that is not on USB gets a text without "vid_".
std::string DevicePathText(const std::string& sysfsRoot, const std::string& name,
                           const std::string& node);

// The sysfs folder of the USB interface the node belongs to, or empty when it is not on USB.
std::string UsbInterfaceFolder(const std::string& sysfsRoot, const std::string& name);

// The node as the device list shows it.
VideoNode DescribeVideoNode(const std::string& sysfsRoot, const std::string& name,
                            const std::string& node);
