#pragma once

// The session's one-copy claim for tests: answers with the outcome a test sets, keeps the
// handler for other copies' requests, and lets a test deliver such a request as the
// user-interface thread would.

#include <functional>
#include <string>

#include "platform/single_instance.h"

class FakeSingleInstance : public SingleInstance {
public:
    explicit FakeSingleInstance(InstanceClaimResult answer) : result(std::move(answer)) {}

    InstanceClaimResult Claim(std::function<void(const std::string& token)> onActivate) override;

    // Another copy's request to come to the front; false when no handler was given.
    bool RequestActivation(const std::string& token);

    InstanceClaimResult result;
    int claims = 0;
    // Runs inside Claim, for a test to look at what had happened before it.
    std::function<void()> onClaim;

private:
    std::function<void(const std::string&)> m_onActivate;
};
