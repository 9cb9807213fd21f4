#include "support/doubles/virtual_clock.h"

#include <algorithm>

void VirtualClock::Arm(int id, int periodMs, std::function<void(int id)> onFire) {
    Timer& timer = m_timers[id];
    timer.periodMs = std::max(periodMs, 1);
    timer.dueMs = m_nowMs + timer.periodMs;
    timer.sequence = ++m_sequence;
    timer.onFire = std::move(onFire);
}

void VirtualClock::Disarm(int id) {
    m_timers.erase(id);
}

std::optional<int> VirtualClock::Period(int id) const {
    const auto found = m_timers.find(id);
    return found == m_timers.end() ? std::nullopt : std::optional<int>(found->second.periodMs);
}

std::optional<long long> VirtualClock::DueTime(int id) const {
    const auto found = m_timers.find(id);
    return found == m_timers.end() ? std::nullopt : std::optional<long long>(found->second.dueMs);
}

bool VirtualClock::FireNext(long long limitMs) {
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (next == m_timers.end() || it->second.dueMs < next->second.dueMs ||
            (it->second.dueMs == next->second.dueMs &&
             it->second.sequence < next->second.sequence)) {
            next = it;
        }
    }
    if (next == m_timers.end() || next->second.dueMs > limitMs) {
        return false;
    }
    const int id = next->first;
    Timer& timer = next->second;
    m_nowMs = std::max(m_nowMs, timer.dueMs);
    timer.dueMs += timer.periodMs;
    m_firings.push_back(Firing{m_nowMs, id});
    // A copy: the handler may disarm or re-arm this very timer.
    const std::function<void(int)> onFire = timer.onFire;
    if (onFire) {
        onFire(id);
    }
    return true;
}

void VirtualClock::Advance(long long ms) {
    const long long target = m_nowMs + std::max(ms, 0LL);
    while (FireNext(target)) {
    }
    SetNow(target);
}

void VirtualClock::SetNow(long long timeMs) {
    m_nowMs = std::max(m_nowMs, timeMs);
}
