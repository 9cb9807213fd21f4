#pragma once

// The single-instance rule on the session D-Bus. The name claimed is the application's id (the
// reverse-DNS id of its desktop entry); the owner serves the freedesktop
// org.freedesktop.Application interface at the path derived from that id. The owner answers on
// a thread of its own, so a copy whose window is still starting answers at once and hands the
// request to the user-interface thread for later.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/services.h"
#include "platform/single_instance.h"

class SessionBusInstance : public SingleInstance {
public:
    // appId: the bus name. activationToken: the token this copy's launcher gave it, passed on
    // to the owner. userInterface: where the owner's serving thread hands the requests it
    // answers; it outlives this object. busAddress: the bus to use; empty means the session bus
    // of the environment (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus). limit: the
    // longest the whole claim waits for the bus and for the owner's answer.
    SessionBusInstance(std::string appId, std::string activationToken, TaskPoster& userInterface,
                       std::string busAddress = {},
                       std::chrono::milliseconds limit = std::chrono::milliseconds(1000));
    // Stops answering and lets go of the name.
    ~SessionBusInstance() override;
    SessionBusInstance(const SessionBusInstance&) = delete;
    SessionBusInstance& operator=(const SessionBusInstance&) = delete;

    // Claims once; a second call answers as the first did.
    InstanceClaimResult Claim(std::function<void(const std::string& token)> onActivate) override;

private:
    struct Owner;
    InstanceClaimResult ClaimOnce(std::function<void(const std::string& token)> onActivate);

    std::string m_appId;
    std::string m_activationToken;
    TaskPoster& m_userInterface;
    std::string m_busAddress;
    std::chrono::milliseconds m_limit;
    std::optional<InstanceClaimResult> m_result;
    std::unique_ptr<Owner> m_owner;  // while this copy owns the name
};

// The token a launcher hands the program it starts: XDG_ACTIVATION_TOKEN (Wayland), else
// DESKTOP_STARTUP_ID (X11 startup notification); empty when there is none. Read it before the
// GUI toolkit starts: the toolkit takes DESKTOP_STARTUP_ID out of the environment.
std::string StartupActivationToken();
