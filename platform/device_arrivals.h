#pragma once

// Notices that a video device has been added to the machine: a camera plugged in, a driver
// loaded. They only say that something arrived; the listener looks for what it wants itself.

#include <functional>
#include <memory>

// A subscription to the notices; destroying it ends them.
class DeviceArrivalWatch {
public:
    virtual ~DeviceArrivalWatch() = default;
};

class DeviceArrivals {
public:
    virtual ~DeviceArrivals() = default;
    // Calls onAdded on the user-interface thread whenever a video device node is added, while the
    // result lives. Null when the platform gives no such notices.
    virtual std::unique_ptr<DeviceArrivalWatch> Watch(std::function<void()> onAdded) = 0;
};
