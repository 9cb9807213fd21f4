#pragma once

// A dbus-daemon of the test's own, of the system or the session kind, that anyone may use and
// own names on; it ends with the object.

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

class PrivateBus {
public:
    enum class Kind { System, Session };

    // socketPath: where the bus listens; empty gives a fresh socket in a folder of its own.
    explicit PrivateBus(Kind kind, const std::filesystem::path& socketPath = {}) {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        const std::string listen = socketPath.empty() ? "unix:dir=" + m_dir.Path().string()
                                                      : "unix:path=" + socketPath.string();
        const std::string config = (m_dir / "bus.conf").string();
        WriteWholeFile(config,
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                       "Configuration 1.0//EN\" "
                       "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>" +
                           std::string(kind == Kind::System ? "system" : "session") +
                           "</type><listen>" + listen +
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
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return !m_address.isEmpty(); }
    const QString& Address() const { return m_address; }

private:
    TempDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
