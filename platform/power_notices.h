#pragma once

// The machine's sleep notices, the stand-in for the desktop's power broadcasts.

#include <functional>
#include <memory>

// A subscription to the notices. Destroying it ends them and lets the machine sleep without
// waiting for this program any longer.
class PowerWatch {
public:
    virtual ~PowerWatch() = default;
};

class PowerNotices {
public:
    virtual ~PowerNotices() = default;
    // Calls onSleep(true) on the user-interface thread when the machine is about to sleep and
    // onSleep(false) when it woke up. While the result lives, the machine's sleep waits (within
    // the system's limit) until the result is destroyed, so that the camera can be closed first.
    // Null when the platform gives no such notices.
    virtual std::unique_ptr<PowerWatch> Watch(std::function<void(bool)> onSleep) = 0;
};
