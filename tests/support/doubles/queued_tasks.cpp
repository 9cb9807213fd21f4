#include "support/doubles/queued_tasks.h"

void QueuedTasks::Post(std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(work));
}

int QueuedTasks::RunPending() {
    int ran = 0;
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(m_mutex);
            batch.swap(m_pending);
        }
        if (batch.empty()) {
            return ran;
        }
        for (std::function<void()>& work : batch) {
            work();
            ++ran;
        }
    }
}
