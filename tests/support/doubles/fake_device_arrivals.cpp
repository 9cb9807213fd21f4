#include "support/doubles/fake_device_arrivals.h"

class FakeDeviceArrivals::LiveWatch : public DeviceArrivalWatch {
public:
    explicit LiveWatch(FakeDeviceArrivals& arrivals) : m_arrivals(arrivals) {
        ++m_arrivals.liveWatches;
        ++m_arrivals.watchesMade;
    }
    ~LiveWatch() override {
        --m_arrivals.liveWatches;
        m_arrivals.m_onAdded = nullptr;
    }

private:
    FakeDeviceArrivals& m_arrivals;
};

std::unique_ptr<DeviceArrivalWatch> FakeDeviceArrivals::Watch(std::function<void()> onAdded) {
    if (!offersNotices) {
        return nullptr;
    }
    m_onAdded = std::move(onAdded);
    return std::make_unique<LiveWatch>(*this);
}

bool FakeDeviceArrivals::Announce() {
    if (!m_onAdded) {
        return false;
    }
    // A copy: the listener may end its watch.
    const std::function<void()> onAdded = m_onAdded;
    onAdded();
    return true;
}
