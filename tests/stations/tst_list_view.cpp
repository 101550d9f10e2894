// tests/stations: the list control lst_Play (its columns in twips, its ListItems operations) and the add, delete
// and clear commands over it, on a bare control with scripted dialogs.
#include "platform/dialogs.h"
#include "platform/error.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "support/error_number.h"
#include "support/scripted_dialogs.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTest>
#include <optional>

using platform::ErrorNumberOf;

class TstListView : public QObject {
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
        m_list->SetWidth(4215);
        stations::SetUpColumns(*m_list);
    }
    void cleanup() {
        m_list.reset();
        platform::SetDialogs(nullptr);
    }

    // What a typed line becomes: a station split like the loader splits a line (added twice: duplicates are
    // allowed), a refusal, or nothing at all for Cancel.
    void addWhatIsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("row"); // null: nothing is added
        QTest::addColumn<bool>("refused");
        const auto row = [](const char* tag, const QString& typed, const QString& shown,
                            bool refused = false) { QTest::newRow(tag) << typed << shown << refused; };
        row("a station", "中国之声|mms://live.example.com/radio1", "中国之声|mms://live.example.com/radio1");
        row("three fields", "A|B|C", "A|B");
        row("bar alone", "|", "|");
        row("starts with bar", "|u", "|u");
        row("ends with bar", "A|", "A|");
        row("spaces kept", " A | u ", " A | u ");
        row("huge address, held whole", "a|" + QString(9999, u'u'), "a|" + QString(9999, u'u'));
        row("address of 300, shown whole", "a|" + QString(300, u'v'), "a|" + QString(300, u'v'));
        row("no bar", "abc", QString(), true);
        row("spaces alone", "   ", QString(), true);
        row("full-width bar", "A｜B", QString(), true);
        row("Cancel or empty", "", QString());
    }
    void addWhatIsTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, row);
        QFETCH(bool, refused);
        QCOMPARE(add(typed), !row.isNull());
        QCOMPARE(m_dialogs.shown[0].kind, QStringLiteral("InputBox"));
        QCOMPARE(m_dialogs.shown[0].title, QStringLiteral("添加电台地址"));
        QVERIFY(m_dialogs.shown[0].text.startsWith(
            QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://")));
        QCOMPARE(m_dialogs.shown.size(), size_t(refused ? 2 : 1));
        if (row.isNull()) {
            QCOMPARE(rows(), QStringList{});
            if (refused) {
                QCOMPARE(m_dialogs.shown[1].text, QStringLiteral("格式有误！"));
                QCOMPARE(m_dialogs.shown[1].title, QStringLiteral("错误"));
                QCOMPARE(m_dialogs.shown[1].style, 16);
            }
            return;
        }
        QCOMPARE(rows(), QStringList{row});
        QVERIFY(add(typed));
        QCOMPARE(rows(), QStringList({row, row}));
        for (const int role : {Qt::DisplayRole, Qt::ToolTipRole})
            QVERIFY(m_list->model()->index(0, 1).data(role).toString().size() < 400);
        // The window shows 300 characters whole; only a longer text ends in an ellipsis.
        const QString address = row.section(u'|', 1);
        QCOMPARE(m_list->model()->index(0, 1).data().toString(),
                 address.size() <= 300 ? address : address.first(299) + QChar(0x2026));
    }

    void deleteTheSelectedEntry() {
        for (const char* typed : {"1|a", "2|b", "3|c"})
            QVERIFY(add(QString::fromLatin1(typed)));

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

    void columnUnit_data() {
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("unit");
        QTest::newRow("designed 4215") << 4215.0f << 173;
        QTest::newRow("4212") << 4212.0f << 173;
        QTest::newRow("84") << 84.0f << 1;
        QTest::newRow("60") << 60.0f << 0;
        QTest::newRow("half rounds to even, down") << 108.5f << 2;     // 48.5 -> 48 -> 2
        QTest::newRow("half rounds to even, up") << 131.5f << 3;       // 71.5 -> 72 -> 3
        QTest::newRow("negative truncates toward zero") << 0.0f << -2; // -60 / 24
    }
    void columnUnit() {
        QFETCH(float, width);
        QFETCH(int, unit);
        QCOMPARE(int(stations::ColumnUnit(width)), unit);
    }

    void columnSetUp() {
        QCOMPARE(m_list->View(), 3);
        QCOMPARE(m_list->ColumnCount(), 2);
        QCOMPARE(m_list->ColumnHeaderText(1), QStringLiteral("电台名称"));
        QCOMPARE(m_list->ColumnHeaderText(2), QStringLiteral("网络地址"));
        QCOMPARE(int(m_list->ColumnWidth(1)), 3460);
        QCOMPARE(int(m_list->ColumnWidth(2)), 5190);
        // What the header shows, at 96 DPI: 3460 twips are 230.67 pixels, rounded to 231; 5190 are 346.
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
        QCOMPARE(m_list->header()->count(), 2);
        QCOMPARE(m_list->header()->sectionSize(0), 231);
        QCOMPARE(m_list->header()->sectionSize(1), 346);

        // A unit beyond 16 bits fails before any column exists.
        stations::ListView wide;
        wide.SetWidth(1e6f);
        QCOMPARE(ErrorNumberOf([&] { stations::SetUpColumns(wide); }), int(platform::errOverflow));
        QCOMPARE(wide.ColumnCount(), 0);
        // A second width beyond 16 bits fails after column 1 exists: unit 1100 gives 22000 and 33000.
        stations::ListView wider;
        wider.SetWidth(1100 * 24 + 60);
        QCOMPARE(ErrorNumberOf([&] { stations::SetUpColumns(wider); }), int(platform::errOverflow));
        QCOMPARE(wider.ColumnCount(), 1);
        QCOMPARE(int(wider.ColumnWidth(1)), 22000);
    }

    void listOperations() {
        for (const char* n : {"1", "2", "3"})
            m_list->ListItems().Add(QString::fromLatin1(n)).SetSubItems(1, QString::fromLatin1(n) + u'x');
        m_list->ListItems().Remove(2);
        QCOMPARE(rows(), QStringList({QStringLiteral("1|1x"), QStringLiteral("3|3x")}));
        QCOMPARE(m_list->ListItems().Item(2).Index(), 2);
        QCOMPARE(ErrorNumberOf([&] { m_list->ListItems().Remove(3); }), int(platform::errInvalidCall));
        QCOMPARE(ErrorNumberOf([&] { m_list->ListItems().Item(0); }), int(platform::errInvalidCall));
        QVERIFY(!m_list->SelectedItem());
        m_list->Select(2);
        QCOMPARE(m_list->SelectedItem()->Text(), QStringLiteral("3"));
        m_list->ListItems().Clear();
        QCOMPARE(m_list->ListItems().Count(), 0);
        QCOMPARE(m_list->ColumnCount(), 2);
        QVERIFY(!m_list->SelectedItem());
    }
};

QTEST_MAIN(TstListView)
#include "tst_list_view.moc"
