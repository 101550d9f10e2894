// tests/app: the menus and the double-click as the window runs them, on a recording player: the ListModified
// flag follows what each list command reports, the status line and the mute mark follow the player commands, and
// a command that fails is reported and stops there.
#include "app/frmMain.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "support/recording_player.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <limits>
#include <optional>

class TstWindowCommands : public QObject {
    Q_OBJECT

    RecordingPlayer m_player;
    std::optional<WindowFixture> m_fx;

    frmMain* form() const { return m_fx->form(); }
    QString status() const { return form()->l_State->text(); }
    void addStations() {
        auto items = form()->lst_Play->ListItems();
        items.Add(QStringLiteral("中国之声")).SetSubItems(1, QStringLiteral("mms://live.example.com/radio1"));
        items.Add(QStringLiteral("B")).SetSubItems(1, QStringLiteral("http://b/"));
    }
    // A user's double-click: the entry is selected first, then the view reports the double-click.
    void doubleClick(int index) {
        form()->lst_Play->Select(index);
        emit form()->lst_Play->doubleClicked(form()->lst_Play->model()->index(index - 1, 0));
    }
    QStringList rows() const {
        QStringList out;
        auto items = form()->lst_Play->ListItems();
        for (int i = 1; i <= items.Count(); ++i)
            out << items.Item(i).Text() + u'|' + items.Item(i).SubItems(1);
        return out;
    }

private slots:
    void init() {
        m_player = RecordingPlayer();
        m_fx.emplace();
        m_fx->create()->SetPlayer(&m_player);
        QVERIFY(form()->menu_OffSound->isChecked()); // created checked; set-up clears it
        QCOMPARE(status(), QString());
        m_fx->load();
    }
    void cleanup() { m_fx.reset(); }

    // Each typed line, added twice where it is taken; a delete with and without a selection; a clear.
    void listMenusSetTheFlagAsTheirCommandSays_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("selected"); // on a list of three, before the menu runs
        QTest::addColumn<bool>("modified");
        const QString add = QStringLiteral("menu_NetUrl");
        QTest::newRow("add") << add << "中国之声|mms://live.example.com/radio1" << -1 << true;
        for (const char* typed : {"A|B|C", "|", "|u", "A|", " A | u "})
            QTest::newRow(typed) << add << typed << -1 << true;
        QTest::newRow("huge address") << add << "a|" + QString(9999, u'u') << -1 << true;
        QTest::newRow("no bar") << add << "abc" << -1 << false;
        QTest::newRow("spaces alone") << add << "   " << -1 << false;
        QTest::newRow("full-width bar") << add << "A｜B" << -1 << false;
        QTest::newRow("Cancel or empty") << add << "" << -1 << false;
        QTest::newRow("delete, no selection") << "menu_Del" << "" << 0 << false;
        QTest::newRow("delete the second") << "menu_Del" << "" << 2 << true;
        QTest::newRow("clear, even when empty") << "menu_CleanList" << "" << -1 << true;
    }
    void listMenusSetTheFlagAsTheirCommandSays() {
        QFETCH(QString, menu);
        QFETCH(QString, typed);
        QFETCH(int, selected);
        QFETCH(bool, modified);
        if (selected >= 0) {
            auto items = form()->lst_Play->ListItems();
            for (const char* name : {"1", "2", "3"})
                items.Add(QString::fromLatin1(name)).SetSubItems(1, QStringLiteral("u"));
            form()->lst_Play->Select(selected);
        }
        m_fx->dialogs().inputAnswers.push_back(typed);
        form()->findChild<QAction*>(menu)->trigger();
        QCOMPARE(form()->ListModified, modified);
        if (menu == QStringLiteral("menu_NetUrl"))
            QCOMPARE(rows().size(), modified ? 1 : 0);
    }

    // The commands called on the window's list, not through its menus, leave its flag alone.
    void commandsThemselvesSetNothingOfTheWindows() {
        stations::ListView& list = *form()->lst_Play;
        m_fx->dialogs().inputAnswers.push_back(QStringLiteral("A|u"));
        QVERIFY(stations::AddStation(list));
        list.Select(1);
        QVERIFY(stations::DeleteSelected(list));
        QVERIFY(stations::ClearList(list));
        QCOMPARE(form()->ListModified, false);
    }

    void playerSetUp() {
        QCOMPARE(m_player.calls, QStringList({"uiMode=Mini", "enableContextMenu=0"}));
        QVERIFY(!form()->menu_OffSound->isChecked());
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void playerMenusRunTheirCommands() {
        addStations();
        m_player.calls.clear();
        doubleClick(1);
        QCOMPARE(m_player.calls, QStringList{"URL=mms://live.example.com/radio1"});
        QCOMPARE(status(), QStringLiteral("正在收听:中国之声"));
        form()->lst_Play->Select(2);
        form()->menu_Play->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("play"));
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
        form()->menu_Stop->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("stop"));
        QCOMPARE(status(), QStringLiteral("已停止播放"));
        form()->menu_Up->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=55"));
        form()->menu_Down->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=50"));
        form()->menu_OffSound->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=1"));
        QVERIFY(form()->menu_OffSound->isChecked());
        form()->menu_OffSound->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=0"));
        QVERIFY(!form()->menu_OffSound->isChecked());
        QVERIFY(m_fx->dialogs().shown.empty());
    }

    void noSelectionPlaysNothing() {
        addStations();
        m_player.calls.clear();
        form()->lst_Play->Select(0);
        form()->lst_Play_DblClick();
        form()->menu_Play->trigger();
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void playerFailuresAreReported() {
        addStations();
        m_player.volume = std::numeric_limits<qint32>::max() - 2;
        m_player.calls.clear();
        form()->menu_Up->trigger();
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1)); // the error report
        QVERIFY(m_fx->dialogs().shown[0].text.contains(QStringLiteral("6")));
        m_fx->dialogs().shown.clear();

        m_player.failOn = QStringLiteral("mute");
        form()->menu_OffSound->trigger();
        QVERIFY(!form()->menu_OffSound->isChecked()); // the mark waits for the component
        m_player.failOn = QStringLiteral("URL");
        doubleClick(2);
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
        m_player.failOn = QStringLiteral("play");
        form()->menu_Play->trigger();
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
        m_player.failOn = QStringLiteral("stop");
        form()->menu_Stop->trigger();
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(4));
    }

    void dialogFailureStopsTheCommandOnly() {
        // No scripted answer: the input box "fails"; the error is reported and nothing changes.
        form()->menu_NetUrl->trigger();
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(form()->ListModified, false);
        QCOMPARE(m_fx->dialogs().shown.back().kind, QStringLiteral("MsgBox"));
        QCOMPARE(m_fx->dialogs().shown.back().style, 16);
    }
};

QTEST_MAIN(TstWindowCommands)
#include "tst_window_commands.moc"
