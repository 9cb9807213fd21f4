#include "linux/window/qt_timer_host.h"

#include <QTimer>
#include <algorithm>

QtTimerHost::QtTimerHost() = default;
QtTimerHost::~QtTimerHost() = default;

void QtTimerHost::Arm(int id, int periodMs, std::function<void(int id)> onFire) {
    Entry& entry = m_timers[id];
    if (entry.timer == nullptr) {
        entry.timer = std::make_unique<QTimer>();
        // The strip and label timers run at 1 to 5 ms; a coarse timer would stretch them.
        entry.timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(entry.timer.get(), &QTimer::timeout, [this, id] { Fire(id); });
    }
    entry.onFire = std::move(onFire);
    entry.timer->start(std::max(periodMs, 1));  // restarts an armed timer with the new period
}

// The QTimer is kept, only stopped: a handler often disarms the very timer it runs from.
void QtTimerHost::Disarm(int id) {
    const auto found = m_timers.find(id);
    if (found != m_timers.end()) {
        found->second.timer->stop();
    }
}

bool QtTimerHost::IsArmed(int id) const {
    const auto found = m_timers.find(id);
    return found != m_timers.end() && found->second.timer->isActive();
}

void QtTimerHost::Fire(int id) {
    const auto found = m_timers.find(id);
    if (found == m_timers.end()) {
        return;
    }
    // A copy: the handler may re-arm this id with a new handler while it runs.
    const std::function<void(int)> onFire = found->second.onFire;
    if (onFire) {
        onFire(id);
    }
}
