// tray/: the hook TrayWindowProc on the main window's messages; touches no other room.
// It turns the icon's clicks into restoring the window and into the Control menu.
#pragma once

#include <QtGlobal>

class QWidget;

namespace mod_Function {

// The window procedure the hook replaced; every message the hook does not consume goes on to it.
extern qint32 PrevWndProc;

// Puts TrayWindowProc in place of form's procedure and keeps the one it replaced in PrevWndProc.
void HookTrayWindow(QWidget& form);
// Puts PrevWndProc back as TrayForm's procedure.
void UnhookTrayWindow();

// Icon message, left release: focus; a minimized window gets its start-up state back (consumed). Right
// release: the Control menu at the pointer (consumed). Everything else goes to PrevWndProc unchanged.
qint32 TrayWindowProc(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);

} // namespace mod_Function
