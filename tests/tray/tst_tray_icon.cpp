// tests/tray: the icon record TrayIconData with its tip rules, and the real QSystemTrayIcon fed from it.
#include "support/private_bus.h"
#include "tray/tray_icon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMainWindow>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTest>
#include <memory>

using namespace tray;

namespace {
// A panel's StatusNotifierWatcher with nothing behind it that draws the items: it answers, and no host is
// registered.
class HostlessWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return false; }
};
} // namespace

class TstTrayIcon : public QObject {
    Q_OBJECT
    std::unique_ptr<QMainWindow> window;
    QMenu* menu = nullptr;
    qint16 restore = 0;
    std::unique_ptr<TrayIcon> tray;
    support::PrivateBus bus;
    HostlessWatcher watcher;

    static QString TipField(const NotifyIconData& data) {
        return QString(reinterpret_cast<const QChar*>(data.szTip.data()), 64);
    }

private slots:
    // The run's one question about the tray goes to a bus of the test's own, where the watcher is hostless.
    void initTestCase() {
        QVERIFY(!bus.start().isEmpty());
        QDBusConnection session = QDBusConnection::sessionBus();
        QVERIFY(session.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                       QDBusConnection::ExportAllProperties));
        QVERIFY(session.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }
    void init() {
        window = std::make_unique<QMainWindow>();
        window->setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_MediaPlay));
        menu = new QMenu(window.get());
        tray = std::make_unique<TrayIcon>(*window, *menu, restore);
        // The first icon of the run waits for the desktop's tray to be asked about; every later one is at
        // once. Removed while it waits (the window closed at once), it never shows.
        if (!TrayProbe::Settled()) {
            tray->Install();
            tray->Remove();
            QTRY_VERIFY(TrayProbe::Settled());
            QVERIFY(!tray->icon());
        }
        tray->Install();
        QTRY_VERIFY(tray->icon());
    }
    void cleanup() {
        tray.reset();
        window.reset();
    }

    void installFillsTheRecordAndShowsTheIcon() {
        const NotifyIconData& d = tray->TrayIconData;
        QCOMPARE(d.cbSize, 88);
        QCOMPARE(d.uID, 0);
        QCOMPARE(d.uFlags, NIF_MESSAGE | NIF_ICON);
        QCOMPARE(d.uCallbackMessage, 2025);
        QCOMPARE(d.hIcon, qint32(window->windowIcon().cacheKey()));
        QSystemTrayIcon* icon = tray->icon();
        QVERIFY(icon);
        // Offscreen there is no tray, yet the icon stays shown to Qt, which docks it once a tray turns up.
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->icon().cacheKey(), window->windowIcon().cacheKey());
        // The add carries no tip.
        QVERIFY(icon->toolTip().isEmpty());
        // The watcher has no host: the icon goes to an XEmbed tray, and the hook pops up the menu.
        QVERIFY(!StatusNotifierHostPresent());
        QCOMPARE(icon->contextMenu(), nullptr);
        // Installing again (a window kept open after a failed save) adds no second icon.
        tray->Install();
        QCOMPARE(tray->icon(), icon);
        QCOMPARE(window->findChildren<QSystemTrayIcon*>().size(), 1);
    }

    void windowWithoutAnIconGetsAStandIn() {
        QMainWindow bare;
        TrayIcon t(bare, *menu, restore);
        t.Install();
        QVERIFY(t.icon() && !t.icon()->icon().isNull());
    }

    void tipChangeSetsTheTipOnly() {
        const NotifyIconData before = tray->TrayIconData;
        tray->SetTip(QStringLiteral("Corvana"));
        const NotifyIconData& after = tray->TrayIconData;
        QCOMPARE(after.uFlags, NIF_TIP);
        QCOMPARE(after.cbSize, before.cbSize);
        QCOMPARE(after.hWnd, before.hWnd);
        QCOMPARE(after.uCallbackMessage, before.uCallbackMessage);
        QCOMPARE(after.hIcon, before.hIcon);
        QCOMPARE(tray->icon()->toolTip(), QStringLiteral("Corvana"));
    }

    // The field as the program keeps it, and the tooltip the desktop shows of it; a tip set before (when not
    // null) must leave nothing of itself.
    void tipField_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        const QString x63(63, u'x'), x64(64, u'x'), chinese = QStringLiteral("网络收音机");
        const QChar nul(u'\0');
        QTest::newRow("empty") << QString() << QString() << nul + QString(63, u' ') << QString();
        QTest::newRow("63 characters") << QString() << x63 << x63 + nul << x63;
        QTest::newRow("64 characters, no NUL") << QString() << x64 << x64 << x64;
        QTest::newRow("70 characters, first 64") << QString() << QString(70, u'x') << x64 << x64;
        QTest::newRow("Chinese") << QString() << chinese << chinese + nul + QString(58, u' ') << chinese;
        QTest::newRow("shorter after longer")
            << QString(64, u'W') << "ab" << QStringLiteral("ab") + nul + QString(61, u' ') << "ab";
    }
    void tipField() {
        QFETCH(QString, before);
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(QString, shown);
        if (!before.isNull()) tray->SetTip(before);
        tray->SetTip(text);
        QCOMPARE(TipField(tray->TrayIconData), field);
        QCOMPARE(tray->icon()->toolTip(), shown);
    }

    void removeTakesTheIconAwayAndKeepsTheRecord() {
        tray->SetTip(QStringLiteral("Corvana"));
        const NotifyIconData before = tray->TrayIconData;
        QPointer<QSystemTrayIcon> icon = tray->icon();
        tray->Remove();
        QVERIFY(!tray->icon());
        QVERIFY(icon && !icon->isVisible());
        QTRY_VERIFY(!icon); // deleted once the event loop runs
        QCOMPARE(tray->TrayIconData.uFlags, 0);
        QCOMPARE(tray->TrayIconData.hWnd, before.hWnd);
        QCOMPARE(tray->TrayIconData.uID, 0);
        QCOMPARE(TipField(tray->TrayIconData), TipField(before));
        // A tip change with no icon only changes the record.
        tray->SetTip(QStringLiteral("x"));
        QVERIFY(!tray->icon());
        // And it comes back whole.
        tray->Install();
        QVERIFY(tray->icon() && tray->icon()->isVisible());
    }
};

QTEST_MAIN(TstTrayIcon)
#include "tst_tray_icon.moc"
