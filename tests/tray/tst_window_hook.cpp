// tests/tray: TrayWindowProc's rules for the icon's clicks, alone and through the real icon's signal.
#include "platform/window_state.h"
#include "support/scripted_dialogs.h"
#include "tray/tray_icon.h"
#include "tray/window_hook.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <array>

using namespace tray;
using platform::SetWindowState;
using platform::WindowState;

class TstWindowHook : public QObject {
    Q_OBJECT
    QMainWindow window;
    QWidget other;
    QMenu* menu = new QMenu(&window);
    qint16 restore = 0;
    // Every pop-up menu that opened, and where; the pop-up call returns only once its menu is closed, so a timer
    // closes each.
    QList<QMenu*> menus;
    QList<QPoint> places;
    QTimer popupCloser;

    bool Click(QSystemTrayIcon::ActivationReason reason) {
        return TrayWindowProc(reason, window, *menu, restore);
    }
    static void StateRows(std::initializer_list<int> states) {
        QTest::addColumn<int>("state");
        for (const int state : states)
            QTest::newRow(std::array{"normal", "minimized", "maximized"}[state]) << state;
    }

private slots:
    void initTestCase() {
        menu->addAction(QStringLiteral("播放"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        other.show();
        connect(&popupCloser, &QTimer::timeout, this, [this] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menus << popup;
                places << popup->pos();
                popup->close();
            }
        });
    }
    void init() {
        restore = 0;
        SetWindowState(window, 0);
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        menus.clear();
        places.clear();
        popupCloser.start(10);
    }
    void cleanup() { popupCloser.stop(); }

    void otherClicksAreLeftToQt_data() {
        QTest::addColumn<int>("reason");
        QTest::newRow("middle") << int(QSystemTrayIcon::MiddleClick);
        QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown);
    }
    void otherClicksAreLeftToQt() {
        QFETCH(int, reason);
        SetWindowState(window, 1);
        QVERIFY(!Click(QSystemTrayIcon::ActivationReason(reason)));
        QCOMPARE(WindowState(window), 1);
        QVERIFY(menus.isEmpty());
        QVERIFY(!window.isActiveWindow());
    }

    // A double click is a second click soon after the first: it restores as well.
    void leftReleaseRestoresAMinimizedWindow_data() {
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("restoreTo");
        QTest::newRow("to normal") << int(QSystemTrayIcon::Trigger) << 0;
        QTest::newRow("to maximized") << int(QSystemTrayIcon::Trigger) << 2;
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << 0;
    }
    void leftReleaseRestoresAMinimizedWindow() {
        QFETCH(int, reason);
        QFETCH(int, restoreTo);
        restore = qint16(restoreTo);
        SetWindowState(window, 1);
        QCOMPARE(WindowState(window), 1);
        QVERIFY(Click(QSystemTrayIcon::ActivationReason(reason)));
        QCOMPARE(WindowState(window), restoreTo);
        QTRY_VERIFY(window.isActiveWindow());
        QVERIFY(menus.isEmpty());
    }

    void leftReleaseFocusesAVisibleWindowAndGoesOn_data() { StateRows({0, 2}); }
    void leftReleaseFocusesAVisibleWindowAndGoesOn() {
        QFETCH(int, state);
        restore = 2 - qint16(state); // a state the window must not be put in
        SetWindowState(window, qint16(state));
        QVERIFY(!Click(QSystemTrayIcon::Trigger));
        QTRY_VERIFY(window.isActiveWindow());
        QCOMPARE(WindowState(window), state);
    }

    void rightReleasePopsUpTheMenu_data() { StateRows({0, 1, 2}); }
    void rightReleasePopsUpTheMenu() {
        QFETCH(int, state);
        SetWindowState(window, qint16(state));
        QCursor::setPos(120, 90);
        QVERIFY(Click(QSystemTrayIcon::Context));
        QCOMPARE(menus, QList<QMenu*>{menu});
        QCOMPARE(places.value(0), QPoint(120, 90));
        QCOMPARE(WindowState(window), state);
    }

    // The whole road: the real icon's signal reaches the rules with the window, the menu and the state to
    // restore that the tray was given.
    void iconClicksTravelThroughTheHook() {
        TrayIcon icon(window, *menu, restore);
        icon.Install();
        QTRY_VERIFY(icon.icon());
        emit icon.icon()->activated(QSystemTrayIcon::Context);
        QCOMPARE(menus.size(), 1);
        restore = 2;
        SetWindowState(window, 1);
        emit icon.icon()->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(WindowState(window), 2);

        // Once removed, a click still on its way does nothing.
        QSystemTrayIcon* gone = icon.icon();
        icon.Remove();
        SetWindowState(window, 1);
        emit gone->activated(QSystemTrayIcon::Trigger);
        emit gone->activated(QSystemTrayIcon::Context);
        QCOMPARE(WindowState(window), 1);
        QCOMPARE(menus.size(), 1);
    }

    // A click the window cannot honour is an error report, never an exception out of Qt's signal.
    void failureInAClickIsReported() {
        platform::ScriptedDialogs dialogs;
        platform::SetDialogs(&dialogs);
        const auto restoreDialogs = qScopeGuard([] { platform::SetDialogs(nullptr); });
        TrayIcon icon(window, *menu, restore);
        icon.Install();
        QTRY_VERIFY(icon.icon());
        restore = 7;
        SetWindowState(window, 1);
        emit icon.icon()->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(dialogs.shown.size(), size_t(1));
        QCOMPARE(dialogs.shown[0].style, 16);
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("7")));
    }
};

QTEST_MAIN(TstWindowHook)
#include "tst_window_hook.moc"
