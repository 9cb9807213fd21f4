#include "app/webcam_app.h"

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/diagnostic_log.h"

InstanceClaimResult CWebcamApp::ClaimSingleInstance() {
    if (m_env.singleInstance == nullptr) {
        return {InstanceClaim::NoBus, {}};
    }
    // The application object lives as long as the claim, so the request may call back into it.
    return m_env.singleInstance->Claim(
        [this](const std::string& token) { BringWindowForward(token); });
}

void CWebcamApp::BringWindowForward(const std::string& activationToken) {
    WriteLog(activationToken.empty() ? std::string("Activate") : "Activate " + activationToken);
    WindowFinder& finder = m_env.platform.windowFinder;
    if (const auto window = finder.Find(kWindowTitle)) {
        finder.BringToFront(*window, activationToken);
    }
}
