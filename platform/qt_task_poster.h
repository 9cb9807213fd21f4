#pragma once

// Work for the user-interface thread, queued through the Qt event loop of the application.

#include "platform/services.h"

class QtTaskPoster : public TaskPoster {
public:
    void Post(std::function<void()> work) override;
};
