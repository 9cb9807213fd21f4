#include "support/doubles/fake_single_instance.h"

InstanceClaimResult FakeSingleInstance::Claim(
    std::function<void(const std::string& token)> onActivate) {
    ++claims;
    if (onClaim) {
        onClaim();
    }
    // As on the bus: only the copy that owns the name hears from the others.
    if (result.outcome == InstanceClaim::Claimed) {
        m_onActivate = std::move(onActivate);
    }
    return result;
}

bool FakeSingleInstance::RequestActivation(const std::string& token) {
    if (!m_onActivate) {
        return false;
    }
    m_onActivate(token);
    return true;
}
