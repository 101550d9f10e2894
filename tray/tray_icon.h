// tray/: the notification-area icon: the program's icon record TrayIconData with its tip rules, and the
// QSystemTrayIcon that shows it and hands its clicks to TrayWindowProc (window_hook.h).
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

    // InstallTrayIcon: the hook goes in, then the icon is shown with the window's icon. Again while
    // installed, nothing more happens.
    void Install();
    // SetTrayTip
    void SetTip(const QString& text);
    // RemoveTrayIcon: the icon goes, then the hook comes out.
    void Remove();

    NotifyIconData TrayIconData;
    // The icon while installed, else nullptr.
    QSystemTrayIcon* icon() const { return m_icon; }

private:
    QPointer<QWidget> m_window;
    QPointer<QMenu> m_menu;
    const qint16& m_restoreState;
    QPointer<QSystemTrayIcon> m_icon;
};

// Whether icons go to a StatusNotifierItem host over D-Bus rather than to an XEmbed tray: the same test Qt
// makes. Such a host opens the icon's menu itself.
bool StatusNotifierHostPresent();

} // namespace tray
