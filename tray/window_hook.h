// tray/: TrayWindowProc, what a click on the notification-area icon does to the window and its menu.
#pragma once

#include <QSystemTrayIcon>

class QMenu;
class QWidget;

namespace tray {

// Left release (Qt reports it as Trigger, or DoubleClick for a second click soon after): the window gets the
// focus; a minimized one gets restoreState back and the focus again. Right release (Context): menu pops up at
// the pointer; the call returns when it closes. Returns whether the click was handled; any other click is
// left to Qt's normal handling unchanged.
bool TrayWindowProc(QSystemTrayIcon::ActivationReason reason, QWidget& window, QMenu& menu,
                    qint16 restoreState);

// Restores the window: it gets the focus; a minimized one gets restoreState back and the focus again. Returns
// whether it was minimized. A left release on the icon does this, and so does the desktop's Raise.
bool RestoreWindow(QWidget& window, qint16 restoreState);

} // namespace tray
