// tests/tray: the hook and the window procedure layer; touches tray/ and platform/ through their headers.
// TrayWindowProc on the real frmMain, and the handles and message delivery under it.
#include "app/frmMain.h"
#include "platform/notify_icon.h"
#include "platform/window_proc.h"
#include "tray/tray_icon.h"
#include "tray/window_hook.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QTest>
#include <QTimer>

using namespace platform;
using namespace mod_Function;

namespace {

frmMain* g_form = nullptr;

// The procedure the hook replaced: it records what reached it, and whether the window had the focus by then.
struct Seen {
    quint32 hWnd, msg, wParam;
    qint32 lParam;
    bool formActive;
};
std::vector<Seen> g_seen;
constexpr qint32 kAnswer = 0x5EED;
qint32 Previous(quint32 hWnd, quint32 msg, quint32 wParam, qint32 lParam) {
    // A focus request made before this call has taken effect once the window system's events are through.
    QCoreApplication::processEvents();
    g_seen.push_back({hWnd, msg, wParam, lParam, g_form && g_form->isActiveWindow()});
    return kAnswer;
}
std::vector<quint32> g_other;
qint32 Other(quint32, quint32 msg, quint32, qint32) {
    g_other.push_back(msg);
    return 0;
}

// Closes every pop-up menu that opens and remembers which menu it was and where: the pop-up call returns only
// once its menu is closed.
class PopupWatcher : public QObject {
public:
    QList<QMenu*> menus;
    QList<QPoint> places;
    PopupWatcher() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menus << menu;
                places << menu->pos();
                menu->close();
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

} // namespace

class TstWindowHook : public QObject {
    Q_OBJECT
    quint32 hWnd = 0;
    RecordingNotifyIcons icons;
    QWidget* other = nullptr;
    PopupWatcher* popups = nullptr;

    qint32 Send(quint32 msg, qint32 lParam, quint32 wParam = 3) {
        return SendMessageA(hWnd, msg, wParam, lParam);
    }

private slots:
    void initTestCase() {
        g_form = new frmMain;
        g_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(g_form));
        other = new QWidget;
        other->show();
        hWnd = WindowHandle(g_form);
        SetWindowLongA(hWnd, GWL_WNDPROC, &Previous);
        SetNotifyIcons(&icons);
        InstallTrayIcon(*g_form, *g_form->menu_Control);
        QCOMPARE(PrevWndProc, ProcAddress(&Previous));
    }
    void cleanupTestCase() {
        delete other;
        delete g_form;
        SetNotifyIcons(nullptr);
    }
    void init() {
        g_seen.clear();
        RestoreWindowState = 0;
        g_form->SetWindowState(0);
        other->activateWindow();
        QTRY_VERIFY(other->isActiveWindow());
        popups = new PopupWatcher;
    }
    void cleanup() { delete popups; }

    void otherIconMessagesGoToThePreviousProcedure_data() {
        QTest::addColumn<int>("code");
        for (int code : {512, 513, 515, 516, 520})
            QTest::addRow("%d", code) << code;
    }
    void otherIconMessagesGoToThePreviousProcedure() {
        QFETCH(int, code);
        QCOMPARE(Send(2025, code), kAnswer);
        QCOMPARE(g_seen.size(), 1u);
        QCOMPARE(g_seen[0].hWnd, hWnd);
        QCOMPARE(g_seen[0].msg, 2025u);
        QCOMPARE(g_seen[0].wParam, 3u);
        QCOMPARE(g_seen[0].lParam, code);
        QVERIFY(popups->menus.isEmpty());
        QVERIFY(!g_form->isActiveWindow());
    }

    void leftReleaseRestoresAMinimizedWindow_data() {
        QTest::addColumn<int>("restore");
        QTest::newRow("to normal") << 0;
        QTest::newRow("to maximized") << 2;
    }
    void leftReleaseRestoresAMinimizedWindow() {
        QFETCH(int, restore);
        RestoreWindowState = qint16(restore);
        g_form->SetWindowState(1);
        QCOMPARE(g_form->WindowState(), 1);
        QCOMPARE(Send(2025, 514), 0);
        QCOMPARE(g_form->WindowState(), restore);
        QVERIFY(g_seen.empty());
        QTRY_VERIFY(g_form->isActiveWindow());
    }

    void leftReleaseFocusesAVisibleWindowThenPassesOn_data() {
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << 0;
        QTest::newRow("maximized") << 2;
    }
    void leftReleaseFocusesAVisibleWindowThenPassesOn() {
        QFETCH(int, state);
        g_form->SetWindowState(qint16(state));
        QCOMPARE(Send(2025, 514), kAnswer);
        QCOMPARE(g_seen.size(), 1u);
        QCOMPARE(g_seen[0].lParam, 514);
        QVERIFY(g_seen[0].formActive);
        QCOMPARE(g_form->WindowState(), state);
    }

    void rightReleasePopsUpTheControlMenu_data() {
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << 0;
        QTest::newRow("minimized") << 1;
        QTest::newRow("maximized") << 2;
    }
    void rightReleasePopsUpTheControlMenu() {
        QFETCH(int, state);
        g_form->SetWindowState(qint16(state));
        QCursor::setPos(120, 90);
        QCOMPARE(Send(2025, 517), 0);
        QCOMPARE(popups->menus, QList<QMenu*>{g_form->menu_Control});
        QCOMPARE(popups->places.value(0), QPoint(120, 90));
        QVERIFY(g_seen.empty());
        QCOMPARE(g_form->WindowState(), state);
    }

    // Only the icon's message is looked at; the same codes in other messages are none of the hook's business.
    void otherMessagesWithMouseCodesPassOn_data() {
        QTest::addColumn<int>("msg");
        QTest::addColumn<int>("code");
        QTest::newRow("2024, 514") << 2024 << 514;
        QTest::newRow("2026, 517") << 2026 << 517;
        QTest::newRow("WM_LBUTTONUP, 514") << 514 << 514;
        QTest::newRow("WM_RBUTTONUP, 517") << 517 << 517;
    }
    void otherMessagesWithMouseCodesPassOn() {
        QFETCH(int, msg);
        QFETCH(int, code);
        g_form->SetWindowState(1);
        QCOMPARE(Send(quint32(msg), code), kAnswer);
        QCOMPARE(g_seen.size(), 1u);
        QCOMPARE(g_seen[0].msg, quint32(msg));
        QCOMPARE(g_seen[0].lParam, code);
        QCOMPARE(g_form->WindowState(), 1);
        QVERIFY(popups->menus.isEmpty());
    }

    // The whole road: the service posts the icon's message, the hook sees it from the event loop.
    void iconClicksTravelThroughTheHook() {
        QVERIFY(icons.Click(517));
        QTRY_COMPARE(popups->menus.size(), 1);
        QVERIFY(icons.Click(513));
        QTRY_COMPARE(g_seen.size(), 1u);
        QCOMPARE(g_seen[0].msg, 2025u);
        QCOMPARE(g_seen[0].wParam, 0u);
    }

    // A second install while hooked (the window kept open after a failed save) must not chain the hook to
    // itself.
    void installingAgainKeepsThePreviousProcedure() {
        InstallTrayIcon(*g_form, *g_form->menu_Control);
        QCOMPARE(PrevWndProc, ProcAddress(&Previous));
        QCOMPARE(Send(2025, 513), kAnswer);
        QCOMPARE(g_seen.size(), 1u);
    }

    void afterRemoveTheIconMessageReachesThePreviousProcedure() {
        RemoveTrayIcon();
        QCOMPARE(GetWindowLongA(hWnd, GWL_WNDPROC), ProcAddress(&Previous));
        QVERIFY(!icons.Click(517));
        g_form->SetWindowState(1);
        QCOMPARE(Send(2025, 517), kAnswer);
        QCOMPARE(Send(2025, 514), kAnswer);
        QCOMPARE(g_seen.size(), 2u);
        QCOMPARE(g_form->WindowState(), 1);
        QVERIFY(popups->menus.isEmpty());
        InstallTrayIcon(*g_form, *g_form->menu_Control);
        QCOMPARE(PrevWndProc, ProcAddress(&Previous));
    }

    void handlesNameTheirObjectsUntilTheyGo() {
        auto* a = new QWidget;
        QWidget b;
        const quint32 ha = WindowHandle(a);
        QVERIFY(ha != 0);
        QCOMPARE(WindowHandle(a), ha);
        QVERIFY(WindowHandle(&b) != ha);
        QCOMPARE(WindowFromHandle(ha), a);
        QCOMPARE(GetWindowLongA(ha, GWL_WNDPROC), ProcAddress(&DefWindowProcA));
        QVERIFY(PostMessageA(ha, 2025, 0, 514));
        SetWindowLongA(ha, GWL_WNDPROC, &Other);
        g_other.clear();
        delete a; // its queued message goes with it
        QCoreApplication::processEvents();
        QVERIFY(g_other.empty());
        QCOMPARE(WindowFromHandle(ha), nullptr);
        QVERIFY(!PostMessageA(ha, 2025, 0, 514));
        QCOMPARE(SendMessageA(ha, 2025, 0, 514), 0);
        QWidget c; // may get a's address, never a's handle
        QVERIFY(WindowHandle(&c) != ha);

        const QIcon one = QApplication::style()->standardIcon(QStyle::SP_MediaPlay);
        const QIcon two = QApplication::style()->standardIcon(QStyle::SP_MediaStop);
        QCOMPARE(IconHandle(one), IconHandle(QIcon(one)));
        QVERIFY(IconHandle(one) != IconHandle(two));
        QCOMPARE(IconFromHandle(IconHandle(two)).cacheKey(), two.cacheKey());
    }

    void setWindowLongRefusesWhatItCannotHonour() {
        QWidget w;
        const quint32 h = WindowHandle(&w);
        const qint32 own = GetWindowLongA(h, GWL_WNDPROC);
        QCOMPARE(SetWindowLongA(h, -16, ProcAddress(&Other)), 0);
        QCOMPARE(SetWindowLongA(h, GWL_WNDPROC, 12345), 0);
        QCOMPARE(SetWindowLongA(0x7FFFFFF0, GWL_WNDPROC, ProcAddress(&Other)), 0);
        QCOMPARE(GetWindowLongA(h, GWL_WNDPROC), own);
        QCOMPARE(CallWindowProcA(12345, h, 2025, 0, 514), 0);
        // A message waits in the queue and goes to the procedure in place when it is delivered.
        g_other.clear();
        QVERIFY(PostMessageA(h, 2025, 0, 514));
        QCOMPARE(SetWindowLongA(h, GWL_WNDPROC, &Other), own);
        QVERIFY(g_other.empty());
        QTRY_COMPARE(g_other.size(), 1u);
    }
};

QTEST_MAIN(TstWindowHook)
#include "tst_window_hook.moc"
