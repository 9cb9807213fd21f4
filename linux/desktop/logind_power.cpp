#include "linux/desktop/logind_power.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <atomic>
#include <optional>

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// Every watch has its own connection, so that one closing never takes another's with it.
QString NextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("lumisight-logind-%1").arg(counter.fetch_add(1));
}

}  // namespace

class LogindSleepWatch : public QObject, public PowerWatch {
    Q_OBJECT
public:
    LogindSleepWatch(QDBusConnection connection, std::function<void(bool)> onSleep)
        : m_connection(std::move(connection)), m_onSleep(std::move(onSleep)) {}
    ~LogindSleepWatch() override {
        m_connection.disconnect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                                SLOT(OnPrepareForSleep(bool)));
        m_lock.reset();  // lets a waiting sleep go on
        QDBusConnection::disconnectFromBus(m_connection.name());
    }

    bool Subscribe() {
        return m_connection.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"),
                                    this, SLOT(OnPrepareForSleep(bool)));
    }

    // Asked for without waiting: a missing logind must never slow the camera's start.
    void AskForSleepLock() {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep") << QStringLiteral("Lumisight webcam")
             << QStringLiteral("Closing the camera before the machine sleeps")
             << QStringLiteral("delay");
        auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* finished) {
                    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                    if (reply.isValid() && reply.value().isValid()) {
                        m_lock = reply.value();
                    }
                    finished->deleteLater();
                });
    }

private slots:
    void OnPrepareForSleep(bool start) {
        // After a wake-up the next sleep must wait for us again.
        if (!start && !m_lock) {
            AskForSleepLock();
        }
        m_onSleep(start);
    }

private:
    QDBusConnection m_connection;
    std::function<void(bool)> m_onSleep;
    std::optional<QDBusUnixFileDescriptor> m_lock;  // closing the descriptor releases the lock
};

std::unique_ptr<PowerWatch> WatchLogindSleep(std::function<void(bool)> onSleep) {
    // The address is read anew for every watch: the bus library remembers the first system
    // bus address it saw for the whole process, which would outlive a restarted bus.
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection connection =
        address.isEmpty()
            ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, NextConnectionName())
            : QDBusConnection::connectToBus(address, NextConnectionName());
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(connection.name());
        return nullptr;
    }
    auto watch = std::make_unique<LogindSleepWatch>(connection, std::move(onSleep));
    if (!watch->Subscribe()) {
        return nullptr;
    }
    watch->AskForSleepLock();
    return watch;
}

#include "logind_power.moc"
