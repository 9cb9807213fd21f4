#pragma once

// One running copy per desktop session. The first copy claims the application's well-known name
// on the session bus; a later copy cannot claim it, asks the owner to come to the front
// (org.freedesktop.Application.Activate, with the activation token its launcher gave it) and
// ends. Every wait on the bus is bounded, so a bus that misbehaves never keeps a copy from
// starting.

#include <functional>
#include <string>

enum class InstanceClaim {
    Claimed,    // this copy owns the name; other copies' requests to come forward will arrive
    Running,    // another copy owns the name and answered its request to come forward
    NoBus,      // no session bus could be reached: the bus cannot tell whether a copy runs
    Undecided,  // the bus, or the copy that owns the name, failed to answer in time: start alone
};

struct InstanceClaimResult {
    InstanceClaim outcome = InstanceClaim::NoBus;
    std::string detail;  // what went wrong, for the log (NoBus and Undecided)
};

class SingleInstance {
public:
    virtual ~SingleInstance() = default;

    // Claims the name without queueing for it. When another copy owns it, asks that copy to come
    // to the front and reports Running once it has answered. While this copy owns the name,
    // onActivate runs on the user-interface thread for every other copy's request, with that
    // copy's activation token (empty when its launcher gave none); requests that arrive while
    // the user-interface thread is busy (the window still starting) wait for it.
    virtual InstanceClaimResult Claim(std::function<void(const std::string& token)> onActivate) = 0;
};
