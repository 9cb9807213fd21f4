#pragma once

// Window timers on a virtual clock: nothing fires until the test advances time, and then every
// timer that falls due fires in due-time order (armed earlier first on a tie), periodic timers
// coming round again every period until they are disarmed.

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/services.h"

class VirtualClock : public TimerHost {
public:
    struct Firing {
        long long timeMs;
        int id;
    };

    // Arming an armed id restarts it: it next fires one new period from now. Periods below
    // 1 ms count as 1 ms.
    void Arm(int id, int periodMs, std::function<void(int id)> onFire) override;
    void Disarm(int id) override;

    // Fires every timer due up to Now() + ms, then sets Now() to that time.
    void Advance(long long ms);
    // Fires the one earliest timer due at or before limitMs, moving Now() to its due time;
    // false when none is due by then. Lets a caller do work between two firings.
    bool FireNext(long long limitMs);
    void SetNow(long long timeMs);  // moves forward only

    long long Now() const { return m_nowMs; }
    bool IsArmed(int id) const { return m_timers.count(id) != 0; }
    std::optional<int> Period(int id) const;
    std::optional<long long> DueTime(int id) const;
    // Every firing so far, in order.
    const std::vector<Firing>& Firings() const { return m_firings; }

private:
    struct Timer {
        int periodMs = 1;
        long long dueMs = 0;
        unsigned long long sequence = 0;
        std::function<void(int)> onFire;
    };

    std::map<int, Timer> m_timers;
    long long m_nowMs = 0;
    unsigned long long m_sequence = 0;
    std::vector<Firing> m_firings;
};
