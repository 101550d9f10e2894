// platform/: the notification-area service over QSystemTrayIcon, and its recording stand-in; touches no room.
#include "platform/notify_icon.h"

#include "platform/codepage.h"
#include "platform/window_proc.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QSystemTrayIcon>
#include <cstring>

namespace platform {

namespace {

NotifyIcons* g_current = nullptr;

QHash<quint32, QPointer<QMenu>>& HostMenus() {
    static QHash<quint32, QPointer<QMenu>> menus;
    return menus;
}

// The tip ends at its NUL; a field without one is read whole.
QString TipText(const NOTIFYICONDATAA& record) {
    const auto* end = static_cast<const char*>(std::memchr(record.szTip, 0, sizeof record.szTip));
    const qsizetype length = end ? end - record.szTip : qsizetype(sizeof record.szTip);
    return FromAnsi(QByteArrayView(record.szTip, length));
}

// A tray entry that draws nothing still takes clicks, but nobody finds it: a window without an icon of its
// own gets the application's, or else a standard one.
QIcon IconOrStandIn(const QIcon& icon) {
    if (!icon.isNull()) return icon;
    if (!QApplication::windowIcon().isNull()) return QApplication::windowIcon();
    return QApplication::style()->standardIcon(QStyle::SP_MediaVolume);
}

// The codes a click means to the window, in the order the platform reports them. Qt's XEmbed tray reports the
// press; the program's model knows the release, which is what a user means. A double click is a second press
// that Qt reports as the double click alone, where the model's window sees the double click and then the
// release: without that release, a second click soon after the first would restore nothing.
std::vector<qint32> MouseCodes(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {WM_LBUTTONUP};
    case QSystemTrayIcon::Context:
        return {WM_RBUTTONUP};
    case QSystemTrayIcon::DoubleClick:
        return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    case QSystemTrayIcon::MiddleClick:
        return {WM_MBUTTONUP};
    case QSystemTrayIcon::Unknown:
        break;
    }
    return {};
}

} // namespace

QSystemTrayIcon* QtNotifyIcons::Icon(quint32 hWnd, quint32 uID) const {
    auto it = m_icons.find({hWnd, uID});
    return it == m_icons.end() ? nullptr : it->second.icon.data();
}

int QtNotifyIcons::ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) {
    if (!record || record->cbSize != sizeof(NOTIFYICONDATAA)) return 0;
    const std::pair<quint32, quint32> key{record->hWnd, record->uID};
    auto it = m_icons.find(key);
    // An entry whose window has gone took its icon along.
    if (it != m_icons.end() && !it->second.icon) {
        m_icons.erase(it);
        it = m_icons.end();
    }

    auto apply = [record](Entry& entry) {
        if (record->uFlags & NIF_ICON) entry.icon->setIcon(IconOrStandIn(IconFromHandle(record->hIcon)));
        if (record->uFlags & NIF_MESSAGE) {
            entry.callbackMessage = record->uCallbackMessage;
            entry.hasCallback = true;
        }
        if (record->uFlags & NIF_TIP) entry.icon->setToolTip(TipText(*record));
    };

    switch (message) {
    case NIM_ADD: {
        QWidget* window = WindowFromHandle(record->hWnd);
        if (it != m_icons.end() || !window) return 0;
        Entry& entry = m_icons[key];
        // The window owns its icon, so no icon outlives the window it reports to.
        entry.icon = new QSystemTrayIcon(window);
        apply(entry);
        if (entry.icon->icon().isNull()) entry.icon->setIcon(IconOrStandIn(QIcon()));
        QObject::connect(entry.icon, &QSystemTrayIcon::activated, entry.icon,
                         [this, key](QSystemTrayIcon::ActivationReason reason) {
                             auto found = m_icons.find(key);
                             if (found == m_icons.end() || !found->second.hasCallback) return;
                             for (const qint32 code : MouseCodes(reason))
                                 PostMessageA(key.first, found->second.callbackMessage, key.second, code);
                         });
        if (StatusNotifierHostPresent()) entry.icon->setContextMenu(HostMenus().value(record->hWnd));
        entry.icon->show();
        return QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;
    }
    case NIM_MODIFY:
        if (it == m_icons.end()) return 0;
        apply(it->second);
        return 1;
    case NIM_DELETE: {
        if (it == m_icons.end()) return 0;
        QSystemTrayIcon* icon = it->second.icon;
        m_icons.erase(it);
        icon->hide();
        // Not at once: the delete may come from inside one of the icon's own signals.
        icon->deleteLater();
        return 1;
    }
    default:
        return 0;
    }
}

int RecordingNotifyIcons::ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) {
    calls.push_back(Call{message, QByteArray(reinterpret_cast<const char*>(record), sizeof *record)});
    if (message == NIM_ADD) {
        m_icon = *record;
        m_added = true;
    } else if (message == NIM_DELETE && m_added && record->hWnd == m_icon.hWnd && record->uID == m_icon.uID) {
        m_added = false;
    } else if (message == NIM_MODIFY && (record->uFlags & NIF_MESSAGE)) {
        m_icon.uCallbackMessage = record->uCallbackMessage;
        m_icon.uFlags |= NIF_MESSAGE;
    }
    if (answers.empty()) return 1;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

bool RecordingNotifyIcons::Click(qint32 mouseCode) const {
    if (!m_added || !(m_icon.uFlags & NIF_MESSAGE)) return false;
    return PostMessageA(m_icon.hWnd, m_icon.uCallbackMessage, m_icon.uID, mouseCode);
}

NotifyIcons& CurrentNotifyIcons() {
    static QtNotifyIcons real;
    return g_current ? *g_current : real;
}

void SetNotifyIcons(NotifyIcons* icons) {
    g_current = icons;
}

int Shell_NotifyIconA(quint32 message, NOTIFYICONDATAA* record) {
    return CurrentNotifyIcons().ShellNotifyIcon(message, record);
}

void SetHostMenu(quint32 hWnd, QMenu* menu) {
    HostMenus().insert(hWnd, menu);
}

bool StatusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.interface()->isServiceRegistered(service)) return false;
    QDBusInterface watcher(service, QStringLiteral("/StatusNotifierWatcher"), service, bus);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

} // namespace platform
