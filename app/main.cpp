// app/: the program's entry: creates frmMain hidden, runs its Load handler, shows it and runs the event loop.
#include "app/frmMain.h"
#include "platform/error.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QTimer>
#include <clocale>

int main(int argc, char* argv[]) {
    // The icon lives in the core library's resources, which a static link would otherwise drop.
    Q_INIT_RESOURCE(corvana);
    platform::IgnoreBrokenPipes();
    QApplication app(argc, argv);
    // libmpv refuses to start unless numbers are formatted the C way, whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationDomain(QStringLiteral("ostrel.example"));
    QApplication::setDesktopFileName(QStringLiteral("example.ostrel.Corvana"));

    frmMain window;
    // SIGTERM, SIGHUP and SIGINT close the window the way the user does: a modified list gets its question.
    platform::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &platform::TerminationSignals::received, &window, &QWidget::close);
    // An error during start-up is reported, and the program ends: it never runs on a list it could not read.
    if (!platform::Guarded([&] { window.Form_Load(); })) return 1;
    window.show();
    // On the session bus once the window is up: the desktop's media controls need not delay it.
    QTimer::singleShot(0, &window, &frmMain::PublishToDesktop);
    return app.exec();
}
