// tray/: InstallTrayIcon, SetTrayTip, RemoveTrayIcon and the icon record's two forms; touches no other room.
#include "tray/tray_icon.h"

#include "app/frmMain.h"
#include "platform/codepage.h"
#include "platform/notify_icon.h"
#include "platform/window_proc.h"
#include "tray/window_hook.h"

#include <QStringView>
#include <cstring>

namespace mod_Function {

QPointer<frmMain> TrayForm;
QPointer<QMenu> TrayMenu;
NotifyIconData TrayIconData;

namespace {

constexpr int kTipChars = 64;
constexpr qsizetype kTipBytes = sizeof(platform::NOTIFYICONDATAA::szTip);

// The ANSI form of tip, cut after the last whole character that fits the field: half of a two-byte character
// would turn the tip's end into a different character, or into garbage.
QByteArray AnsiTip(QStringView tip) {
    QByteArray bytes = platform::ToAnsi(tip);
    if (bytes.size() <= kTipBytes) return bytes;
    bytes.clear();
    for (qsizetype i = 0; i < tip.size();) {
        const qsizetype length =
            tip[i].isHighSurrogate() && i + 1 < tip.size() && tip[i + 1].isLowSurrogate() ? 2 : 1;
        const QByteArray piece = platform::ToAnsi(tip.mid(i, length));
        if (bytes.size() + piece.size() > kTipBytes) break;
        bytes += piece;
        i += length;
    }
    return bytes;
}

platform::NOTIFYICONDATAA ToRecord(const NotifyIconData& data) {
    platform::NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = quint32(data.cbSize);
    record.hWnd = quint32(data.hWnd);
    record.uID = quint32(data.uID);
    record.uFlags = quint32(data.uFlags);
    record.uCallbackMessage = quint32(data.uCallbackMessage);
    record.hIcon = quint32(data.hIcon);
    const QByteArray tip = AnsiTip(QStringView(data.szTip.data(), kTipChars));
    std::memcpy(record.szTip, tip.constData(), size_t(tip.size()));
    return record;
}

// Two-byte characters make the decoded field shorter than 64 characters: the rest is blanks, as a tip is
// padded.
void FromRecord(const platform::NOTIFYICONDATAA& record, NotifyIconData& data) {
    data.cbSize = qint32(record.cbSize);
    data.hWnd = qint32(record.hWnd);
    data.uID = qint32(record.uID);
    data.uFlags = qint32(record.uFlags);
    data.uCallbackMessage = qint32(record.uCallbackMessage);
    data.hIcon = qint32(record.hIcon);
    const QString tip = platform::FromAnsi(QByteArrayView(record.szTip, kTipBytes));
    for (int i = 0; i < kTipChars; ++i)
        data.szTip[size_t(i)] = i < tip.size() ? tip[i].unicode() : u' ';
}

void Notify(quint32 message) {
    platform::NOTIFYICONDATAA record = ToRecord(TrayIconData);
    platform::Shell_NotifyIconA(message, &record); // its answer changes nothing: no tray, no icon, no report
    FromRecord(record, TrayIconData);
}

} // namespace

void InstallTrayIcon(frmMain& form, QMenu& menu) {
    TrayForm = &form;
    TrayMenu = &menu;
    HookTrayWindow(form);
    TrayIconData.uID = 0;
    const quint32 hWnd = platform::WindowHandle(&form);
    TrayIconData.cbSize = sizeof(platform::NOTIFYICONDATAA);
    TrayIconData.hWnd = qint32(hWnd);
    // A StatusNotifierItem host opens the icon's menu itself, without a message to the window.
    platform::SetHostMenu(hWnd, &menu);
    TrayIconData.hIcon = qint32(platform::IconHandle(form.windowIcon()));
    TrayIconData.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    TrayIconData.uFlags = platform::NIF_MESSAGE | platform::NIF_ICON;
    TrayIconData.cbSize = sizeof(platform::NOTIFYICONDATAA);
    Notify(platform::NIM_ADD);
}

void SetTrayTip(const QString& text) {
    const QString s = text + QChar(u'\0');
    for (int i = 0; i < kTipChars; ++i)
        TrayIconData.szTip[size_t(i)] = i < s.size() ? s[i].unicode() : u' ';
    TrayIconData.uFlags = platform::NIF_TIP;
    Notify(platform::NIM_MODIFY);
}

void RemoveTrayIcon() {
    TrayIconData.uFlags = 0;
    Notify(platform::NIM_DELETE);
    UnhookTrayWindow();
}

} // namespace mod_Function
