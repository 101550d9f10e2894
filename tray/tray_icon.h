// tray/: the notification-area icon: the program's icon record TrayIconData with its tip rules, and the
// QSystemTrayIcon that shows it and hands its clicks to TrayWindowProc (window_hook.h), and the probe of the
// desktop's tray that the icon waits for.
//
// The tray is given the window the icon stands for and the menu it pops up; it knows nothing else of them.
#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <optional>

namespace tray {

// What the icon reports its clicks as, in the record.
constexpr qint32 TRAY_CALLBACK_MESSAGE = 2025;
// Which of the record's fields a call on the icon carries.
enum NotifyIconFlags : qint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };

// The icon record: six 32-bit numbers and the 64-character tip.
struct NotifyIconData {
    qint32 cbSize = 0;
    qint32 hWnd = 0; // the window's native id, where it has one yet
    qint32 uID = 0;
    qint32 uFlags = 0;
    qint32 uCallbackMessage = 0;
    qint32 hIcon = 0; // the window icon's key
    std::array<char16_t, 64> szTip{};
};

// Stores text in the tip field: text and a NUL, left-justified in the 64 characters and padded with blanks,
// or the first 64 characters of text when it has that many.
void StoreTip(NotifyIconData& data, const QString& text);
// What the tooltip shows of the field: the characters before its NUL, all 64 when it has none.
QString ShownTip(const NotifyIconData& data);

class TrayIcon : public QObject {
    Q_OBJECT
public:
    // restoreState is read at each click: the state a left click gives a minimized window back.
    TrayIcon(QWidget& window, QMenu& menu, const qint16& restoreState, QObject* parent = nullptr);
    ~TrayIcon() override;

    // InstallTrayIcon: the record is filled at once; the hook goes in, then the icon is shown with the
    // window's icon, once the desktop's tray has been asked about (TrayProbe): the first time, that is after
    // the call returns, from the event loop. Again while installed (or waiting to be), nothing more happens.
    void Install();
    // SetTrayTip
    void SetTip(const QString& text);
    // RemoveTrayIcon: the icon goes, then the hook comes out.
    void Remove();

    NotifyIconData TrayIconData;
    // The icon while installed and shown, else nullptr.
    QSystemTrayIcon* icon() const { return m_icon; }

private:
    void ShowIcon();

    QPointer<QWidget> m_window;
    QPointer<QMenu> m_menu;
    const qint16& m_restoreState;
    QPointer<QSystemTrayIcon> m_icon;
    bool m_waiting = false;       // installed, the icon waits for the probe
    std::optional<QString> m_tip; // what the icon shows as its tip, once SetTip has given one
};

// What the desktop's tray is, asked once per run. Two questions go to the session bus, and a hung panel
// (a StatusNotifierWatcher that owns its name and never answers) leaves each waiting for D-Bus's 25 s:
// - ours, whether a StatusNotifierItem host is registered: an asynchronous call with a short timeout;
// - Qt's own, asked synchronously by the platform theme inside the first QSystemTrayIcon's constructor and
//   remembered for the run: asked here on a thread of its own with a throw-away icon, so that no icon is made
//   on the window's thread before Qt has its answer.
// Until both are settled the window and its event loop run on; the icons wait. With a hung panel Qt's answer
// is "no StatusNotifierItem host" after those 25 s, and the icon goes to an XEmbed tray if one runs.
class TrayProbe : public QObject {
    Q_OBJECT
public:
    // The one probe of the run; starts it.
    static TrayProbe& Instance();
    static bool Settled();
    // Whether icons go to a StatusNotifierItem host over D-Bus rather than to an XEmbed tray: the same test
    // Qt makes. Such a host opens the icon's menu itself. False until settled, and when the watcher is
    // silent.
    static bool StatusNotifierHost();
    ~TrayProbe() override;

signals:
    void settled();

private:
    TrayProbe();
    void QtAnswered();
    void OursAnswered(bool hostPresent);
    void SettleIfDone();
};

// The probe's answer: TrayProbe::StatusNotifierHost().
bool StatusNotifierHostPresent();

} // namespace tray
