// app/: the program's entry: creates frmMain hidden, runs its Load handler, shows it and runs the event loop.
#include "app/frmMain.h"
#include "platform/clipboard_handover.h"
#include "platform/error.h"
#include "platform/termination_signals.h"
#include "player/session.h"
#include "web/network_fetcher.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

// Calls back once, after the window's first paint: Qt paints a window as it is exposed, so a zero timer set at
// the first expose runs once that paint is done.
class FirstShown : public QObject {
public:
    FirstShown(QWindow* window, std::function<void()> shown) : QObject(window), m_shown(std::move(shown)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window->isExposed()) {
            window->removeEventFilter(this);
            QTimer::singleShot(0, window, m_shown);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_shown;
};

} // namespace

int main(int argc, char* argv[]) {
    // glibc gives each new thread an allocator arena of its own, reserving 64 MB of address space each time:
    // name look-ups that hang on a stalled resolver hold their threads, and a few of them would take a process
    // under an address-space limit past it. Two arenas serve the few threads that allocate here (the engine's,
    // Qt's network and look-up threads) as well.
    mallopt(M_ARENA_MAX, 2);
    // The icon lives in the core library's resources, which a static link would otherwise drop.
    Q_INIT_RESOURCE(corvana);
    platform::IgnoreBrokenPipes();
    QApplication app(argc, argv);
    // libmpv refuses to start unless numbers are formatted the C way, whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationDomain(QStringLiteral("ostrel.example"));
    QApplication::setDesktopFileName(QStringLiteral("example.ostrel.Corvana"));

    int status = 0;
    {
        // Made before the window and gone after it: whatever the window's children still ask of them as they go,
        // they are there.
        web::NetworkFetcher fetcher(QByteArrayLiteral("Corvana/" CORVANA_VERSION));
        player::Session session(fetcher);
        {
            frmMain window(fetcher, session);
            // SIGTERM, SIGHUP and SIGINT close the window the way the user does: a modified list gets its question.
            platform::TerminationSignals terminationSignals;
            QObject::connect(&terminationSignals, &platform::TerminationSignals::received, &window,
                             &QWidget::close);
            // An error during start-up is reported, and the program ends: it never runs on a list it could not read.
            if (!platform::Guarded([&] { window.Form_Load(); })) return 1;
            window.show();
            // libmpv takes a moment to start: once the window is on screen, not on the way to it, and well before a
            // user can pick a station.
            new FirstShown(window.windowHandle(), [&window] { window.StartEngine(); });
            // On the session bus once the window is up: the desktop's media controls need not delay it.
            QTimer::singleShot(0, &window, &frmMain::PublishToDesktop);
            status = app.exec();
        }
        // The window is gone, and with it the list's question, a recording and every request. What the user
        // copied goes to the desktop's clipboard manager now: Qt hands it over only as the application object
        // goes, after waiting for the name look-ups still running in its pool, and one the network never answers
        // (a stalled resolver, a captive portal) would hold a closed program for minutes. Then the engine stops.
        platform::HandClipboardToManager();
    }
    // Nothing is left to keep: the program ends here, without Qt's wait.
    std::fflush(nullptr);
    std::_Exit(status);
}
