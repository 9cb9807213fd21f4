#pragma once

// Video device arrivals from udev: the "add" events of the video4linux subsystem, as the udev
// daemon announces them once it has set a new node up. Where no udev daemon runs, the watch is
// made all the same but hears nothing.

#include "platform/device_arrivals.h"

class UdevDeviceArrivals : public DeviceArrivals {
public:
    // Null when udev's monitor cannot be made (no netlink socket).
    std::unique_ptr<DeviceArrivalWatch> Watch(std::function<void()> onAdded) override;
};
