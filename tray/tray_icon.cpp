// tray/: the icon record's tip rules, the QSystemTrayIcon fed from the record, and the probe of the desktop's
// tray that the icon waits for.
#include "tray/tray_icon.h"

#include "platform/error.h"
#include "tray/window_hook.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <thread>

namespace tray {

namespace {

constexpr int kTipChars = 64;

// A panel that has not answered in a second is taken as hung; one that works answers in milliseconds.
constexpr int kWatcherTimeoutMs = 1000;

// The probe's answers last for the run, as Qt's own does. Only the window's thread touches them, except
// g_qtAnswered and g_probe, which the thread asking Qt's question reads and writes too.
std::mutex g_probeMutex; // g_probe: the thread posts to the probe only while it exists
TrayProbe* g_probe = nullptr;
std::atomic<bool> g_qtAnswered{false};
bool g_qtAsked = false;
bool g_oursAnswered = false;
bool g_hostPresent = false;
bool g_settled = false;

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
    if (m_icon || m_waiting || !m_window) return;
    TrayIconData.uID = 0;
    TrayIconData.cbSize = 88;
    TrayIconData.hWnd = qint32(m_window->internalWinId());
    TrayIconData.hIcon = qint32(m_window->windowIcon().cacheKey());
    TrayIconData.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON;
    m_tip.reset();
    if (TrayProbe::Settled()) {
        ShowIcon();
        return;
    }
    m_waiting = true;
    connect(
        &TrayProbe::Instance(), &TrayProbe::settled, this,
        [this] {
            if (!std::exchange(m_waiting, false)) return;
            platform::Guarded([this] { ShowIcon(); });
        },
        Qt::SingleShotConnection);
}

void TrayIcon::ShowIcon() {
    if (!m_window) return;
    // The window owns its icon, so no icon outlives the window it reports to.
    m_icon = new QSystemTrayIcon(IconOrStandIn(m_window->windowIcon()), m_window);
    // The hook is in before the icon shows: no click can arrive unhandled.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!m_window || !m_menu) return;
        platform::Guarded([&] { TrayWindowProc(reason, *m_window, *m_menu, m_restoreState); });
    });
    // A StatusNotifierItem host opens the icon's menu itself, without telling the program of the click.
    if (StatusNotifierHostPresent()) m_icon->setContextMenu(m_menu);
    if (m_tip) m_icon->setToolTip(*m_tip);
    // Without a tray the icon is still kept shown to Qt, which docks it should a tray appear later.
    m_icon->show();
}

void TrayIcon::SetTip(const QString& text) {
    StoreTip(TrayIconData, text);
    TrayIconData.uFlags = NIF_TIP;
    m_tip = ShownTip(TrayIconData);
    if (m_icon) m_icon->setToolTip(*m_tip);
}

void TrayIcon::Remove() {
    TrayIconData.uFlags = 0;
    // An icon still waiting for the probe never shows.
    m_waiting = false;
    if (!m_icon) return;
    QSystemTrayIcon* icon = m_icon;
    m_icon = nullptr;
    icon->hide();
    disconnect(icon, nullptr, this, nullptr);
    // Not at once: the removal may come from inside one of the icon's own signals.
    icon->deleteLater();
}

TrayProbe& TrayProbe::Instance() {
    if (!g_probe) new TrayProbe;
    return *g_probe;
}

bool TrayProbe::Settled() {
    return g_settled;
}

bool TrayProbe::StatusNotifierHost() {
    return g_settled && g_hostPresent;
}

TrayProbe::TrayProbe() : QObject(QCoreApplication::instance()) {
    {
        const std::lock_guard lock(g_probeMutex);
        g_probe = this;
    }
    if (!g_qtAsked) {
        g_qtAsked = true;
        // Detached: at quit the thread may still wait on a hung panel, and nobody should wait for it then. It
        // touches nothing of the program's after Qt's answer but the probe, and that only while it exists.
        std::thread([] {
            // The constructor asks the platform theme, which asks the bus and keeps the answer.
            delete new QSystemTrayIcon;
            g_qtAnswered = true;
            const std::lock_guard lock(g_probeMutex);
            if (g_probe) QMetaObject::invokeMethod(g_probe, &TrayProbe::QtAnswered, Qt::QueuedConnection);
        }).detach();
    }
    if (!g_oursAnswered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            // From the event loop, as every answer: whoever waits connects after this constructor.
            QMetaObject::invokeMethod(
                this, [this] { OursAnswered(false); }, Qt::QueuedConnection);
        } else {
            const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
            QDBusMessage get = QDBusMessage::createMethodCall(
                service, QStringLiteral("/StatusNotifierWatcher"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << service << QStringLiteral("IsStatusNotifierHostRegistered");
            // Asking must not start a watcher the session bus knows how to launch: no panel, no host.
            get.setAutoStartService(false);
            auto* call = new QDBusPendingCallWatcher(bus.asyncCall(get, kWatcherTimeoutMs), this);
            connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QDBusVariant> reply = *call;
                call->deleteLater();
                OursAnswered(reply.isValid() && reply.value().variant().toBool());
            });
        }
    }
    // Settles a probe made again after both answers came (the first one went with its application).
    QMetaObject::invokeMethod(this, &TrayProbe::SettleIfDone, Qt::QueuedConnection);
}

TrayProbe::~TrayProbe() {
    const std::lock_guard lock(g_probeMutex);
    g_probe = nullptr;
}

void TrayProbe::QtAnswered() {
    SettleIfDone();
}

void TrayProbe::OursAnswered(bool hostPresent) {
    g_hostPresent = hostPresent;
    g_oursAnswered = true;
    SettleIfDone();
}

void TrayProbe::SettleIfDone() {
    if (g_settled || !g_qtAnswered || !g_oursAnswered) return;
    g_settled = true;
    emit settled();
}

bool StatusNotifierHostPresent() {
    return TrayProbe::StatusNotifierHost();
}

} // namespace tray
