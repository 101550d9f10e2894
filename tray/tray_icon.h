// tray/: the tray icon's routines and state (mod_Function); touches no other room.
// InstallTrayIcon, SetTrayTip and RemoveTrayIcon, and the record they keep.
//
// The icon record is kept in the program's own form (six 32-bit numbers and a 64-character tip) and handed to
// the notification-area service as a temporary 88-byte record with the tip in the ANSI code page, read back
// after each call.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QString>
#include <array>

class frmMain;

namespace mod_Function {

// The window message by which the icon reports its mouse events (the mouse code in lParam).
constexpr quint32 TRAY_CALLBACK_MESSAGE = 2025;

struct NotifyIconData {
    qint32 cbSize = 0;
    qint32 hWnd = 0;
    qint32 uID = 0;
    qint32 uFlags = 0;
    qint32 uCallbackMessage = 0;
    qint32 hIcon = 0;
    std::array<char16_t, 64> szTip{};
};

// The window and menu the icon serves, and the icon record; set by InstallTrayIcon, kept until the program
// ends.
extern QPointer<frmMain> TrayForm;
extern QPointer<QMenu> TrayMenu;
extern NotifyIconData TrayIconData;

// Hooks form's messages, then adds the icon with form's window icon; menu becomes the icon's pop-up menu.
void InstallTrayIcon(frmMain& form, QMenu& menu);
// Sets the tip: text and a NUL, left-justified in the 64-character field and padded with blanks, or the first
// 64 characters of text when it has that many. Where the ANSI form is longer than the service's 64 bytes, it
// is cut after the last whole character that fits.
void SetTrayTip(const QString& text);
// Deletes the icon, then takes the hook out.
void RemoveTrayIcon();

} // namespace mod_Function
