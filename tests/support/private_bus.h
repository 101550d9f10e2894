// tests/support: a session bus of one test program's own, so that the code under test meets only what the test
// puts there and never reaches the desktop's. The dbus-daemon ends with the program, also when it crashes.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>

namespace support {

class PrivateBus {
public:
    ~PrivateBus() { stop(); }

    // Starts the daemon and names it in DBUS_SESSION_BUS_ADDRESS: call it before anything opens the session
    // bus, which Qt opens once per program. Its address; empty (with the reason in the test log) when it did
    // not come up within 10 s.
    QString start() {
        if (!m_dir.isValid()) return {};
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--print-address"),
                        QStringLiteral("--nofork"),
                        QStringLiteral("--address=unix:path=") + m_dir.filePath(QStringLiteral("bus"))});
        if (!m_daemon.waitForStarted(5000)) {
            qWarning("dbus-daemon did not start (Debian package dbus)");
            return {};
        }
        if (!QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 10000)) return {};
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        return address;
    }
    void stop() {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    // The folder of the bus's socket, "bus": where libdbus looks when XDG_RUNTIME_DIR names that folder and
    // no address is given.
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

} // namespace support
