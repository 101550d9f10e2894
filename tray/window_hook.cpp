// tray/: TrayWindowProc's rules for the icon's clicks.
#include "tray/window_hook.h"

#include "platform/window_state.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace tray {

namespace {
// A hidden or disabled window cannot take the focus: it is left alone rather than failing the click. While
// one of the program's dialogs is open, Qt passes the activation on to the dialog.
void GiveFocus(QWidget& window) {
    if (!window.isVisible() || !window.isEnabled()) return;
    window.activateWindow();
}
} // namespace

bool RestoreWindow(QWidget& window, qint16 restoreState) {
    GiveFocus(window);
    if (platform::WindowState(window) != 1) return false;
    platform::SetWindowState(window, restoreState);
    GiveFocus(window);
    return true;
}

bool TrayWindowProc(QSystemTrayIcon::ActivationReason reason, QWidget& window, QMenu& menu,
                    qint16 restoreState) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        return RestoreWindow(window, restoreState);
    case QSystemTrayIcon::Context:
        menu.exec(QCursor::pos());
        return true;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return false;
}

} // namespace tray
