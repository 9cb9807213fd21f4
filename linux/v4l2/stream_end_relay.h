#pragma once

// Carries the end of a graph's stream, and the news of its frames stopping and coming again,
// from the streaming thread to the user-interface thread: each report is posted to that thread's
// task queue and handed to the graph's handler there, unless the run it belongs to was stopped,
// ended or followed by another one, or the relay (with its graph) is gone by then. Without a
// task queue there is no thread to deliver on, and reports are dropped.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/media_framework.h"
#include "platform/services.h"

class StreamEndRelay {
public:
    // userInterface: where reports are handed over; it outlives every streaming thread. May be
    // null.
    explicit StreamEndRelay(TaskPoster* userInterface);
    ~StreamEndRelay();
    StreamEndRelay(const StreamEndRelay&) = delete;
    StreamEndRelay& operator=(const StreamEndRelay&) = delete;

    // User-interface thread, all of them.
    void SetHandler(StreamEndHandler handler);
    void SetActivityHandler(StreamActivityHandler handler);
    // A run begins: returns what the streaming thread calls with the errno when the stream ends
    // by itself. Reports of earlier runs are dropped from now on.
    std::function<void(int error)> Arm();
    // What the streaming thread of the run Arm began last calls with the news of its frames.
    std::function<void(StreamActivity activity)> ActivityOfRun();
    // The run was stopped: its report is dropped, posted or not.
    void Disarm();

private:
    struct Shared;
    static void Deliver(const std::weak_ptr<Shared>& relay, std::uint64_t run, int error);
    static void DeliverActivity(const std::weak_ptr<Shared>& relay, std::uint64_t run,
                                StreamActivity activity);

    TaskPoster* m_userInterface;
    // Shared with the posted reports, which see through a weak reference whether it still
    // exists.
    std::shared_ptr<Shared> m_shared;
};
