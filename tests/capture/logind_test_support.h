#pragma once

// A private system bus for a test and a logind stand-in on it.

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>

#include <cstdlib>

#include "support/private_bus.h"
#include "v4l2_window_fixture.h"

inline const QString kService = QStringLiteral("org.freedesktop.login1");
inline const QString kPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// A dbus-daemon of its own, made the system bus of this process while it lives.
class PrivateSystemBus {
public:
    PrivateSystemBus() {
        if (m_bus.Running()) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.Address().toUtf8().constData(), 1);
        }
    }
    ~PrivateSystemBus() { unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool Running() const { return m_bus.Running(); }
    const QString& Address() const { return m_bus.Address(); }

private:
    PrivateBus m_bus{PrivateBus::Kind::System};
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
