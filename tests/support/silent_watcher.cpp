// tests/support: a StatusNotifierWatcher that hangs, as a panel does when it is stuck: it owns the watcher's
// name on the session bus and takes every call made to it without ever answering, so each caller waits out
// its own timeout. Prints "ready" once the name is its own; runs until it is killed. Usage:
// corvana_silent_watcher (on the bus in DBUS_SESSION_BUS_ADDRESS)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <cstdio>

namespace {
// Every path, every interface, introspection and properties too: nothing gets an answer, not even an error.
class Silence : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Silence silence;
    if (!bus.registerVirtualObject(QStringLiteral("/"), &silence, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "silent_watcher: could not own org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
