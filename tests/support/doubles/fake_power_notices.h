#pragma once

// Sleep notices for tests: a test emits the machine's sleep or wake-up and counts the watches
// alive.

#include <functional>
#include <memory>

#include "platform/power_notices.h"

class FakePowerNotices : public PowerNotices {
public:
    explicit FakePowerNotices(bool offers = true) : offersNotices(offers) {}
    std::unique_ptr<PowerWatch> Watch(std::function<void(bool)> onSleep) override;

    // Emits the machine's sleep notice (true) or wake-up (false) to the live watch.
    void EmitSleep(bool suspending);

    bool offersNotices = true;  // false: the platform gives no notices (Watch answers null)
    int liveWatches = 0;

private:
    class LiveWatch;
    std::function<void(bool)> m_onSleep;
};
