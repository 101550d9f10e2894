// platform/: the notification-area service Shell_NotifyIconA and its 88-byte record; touches no room.
//
// The program calls Shell_NotifyIconA(); it goes to the current NotifyIcons implementation, which is the real
// one (a QSystemTrayIcon per icon) unless a test has put a recording one in place. Either way the icon's
// mouse events reach its window as the record's callback message, posted through window_proc.h, with the
// mouse code in lParam.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QtGlobal>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

class QMenu;

namespace platform {

enum NotifyIconMessage : quint32 { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
enum NotifyIconFlags : quint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };

// Mouse codes the callback message carries in lParam.
enum TrayMouseCode : qint32 {
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONUP = 514,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_RBUTTONUP = 517,
    WM_MBUTTONUP = 520,
};

// The record exactly as the service reads it: 88 bytes, no gaps, szTip in the ANSI code page.
struct NOTIFYICONDATAA {
    quint32 cbSize;
    quint32 hWnd;
    quint32 uID;
    quint32 uFlags;
    quint32 uCallbackMessage;
    quint32 hIcon;
    char szTip[64];
};
static_assert(sizeof(NOTIFYICONDATAA) == 88);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4 && offsetof(NOTIFYICONDATAA, uID) == 8 &&
              offsetof(NOTIFYICONDATAA, uFlags) == 12 && offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16 &&
              offsetof(NOTIFYICONDATAA, hIcon) == 20 && offsetof(NOTIFYICONDATAA, szTip) == 24);

class NotifyIcons {
public:
    virtual ~NotifyIcons() = default;
    // 1 on success, 0 on failure; the record is read, never written.
    virtual int ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) = 0;
};

// The real service: one QSystemTrayIcon per (hWnd, uID).
// An add on a desktop without a tray answers 0, but the icon is kept shown to Qt, which docks it should a
// tray appear later. On a StatusNotifierItem host the host, not the program, opens the icon's menu: there the
// icon also gets the menu set by SetHostMenu.
class QtNotifyIcons : public NotifyIcons {
public:
    int ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) override;

    // The icon that stands for (hWnd, uID), or nullptr.
    QSystemTrayIcon* Icon(quint32 hWnd, quint32 uID) const;

private:
    struct Entry {
        QPointer<QSystemTrayIcon> icon; // owned by the icon's window
        quint32 callbackMessage = 0;
        bool hasCallback = false;
    };
    std::map<std::pair<quint32, quint32>, Entry> m_icons;
};

// Records the bytes of every record it is handed, answers from a script (1 when the script is empty), and
// keeps the icon's add, so a test can play the icon's mouse events.
class RecordingNotifyIcons : public NotifyIcons {
public:
    struct Call {
        quint32 message = 0;
        QByteArray bytes; // the record's 88 bytes as they were at the call
    };
    std::vector<Call> calls;
    std::vector<int> answers;

    int ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) override;

    // Posts the callback message with the mouse code to the window of the icon added last and not deleted
    // since, as the service would; false when no such icon (or no callback message) is there.
    bool Click(qint32 mouseCode) const;

private:
    bool m_added = false;
    NOTIFYICONDATAA m_icon{};
};

// The service in use; SetNotifyIcons(nullptr) goes back to the real one. The caller keeps ownership.
NotifyIcons& CurrentNotifyIcons();
void SetNotifyIcons(NotifyIcons* icons);

int Shell_NotifyIconA(quint32 message, NOTIFYICONDATAA* record);

// The menu a StatusNotifierItem host should open for the icons of hWnd (the hook opens it elsewhere).
void SetHostMenu(quint32 hWnd, QMenu* menu);

// Whether icons go to a StatusNotifierItem host over D-Bus rather than to an XEmbed tray: the same test Qt
// makes.
bool StatusNotifierHostPresent();

} // namespace platform
