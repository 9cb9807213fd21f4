#include "linux/desktop/session_bus_instance.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "linux/desktop/dbus_application_interface.h"

// libdbus rather than Qt D-Bus: every step of the claim needs its own time limit, and Qt's
// connection to a bus waits for the bus's greeting without one.

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kBusInterface = "org.freedesktop.DBus";

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionCloser>;

class BusError {
public:
    BusError() { dbus_error_init(&m_error); }
    ~BusError() { dbus_error_free(&m_error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    DBusError* Get() { return &m_error; }
    bool Is(const char* name) const { return dbus_error_has_name(&m_error, name) != 0; }
    std::string Text() const {
        if (!dbus_error_is_set(&m_error)) {
            return "no answer";
        }
        return std::string(m_error.name) + ": " + (m_error.message ? m_error.message : "");
    }

private:
    DBusError m_error;
};

// One limit for the whole claim: however the time is spent, the start is never held up longer.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds limit) : m_end(Clock::now() + limit) {}
    int RemainingMs() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_end - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    Clock::time_point m_end;
};

// Wakes the serving thread out of its wait on the bus.
class WakeEvent {
public:
    WakeEvent() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WakeEvent() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    int Fd() const { return m_fd; }
    void Signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
    }

private:
    int m_fd;
};

std::string EscapedAddressValue(const std::string& value) {
    char* escaped = dbus_address_escape_value(value.c_str());
    if (escaped == nullptr) {
        return {};
    }
    std::string result(escaped);
    dbus_free(escaped);
    return result;
}

std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && *address != '\0') {
        return address;
    }
    // A systemd user session keeps its bus here without always naming it in the environment.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != 0) {
        const std::string path = std::string(runtime) + "/bus";
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
            return "unix:path=" + EscapedAddressValue(path);
        }
    }
    return {};
}

// Sends a call and waits for its answer, at most until the deadline.
DBusMessagePtr CallBefore(DBusConnection* connection, DBusMessage* call, const Deadline& deadline,
                          BusError& error) {
    const int wait = deadline.RemainingMs();
    if (call == nullptr || wait <= 0) {
        dbus_set_error_const(error.Get(), DBUS_ERROR_TIMEOUT, "the time for the claim ran out");
        return nullptr;
    }
    return DBusMessagePtr(
        dbus_connection_send_with_reply_and_block(connection, call, wait, error.Get()));
}

DBusMessagePtr BusCall(const char* member) {
    return DBusMessagePtr(
        dbus_message_new_method_call(kBusService, kBusPath, kBusInterface, member));
}

// The authentication that opens every bus connection. libdbus waits for it without a limit
// before it sends a first message, so it is driven here until the deadline.
bool Authenticate(DBusConnection* connection, const Deadline& deadline, BusError& error) {
    while (!dbus_connection_get_is_authenticated(connection)) {
        const int wait = deadline.RemainingMs();
        if (wait <= 0 || !dbus_connection_read_write(connection, wait)) {
            dbus_set_error_const(
                error.Get(), DBUS_ERROR_AUTH_FAILED,
                wait <= 0 ? "no answer to the authentication" : "the bus closed the connection");
            return false;
        }
    }
    return true;
}

// The greeting every bus connection starts with; it gives the connection its unique name.
bool Register(DBusConnection* connection, const Deadline& deadline, BusError& error) {
    if (!Authenticate(connection, deadline, error)) {
        return false;
    }
    const DBusMessagePtr hello = BusCall("Hello");
    const DBusMessagePtr reply = CallBefore(connection, hello.get(), deadline, error);
    const char* name = nullptr;
    if (reply == nullptr || !dbus_message_get_args(reply.get(), error.Get(), DBUS_TYPE_STRING,
                                                   &name, DBUS_TYPE_INVALID)) {
        return false;
    }
    return dbus_bus_set_unique_name(connection, name) != 0;
}

// The bus's DBUS_REQUEST_NAME_REPLY_* answer, or 0 when there was none.
dbus_uint32_t RequestName(DBusConnection* connection, const std::string& name,
                          const Deadline& deadline, BusError& error) {
    const DBusMessagePtr call = BusCall("RequestName");
    const char* text = name.c_str();
    const dbus_uint32_t flags = DBUS_NAME_FLAG_DO_NOT_QUEUE;
    if (call == nullptr || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &text,
                                                     DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID)) {
        return 0;
    }
    const DBusMessagePtr reply = CallBefore(connection, call.get(), deadline, error);
    dbus_uint32_t answer = 0;
    if (reply == nullptr || !dbus_message_get_args(reply.get(), error.Get(), DBUS_TYPE_UINT32,
                                                   &answer, DBUS_TYPE_INVALID)) {
        return 0;
    }
    return answer;
}

}  // namespace

// The owner's side: the bus connection that holds the name, answered on a thread of its own.
struct SessionBusInstance::Owner {
    Owner(ConnectionPtr bus, std::function<void(const std::string&)> activate,
          TaskPoster& userInterface)
        : connection(std::move(bus)),
          onActivate(
              std::make_shared<const std::function<void(const std::string&)>>(std::move(activate))),
          userInterface(userInterface) {}

    bool Serve(const std::string& path) {
        static const DBusObjectPathVTable table{
            nullptr, &Owner::HandleMessage, nullptr, nullptr, nullptr, nullptr};
        if (wake.Fd() < 0 ||
            !dbus_connection_register_object_path(connection.get(), path.c_str(), &table, this)) {
            return false;
        }
        server = std::jthread([this](std::stop_token stop) { Run(stop); });
        return true;
    }

    // The serving thread: answers what arrives until the object goes or the bus does.
    void Run(const std::stop_token& stop) {
        int socket = -1;
        if (!dbus_connection_get_socket(connection.get(), &socket)) {
            return;
        }
        while (!stop.stop_requested() && dbus_connection_get_is_connected(connection.get())) {
            while (dbus_connection_dispatch(connection.get()) == DBUS_DISPATCH_DATA_REMAINS) {
            }
            // Answers are written as the socket takes them: a bus that stops reading must not
            // hold this thread, or the process could not end.
            const short events = static_cast<short>(
                POLLIN | (dbus_connection_has_messages_to_send(connection.get()) ? POLLOUT : 0));
            pollfd waits[] = {{socket, events, 0}, {wake.Fd(), POLLIN, 0}};
            if (poll(waits, 2, -1) < 0 && errno != EINTR) {
                return;
            }
            if (waits[1].revents != 0) {
                return;
            }
            dbus_connection_read_write(connection.get(), 0);
        }
    }

    static DBusHandlerResult HandleMessage(DBusConnection* bus, DBusMessage* message, void* data) {
        const auto* owner = static_cast<const Owner*>(data);
        return AnswerApplicationCall(bus, message,
                                     [owner](const std::string& token) { owner->Post(token); });
    }

    // Runs on the serving thread: the request waits in the user-interface thread's queue, and
    // is dropped there when the owner has gone meanwhile.
    void Post(const std::string& token) const {
        if (!*onActivate) {
            return;
        }
        std::weak_ptr<const std::function<void(const std::string&)>> listener = onActivate;
        userInterface.Post([listener = std::move(listener), token] {
            if (const auto activate = listener.lock()) {
                (*activate)(token);
            }
        });
    }

    // Asked to stop, the serving thread wakes from its wait and ends; the thread is joined as
    // the last member goes.
    ~Owner() {
        server.request_stop();
        wake.Signal();
    }

    ConnectionPtr connection;
    // Called on the user-interface thread only; the posted requests hold it weakly.
    const std::shared_ptr<const std::function<void(const std::string&)>> onActivate;
    TaskPoster& userInterface;
    WakeEvent wake;
    std::jthread server;  // last: it stops and is joined before the rest goes
};

SessionBusInstance::SessionBusInstance(std::string appId, std::string activationToken,
                                       TaskPoster& userInterface, std::string busAddress,
                                       std::chrono::milliseconds limit)
    : m_appId(std::move(appId)),
      m_activationToken(std::move(activationToken)),
      m_userInterface(userInterface),
      m_busAddress(std::move(busAddress)),
      m_limit(limit) {}

SessionBusInstance::~SessionBusInstance() = default;

InstanceClaimResult SessionBusInstance::Claim(
    std::function<void(const std::string& token)> onActivate) {
    if (!m_result) {
        m_result = ClaimOnce(std::move(onActivate));
    }
    return *m_result;
}

InstanceClaimResult SessionBusInstance::ClaimOnce(
    std::function<void(const std::string& token)> onActivate) {
    const Deadline deadline(m_limit);
    const std::string address = m_busAddress.empty() ? SessionBusAddress() : m_busAddress;
    if (address.empty()) {
        return {InstanceClaim::NoBus, "no session bus address"};
    }
    if (!dbus_validate_bus_name(m_appId.c_str(), nullptr)) {
        return {InstanceClaim::Undecided, "not a bus name: " + m_appId};
    }
    dbus_threads_init_default();
    BusError error;
    // Connecting is quick (a local socket); the bus's answers are what can take long.
    ConnectionPtr connection(dbus_connection_open_private(address.c_str(), error.Get()));
    if (connection == nullptr) {
        return {InstanceClaim::NoBus, "session bus not reachable: " + error.Text()};
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!Register(connection.get(), deadline, error)) {
        return {InstanceClaim::Undecided, "the session bus did not answer: " + error.Text()};
    }
    // Twice at most: a copy that owned the name may end between the bus's answer and the call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        BusError attemptError;
        const dbus_uint32_t answer = RequestName(connection.get(), m_appId, deadline, attemptError);
        if (answer == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER ||
            answer == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER) {
            auto owner = std::make_unique<Owner>(std::move(connection), std::move(onActivate),
                                                 m_userInterface);
            if (!owner->Serve(ApplicationObjectPath(m_appId))) {
                return {InstanceClaim::Undecided, "cannot answer on the session bus"};
            }
            m_owner = std::move(owner);
            return {InstanceClaim::Claimed, {}};
        }
        if (answer != DBUS_REQUEST_NAME_REPLY_EXISTS) {
            return {InstanceClaim::Undecided,
                    "the session bus did not give the name: " + attemptError.Text()};
        }
        const DBusMessagePtr call = NewActivateCall(m_appId, m_activationToken);
        if (CallBefore(connection.get(), call.get(), deadline, attemptError) != nullptr) {
            return {InstanceClaim::Running, {}};
        }
        if (!attemptError.Is(DBUS_ERROR_SERVICE_UNKNOWN) &&
            !attemptError.Is(DBUS_ERROR_NAME_HAS_NO_OWNER)) {
            return {InstanceClaim::Undecided,
                    "the running copy did not answer: " + attemptError.Text()};
        }
    }
    return {InstanceClaim::Undecided, "the name changed hands while it was claimed"};
}

std::string StartupActivationToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        if (const char* token = std::getenv(name); token != nullptr && *token != '\0') {
            return token;
        }
    }
    return {};
}
