// platform/: process launch through the desktop.
#include "platform/launch.h"

#include "platform/error.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace platform {

namespace {
DesktopLauncher g_desktop;
Launcher* g_current = nullptr;
double g_taskNumber = 0;
} // namespace

Launcher& CurrentLauncher() {
    return g_current ? *g_current : g_desktop;
}
void SetLauncher(Launcher* launcher) {
    g_current = launcher;
}

double DesktopLauncher::Shell(const QString& commandLine, int /*windowStyle: the browser places itself*/) {
    static const QString explorer = QStringLiteral("explorer.exe ");
    bool started = false;
    if (commandLine.startsWith(explorer, Qt::CaseInsensitive)) {
        const QUrl url = QUrl::fromUserInput(commandLine.mid(explorer.size()).trimmed());
        started = url.isValid() && QDesktopServices::openUrl(url);
    } else {
        QStringList words = QProcess::splitCommand(commandLine);
        if (!words.isEmpty()) {
            const QString program = words.takeFirst();
            started = QProcess::startDetached(program, words);
        }
    }
    if (!started) throw RuntimeError(errFileNotFound, QStringLiteral("无法启动: %1").arg(commandLine));
    return ++g_taskNumber;
}

} // namespace platform
