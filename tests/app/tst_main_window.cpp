// tests/app: the window as a user meets it: geometry at 96 DPI, the menu tree, the shortcuts wherever the
// focus is, the link label and About; and the menus and the double-click as the window runs them on a recording
// player: the ListModified flag follows what each list command reports, the status line and the mute mark follow
// the player commands, and a command that fails is reported and stops there.
#include "app/frmMain.h"
#include "desktop/mpris.h"
#include "platform/launch.h"
#include "player/media_player.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "support/faulty_file_system.h"
#include "support/hostile_server.h"
#include "support/recording_launcher.h"
#include "support/recording_player.h"
#include "support/window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <limits>
#include <optional>
#include <sys/stat.h>

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
        // Enter on the selected row plays it as a double-click does; Enter with a modifier does not.
        form()->lst_Play->Select(3);
        QTest::keyClick(form()->lst_Play, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(form()->l_State->text(), QStringLiteral("正在收听:二"));
        QTest::keyClick(form()->lst_Play, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form()->l_State->text(), QStringLiteral("正在收听:三"));
        // The desktop's media widget is not handed an address the player refuses for its length (here 8193
        // characters, one too many): every panel on the bus would copy it.
        form()->PublishToDesktop();
        QTRY_COMPARE(form()->Mpris()->state().url, QStringLiteral("http://x/"));
        form()->lst_Play->ListItems().Item(3).SetSubItems(1, "http://x/" + QString(8184, u'x'));
        QTest::keyClick(form()->lst_Play, Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_COMPARE(form()->Mpris()->state().url, QString());
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
        // Hovering the row shows its tooltip, name and address: the same characters, nothing rendered from them.
        QHelpEvent hover(QEvent::ToolTip, *row, form()->lst_Play->viewport()->mapToGlobal(*row));
        QApplication::sendEvent(form()->lst_Play->viewport(), &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        QCOMPARE(shown.toPlainText(), name + QStringLiteral("\nhttp://127.0.0.1:9/"));
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

    // Ctrl+H: 播放记录, one at a time, fed by what the session plays; Ctrl+C, 保存… and the recordings' folder.
    void historyWindow() {
        form()->Recorder().setFolder(m_fx->folder() + QStringLiteral("/music"));
        form()->show();
        form()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form()));
        QTest::keyClick(form(), Qt::Key_H, Qt::ControlModifier);
        QPointer<frmHistory> history = form()->HistoryWindow();
        QVERIFY(history && history->isVisible() && !history->isModal());
        QCOMPARE(history->windowTitle(), QStringLiteral("播放记录"));
        player::Session& session = form()->ListeningSession();
        session.setListName(QStringLiteral("电台一"));
        for (const char* title : {"One", "One", "", "Two", "Three"})
            emit session.titleChanged(QString::fromUtf8(title));
        auto* rows = history->findChild<QTableWidget*>();
        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(rows->item(0, 2)->text(), QStringLiteral("Three"));
        QCOMPARE(rows->item(2, 1)->text(), QStringLiteral("电台一"));
        form()->activateWindow();
        QTest::keyClick(form(), Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(form()->HistoryWindow(), history.data());

        QApplication::setActiveWindow(history);
        QTRY_COMPARE(QApplication::activeWindow(), history.data());
        rows->selectRow(2);
        rows->selectionModel()->select(rows->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(rows, Qt::Key_C, Qt::ControlModifier);
        static const QRegularExpression copied(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t电台一\\tThree\\n\\d{4}-[-\\d "
                           ":]+\\t电台一\\tOne\\n$"));
        QVERIFY2(copied.match(QApplication::clipboard()->text()).hasMatch(),
                 qPrintable(QApplication::clipboard()->text()));
        QCOMPARE(form()->lst_Play->ListItems().Count(), 0); // the list's Ctrl+C stays the main window's

        const QString saved = m_fx->folder() + QStringLiteral("/记录.txt");
        m_fx->dialogs().inputAnswers.push_back(saved);
        QTest::mouseClick(history->findChild<QPushButton*>(QStringLiteral("historySave")), Qt::LeftButton);
        QCOMPARE(QString::fromUtf8(ReadBytes(saved)).count(QStringLiteral("\t电台一\t")), 3);
        QTest::mouseClick(history->findChild<QPushButton*>(QStringLiteral("historyRecordings")),
                          Qt::LeftButton);
        QCOMPARE(m_launcher.calls.back().commandLine,
                 QStringLiteral("explorer.exe ") + m_fx->folder() + QStringLiteral("/music"));
        QVERIFY(QFileInfo(m_fx->folder() + QStringLiteral("/music")).isDir());

        QTest::keyClick(rows, Qt::Key_Escape);
        QTRY_VERIFY(!history);
        // A new one shows the run's titles, and goes with the main window.
        QApplication::setActiveWindow(form());
        QTest::keyClick(form(), Qt::Key_H, Qt::ControlModifier);
        history = form()->HistoryWindow();
        QVERIFY(history);
        QCOMPARE(history->findChild<QTableWidget*>()->rowCount(), 3);
        form()->close();
        QTRY_VERIFY(!history);
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

    // Escape drops a batch being read; and the window goes while one is read: what the finder still asks goes
    // with it, before the fetcher does (AddressSanitizer's run sees any use of the fetcher after).
    void windowGoesWhileStationsAreRead() {
        support::HostileServer server;
        QVERIFY(server.start(QStringLiteral(CORVANA_HOSTILE_SERVER)));
        loadTwoStations();
        auto* data = new QMimeData;
        data->setText(server.url(QStringLiteral("/never")));
        QGuiApplication::clipboard()->setMimeData(data);
        form()->lst_Play_Paste();
        QTRY_VERIFY(server.requests(QStringLiteral("/never")) == 1);
        QCOMPARE(status(), QStringLiteral("正在读取电台..."));
        // Escape on the list drops the batch; the same paste again reads anew.
        QTest::keyClick(form()->lst_Play, Qt::Key_Escape);
        QCOMPARE(status(), QStringLiteral("已取消读取"));
        form()->lst_Play_Paste();
        QTRY_VERIFY(server.requests(QStringLiteral("/never")) == 2);
        m_fx.reset();
        m_fx.emplace();
        m_fx->create();
    }

    // Ctrl+Z and Ctrl+Y over the list's commands, on a list of 一, 二, 三 loaded from its file: the rows, the
    // selection, and whether the list then differs from what the file holds.
    void undoAndRedo_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("modified");
        const auto row = [](const char* name, const char* steps, const char* rows, int selected,
                            bool modified) {
            QTest::newRow(name) << QString::fromUtf8(steps).split(u' ') << QString::fromUtf8(rows) << selected
                                << modified;
        };
        row("clear, undo: as loaded", "select:2 clear undo", "一,二,三", 2, false);
        row("clear, undo, redo", "select:2 clear undo redo", "", 0, true);
        row("delete the last, undo", "select:3 del undo", "一,二,三", 3, false);
        row("add, undo, redo with Ctrl+Shift+Z", "add:四 undo redo-shift", "一,二,三,四", 0, true);
        row("a paste of three is one step", "paste:A,B,C undo", "一,二,三", 0, false);
        row("a paste made again", "paste:A,B,C undo redo", "一,二,三,A,B,C", 4, true);
        row("undo past the beginning", "select:1 del undo undo undo", "一,二,三", 1, false);
        row("a new change drops the redo", "select:1 del undo add:四 redo", "一,二,三,四", 1, true);
        row("a save in between", "select:1 del save undo", "一,二,三", 1, true);
        row("a save in between, then redo", "select:1 del save undo redo", "二,三", 1, false);
        row("clear, save (the file goes), undo: still to save", "clear save undo", "一,二,三", 0, true);
        row("a clear of more rows than the history keeps", "many clear undo", "", 0, true);
        row("rename, undo, redo; the menu names each", "select:2 f2:新|名:Return menu:撤销重命名 undo redo",
            "一,新｜名,三", 2, true);
        row("rename: the list is to save", "select:2 f2:新:Return", "一,新,三", 2, true);
        row("rename, undo", "select:2 f2:新:Return undo menu:撤销", "一,二,三", 2, false);
        row("rename cancelled, or emptied", "select:2 f2:新:Escape f2::Return", "一,二,三", 2, false);
        row("up at the top: nothing; down twice, undo", "select:1 up down down undo menu:撤销移动",
            "二,一,三", 2, true);
        row("down at the end: nothing; up, undo, redo", "select:3 down up undo redo", "一,三,二", 2, true);
        row("copy one, copy all", "select:2 copy clip:2 copyall clip:1,2,3", "一,二,三", 2, false);
    }
    void undoAndRedo() {
        QFETCH(QStringList, steps);
        QFETCH(QString, rows);
        QFETCH(int, selected);
        QFETCH(bool, modified);
        QVERIFY(m_fx->writeList("一|http://x/1\r\n二|http://x/2\r\n三|http://x/3\r\n"));
        loadOnTheRecordingPlayer();
        form()->show();
        form()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form()));
        for (const QString& step : steps) {
            const QString name = step.section(u':', 0, 0), arg = step.section(u':', 1);
            if (name == "select") form()->lst_Play->Select(arg.toInt());
            if (name == "many")
                form()->lst_Play->ListItems().AddMany(std::vector<stations::Station>(
                    stations::ListHistory::MaxRows, {QStringLiteral("多"), QStringLiteral("http://m/")}));
            if (name == "clear") form()->menu_CleanList->trigger();
            if (name == "del") form()->menu_Del->trigger();
            if (name == "save") form()->menu_SaveList->trigger();
            if (name == "undo") QTest::keyClick(form(), Qt::Key_Z, Qt::ControlModifier);
            if (name == "f2") { // the name typed, and the key that ends the edit
                QTest::keyClick(form(), Qt::Key_F2);
                auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                QVERIFY(editor);
                editor->setText(arg.section(u':', 0, 0));
                QTest::keyClick(editor, arg.endsWith("Escape") ? Qt::Key_Escape : Qt::Key_Return);
                QCoreApplication::processEvents(); // the editor commits from the event loop
            }
            if (name == "up" || name == "down")
                QTest::keyClick(form(), name == "up" ? Qt::Key_Up : Qt::Key_Down, Qt::AltModifier);
            if (name == "copy") QTest::keyClick(form(), Qt::Key_Insert, Qt::ControlModifier);
            if (name == "copyall") form()->lst_Play_CopyAll();
            if (name ==
                "clip") { // the rows of the file on the clipboard, as other programs and Corvana read them
                QByteArray m3u = "#EXTM3U\n", links;
                for (const QString& n : arg.split(u',')) {
                    m3u += "#EXTINF:-1," + QStringLiteral("一二三").mid(n.toInt() - 1, 1).toUtf8() +
                           "\nhttp://x/" + n.toUtf8() + "\n";
                    links += "http://x/" + n.toUtf8() + "\r\n";
                }
                const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
                QCOMPARE(copied->data("audio/x-mpegurl"), m3u);
                QCOMPARE(copied->data("text/uri-list"), links);
                QCOMPARE(status(), QStringLiteral("已复制%1个电台链接").arg(arg.count(u',') + 1));
            }
            if (name == "menu") {
                form()->lst_Play_ContextMenu({}, true);
                const QList<QAction*> entries = form()->ListMenu()->actions();
                QVERIFY(std::any_of(entries.begin(), entries.end(),
                                    [&](QAction* entry) { return entry->text() == arg + "\tCtrl+Z"; }));
                form()->ListMenu()->hide();
            }
            if (name == "redo") QTest::keyClick(form(), Qt::Key_Y, Qt::ControlModifier);
            if (name == "redo-shift")
                QTest::keyClick(form(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            if (name == "add") {
                m_fx->dialogs().inputAnswers.push_back(arg + "|http://x/" + arg);
                form()->menu_NetUrl->trigger();
            }
            if (name == "paste") {
                readers::FoundStations found;
                for (const QString& name : arg.split(u',')) {
                    readers::FoundStation station;
                    station.name = name;
                    station.address = "http://p/" + name;
                    found.stations.append(station);
                }
                form()->StationsFound(found, 0);
            }
        }
        QStringList shown;
        auto items = form()->lst_Play->ListItems();
        for (int i = 1; i <= items.Count(); ++i)
            shown << items.Item(i).Text();
        QCOMPARE(shown.join(u','), rows);
        const std::optional<stations::ListItem> item = form()->lst_Play->SelectedItem();
        QCOMPARE(item ? item->Index() : 0, selected);
        QCOMPARE(form()->ListModified, modified);
        QCOMPARE(form()->lst_Play->EmptyHint().endsWith(QStringLiteral("这次清空无法撤销")),
                 steps[0] == "many");
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

    // What a drop on the list or a Ctrl+V brings, after the two listed stations: the rows it appends, in
    // "name|address" form, and the status line. A kind "file:NAME" drops a local file of those bytes (a
    // ".pls" link to /proc/self/mem for one that cannot be read); "$" stands for the loopback server.
    void dropsAndPastesAddStations_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("said");
        const QString one = QStringLiteral("已添加1个电台");
        const QByteArray pls = "[playlist]\nFile1=http://127.0.0.1:9/\u202ex\nTitle1=A|B 😀\n";
        QTest::newRow("link, named by its host") << "uri-list" << QByteArray("http://127.0.0.1:9/live")
                                                 << QStringList{"127.0.0.1|http://127.0.0.1:9/live"} << one;
        QTest::newRow("pasted .pls of mirrors") << "paste"
                                                << QByteArray("[playlist]\nFile1=mms://h/1\nTitle1=M\n"
                                                              "File2=http://h/2\nTitle2=M\n")
                                                << QStringList{"M|mms://h/1"} << one;
        QTest::newRow(".m3u file of stations")
            << "file:s.m3u"
            << QByteArray("#EXTM3U\n#EXTINF:-1,One\nhttp://h/1\n#EXTINF:-1,Two\n"
                          "rtsp://h/2\n")
            << QStringList{"One|http://h/1", "Two|rtsp://h/2"} << QStringLiteral("已添加2个电台");
        QTest::newRow(".asx file") << "file:a.asx"
                                   << QByteArray("<ASX version=\"3.0\"><Entry><Title>ASX FM</Title>"
                                                 "<Ref href=\"mms://h/a\"/></Entry></ASX>")
                                   << QStringList{"ASX FM|mms://h/a"} << one;
        QTest::newRow("playlist on a server")
            << "uri-list" << QByteArray("$/mirrors.pls") << QStringList{"Mirror FM|$/mirrors.pls"} << one;
        QTest::newRow("stream named by icy-name")
            << "text" << QByteArray("$/named") << QStringList{"电台｜名 😀|$/named"} << one;
        QTest::newRow("a playlist that cannot be read")
            << "text" << QByteArray("$/nothing.pls $/named") << QStringList{"电台｜名 😀|$/named"}
            << QStringLiteral("已添加1个电台,1个无法读取");
        QTest::newRow("server that never answers")
            << "text" << QByteArray("see $/never.") << QStringList{"127.0.0.1|$/never"} << one;
        QTest::newRow("bar and non-GBK name")
            << "text" << pls << QStringList{"A｜B 😀|http://127.0.0.1:9/x"} << one;
        QTest::newRow("duplicates") << "text" << QByteArray("http://b/ and http://b/") << QStringList{}
                                    << QStringLiteral("电台已在列表中");
        QByteArray many;
        QStringList first;
        for (int i = 0; i < 65; ++i) {
            many += "http://127.0.0.1:9/" + QByteArray::number(i) + "\n";
            if (i < 64) first << "127.0.0.1|http://127.0.0.1:9/" + QString::number(i);
        }
        QTest::newRow("65 links: the first 64")
            << "paste" << many << first << QStringLiteral("已添加64个电台,另有1个未添加(一次最多64个)");
        QTest::newRow("a link copied from a web page: its text names it")
            << "text/html"
            << QByteArray("<meta charset=utf-8><a href=\"http://127.0.0.1:9/jazz\">Jazz <b>FM</b> 台</a>")
            << QStringList{"Jazz FM 台|http://127.0.0.1:9/jazz"} << one;
        QTest::newRow("a link dragged from a browser")
            << "text/x-moz-url" << QByteArray("http://127.0.0.1:9/j\nJazz 台\n")
            << QStringList{"Jazz 台|http://127.0.0.1:9/j"} << one;
        QTest::newRow("stations copied from Corvana: their names")
            << "audio/x-mpegurl"
            << QByteArray("#EXTM3U\n#EXTINF:-1,中国之声\nmms://h/1\n#EXTINF:-1,B\nhttp://h/2\n")
            << QStringList{"中国之声|mms://h/1", "B|http://h/2"} << QStringLiteral("已添加2个电台");
        QTest::newRow("a relative entry of a dropped playlist, beside it")
            << "file:rel.m3u" << QByteArray("#EXTM3U\n#EXTINF:-1,Song\nsong.mp3\n")
            << QStringList{"Song|@/song.mp3"} << one;
        QTest::newRow("a pipe named like a playlist")
            << "file:pipe.pls" << QByteArray() << QStringList{} << QStringLiteral("不是普通文件:pipe.pls");
        // "@" is the folder of two playlists of 700 KiB each, one station in each.
        QTest::newRow("one large playlist named 3000 times")
            << "uri-list" << QByteArray("file://@/big1.pls\n").repeated(3000)
            << QStringList{"Big 1|http://h/1"} << one;
        QStringList forty;
        for (int i = 1; i <= 64; ++i)
            forty << QStringLiteral("S%1|http://h/%2").arg(i).arg(i <= 40 ? i : 100 + i - 40);
        QTest::newRow("two playlists of 40: the first 64 of both")
            << "uri-list" << QByteArray("file://@/forty1.pls\nfile://@/forty2.pls\n") << forty
            << QStringLiteral("已添加64个电台,另有16个未添加(一次最多64个)");
        QTest::newRow("two large playlists: the bytes are bounded over both")
            << "uri-list" << QByteArray("file://@/big1.pls\nfile://@/big2.pls\n")
            << QStringList{"Big 1|http://h/1"}
            << QStringLiteral("已添加1个电台,其余未读取(一次最多64个电台或1MB)");
        QTest::newRow("2 MiB of text") << "text" << QByteArray(2 << 20, 'a') << QStringList{}
                                       << QStringLiteral("内容超过1MB,没有添加电台");
        QTest::newRow("1.2 MiB of links") << "uri-list" << QByteArray("http://h/a\n").repeated(120000)
                                          << QStringList{} << QStringLiteral("内容超过1MB,没有添加电台");
        QTest::newRow("a folder") << "file:dir/" << QByteArray() << QStringList{}
                                  << QStringLiteral("不能添加文件夹:dir");
        QTest::newRow("unreadable file") << "file:mem.pls" << QByteArray() << QStringList{}
                                         << QStringLiteral("无法读取mem.pls:Input/output error");
        QTest::newRow("not a playlist")
            << "file:a.mp3" << QByteArray("ID3") << QStringList{} << QStringLiteral("不是播放列表:a.mp3");
        QTest::newRow("words alone") << "paste" << QByteArray("no address here") << QStringList{}
                                     << QStringLiteral("没有找到电台地址");
    }
    void dropsAndPastesAddStations() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, rows);
        QFETCH(QString, said);
        support::HostileServer server;
        if (input.contains('$')) QVERIFY(server.start(QStringLiteral(CORVANA_HOSTILE_SERVER)));
        const QString base = server.url({});
        input.replace('$', base.toUtf8());
        if (input.contains('@')) {
            for (const char* n : {"1", "2"})
                QVERIFY(WriteBytes(QDir(m_fx->folder()).filePath(QStringLiteral("big%1.pls").arg(n)),
                                   QByteArray("[playlist]\nFile1=http://h/") + n + "\nTitle1=Big " + n +
                                       "\n" + QByteArray("; padding\n").repeated(70 * 1024)));
            QByteArray forty1 = "#EXTM3U\n", forty2 = "#EXTM3U\n";
            for (int i = 1; i <= 40; ++i) {
                forty1 +=
                    "#EXTINF:-1,S" + QByteArray::number(i) + "\nhttp://h/" + QByteArray::number(i) + "\n";
                forty2 += "#EXTINF:-1,S" + QByteArray::number(40 + i) + "\nhttp://h/" +
                          QByteArray::number(100 + i) + "\n";
            }
            QVERIFY(WriteBytes(QDir(m_fx->folder()).filePath(QStringLiteral("forty1.pls")), forty1));
            QVERIFY(WriteBytes(QDir(m_fx->folder()).filePath(QStringLiteral("forty2.pls")), forty2));
            input.replace('@', QFile::encodeName(m_fx->folder()));
        }
        rows.replaceInStrings(QStringLiteral("$"), base);
        loadTwoStations();
        form()->show();
        form()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form()));
        form()->lst_Play->setFocus();
        auto* data = new QMimeData;
        if (kind.startsWith(QStringLiteral("file:"))) {
            const QString path = QDir(m_fx->folder()).filePath(kind.mid(5));
            if (path.endsWith(u'/'))
                QVERIFY(QDir().mkpath(path));
            else if (path.endsWith(QStringLiteral("mem.pls")))
                QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), path));
            else if (path.endsWith(QStringLiteral("pipe.pls")))
                QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            else
                QVERIFY(WriteBytes(path, input));
            data->setUrls({QUrl::fromLocalFile(path)});
        } else if (kind == QStringLiteral("uri-list")) {
            data->setData(QStringLiteral("text/uri-list"), input);
        } else if (kind.contains(u'/')) {
            // As a browser offers a link (its markup or its drag data) or Corvana its stations: the addresses alone
            // beside, as links (Qt on X11 lists a browser's link as one) and as text.
            data->setData(QStringLiteral("text/uri-list"), "http://127.0.0.1:9/uri\n");
            data->setData(kind,
                          kind.endsWith(QStringLiteral("moz-url"))
                              ? QByteArray(reinterpret_cast<const char*>(QString::fromUtf8(input).utf16()),
                                           QString::fromUtf8(input).size() * 2)
                              : input);
            data->setText(QStringLiteral("Jazz FM"));
        } else {
            data->setText(QString::fromUtf8(input));
        }
        if (kind == QStringLiteral("paste")) {
            QGuiApplication::clipboard()->setMimeData(data);
            QTest::keyClick(form()->lst_Play, Qt::Key_V, Qt::ControlModifier);
        } else {
            // As a drag brings it: entering first (Qt delivers a drop only where the drag was let in), then the drop.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(form()->lst_Play->viewport(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(form()->lst_Play->viewport(), &drop);
            QVERIFY(drop.isAccepted());
            delete data;
        }
        // The window answers while the server keeps it waiting: the status line says so meanwhile.
        if (kind == QStringLiteral("text") && input.contains("never")) {
            QTest::qWait(1000);
            QCOMPARE(status(), QStringLiteral("正在读取电台..."));
        }
        QTRY_COMPARE_WITH_TIMEOUT(status(), said, 10000);
        rows.replaceInStrings(QStringLiteral("@"), m_fx->folder());
        QStringList added;
        auto items = form()->lst_Play->ListItems();
        for (int i = 3; i <= items.Count(); ++i)
            added << items.Item(i).Text() + u'|' + items.Item(i).SubItems(1);
        QCOMPARE(added, rows);
        QCOMPARE(form()->ListModified, !rows.isEmpty());
        // The first added row is selected, or the listed one an address was already in; a refusal selects nothing.
        const std::optional<stations::ListItem> selected = form()->lst_Play->SelectedItem();
        QCOMPARE(selected ? selected->Index() : 0, !rows.isEmpty() ? 3 : said.startsWith(u'电') ? 2 : 0);
        // Nothing of it opens a message box.
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(0));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
