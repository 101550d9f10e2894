// tests/stations: the add, delete and clear commands on a bare list control, with scripted dialogs.
#include "platform/dialogs.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "support/scripted_dialogs.h"

#include <QTest>
#include <optional>

class TstEditCommands : public QObject {
    Q_OBJECT

    platform::ScriptedDialogs m_dialogs;
    std::optional<stations::ListView> m_list;

    QStringList rows() {
        QStringList out;
        auto items = m_list->ListItems();
        for (int i = 1; i <= items.Count(); ++i)
            out << items.Item(i).Text() + u'|' + items.Item(i).SubItems(1);
        return out;
    }
    bool add(const QString& typed) {
        m_dialogs.inputAnswers.push_back(typed);
        return stations::AddStation(*m_list);
    }

private slots:
    void init() {
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        m_list.emplace();
        stations::SetUpColumns(*m_list);
    }
    void cleanup() {
        m_list.reset();
        platform::SetDialogs(nullptr);
    }

    void addShowsThePromptAndAppends() {
        QVERIFY(add(QStringLiteral("中国之声|mms://live.example.com/radio1")));
        QCOMPARE(m_dialogs.shown.size(), size_t(1));
        QCOMPARE(m_dialogs.shown[0].kind, QStringLiteral("InputBox"));
        QCOMPARE(m_dialogs.shown[0].title, QStringLiteral("添加电台地址"));
        QVERIFY(m_dialogs.shown[0].text.startsWith(
            QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://")));
        QCOMPARE(rows(), QStringList{QStringLiteral("中国之声|mms://live.example.com/radio1")});
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
        QVERIFY(add(typed));
        QVERIFY(add(typed)); // twice: duplicates are allowed
        QCOMPARE(rows(), QStringList({row, row}));
        for (const int role : {Qt::DisplayRole, Qt::ToolTipRole})
            QVERIFY(m_list->model()->index(0, 1).data(role).toString().size() < 400);
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
        QVERIFY(!add(typed));
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_dialogs.shown.size(), size_t(refused ? 2 : 1));
        if (refused) {
            QCOMPARE(m_dialogs.shown[1].text, QStringLiteral("格式有误！"));
            QCOMPARE(m_dialogs.shown[1].title, QStringLiteral("错误"));
            QCOMPARE(m_dialogs.shown[1].style, 16);
        }
    }

    void deleteTheSelectedEntry() {
        for (const char* typed : {"1|a", "2|b", "3|c"})
            QVERIFY(add(QString::fromLatin1(typed)));

        // No selection: nothing changes.
        QVERIFY(!stations::DeleteSelected(*m_list));
        QCOMPARE(rows().size(), 3);

        m_list->Select(2);
        QVERIFY(stations::DeleteSelected(*m_list));
        QCOMPARE(rows(), QStringList({QStringLiteral("1|a"), QStringLiteral("3|c")}));
        QCOMPARE(m_list->ListItems().Item(2).Index(), 2);
    }

    void clearSaysItChangedEvenWhenEmpty() {
        QVERIFY(stations::ClearList(*m_list));
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(m_list->ColumnCount(), 2);
    }

    // Each command reports whether it changed the list; the window's flag follows that report alone.
    void commandsSayWhetherTheListChanged() {
        stations::ListView& list = *m_list;
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
    }
};

QTEST_MAIN(TstEditCommands)
#include "tst_edit_commands.moc"
