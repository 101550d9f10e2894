// tests/app: the Load handler's steps and the QueryUnload handler's save question, on a real frmMain with
// scripted dialogs and a real list file in a temporary folder.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "player/media_player.h"
#include "stations/list_view.h"
#include "support/error_number.h"
#include "support/faulty_file_system.h"
#include "support/window_fixture.h"
#include "tray/tray_icon.h"

#include <QAction>
#include <QFile>
#include <QTest>
#include <optional>

class TstStartupShutdown : public QObject {
    Q_OBJECT

    std::optional<WindowFixture> m_fx;

    frmMain* form() const { return m_fx->form(); }
    platform::ScriptedDialogs& dialogs() { return m_fx->dialogs(); }

private slots:
    void init() {
        m_fx.emplace();
        mod_Function::RestoreWindowState = 7;
    }
    void cleanup() {
        m_fx->destroy();
        platform::SetFileSystem(nullptr);
        QFile::setPermissions(m_fx->listPath(), QFile::ReadOwner | QFile::WriteOwner);
        m_fx.reset();
    }

    void startWithoutAFileOrWithAnEmptyOne_data() {
        QTest::addColumn<bool>("emptyFile");
        QTest::newRow("no file") << false;
        QTest::newRow("length 0") << true;
    }
    void startWithoutAFileOrWithAnEmptyOne() {
        QFETCH(bool, emptyFile);
        if (emptyFile) QVERIFY(m_fx->writeList(QByteArray()));
        QVERIFY(m_fx->start());
        QCOMPARE(form()->lst_Play->ColumnCount(), 2);
        QCOMPARE(form()->lst_Play->ListItems().Count(), 0);
        QCOMPARE(form()->ListFilePath, m_fx->listPath());
        QCOMPARE(form()->WMP->get_uiMode(), QStringLiteral("Mini"));
        QVERIFY(!form()->WMP->get_enableContextMenu());
        QCOMPARE(mod_Function::RestoreWindowState, qint16(0));
        QCOMPARE(form()->ListModified, false);
        // Closing at once asks nothing and writes nothing.
        QVERIFY(form()->close());
        QVERIFY(dialogs().shown.empty());
        QCOMPARE(m_fx->listBytes(), emptyFile ? QByteArray() : QByteArray("<missing>"));
    }

    // A line that gives no station is told of once, and the window's save writes it back.
    void startLoadsTheFileInOrder() {
        QVERIFY(m_fx->writeList("A|u1\r\n\xB5\xE7\xCC\xA8|u2\nstray\r\n"));
        QVERIFY(m_fx->start());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 2);
        QCOMPARE(form()->lst_Play->ListItems().Item(2).Text(), QStringLiteral("电台"));
        QCOMPARE(form()->ListModified, false);
        QCOMPARE(form()->l_State->text(), QStringLiteral("列表有1行无法读取,保存时原样保留"));
        form()->menu_SaveList->trigger();
        QCOMPARE(m_fx->listBytes(), QByteArray("A|u1\r\n\xB5\xE7\xCC\xA8|u2\r\nstray\r\n"));
    }

    void unreadableFileEndsStartUp() {
        QVERIFY(m_fx->writeList("A|u1\r\n"));
        platform::FaultyFileSystem faulty;
        faulty.failRead = EACCES;
        platform::SetFileSystem(&faulty);
        m_fx->create();
        QCOMPARE(platform::ErrorNumberOf([&] { form()->Form_Load(); }), int(platform::errPermissionDenied));
        // The player's set-up never ran: start-up stopped where the read failed.
        QCOMPARE(form()->WMP->get_uiMode(), QStringLiteral("full"));
        QCOMPARE(m_fx->listBytes(), QByteArray("A|u1\r\n"));
    }

    void closeAfterAnEditAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("No leaves the file byte-identical")
            << int(platform::vbNo) << QByteArray("A|u1\r\nB|u2\r\n");
        QTest::newRow("Yes rewrites it") << int(platform::vbYes) << QByteArray("A|u1\r\nB|u2\r\nC|u3\r\n");
    }
    void closeAfterAnEditAsks() {
        QFETCH(int, answer);
        QFETCH(QByteArray, after);
        QVERIFY(m_fx->writeList("A|u1\r\nB|u2\r\n"));
        QVERIFY(m_fx->start());
        dialogs().inputAnswers.push_back(QStringLiteral("C|u3"));
        form()->menu_NetUrl->trigger();
        dialogs().msgBoxAnswers.push_back(answer);
        // The icon is gone before the question: no tray click may reach a window that is closing.
        std::optional<bool> iconAtQuestion;
        dialogs().atMsgBox = [&] { iconAtQuestion = form()->TrayIcon()->icon() != nullptr; };
        QVERIFY(form()->TrayIcon()->icon());
        QVERIFY(form()->close());
        QCOMPARE(iconAtQuestion, std::optional<bool>(false));
        QVERIFY(!dialogs().shown.empty());
        QCOMPARE(dialogs().shown.back().text, QStringLiteral("列表已被修改,是否要保存列表?"));
        QCOMPARE(dialogs().shown.back().title, QStringLiteral("保存"));
        QCOMPARE(dialogs().shown.back().style, 68);
        QCOMPARE(m_fx->listBytes(), after);
    }

    void closeAfterASaveAsksNothing() {
        QVERIFY(m_fx->start());
        dialogs().inputAnswers.push_back(QStringLiteral("C|u3"));
        form()->menu_NetUrl->trigger();
        form()->menu_SaveList->trigger();
        QCOMPARE(m_fx->listBytes(), QByteArray("C|u3\r\n"));
        const size_t shown = dialogs().shown.size();
        QVERIFY(form()->close());
        QCOMPARE(dialogs().shown.size(), shown);
    }

    void clearingAnEmptyListThenSavingStillAsks() {
        QVERIFY(m_fx->start());
        form()->menu_CleanList->trigger();
        form()->menu_SaveList->trigger(); // writes no line, so the list still counts as modified
        dialogs().msgBoxAnswers.push_back(platform::vbNo);
        QVERIFY(form()->close());
        QVERIFY(!dialogs().shown.empty());
        QCOMPARE(dialogs().shown.back().title, QStringLiteral("保存"));
    }

    void failedSaveAtShutdownKeepsTheWindow() {
        QVERIFY(m_fx->writeList("A|u1\r\n"));
        QVERIFY(
            QFile::setPermissions(m_fx->listPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(m_fx->start());
        form()->menu_CleanList->trigger();
        dialogs().msgBoxAnswers.push_back(platform::vbYes);
        QVERIFY(!form()->close());
        QVERIFY(form()->isVisible());
        // The tray icon, removed before the question, is back with its tip (the last call was the tip
        // change).
        QVERIFY(form()->TrayIcon()->icon());
        QCOMPARE(form()->TrayIcon()->TrayIconData.uFlags, 4);
        QCOMPARE(form()->TrayIcon()->icon()->toolTip(), QStringLiteral("Corvana"));
        QCOMPARE(m_fx->listBytes(), QByteArray("A|u1\r\n"));
        QCOMPARE(form()->ListModified, true);
        // The error report came after the question, and says why.
        QVERIFY(!dialogs().shown.empty());
        QCOMPARE(dialogs().shown.back().style, 16);
        QVERIFY(dialogs().shown.back().text.contains(QStringLiteral("70")));

        // Once the file can be written, the same close goes through and saves.
        QVERIFY(QFile::setPermissions(m_fx->listPath(), QFile::ReadOwner | QFile::WriteOwner));
        dialogs().msgBoxAnswers.push_back(platform::vbYes);
        QVERIFY(form()->close());
        QVERIFY(!QFile::exists(m_fx->listPath())); // the cleared list is stored as no file
    }

    void exitClosesThroughTheSamePath() {
        QVERIFY(m_fx->start());
        form()->menu_CleanList->trigger();
        dialogs().msgBoxAnswers.push_back(platform::vbNo);
        form()->menu_Exit->trigger();
        QVERIFY(!form()->isVisible());
        QVERIFY(!dialogs().shown.empty());
        QCOMPARE(dialogs().shown.back().title, QStringLiteral("保存"));
    }
};

QTEST_MAIN(TstStartupShutdown)
#include "tst_startup_shutdown.moc"
