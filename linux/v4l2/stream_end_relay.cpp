#include "linux/v4l2/stream_end_relay.h"

#include <utility>

struct StreamEndRelay::Shared {
    StreamEndHandler handler;               // user-interface thread only
    StreamActivityHandler activityHandler;  // user-interface thread only
    // User-interface thread only: moved on by every Arm and Disarm, and by a delivered end.
    std::uint64_t run = 0;
};

// User-interface thread, from its task queue.
void StreamEndRelay::Deliver(const std::weak_ptr<Shared>& relay, std::uint64_t run, int error) {
    const std::shared_ptr<Shared> shared = relay.lock();
    if (!shared || shared->run != run || !shared->handler) {
        return;
    }
    // A run ends once; anything posted for it after this report is stale.
    ++shared->run;
    // A copy: the handler may release the graph, and with it this relay and its handler.
    const StreamEndHandler handler = shared->handler;
    handler(StreamEnd{error});
}

// User-interface thread, from its task queue. A run reports its activity until it ends.
void StreamEndRelay::DeliverActivity(const std::weak_ptr<Shared>& relay, std::uint64_t run,
                                     StreamActivity activity) {
    const std::shared_ptr<Shared> shared = relay.lock();
    if (!shared || shared->run != run || !shared->activityHandler) {
        return;
    }
    // A copy: the handler may release the graph, and with it this relay and its handler.
    const StreamActivityHandler handler = shared->activityHandler;
    handler(activity);
}

StreamEndRelay::StreamEndRelay(TaskPoster* userInterface)
    : m_userInterface(userInterface), m_shared(std::make_shared<Shared>()) {}

StreamEndRelay::~StreamEndRelay() = default;

void StreamEndRelay::SetHandler(StreamEndHandler handler) {
    m_shared->handler = std::move(handler);
}

std::function<void(int error)> StreamEndRelay::Arm() {
    const std::uint64_t run = ++m_shared->run;
    TaskPoster* userInterface = m_userInterface;
    std::weak_ptr<Shared> relay = m_shared;
    // Streaming thread. Only the weak reference travels, never the relay itself: the graph may
    // be released before the report runs.
    return [userInterface, relay = std::move(relay), run](int error) {
        if (userInterface != nullptr) {
            userInterface->Post([relay, run, error] { Deliver(relay, run, error); });
        }
    };
}

void StreamEndRelay::SetActivityHandler(StreamActivityHandler handler) {
    m_shared->activityHandler = std::move(handler);
}

std::function<void(StreamActivity activity)> StreamEndRelay::ActivityOfRun() {
    const std::uint64_t run = m_shared->run;
    TaskPoster* userInterface = m_userInterface;
    std::weak_ptr<Shared> relay = m_shared;
    // Streaming thread; as for the end, only the weak reference travels.
    return [userInterface, relay = std::move(relay), run](StreamActivity activity) {
        if (userInterface != nullptr) {
            userInterface->Post([relay, run, activity] { DeliverActivity(relay, run, activity); });
        }
    };
}

void StreamEndRelay::Disarm() {
    ++m_shared->run;
}
