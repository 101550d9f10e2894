// tray/: the icon record's tip rules and the QSystemTrayIcon fed from the record.
#include "tray/tray_icon.h"

#include "platform/error.h"
#include "tray/window_hook.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

namespace tray {

namespace {

constexpr int kTipChars = 64;

// A tray entry that draws nothing still takes clicks, but nobody finds it: a window without an icon of its
// own gets the application's, or else a standard one.
QIcon IconOrStandIn(const QIcon& icon) {
    if (!icon.isNull()) return icon;
    if (!QApplication::windowIcon().isNull()) return QApplication::windowIcon();
    return QApplication::style()->standardIcon(QStyle::SP_MediaVolume);
}

} // namespace

void StoreTip(NotifyIconData& data, const QString& text) {
    const QString s = text + QChar(u'\0');
    for (int i = 0; i < kTipChars; ++i)
        data.szTip[size_t(i)] = i < s.size() ? s[i].unicode() : u' ';
}

QString ShownTip(const NotifyIconData& data) {
    const QStringView field(data.szTip.data(), kTipChars);
    const qsizetype nul = field.indexOf(QChar(u'\0'));
    return (nul < 0 ? field : field.left(nul)).toString();
}

TrayIcon::TrayIcon(QWidget& window, QMenu& menu, const qint16& restoreState, QObject* parent)
    : QObject(parent), m_window(&window), m_menu(&menu), m_restoreState(restoreState) {}

TrayIcon::~TrayIcon() {
    delete m_icon;
}

void TrayIcon::Install() {
    if (m_icon || !m_window) return;
    TrayIconData.uID = 0;
    TrayIconData.cbSize = 88;
    TrayIconData.hWnd = qint32(m_window->internalWinId());
    TrayIconData.hIcon = qint32(m_window->windowIcon().cacheKey());
    TrayIconData.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON;

    // The window owns its icon, so no icon outlives the window it reports to.
    m_icon = new QSystemTrayIcon(IconOrStandIn(m_window->windowIcon()), m_window);
    // The hook is in before the icon shows: no click can arrive unhandled.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!m_window || !m_menu) return;
        platform::Guarded([&] { TrayWindowProc(reason, *m_window, *m_menu, m_restoreState); });
    });
    // A StatusNotifierItem host opens the icon's menu itself, without telling the program of the click.
    if (StatusNotifierHostPresent()) m_icon->setContextMenu(m_menu);
    // Without a tray the icon is still kept shown to Qt, which docks it should a tray appear later.
    m_icon->show();
}

void TrayIcon::SetTip(const QString& text) {
    StoreTip(TrayIconData, text);
    TrayIconData.uFlags = NIF_TIP;
    if (m_icon) m_icon->setToolTip(ShownTip(TrayIconData));
}

void TrayIcon::Remove() {
    TrayIconData.uFlags = 0;
    if (!m_icon) return;
    QSystemTrayIcon* icon = m_icon;
    m_icon = nullptr;
    icon->hide();
    disconnect(icon, nullptr, this, nullptr);
    // Not at once: the removal may come from inside one of the icon's own signals.
    icon->deleteLater();
}

bool StatusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.interface()->isServiceRegistered(service)) return false;
    QDBusInterface watcher(service, QStringLiteral("/StatusNotifierWatcher"), service, bus);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

} // namespace tray
