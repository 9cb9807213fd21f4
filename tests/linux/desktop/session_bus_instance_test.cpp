// The one-copy claim on a private session bus started by each test: the name's owner hears
// other copies' requests with their tokens, and a bus or an owner that never answers does not
// hold a start up for longer than the limit.
#include "linux/desktop/session_bus_instance.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QVariantMap>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "linux/desktop/dbus_application_interface.h"
#include "linux/window/qt_task_poster.h"
#include "support/doubles/headless_harness.h"
#include "support/private_bus.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kAppId = "io.lumisight.WebcamTest";
// The program waits a second at most; a test that expects an answer waits longer, so that a
// machine slowed down by other work (or a sanitizer) is never taken for a copy that hangs.
constexpr std::chrono::milliseconds kAnswerLimit = 20s;
const QString kPath = QStringLiteral("/io/lumisight/WebcamTest");
const QString kInterface = QStringLiteral("org.freedesktop.Application");

// Lets queued calls reach the user-interface thread until the condition holds.
template <typename Condition>
bool PumpUntil(Condition condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return condition();
}

// Sets or removes an environment variable for one test.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(m_old); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& value) const {
        if (value) {
            setenv(m_name, value->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

// A copy that owns the name and then never answers: its calls are taken and left unanswered.
class SilentOwner : public QDBusVirtualObject {
public:
    explicit SilentOwner(const QString& address)
        : m_connection(QDBusConnection::connectToBus(address, QStringLiteral("silent-owner"))) {
        m_owning = m_connection.registerService(QString::fromLatin1(kAppId)) &&
                   m_connection.registerVirtualObject(kPath, this);
    }
    ~SilentOwner() override {
        m_connection.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("silent-owner"));
    }
    bool Owning() const { return m_owning; }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }

private:
    QDBusConnection m_connection;
    bool m_owning = false;
};

// A socket that takes connections and never says a word, as a hung bus.
class SilentBus {
public:
    explicit SilentBus(const std::filesystem::path& path) : m_fd(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.string().copy(address.sun_path, sizeof address.sun_path - 1);
        m_listening = m_fd >= 0 &&
                      bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      listen(m_fd, 4) == 0;
    }
    ~SilentBus() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    SilentBus(const SilentBus&) = delete;
    SilentBus& operator=(const SilentBus&) = delete;
    bool Listening() const { return m_listening; }

private:
    int m_fd;
    bool m_listening = false;
};

class SessionBusInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        if (!bus.Running()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
    }
    std::string Address() const { return bus.Address().toStdString(); }

    // Another program's call of Activate with these arguments; answers the reply's error name.
    QString CallActivate(const QVariantList& arguments) {
        QDBusConnection caller = QDBusConnection::connectToBus(bus.Address(), "caller");
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kAppId), kPath,
                                                           kInterface, QStringLiteral("Activate"));
        call.setArguments(arguments);
        const QDBusMessage reply = caller.call(call, QDBus::Block, 5000);
        QDBusConnection::disconnectFromBus("caller");
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
    }

    PrivateBus bus{PrivateBus::Kind::Session};
    QtTaskPoster userInterface;  // the program's own queue to the user-interface thread
};

TEST_F(SessionBusInstanceTest, LaterCopiesAskTheOwnerToComeForwardWithTheirTokens) {
    SessionBusInstance first(kAppId, "first-token", userInterface, Address(), kAnswerLimit);
    std::vector<std::string> requests;
    ASSERT_EQ(first.Claim([&](const std::string& token) { requests.push_back(token); }).outcome,
              InstanceClaim::Claimed);

    SessionBusInstance second(kAppId, "second-token", userInterface, Address(), kAnswerLimit);
    EXPECT_EQ(second.Claim({}).outcome, InstanceClaim::Running);
    SessionBusInstance third(kAppId, "", userInterface, Address(), kAnswerLimit);
    EXPECT_EQ(third.Claim({}).outcome, InstanceClaim::Running);

    // The owner answered at once; the requests wait for the user-interface thread.
    EXPECT_TRUE(requests.empty());
    ASSERT_TRUE(PumpUntil([&] { return requests.size() == 2; }));
    EXPECT_EQ(requests, (std::vector<std::string>{"second-token", ""}));
}

TEST_F(SessionBusInstanceTest, TheNameIsFreeAgainOnceTheOwnerHasGone) {
    {
        SessionBusInstance owner(kAppId, "", userInterface, Address(), kAnswerLimit);
        ASSERT_EQ(owner.Claim({}).outcome, InstanceClaim::Claimed);
    }
    SessionBusInstance next(kAppId, "", userInterface, Address(), kAnswerLimit);
    EXPECT_EQ(next.Claim({}).outcome, InstanceClaim::Claimed);
    // A second claim answers as the first did, without asking the bus again.
    EXPECT_EQ(next.Claim({}).outcome, InstanceClaim::Claimed);
}

TEST_F(SessionBusInstanceTest, TheTokenIsTakenFromThePlatformDataOfAnyCaller) {
    SessionBusInstance owner(kAppId, "", userInterface, Address(), kAnswerLimit);
    std::vector<std::string> requests;
    ASSERT_EQ(owner.Claim([&](const std::string& token) { requests.push_back(token); }).outcome,
              InstanceClaim::Claimed);
    const struct {
        const char* what;
        QVariantMap platformData;
        std::string token;
    } cases[] = {
        {"no platform data", {}, ""},
        {"Wayland token", {{"activation-token", "wl-1"}}, "wl-1"},
        {"X11 startup id", {{"desktop-startup-id", "x11-1"}}, "x11-1"},
        {"both: Wayland's wins",
         {{"desktop-startup-id", "x11-2"}, {"activation-token", "wl-2"}},
         "wl-2"},
        {"a token that is no string", {{"activation-token", 7}}, ""},
        {"other entries only", {{"pid", 42}, {"origin", "menu"}}, ""},
    };
    for (const auto& c : cases) {
        requests.clear();
        EXPECT_EQ(CallActivate({c.platformData}), QString()) << c.what;
        ASSERT_TRUE(PumpUntil([&] { return !requests.empty(); })) << c.what;
        EXPECT_EQ(requests, (std::vector<std::string>{c.token})) << c.what;
    }
    requests.clear();
    EXPECT_EQ(CallActivate({QStringLiteral("not platform data")}),
              QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(requests.empty());
}

// The claim gives up after its limit and lets the copy start alone; the limit here is short
// to keep the test quick.
TEST_F(SessionBusInstanceTest, AnOwnerOrABusThatNeverAnswersDoesNotHoldTheStartUp) {
    TempDir dir;
    const struct {
        const char* what;
        bool silentOwner;
        std::string detailStart;
    } cases[] = {
        {"a hung copy owns the name", true, "the running copy did not answer"},
        {"the bus never answers", false, "the session bus did not answer"},
    };
    for (const auto& c : cases) {
        std::optional<SilentOwner> owner;
        std::optional<SilentBus> silentBus;
        std::string address = Address();
        if (c.silentOwner) {
            owner.emplace(bus.Address());
            ASSERT_TRUE(owner->Owning()) << c.what;
        } else {
            silentBus.emplace(dir / "silent-bus");
            ASSERT_TRUE(silentBus->Listening()) << c.what;
            address = "unix:path=" + (dir / "silent-bus").string();
        }
        SessionBusInstance copy(kAppId, "token", userInterface, address, 300ms);
        const InstanceClaimResult result = copy.Claim({});
        EXPECT_EQ(result.outcome, InstanceClaim::Undecided) << c.what;
        EXPECT_EQ(result.detail.rfind(c.detailStart, 0), 0u) << c.what << ": " << result.detail;
    }
}

TEST_F(SessionBusInstanceTest, TheSessionBusIsFoundFromTheEnvironment) {
    TempDir runtime;
    TempDir empty;
    PrivateBus userBus(PrivateBus::Kind::Session, runtime / "bus");
    ASSERT_TRUE(userBus.Running());
    const struct {
        const char* what;
        std::optional<std::string> address;
        std::optional<std::string> runtimeDir;
        InstanceClaim outcome;
    } cases[] = {
        {"DBUS_SESSION_BUS_ADDRESS", Address(), std::nullopt, InstanceClaim::Claimed},
        {"the user session's bus in XDG_RUNTIME_DIR", std::nullopt, runtime.Path().string(),
         InstanceClaim::Claimed},
        {"a runtime folder without a bus", std::nullopt, empty.Path().string(),
         InstanceClaim::NoBus},
        {"nothing", std::nullopt, std::nullopt, InstanceClaim::NoBus},
        {"an address where nothing listens", "unix:path=" + (empty / "gone").string(), std::nullopt,
         InstanceClaim::NoBus},
    };
    for (const auto& c : cases) {
        const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", c.address);
        const ScopedVariable runtimeDir("XDG_RUNTIME_DIR", c.runtimeDir);
        SessionBusInstance copy(kAppId, "", userInterface, {}, kAnswerLimit);
        EXPECT_EQ(copy.Claim({}).outcome, c.outcome) << c.what;
    }
}

TEST(ApplicationObjectPathTest, DotsBecomeSlashesAndDashesUnderscores) {
    EXPECT_EQ(ApplicationObjectPath("io.lumisight.Webcam"), "/io/lumisight/Webcam");
    EXPECT_EQ(ApplicationObjectPath("org.example.my-app"), "/org/example/my_app");
}

TEST(StartupActivationTokenTest, WaylandTokenFirstThenTheX11StartupId) {
    const struct {
        std::optional<std::string> wayland;
        std::optional<std::string> x11;
        std::string token;
    } cases[] = {
        {"wl", "x11", "wl"},
        {std::nullopt, "x11", "x11"},
        {"", "x11", "x11"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const ScopedVariable wayland("XDG_ACTIVATION_TOKEN", c.wayland);
        const ScopedVariable x11("DESKTOP_STARTUP_ID", c.x11);
        EXPECT_EQ(StartupActivationToken(), c.token);
    }
}

}  // namespace
