// tests/stations: the add, delete and clear commands on a real frmMain, with scripted dialogs.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "stations/edit_commands.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/scripted_dialogs.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstEditCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    platform::ScriptedDialogs m_dialogs;
    frmMain* m_form = nullptr;

    QStringList rows() const {
        QStringList out;
        auto items = m_form->lst_Play->ListItems();
        for (int i = 1; i <= items.Count(); ++i)
            out << items.Item(i).Text() + u'|' + items.Item(i).SubItems(1);
        return out;
    }
    void add(const QString& typed) {
        m_dialogs.inputAnswers.push_back(typed);
        m_form->menu_NetUrl->trigger();
    }

private slots:
    void init() {
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        platform::SetProgramDirectory(m_dir.path());
        QFile::remove(m_dir.filePath(QStringLiteral("CvLst.lst")));
        m_form = new frmMain;
        m_form->Form_Load();
    }
    void cleanup() {
        delete m_form;
        platform::SetDialogs(nullptr);
    }

    void addShowsThePromptAndAppends() {
        add(QStringLiteral("中国之声|mms://live.example.com/radio1"));
        QCOMPARE(m_dialogs.shown.size(), size_t(1));
        QCOMPARE(m_dialogs.shown[0].kind, QStringLiteral("InputBox"));
        QCOMPARE(m_dialogs.shown[0].title, QStringLiteral("添加电台地址"));
        QVERIFY(m_dialogs.shown[0].text.startsWith(
            QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://")));
        QCOMPARE(rows(), QStringList{QStringLiteral("中国之声|mms://live.example.com/radio1")});
        QCOMPARE(m_form->ListModified, true);
    }

    void addSplitsLikeTheLoader_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("row");
        QTest::newRow("three fields") << "A|B|C"
                                      << "A|B";
        QTest::newRow("bar alone") << "|"
                                   << "|";
        QTest::newRow("starts with bar") << "|u"
                                         << "|u";
        QTest::newRow("ends with bar") << "A|"
                                       << "A|";
        QTest::newRow("spaces kept") << " A | u "
                                     << " A | u ";
        QTest::newRow("huge address, held whole") << "a|" + QString(9999, u'u') << "a|" + QString(9999, u'u');
    }
    void addSplitsLikeTheLoader() {
        QFETCH(QString, typed);
        QFETCH(QString, row);
        add(typed);
        add(typed); // twice: duplicates are allowed
        QCOMPARE(rows(), QStringList({row, row}));
        QCOMPARE(m_form->ListModified, true);
        for (const int role : {Qt::DisplayRole, Qt::ToolTipRole})
            QVERIFY(m_form->lst_Play->model()->index(0, 1).data(role).toString().size() < 400);
    }

    void addRefusesOrIgnores_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::newRow("no bar") << "abc" << true;
        QTest::newRow("spaces alone") << "   " << true;
        QTest::newRow("full-width bar") << "A｜B" << true;
        QTest::newRow("Cancel or empty") << "" << false;
    }
    void addRefusesOrIgnores() {
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        add(typed);
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_form->ListModified, false);
        QCOMPARE(m_dialogs.shown.size(), size_t(refused ? 2 : 1));
        if (refused) {
            QCOMPARE(m_dialogs.shown[1].text, QStringLiteral("格式有误！"));
            QCOMPARE(m_dialogs.shown[1].title, QStringLiteral("错误"));
            QCOMPARE(m_dialogs.shown[1].style, 16);
        }
    }

    void deleteTheSelectedEntry() {
        add(QStringLiteral("1|a"));
        add(QStringLiteral("2|b"));
        add(QStringLiteral("3|c"));
        m_form->ListModified = false;

        // No selection: nothing changes.
        m_form->menu_Del->trigger();
        QCOMPARE(rows().size(), 3);
        QCOMPARE(m_form->ListModified, false);

        m_form->lst_Play->Select(2);
        m_form->menu_Del->trigger();
        QCOMPARE(rows(), QStringList({QStringLiteral("1|a"), QStringLiteral("3|c")}));
        QCOMPARE(m_form->lst_Play->ListItems().Item(2).Index(), 2);
        QCOMPARE(m_form->ListModified, true);
    }

    void clearSetsModifiedEvenWhenEmpty() {
        m_form->menu_CleanList->trigger();
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_form->lst_Play->ColumnCount(), 2);
        QCOMPARE(m_form->ListModified, true);
    }

    // Each command reports whether it changed the list; the window's flag follows that report alone.
    void commandsSayWhetherTheListChanged() {
        stations::ListView& list = *m_form->lst_Play;
        m_dialogs.inputAnswers.push_back(QString()); // Cancel
        QVERIFY(!stations::AddStation(list));
        m_dialogs.inputAnswers.push_back(QStringLiteral("abc")); // refused
        QVERIFY(!stations::AddStation(list));
        m_dialogs.inputAnswers.push_back(QStringLiteral("A|u"));
        QVERIFY(stations::AddStation(list));
        list.Select(0);
        QVERIFY(!stations::DeleteSelected(list));
        list.Select(1);
        QVERIFY(stations::DeleteSelected(list));
        QVERIFY(stations::ClearList(list)); // also on a list that is empty already
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_form->ListModified, false); // the commands themselves set nothing of the window's
    }

    void dialogFailureStopsTheCommandOnly() {
        // No scripted answer: the input box "fails"; the error is reported and nothing changes.
        m_form->menu_NetUrl->trigger();
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_form->ListModified, false);
        QCOMPARE(m_dialogs.shown.back().kind, QStringLiteral("MsgBox"));
        QCOMPARE(m_dialogs.shown.back().style, 16);
    }
};

QTEST_MAIN(TstEditCommands)
#include "tst_edit_commands.moc"
