#pragma once

// The application object: refuses a second copy and a start beside the "Amcap" capture
// program, opens the image library around the main window's life and runs the window modally.

#include <string>

#include "platform/single_instance.h"

struct WebcamEnvironment;

class CWebcamApp {
public:
    explicit CWebcamApp(WebcamEnvironment& environment) : m_env(environment) {}

    // Always false: the process ends when it returns; there is no message loop of our own.
    bool InitInstance();

private:
    // The session's one copy, claimed before anything is read or opened (instance_claim.cpp).
    InstanceClaimResult ClaimSingleInstance();
    // Another copy's request to come to the front, with its launcher's activation token.
    void BringWindowForward(const std::string& activationToken);

    WebcamEnvironment& m_env;
};
