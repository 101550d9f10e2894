// tests/tray: the tray icon's record and the real service; touches tray/ and platform/ through their headers.
// The record as the notification-area service receives it, byte for byte, and the service over
// QSystemTrayIcon.
#include "app/frmMain.h"
#include "platform/notify_icon.h"
#include "platform/window_proc.h"
#include "tray/tray_icon.h"
#include "tray/window_hook.h"

#include <QSystemTrayIcon>
#include <QTest>
#include <QtEndian>

using namespace platform;
using namespace mod_Function;

namespace {

// Records, besides the bytes, which procedure the window had at each call: the hook must be in before the add
// and still in at the delete.
class Witness : public RecordingNotifyIcons {
public:
    std::vector<qint32> procAtCall;
    int ShellNotifyIcon(quint32 message, NOTIFYICONDATAA* record) override {
        procAtCall.push_back(GetWindowLongA(record->hWnd, GWL_WNDPROC));
        return RecordingNotifyIcons::ShellNotifyIcon(message, record);
    }
};

quint32 Field(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}
QByteArray Tip(const QByteArray& bytes) {
    return bytes.mid(24);
}
QString TipField() {
    return QString(reinterpret_cast<const QChar*>(TrayIconData.szTip.data()), 64);
}

struct Seen {
    quint32 hWnd, msg, wParam;
    qint32 lParam;
};
std::vector<Seen> g_seen;
qint32 Record(quint32 hWnd, quint32 msg, quint32 wParam, qint32 lParam) {
    g_seen.push_back({hWnd, msg, wParam, lParam});
    return 0;
}

} // namespace

class TstTrayIcon : public QObject {
    Q_OBJECT
    frmMain* form = nullptr;
    Witness* icons = nullptr;
    quint32 hWnd = 0;

private slots:
    void initTestCase() {
        form = new frmMain;
        hWnd = WindowHandle(form);
    }
    void cleanupTestCase() { delete form; }

    void init() {
        icons = new Witness;
        SetNotifyIcons(icons);
        InstallTrayIcon(*form, *form->menu_Control);
    }
    void cleanup() {
        if (GetWindowLongA(hWnd, GWL_WNDPROC) == ProcAddress(&TrayWindowProc)) RemoveTrayIcon();
        SetNotifyIcons(nullptr);
        delete icons;
    }

    void installHooksThenAddsTheIcon() {
        QCOMPARE(icons->calls.size(), 1u);
        const QByteArray& add = icons->calls[0].bytes;
        QCOMPARE(icons->calls[0].message, quint32(NIM_ADD));
        QCOMPARE(add.size(), 88);
        QCOMPARE(Field(add, 0), 88u);
        QCOMPARE(Field(add, 4), hWnd);
        QCOMPARE(Field(add, 8), 0u);
        QCOMPARE(Field(add, 12), 3u);
        QCOMPARE(Field(add, 16), 2025u);
        QCOMPARE(IconFromHandle(Field(add, 20)).cacheKey(), form->windowIcon().cacheKey());
        QCOMPARE(icons->procAtCall[0], ProcAddress(&TrayWindowProc));
        QCOMPARE(PrevWndProc, ProcAddress(&DefWindowProcA));
        QCOMPARE(TrayForm.data(), form);
        QCOMPARE(TrayMenu.data(), form->menu_Control);
        QCOMPARE(TrayIconData.uFlags, 3);
        QCOMPARE(TrayIconData.hWnd, qint32(hWnd));
    }

    void tipChangeSendsTheTipOnly() {
        SetTrayTip(QStringLiteral("Corvana"));
        QCOMPARE(icons->calls.size(), 2u);
        const QByteArray& add = icons->calls[0].bytes;
        const QByteArray& modify = icons->calls[1].bytes;
        QCOMPARE(icons->calls[1].message, quint32(NIM_MODIFY));
        QCOMPARE(Field(modify, 12), 4u);
        QCOMPARE(modify.left(12), add.left(12));
        QCOMPARE(modify.mid(16, 8), add.mid(16, 8));
        QCOMPARE(Tip(modify), QByteArray("Corvana") + '\0' + QByteArray(56, ' '));
        QCOMPARE(TrayIconData.uFlags, 4);
    }

    // The field as the program keeps it (after the call's copy back), and the bytes the service gets.
    void tipField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("bytes");
        const QString x63(63, u'x'), x64(64, u'x'), zh40(40, u'中');
        QTest::newRow("empty") << QString() << QChar(u'\0') + QString(63, u' ') << '\0' + QByteArray(63, ' ');
        QTest::newRow("63 characters") << x63 << x63 + QChar(u'\0') << QByteArray(63, 'x') + '\0';
        QTest::newRow("64 characters, no NUL") << x64 << x64 << QByteArray(64, 'x');
        QTest::newRow("70 characters, first 64") << QString(70, u'x') << x64 << QByteArray(64, 'x');
        QTest::newRow("two-byte characters")
            << QStringLiteral("中文") << QStringLiteral("中文") + QChar(u'\0') + QString(61, u' ')
            << QByteArray("\xD6\xD0\xCE\xC4") + '\0' + QByteArray(59, ' ');
        // Cut after the last whole character: a half character never reaches the service.
        QTest::newRow("cut keeps the NUL's place")
            << u'a' + zh40 << QString() << 'a' + QByteArray("\xD6\xD0").repeated(31) + '\0';
        QTest::newRow("cut fills the field") << zh40 << QString() << QByteArray("\xD6\xD0").repeated(32);
    }
    void tipField() {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(QByteArray, bytes);
        SetTrayTip(text);
        QCOMPARE(Tip(icons->calls.back().bytes), bytes);
        if (!field.isNull()) QCOMPARE(TipField(), field);
    }

    void shorterTipLeavesNothingOfTheLonger() {
        SetTrayTip(QString(64, u'W'));
        SetTrayTip(QStringLiteral("ab"));
        QCOMPARE(TipField(), QStringLiteral("ab") + QChar(u'\0') + QString(61, u' '));
        QCOMPARE(Tip(icons->calls.back().bytes), QByteArray("ab") + '\0' + QByteArray(61, ' '));
    }

    void removeDeletesThenUnhooks() {
        SetTrayTip(QStringLiteral("Corvana"));
        RemoveTrayIcon();
        const QByteArray& del = icons->calls.back().bytes;
        QCOMPARE(icons->calls.back().message, quint32(NIM_DELETE));
        QCOMPARE(Field(del, 0), 88u);
        QCOMPARE(Field(del, 4), hWnd);
        QCOMPARE(Field(del, 8), 0u);
        QCOMPARE(Field(del, 12), 0u);
        QCOMPARE(icons->procAtCall.back(), ProcAddress(&TrayWindowProc));
        QCOMPARE(GetWindowLongA(hWnd, GWL_WNDPROC), ProcAddress(&DefWindowProcA));
        QCOMPARE(TrayForm.data(), form);
    }

    // Offscreen there is no tray: the add answers 0, yet the icon stays shown to Qt, which docks it once a
    // tray turns up; the program carries on either way.
    void realServiceShowsTheTip() {
        RemoveTrayIcon();
        QtNotifyIcons real;
        SetNotifyIcons(&real);
        NOTIFYICONDATAA record{};
        InstallTrayIcon(*form, *form->menu_Control);
        QSystemTrayIcon* icon = real.Icon(hWnd, 0);
        QVERIFY(icon);
        QVERIFY(icon->isVisible());
        QVERIFY(!icon->icon().isNull());
        QVERIFY(icon->toolTip().isEmpty());
        QCOMPARE(icon->contextMenu(), StatusNotifierHostPresent() ? form->menu_Control : nullptr);
        SetTrayTip(QStringLiteral("Corvana"));
        QCOMPARE(icon->toolTip(), QStringLiteral("Corvana"));
        SetTrayTip(QStringLiteral("网络收音机"));
        QCOMPARE(icon->toolTip(), QStringLiteral("网络收音机"));
        RemoveTrayIcon();
        QVERIFY(!real.Icon(hWnd, 0));
        record.cbSize = 88;
        record.hWnd = hWnd;
        record.uFlags = NIF_ICON;
        QCOMPARE(real.ShellNotifyIcon(NIM_ADD, &record), QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0);
        QCOMPARE(real.ShellNotifyIcon(NIM_ADD, &record), 0); // one icon per (hWnd, uID)
        QCOMPARE(real.ShellNotifyIcon(NIM_DELETE, &record), 1);
        QCOMPARE(real.ShellNotifyIcon(NIM_DELETE, &record), 0);
        QCOMPARE(real.ShellNotifyIcon(NIM_MODIFY, &record), 0);
        record.cbSize = 504; // another layout than the one this service reads
        QCOMPARE(real.ShellNotifyIcon(NIM_ADD, &record), 0);
        record.cbSize = 88;
        record.hWnd = 0x7FFFFFF0; // no such window
        QCOMPARE(real.ShellNotifyIcon(NIM_ADD, &record), 0);
        SetNotifyIcons(icons);
        InstallTrayIcon(*form, *form->menu_Control);
    }

    // Qt reports presses; the window gets release codes, queued for its current procedure like any message. A
    // double click ends with a release too, as a second click soon after the first is one.
    void realServiceDeliversClicksAsMessages_data() {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QList<qint32>>("codes");
        QTest::newRow("left") << int(QSystemTrayIcon::Trigger) << QList<qint32>{514};
        QTest::newRow("right") << int(QSystemTrayIcon::Context) << QList<qint32>{517};
        QTest::newRow("double") << int(QSystemTrayIcon::DoubleClick) << QList<qint32>{515, 514};
        QTest::newRow("middle") << int(QSystemTrayIcon::MiddleClick) << QList<qint32>{520};
    }
    void realServiceDeliversClicksAsMessages() {
        QFETCH(int, reason);
        QFETCH(QList<qint32>, codes);
        QtNotifyIcons real;
        QWidget window;
        const quint32 h = WindowHandle(&window);
        SetWindowLongA(h, GWL_WNDPROC, &Record);
        NOTIFYICONDATAA record{};
        record.cbSize = 88;
        record.hWnd = h;
        record.uID = 7;
        record.uFlags = NIF_MESSAGE | NIF_ICON;
        record.uCallbackMessage = 0x7777;
        real.ShellNotifyIcon(NIM_ADD, &record);
        g_seen.clear();
        emit real.Icon(h, 7)->activated(QSystemTrayIcon::ActivationReason(reason));
        QVERIFY(g_seen.empty());
        QTRY_COMPARE(g_seen.size(), size_t(codes.size()));
        for (size_t i = 0; i < g_seen.size(); ++i) {
            QCOMPARE(g_seen[i].hWnd, h);
            QCOMPARE(g_seen[i].msg, 0x7777u);
            QCOMPARE(g_seen[i].wParam, 7u);
            QCOMPARE(g_seen[i].lParam, codes[qsizetype(i)]);
        }
    }
};

QTEST_MAIN(TstTrayIcon)
#include "tst_tray_icon.moc"
