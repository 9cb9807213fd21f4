#include "support/doubles/fake_power_notices.h"

class FakePowerNotices::LiveWatch : public PowerWatch {
public:
    explicit LiveWatch(FakePowerNotices& notices) : m_notices(notices) { ++m_notices.liveWatches; }
    ~LiveWatch() override {
        --m_notices.liveWatches;
        m_notices.m_onSleep = nullptr;
    }

private:
    FakePowerNotices& m_notices;
};

std::unique_ptr<PowerWatch> FakePowerNotices::Watch(std::function<void(bool)> onSleep) {
    if (!offersNotices) {
        return nullptr;
    }
    m_onSleep = std::move(onSleep);
    return std::make_unique<LiveWatch>(*this);
}

void FakePowerNotices::EmitSleep(bool suspending) {
    if (m_onSleep) {
        m_onSleep(suspending);
    }
}
