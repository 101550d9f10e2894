// tests/app: the window as a user meets it: geometry at 96 DPI, the menu tree, the shortcuts wherever the
// focus is, the link label and About; and the menus and the double-click as the window runs them on a recording
// player: the ListModified flag follows what each list command reports, the status line and the mute mark follow
// the player commands, and a command that fails is reported and stops there.
#include "app/frmMain.h"
#include "platform/launch.h"
#include "player/media_player.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "support/recording_launcher.h"
#include "support/recording_player.h"
#include "support/window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <limits>
#include <optional>

class TstMainWindow : public QObject {
    Q_OBJECT

    platform::RecordingLauncher m_launcher;
    RecordingPlayer m_player;
    std::optional<WindowFixture> m_fx;

    frmMain* form() const { return m_fx->form(); }
    QString status() const { return form()->l_State->text(); }

    void fill() {
        auto items = form()->lst_Play->ListItems();
        for (const char* name : {"一", "二", "三"})
            items.Add(QString::fromUtf8(name)).SetSubItems(1, QStringLiteral("http://x/"));
    }
    void loadOnTheRecordingPlayer() {
        form()->SetPlayer(&m_player);
        m_fx->load();
    }
    // Loaded on the recording player, with two stations and no call recorded yet.
    void loadTwoStations() {
        loadOnTheRecordingPlayer();
        auto items = form()->lst_Play->ListItems();
        items.Add(QStringLiteral("中国之声")).SetSubItems(1, QStringLiteral("mms://live.example.com/radio1"));
        items.Add(QStringLiteral("B")).SetSubItems(1, QStringLiteral("http://b/"));
        m_player.calls.clear();
    }
    // A user's double-click: the entry is selected first, then the view reports the double-click.
    void doubleClick(int index) {
        form()->lst_Play->Select(index);
        emit form()->lst_Play->doubleClicked(form()->lst_Play->model()->index(index - 1, 0));
    }
    // The window shown, then a real mouse click and double-click on the row's centre; returns that centre, or
    // nothing when the window never came up.
    std::optional<QPoint> showAndDoubleClickRow(int row) {
        form()->show();
        if (!QTest::qWaitForWindowExposed(form())) return std::nullopt;
        const QPoint centre = form()->lst_Play->visualRect(form()->lst_Play->model()->index(row, 0)).center();
        QTest::mouseClick(form()->lst_Play->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(form()->lst_Play->viewport(), Qt::LeftButton, {}, centre);
        return centre;
    }

private slots:
    void init() {
        m_launcher = {};
        platform::SetLauncher(&m_launcher);
        m_player = RecordingPlayer();
        m_fx.emplace();
        m_fx->create();
        QVERIFY(form()->menu_OffSound->isChecked()); // created checked; set-up clears it
        QCOMPARE(status(), QString());               // until set-up writes it
    }
    void cleanup() {
        m_fx.reset();
        platform::SetLauncher(nullptr);
    }

    void geometryAt96Dpi() {
        if (qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchX()) != 96)
            QSKIP("the layout figures below are for a 96 DPI screen");
        QCOMPARE(form()->windowTitle(), QStringLiteral("Corvana"));
        QCOMPARE(form()->centralWidget()->size(), QSize(281, 498));
        QCOMPARE(form()->findChild<QWidget*>(QStringLiteral("WMP"))->geometry(), QRect(0, 0, 281, 45));
        QCOMPARE(form()->Label1->geometry(), QRect(0, 48, 281, 25));
        QCOMPARE(form()->lst_Play->geometry(), QRect(0, 72, 281, 401));
        QCOMPARE(form()->l_State->geometry(), QRect(8, 480, 273, 25)); // its bottom 7 pixels are cut off
        // Fixed size: the window cannot grow or shrink.
        QCOMPARE(form()->minimumSize(), form()->maximumSize());
        QVERIFY(form()->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(form()->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void labels() {
        QCOMPARE(form()->Label1->text(), QStringLiteral("让你的心情放个假！Ostrelwww.ostrel.example"));
        QCOMPARE(form()->Label1->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(form()->Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(form()->Label1->alignment() & Qt::AlignLeft);
        QVERIFY(form()->l_State->alignment() & Qt::AlignHCenter);
        for (QLabel* label : {static_cast<QLabel*>(form()->Label1), form()->l_State}) {
            QCOMPARE(label->font().families().value(0), QStringLiteral("宋体"));
            QCOMPARE(label->font().pointSizeF(), 10.5);
            QCOMPARE(label->font().weight(), QFont::Normal);
            QVERIFY(label->alignment() & Qt::AlignTop);
        }
    }

    void menuTree() {
        struct Entry {
            const char* name;
            const char* caption;
            QKeySequence shortcut;
        };
        const QList<QPair<QString, QList<Entry>>> expected = {
            {QStringLiteral("文件"),
             {{"menu_NetUrl", "网络URL", {}},
              {"menu_Line1", "", {}},
              {"menu_SaveList", "保存列表", {}},
              {"menu_Line2", "", {}},
              {"menu_Exit", "退出", QKeySequence(QStringLiteral("Ctrl+E"))}}},
            {QStringLiteral("列表"),
             {{"menu_CleanList", "清空列表", QKeySequence(QStringLiteral("Ctrl+C"))},
              {"menu_Del", "删除", QKeySequence(Qt::Key_Delete)}}},
            {QStringLiteral("控制"),
             {{"menu_Play", "播放", QKeySequence(QStringLiteral("Ctrl+P"))},
              {"menu_Stop", "停止", QKeySequence(QStringLiteral("Ctrl+S"))},
              {"menu_Line3", "", {}},
              {"menu_Up", "增大声音↑", QKeySequence(QStringLiteral("Ctrl+U"))},
              {"menu_Down", "减小声音↓", QKeySequence(QStringLiteral("Ctrl+D"))},
              {"menu_OffSound", "静音 ╳", QKeySequence(QStringLiteral("Ctrl+O"))}}},
            {QStringLiteral("帮助"), {{"menu_About", "关于", {}}}},
        };
        const QList<QAction*> tops = form()->menuBar()->actions();
        QCOMPARE(tops.size(), expected.size());
        for (int m = 0; m < tops.size(); ++m) {
            QCOMPARE(tops[m]->text(), expected[m].first);
            const QList<QAction*> entries = tops[m]->menu()->actions();
            QCOMPARE(entries.size(), expected[m].second.size());
            for (int i = 0; i < entries.size(); ++i) {
                const Entry& e = expected[m].second[i];
                QCOMPARE(entries[i]->objectName(), QString::fromLatin1(e.name));
                QCOMPARE(entries[i]->isSeparator(), QByteArray(e.name).startsWith("menu_Line"));
                QCOMPARE(entries[i]->text(), QString::fromUtf8(e.caption));
                QCOMPARE(entries[i]->shortcut(), e.shortcut);
                QVERIFY(entries[i]->isEnabled() && entries[i]->isVisible());
                QCOMPARE(entries[i]->isChecked(), QByteArray(e.name) == "menu_OffSound");
            }
        }
        QCOMPARE(form()->menu_Control, tops[2]->menu());
    }

    // Del and Ctrl+C belong to the window: they work from the list and from elsewhere in it.
    void shortcutsWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("list") << QStringLiteral("lst_Play");
        QTest::newRow("player strip") << QStringLiteral("WMP");
        QTest::newRow("window") << QStringLiteral("frmMain");
    }
    void shortcutsWhereverTheFocusIs() {
        QFETCH(QString, focus);
        form()->Form_Load();
        fill();
        form()->show();
        form()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form()));
        QWidget* target = focus == QStringLiteral("frmMain") ? form() : form()->findChild<QWidget*>(focus);
        QVERIFY(target);
        target->setFocus();
        form()->lst_Play->Select(2);

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form(), Qt::Key_Delete);
        QCOMPARE(form()->lst_Play->ListItems().Count(), 2);
        QCOMPARE(form()->lst_Play->ListItems().Item(2).Text(), QStringLiteral("三"));
        QCOMPARE(form()->ListModified, true);

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form(), Qt::Key_C,
                        Qt::ControlModifier);
        QCOMPARE(form()->lst_Play->ListItems().Count(), 0);
    }

    void mouseDoubleClickPlaysTheEntry() {
        form()->Form_Load();
        fill();
        QVERIFY(showAndDoubleClickRow(1));
        QCOMPARE(form()->l_State->text(), QStringLiteral("正在收听:二"));
        QCOMPARE(form()->WMP->get_URL(), QStringLiteral("http://x/"));
    }

    // Markup in a station's name is shown as the characters it holds: as HTML an <img> would make Qt load
    // the file it names (with /dev/zero, until the program runs out of memory). A small picture stands in.
    void namesWithMarkupShowLiterally() {
        const QString picture = QDir(m_fx->folder()).filePath(QStringLiteral("probe.png"));
        QImage(4, 4, QImage::Format_RGB32).save(picture);
        const QString name = QStringLiteral("<b>X</b><img src=\"%1\">").arg(picture);
        form()->Form_Load();
        form()->lst_Play->ListItems().Add(name).SetSubItems(1, QStringLiteral("http://127.0.0.1:9/"));
        const std::optional<QPoint> row = showAndDoubleClickRow(0);
        QVERIFY(row);
        QCOMPARE(form()->l_State->text(), QStringLiteral("正在收听:") + name);
        QCOMPARE(form()->l_State->textFormat(), Qt::PlainText);
        // Hovering the row shows its tooltip: the same characters, nothing rendered from them.
        QHelpEvent hover(QEvent::ToolTip, *row, form()->lst_Play->viewport()->mapToGlobal(*row));
        QApplication::sendEvent(form()->lst_Play->viewport(), &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        QCOMPARE(shown.toPlainText(), name);
        QToolTip::hideText();
    }

    // One mute state: the menu's mark follows the strip's button, and the menu then undoes it.
    void muteMarkFollowsTheStrip() {
        form()->Form_Load();
        form()->show();
        QVERIFY(QTest::qWaitForWindowExposed(form()));
        auto* mute = form()->WMP->findChild<QAbstractButton*>(QStringLiteral("mute"));
        QVERIFY(mute);
        QVERIFY(!form()->menu_OffSound->isChecked());
        mute->click();
        QVERIFY(form()->WMP->get_settings_mute());
        QVERIFY(form()->menu_OffSound->isChecked());
        form()->menu_OffSound->trigger();
        QVERIFY(!form()->WMP->get_settings_mute());
        QVERIFY(!form()->menu_OffSound->isChecked());
        QVERIFY(!mute->isChecked());
    }

    void linkLabelLaunchesEveryClick() {
        form()->show();
        QTest::mouseClick(form()->Label1, Qt::LeftButton);
        QTest::mouseClick(form()->Label1, Qt::LeftButton);
        QCOMPARE(m_launcher.calls.size(), size_t(2));
        QCOMPARE(m_launcher.calls[1].commandLine, QStringLiteral("explorer.exe https://www.ostrel.example/"));
        QCOMPARE(m_launcher.calls[1].windowStyle, 2);

        // A launch that cannot start is reported; the program goes on.
        m_launcher.fail = true;
        QTest::mouseClick(form()->Label1, Qt::LeftButton);
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1));
        QCOMPARE(m_fx->dialogs().shown[0].style, 16);
        QVERIFY(form()->isVisible());
    }

    void about() {
        form()->menu_About->trigger();
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1));
        QCOMPARE(m_fx->dialogs().shown[0].text,
                 QStringLiteral("提示：Ostrel为你提供一切免费杀毒，软件等资源下载 www.ostrel.example"));
        QCOMPARE(m_fx->dialogs().shown[0].style, 64);
        QCOMPARE(m_fx->dialogs().shown[0].title, QStringLiteral("关于"));
    }

    void tabOrder() {
        QWidget* w = form()->findChild<QWidget*>(QStringLiteral("WMP"));
        QList<QWidget*> chain;
        QWidget* it = w;
        for (int i = 0; i < 50 && chain.size() < 4; ++i, it = it->nextInFocusChain())
            if (it == w || it == form()->lst_Play || it == form()->l_State || it == form()->Label1)
                if (!chain.contains(it)) chain << it;
        QCOMPARE(chain, (QList<QWidget*>{w, form()->lst_Play, form()->l_State, form()->Label1}));
    }

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
        QTest::newRow("delete, no selection") << "menu_Del" << QString() << 0 << false;
        QTest::newRow("delete the second") << "menu_Del" << QString() << 2 << true;
        QTest::newRow("clear, even when empty") << "menu_CleanList" << QString() << -1 << true;
    }
    void listMenusSetTheFlagAsTheirCommandSays() {
        QFETCH(QString, menu);
        QFETCH(QString, typed);
        QFETCH(int, selected);
        QFETCH(bool, modified);
        loadOnTheRecordingPlayer();
        if (selected >= 0) {
            fill();
            form()->lst_Play->Select(selected);
        }
        m_fx->dialogs().inputAnswers.push_back(typed);
        form()->findChild<QAction*>(menu)->trigger();
        QCOMPARE(form()->ListModified, modified);
        if (menu == QStringLiteral("menu_NetUrl"))
            QCOMPARE(form()->lst_Play->ListItems().Count(), modified ? 1 : 0);
    }

    // The commands called on the window's list, not through its menus, leave its flag alone.
    void commandsThemselvesSetNothingOfTheWindows() {
        loadOnTheRecordingPlayer();
        stations::ListView& list = *form()->lst_Play;
        m_fx->dialogs().inputAnswers.push_back(QStringLiteral("A|u"));
        QVERIFY(stations::AddStation(list));
        list.Select(1);
        QVERIFY(stations::DeleteSelected(list));
        QVERIFY(stations::ClearList(list));
        QCOMPARE(form()->ListModified, false);
    }

    void playerSetUp() {
        loadOnTheRecordingPlayer();
        QCOMPARE(m_player.calls, QStringList({"uiMode=Mini", "enableContextMenu=0"}));
        QVERIFY(!form()->menu_OffSound->isChecked());
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void playerMenusRunTheirCommands() {
        loadTwoStations();
        doubleClick(1);
        QCOMPARE(m_player.calls, QStringList{"URL=mms://live.example.com/radio1"});
        QCOMPARE(status(), QStringLiteral("正在收听:中国之声"));
        const auto lastCallOf = [&](QAction* menu) {
            menu->trigger();
            return m_player.calls.last();
        };
        form()->lst_Play->Select(2);
        QCOMPARE(lastCallOf(form()->menu_Play), QStringLiteral("play"));
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
        QCOMPARE(lastCallOf(form()->menu_Stop), QStringLiteral("stop"));
        QCOMPARE(status(), QStringLiteral("已停止播放"));
        QCOMPARE(lastCallOf(form()->menu_Up), QStringLiteral("volume=55"));
        QCOMPARE(lastCallOf(form()->menu_Down), QStringLiteral("volume=50"));
        QCOMPARE(lastCallOf(form()->menu_OffSound), QStringLiteral("mute=1"));
        QVERIFY(form()->menu_OffSound->isChecked());
        QCOMPARE(lastCallOf(form()->menu_OffSound), QStringLiteral("mute=0"));
        QVERIFY(!form()->menu_OffSound->isChecked());
        QVERIFY(m_fx->dialogs().shown.empty());
    }

    void noSelectionPlaysNothing() {
        loadTwoStations();
        form()->lst_Play->Select(0);
        form()->lst_Play_DblClick();
        form()->menu_Play->trigger();
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void playerFailuresAreReported() {
        loadTwoStations();
        m_player.volume = std::numeric_limits<qint32>::max() - 2;
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
        loadOnTheRecordingPlayer();
        form()->menu_NetUrl->trigger();
        QCOMPARE(form()->lst_Play->ListItems().Count(), 0);
        QCOMPARE(form()->ListModified, false);
        QCOMPARE(m_fx->dialogs().shown.back().kind, QStringLiteral("MsgBox"));
        QCOMPARE(m_fx->dialogs().shown.back().style, 16);
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
