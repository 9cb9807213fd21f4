#include "linux/desktop/dbus_application_interface.h"

#include <string_view>

namespace {

constexpr const char* kApplicationInterface = "org.freedesktop.Application";

constexpr const char* kIntrospection =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
    "<node>\n"
    " <interface name=\"org.freedesktop.Application\">\n"
    "  <method name=\"Activate\"><arg type=\"a{sv}\" name=\"platform_data\"/></method>\n"
    "  <method name=\"Open\"><arg type=\"as\" name=\"uris\"/>"
    "<arg type=\"a{sv}\" name=\"platform_data\"/></method>\n"
    "  <method name=\"ActivateAction\"><arg type=\"s\" name=\"action_name\"/>"
    "<arg type=\"av\" name=\"parameter\"/><arg type=\"a{sv}\" name=\"platform_data\"/></method>\n"
    " </interface>\n"
    " <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "  <method name=\"Introspect\"><arg type=\"s\" name=\"xml_data\" direction=\"out\"/></method>\n"
    " </interface>\n"
    "</node>\n";

DBusHandlerResult Answer(DBusConnection* bus, DBusMessage* call, DBusMessage* reply) {
    const DBusMessagePtr owned(reply);
    if (owned == nullptr) {
        return DBUS_HANDLER_RESULT_NEED_MEMORY;
    }
    if (!dbus_message_get_no_reply(call)) {
        dbus_connection_send(bus, owned.get(), nullptr);
    }
    return DBUS_HANDLER_RESULT_HANDLED;
}

void AppendStringEntry(DBusMessageIter* dictionary, const char* key, const std::string& value) {
    DBusMessageIter entry;
    DBusMessageIter variant;
    const char* text = value.c_str();
    dbus_message_iter_open_container(dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING,
                                     &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &text);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dictionary, &entry);
}

// The activation token in another copy's platform data: "activation-token", else
// "desktop-startup-id"; entries of other names or types are passed over.
std::string TokenOf(DBusMessage* call) {
    DBusMessageIter arguments;
    DBusMessageIter entries;
    if (!dbus_message_iter_init(call, &arguments)) {
        return {};
    }
    dbus_message_iter_recurse(&arguments, &entries);
    std::string activationToken;
    std::string startupId;
    for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&entries)) {
        DBusMessageIter entry;
        DBusMessageIter value;
        const char* key = nullptr;
        const char* text = nullptr;
        dbus_message_iter_recurse(&entries, &entry);
        dbus_message_iter_get_basic(&entry, &key);
        dbus_message_iter_next(&entry);
        dbus_message_iter_recurse(&entry, &value);
        if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) {
            continue;
        }
        dbus_message_iter_get_basic(&value, &text);
        if (std::string_view(key) == "activation-token") {
            activationToken = text;
        } else if (std::string_view(key) == "desktop-startup-id") {
            startupId = text;
        }
    }
    return activationToken.empty() ? startupId : activationToken;
}

}  // namespace

std::string ApplicationObjectPath(const std::string& appId) {
    std::string path = "/" + appId;
    for (char& c : path) {
        if (c == '.') {
            c = '/';
        } else if (c == '-') {
            c = '_';
        }
    }
    return path;
}

DBusMessagePtr NewActivateCall(const std::string& appId, const std::string& token) {
    DBusMessagePtr call(dbus_message_new_method_call(
        appId.c_str(), ApplicationObjectPath(appId).c_str(), kApplicationInterface, "Activate"));
    if (call == nullptr) {
        return nullptr;
    }
    DBusMessageIter arguments;
    DBusMessageIter platformData;
    dbus_message_iter_init_append(call.get(), &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &platformData);
    // The token comes from the environment: D-Bus strings must be UTF-8, so any other is left out.
    if (!token.empty() && dbus_validate_utf8(token.c_str(), nullptr)) {
        AppendStringEntry(&platformData, "activation-token", token);
        AppendStringEntry(&platformData, "desktop-startup-id", token);
    }
    dbus_message_iter_close_container(&arguments, &platformData);
    return call;
}

DBusHandlerResult AnswerApplicationCall(DBusConnection* bus, DBusMessage* message,
                                        const std::function<void(const std::string&)>& onActivate) {
    if (dbus_message_is_method_call(message, kApplicationInterface, "Activate")) {
        if (!dbus_message_has_signature(message, "a{sv}")) {
            return Answer(bus, message,
                          dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS,
                                                 "Activate takes the platform data a{sv}"));
        }
        onActivate(TokenOf(message));
        return Answer(bus, message, dbus_message_new_method_return(message));
    }
    if (dbus_message_is_method_call(message, kApplicationInterface, "Open") ||
        dbus_message_is_method_call(message, kApplicationInterface, "ActivateAction")) {
        return Answer(bus, message,
                      dbus_message_new_error(message, DBUS_ERROR_NOT_SUPPORTED,
                                             "the program opens no files and has no actions"));
    }
    if (dbus_message_is_method_call(message, DBUS_INTERFACE_INTROSPECTABLE, "Introspect")) {
        DBusMessagePtr reply(dbus_message_new_method_return(message));
        const char* xml = kIntrospection;
        if (reply != nullptr) {
            dbus_message_append_args(reply.get(), DBUS_TYPE_STRING, &xml, DBUS_TYPE_INVALID);
        }
        return Answer(bus, message, reply.release());
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;  // libdbus answers "unknown method"
}
