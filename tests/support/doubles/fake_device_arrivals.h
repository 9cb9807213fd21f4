#pragma once

// Device arrivals for tests: a test announces that a video device was added, and counts the
// watches alive.

#include <functional>

#include "platform/device_arrivals.h"

class FakeDeviceArrivals : public DeviceArrivals {
public:
    explicit FakeDeviceArrivals(bool offers = true) : offersNotices(offers) {}
    std::unique_ptr<DeviceArrivalWatch> Watch(std::function<void()> onAdded) override;

    // Tells the live watch, if any, that a video device was added; false when none listens.
    bool Announce();

    bool offersNotices = true;  // false: the platform gives no notices (Watch answers null)
    int liveWatches = 0;
    int watchesMade = 0;

private:
    class LiveWatch;
    std::function<void()> m_onAdded;
};
