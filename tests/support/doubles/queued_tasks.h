#pragma once

// Work for the user-interface thread in tests: posted from any thread, run when the test (or
// the headless harness's Pump) says so.

#include <functional>
#include <mutex>
#include <vector>

#include "platform/services.h"

class QueuedTasks : public TaskPoster {
public:
    void Post(std::function<void()> work) override;
    // Runs the work posted so far, and any it posts in turn; returns how many ran.
    int RunPending();

private:
    std::mutex m_mutex;  // guards m_pending: workers post while the test thread runs
    std::vector<std::function<void()>> m_pending;
};
