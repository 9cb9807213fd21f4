#pragma once

// A private system bus for a test and a logind stand-in on it.

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>

#include "v4l2_window_fixture.h"

inline const QString kService = QStringLiteral("org.freedesktop.login1");
inline const QString kPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// A dbus-daemon of its own, made the system bus of this process while it lives.
class PrivateSystemBus {
public:
    PrivateSystemBus() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        const std::string config = (m_dir / "system.conf").string();
        WriteWholeFile(config,
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                       "Configuration 1.0//EN\" "
                       "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>system</type>"
                       "<listen>unix:dir=" +
                           m_dir.Path().string() +
                           "</listen><auth>EXTERNAL</auth>"
                           "<policy context=\"default\"><allow user=\"*\"/>"
                           "<allow own=\"*\"/><allow send_destination=\"*\"/>"
                           "<allow receive_sender=\"*\"/></policy></busconfig>\n");
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + QString::fromStdString(config),
                        QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000)) {
            return;
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8().constData(), 1);
    }
    ~PrivateSystemBus() {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    bool Running() const { return !m_address.isEmpty(); }
    const QString& Address() const { return m_address; }

private:
    TempDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// Answers Inhibit with one end of a pipe and keeps the other, so the test can see when the
// lock is let go (the pipe reports its end once no holder is left).
class FakeLogind : public QDBusVirtualObject {
public:
    explicit FakeLogind(const QString& address)
        : m_connection(QDBusConnection::connectToBus(address, QStringLiteral("fake-logind"))) {
        m_registered = m_connection.isConnected() && m_connection.registerService(kService) &&
                       m_connection.registerVirtualObject(kPath, this);
    }
    ~FakeLogind() override {
        m_connection.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
        if (m_lockEnd >= 0) {
            close(m_lockEnd);
        }
    }

    bool Registered() const { return m_registered; }
    void EmitPrepareForSleep(bool start) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kManager, QStringLiteral("PrepareForSleep"));
        signal << start;
        m_connection.send(signal);
    }
    const QVariantList& InhibitArguments() const { return m_inhibit; }
    bool LockHeld() const {
        if (m_lockEnd < 0) {
            return false;
        }
        pollfd entry{m_lockEnd, POLLIN, 0};
        return poll(&entry, 1, 0) == 0;  // nothing to read and no hang-up: a holder remains
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QStringLiteral("Inhibit")) {
            return false;
        }
        m_inhibit = message.arguments();
        int ends[2];
        if (pipe(ends) != 0) {
            return false;
        }
        m_lockEnd = ends[0];
        QDBusUnixFileDescriptor handed(ends[1]);  // keeps a copy of its own
        close(ends[1]);
        connection.send(message.createReply(QVariant::fromValue(handed)));
        return true;
    }

private:
    QDBusConnection m_connection;
    bool m_registered = false;
    QVariantList m_inhibit;
    int m_lockEnd = -1;
};
