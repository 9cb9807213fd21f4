#pragma once

// Window timers on Qt: one QTimer per id, firing on the user-interface thread's event loop.

#include <map>
#include <memory>

#include "platform/services.h"

class QTimer;

class QtTimerHost : public TimerHost {
public:
    QtTimerHost();
    ~QtTimerHost() override;
    QtTimerHost(const QtTimerHost&) = delete;
    QtTimerHost& operator=(const QtTimerHost&) = delete;

    void Arm(int id, int periodMs, std::function<void(int id)> onFire) override;
    void Disarm(int id) override;
    bool IsArmed(int id) const;

private:
    struct Entry {
        std::unique_ptr<QTimer> timer;
        std::function<void(int)> onFire;
    };
    void Fire(int id);

    std::map<int, Entry> m_timers;
};
