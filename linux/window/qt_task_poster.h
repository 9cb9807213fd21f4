#pragma once

// Work for the user-interface thread. The work itself waits in a queue of this object's own,
// behind a mutex, so that what one thread hands the other is ordered by synchronisation the
// sanitizers see; the Qt event loop only wakes the user-interface thread to run it.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/services.h"

class QObject;

class QtTaskPoster : public TaskPoster {
public:
    // On the user-interface thread, with the Qt application made. Work still waiting when this
    // goes is dropped; it must outlive every thread that posts.
    QtTaskPoster();
    ~QtTaskPoster() override;
    QtTaskPoster(const QtTaskPoster&) = delete;
    QtTaskPoster& operator=(const QtTaskPoster&) = delete;

    void Post(std::function<void()> work) override;

private:
    class Waker;
    void RunPosted();  // user-interface thread

    std::mutex m_mutex;                           // protects m_posted
    std::vector<std::function<void()>> m_posted;  // in the order posted
    std::unique_ptr<Waker> m_waker;               // lives on the user-interface thread
};
