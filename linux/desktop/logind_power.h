#pragma once

// The machine's sleep notices from logind on the system D-Bus: PrepareForSleep(true) before a
// sleep, PrepareForSleep(false) after the wake-up. While the watch lives it also holds a logind
// "delay" sleep lock, so that the sleep waits (within logind's limit) until the watch is
// destroyed. Without a system bus or logind there are no notices and nothing is reported.

#include <functional>
#include <memory>

#include "platform/power_notices.h"

// onSleep runs on the user-interface thread; the lock is asked for without waiting.
std::unique_ptr<PowerWatch> WatchLogindSleep(std::function<void(bool)> onSleep);

class LogindPowerNotices : public PowerNotices {
public:
    std::unique_ptr<PowerWatch> Watch(std::function<void(bool)> onSleep) override {
        return WatchLogindSleep(std::move(onSleep));
    }
};
