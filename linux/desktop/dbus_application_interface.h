#pragma once

// The freedesktop org.freedesktop.Application interface on libdbus, as far as the one-copy
// rule needs it: the Activate call a later copy makes, and the running copy's answers. For the
// session-bus code of linux/desktop only.

#include <dbus/dbus.h>

#include <functional>
#include <memory>
#include <string>

struct DBusMessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using DBusMessagePtr = std::unique_ptr<DBusMessage, DBusMessageUnref>;

// The object path the freedesktop interface is served at: "/" and the id with "." as "/" and
// "-" as "_" (io.lumisight.Webcam gives /io/lumisight/Webcam).
std::string ApplicationObjectPath(const std::string& appId);

// Activate on the application's object path, with the token in the platform data under both
// names a desktop may look for ("activation-token", "desktop-startup-id"). Null when out of
// memory.
DBusMessagePtr NewActivateCall(const std::string& appId, const std::string& token);

// Answers a call made to the running copy: Activate calls onActivate with the caller's token
// ("activation-token", else "desktop-startup-id", else empty) and is answered at once; Open and
// ActivateAction are not supported; Introspect describes the interface. Anything else is left
// to libdbus (NOT_YET_HANDLED), which answers that the method is unknown.
DBusHandlerResult AnswerApplicationCall(DBusConnection* bus, DBusMessage* message,
                                        const std::function<void(const std::string&)>& onActivate);
