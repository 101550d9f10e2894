// tests/app: start-up and shutdown on a real frmMain with scripted dialogs and a real list file in a temporary
// folder, and the ways a close can go keep the user's list: the real save question cannot be escaped or closed
// without an answer, and a second close while it is open asks nothing more; a logout runs the same steps, holds
// back when it may not ask, and leaves the window whole when the program goes on; a save that cannot finish (full
// disk, read-only file or folder, no home) keeps the old file and the list in the window; a program folder that is
// not writable moves the list to the user's data folder.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "player/media_player.h"
#include "stations/list_view.h"
#include "support/error_number.h"
#include "support/faulty_file_system.h"
#include "support/recording_session_request.h"
#include "support/scripted_dialogs.h"
#include "support/window_fixture.h"
#include "tray/tray_icon.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace {
// Root may write anything: the permission cases run again as nobody, in tst_saving_from_the_window_unprivileged.
constexpr char RootWritesAnything[] =
    "root writes anything; this case runs as an unprivileged user (tst_saving_from_the_window_unprivileged)";

constexpr QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ExeOwner;
constexpr QFile::Permissions ReadOnlyFile = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions Writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Gives the folder its write permission back however the case ends, so that it can be removed.
auto KeepWritable(const QString& dir) {
    return qScopeGuard([dir] { QFile::setPermissions(dir, Writable); });
}
} // namespace

class TstKeepingTheList : public QObject {
    Q_OBJECT

    std::optional<WindowFixture> m_fx;
    const QByteArray m_before = "A|u1\r\nB|u2\r\n";

    frmMain* form() const { return m_fx->form(); }
    // A window on the two-station list, its first station deleted: the list is modified.
    void startAndEdit() {
        QVERIFY(m_fx->writeList(m_before));
        QVERIFY(m_fx->start());
        form()->lst_Play->Select(1);
        form()->menu_Del->trigger();
        QCOMPARE(form()->ListModified, true);
    }
    bool trayIconShown() const { return form()->TrayIcon()->icon() != nullptr; }
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
        QCOMPARE(platform::ErrorNumberOf([&] { m_fx->load(); }), int(platform::errPermissionDenied));
        // The player's set-up never ran: start-up stopped where the read failed.
        QCOMPARE(form()->WMP->get_uiMode(), QStringLiteral("full"));
        QCOMPARE(m_fx->listBytes(), QByteArray("A|u1\r\n"));
    }

    void closeAfterAnEditAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("No leaves the file byte-identical") << int(platform::vbNo) << m_before;
        QTest::newRow("Yes rewrites it") << int(platform::vbYes) << QByteArray("A|u1\r\nB|u2\r\nC|u3\r\n");
    }
    void closeAfterAnEditAsks() {
        QFETCH(int, answer);
        QFETCH(QByteArray, after);
        QVERIFY(m_fx->writeList(m_before));
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
        QVERIFY(QFile::setPermissions(m_fx->listPath(), ReadOnlyFile));
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

    // On the real QMessageBox, opened by a close or by a logout: Esc, a close of the widget and a close of
    // its window (what Alt+F4 and the title bar's x send) leave the question open and the file as it was; so
    // do a second close of the main window (a second termination signal) and a logout while it is open. Only
    // the answer goes on, or the program told to quit (every event loop ends, the question's too): that
    // keeps the list, as Yes would.
    void saveQuestionWaitsForItsAnswer_data() {
        QTest::addColumn<bool>("byLogout");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("quit"); // instead of an answer
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("close, Yes writes the list") << false << true << false << QByteArray("B|u2\r\n");
        QTest::newRow("close, No leaves the file") << false << false << false << m_before;
        QTest::newRow("logout, Yes writes the list") << true << true << false << QByteArray("B|u2\r\n");
        QTest::newRow("logout, No leaves the file") << true << false << false << m_before;
        QTest::newRow("close, a quit writes the list") << false << false << true << QByteArray("B|u2\r\n");
        QTest::newRow("logout, a quit writes the list") << true << false << true << QByteArray("B|u2\r\n");
    }
    void saveQuestionWaitsForItsAnswer() {
        QFETCH(bool, byLogout);
        QFETCH(bool, yes);
        QFETCH(bool, quit);
        QFETCH(QByteArray, after);
        startAndEdit();
        platform::SetDialogs(nullptr);

        struct Seen {
            bool openAfterEsc = false, openAfterClose = false, openAfterWindowClose = false;
            bool fileUnchanged = false, secondCloseDone = false, windowOpenAfterSecondClose = false;
            int questions = 0;
            RecordingSessionEndRequest secondLogout{true};
        } seen;
        int phase = 0;
        const auto answer = [](QMessageBox* box, const QString& text) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == text) button->click();
        };
        QTimer poll;
        int ticks = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (++ticks > 500) poll.stop(); // 10 s: the test fails below rather than hangs
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (!box->property("seen").toBool()) {
                box->setProperty("seen", true);
                ++seen.questions;
                if (phase != 0) { // a second question: out of the way, and counted
                    answer(box, QStringLiteral("否(&N)"));
                    return;
                }
                QCOMPARE(box->windowTitle(), QStringLiteral("保存"));
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
                QTest::keyClick(box, Qt::Key_Escape);
                seen.openAfterEsc = box->isVisible();
                box->close();
                seen.openAfterClose = box->isVisible();
                if (box->windowHandle()) box->windowHandle()->close();
                seen.openAfterWindowClose = box->isVisible();
                seen.fileUnchanged = m_fx->listBytes() == m_before;
                // From the event loop the question runs, as a second signal or a logout would come.
                QTimer::singleShot(0, form(), [&] {
                    form()->close();
                    form()->SessionEnding(seen.secondLogout);
                    seen.windowOpenAfterSecondClose = form()->isVisible();
                    seen.secondCloseDone = true;
                });
                phase = 1;
                return;
            }
            if (phase == 1 && seen.secondCloseDone) {
                phase = 2;
                poll.stop();
                if (quit)
                    QCoreApplication::exit(0);
                else
                    answer(box, yes ? QStringLiteral("是(&Y)") : QStringLiteral("否(&N)"));
            }
        });
        poll.start(20);
        RecordingSessionEndRequest logout(true);
        const bool closed = byLogout ? (form()->SessionEnding(logout), false) : form()->close();
        poll.stop();
        if (quit) {
            // The quit holds for every event loop after it until the application's own loop has run: one
            // that ends at once takes it back for the cases after this one.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        }

        QVERIFY(seen.openAfterEsc);
        QVERIFY(seen.openAfterClose);
        QVERIFY(seen.openAfterWindowClose);
        QVERIFY(seen.fileUnchanged);
        QVERIFY(seen.secondCloseDone);
        QVERIFY(seen.windowOpenAfterSecondClose);
        QCOMPARE(seen.secondLogout.cancelled, 1); // a logout waits for the open question
        QCOMPARE(seen.questions, 1);
        QCOMPARE(m_fx->listBytes(), after);
        if (byLogout) {
            QCOMPARE(logout.released, 1);
            QCOMPARE(logout.cancelled, 0);
            QVERIFY(form()->isVisible());
        } else {
            QVERIFY(closed);
            QVERIFY(!form()->isVisible());
        }
    }

    // A logout that may not ask is held back while the list is unsaved; with nothing unsaved it goes on.
    void logoutWithoutQuestionsHoldsAnUnsavedList_data() {
        QTest::addColumn<bool>("modified");
        QTest::newRow("unsaved list") << true;
        QTest::newRow("nothing unsaved") << false;
    }
    void logoutWithoutQuestionsHoldsAnUnsavedList() {
        QFETCH(bool, modified);
        startAndEdit();
        if (!modified) form()->ListModified = false;
        RecordingSessionEndRequest logout(false);
        form()->SessionEnding(logout);
        QCOMPARE(logout.cancelled, modified ? 1 : 0);
        QVERIFY(m_fx->dialogs().shown.empty());
        QVERIFY(trayIconShown());
        QCOMPARE(m_fx->listBytes(), m_before);
    }

    // A logout that may ask runs the shutdown steps. If the program goes on running (another program
    // cancelled the logout), it is whole again: the tray icon is back, and the next close asks again.
    void logoutThatIsCancelledElsewhereLeavesTheWindowWhole_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("Yes") << int(platform::vbYes) << QByteArray("B|u2\r\n");
        QTest::newRow("No") << int(platform::vbNo) << m_before;
    }
    void logoutThatIsCancelledElsewhereLeavesTheWindowWhole() {
        QFETCH(int, answer);
        QFETCH(QByteArray, saved);
        startAndEdit();
        RecordingSessionEndRequest logout(true);
        m_fx->dialogs().msgBoxAnswers.push_back(answer);
        form()->SessionEnding(logout);
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1));
        QCOMPARE(m_fx->dialogs().shown[0].title, QStringLiteral("保存"));
        QCOMPARE(logout.released, 1);
        QCOMPARE(logout.cancelled, 0);
        QCOMPARE(m_fx->listBytes(), saved);
        QVERIFY(trayIconShown());

        // The user goes on: one more edit, then the window's close asks about it.
        form()->lst_Play->Select(1);
        form()->menu_Del->trigger();
        m_fx->dialogs().msgBoxAnswers.push_back(platform::vbYes);
        QVERIFY(form()->close());
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(2));
        QCOMPARE(m_fx->dialogs().shown[1].title, QStringLiteral("保存"));
        QVERIFY(!trayIconShown());
        QVERIFY(!QFile::exists(m_fx->listPath())); // the list is empty now: stored as no file
    }

    // A save from the window that cannot finish reports why, once, and keeps the list in the window, modified,
    // and the file as it was, with no temporary file left beside it.
    void saveFromTheWindowFails_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("error");
        QTest::newRow("full disk") << "full disk" << int(platform::errDiskFull);
        QTest::newRow("read-only list file") << "read-only file" << int(platform::errPermissionDenied);
        // The folder loses its write permission while the program runs: the save fails clearly.
        QTest::newRow("folder without write permission")
            << "read-only folder" << int(platform::errPermissionDenied);
        // With HOME unset there is no data folder to move to: the save beside the program fails with a report
        // that says why, instead of trying a folder under "/" and reporting a missing file.
        QTest::newRow("no home and a read-only program folder")
            << "no home" << int(platform::errPermissionDenied);
    }
    void saveFromTheWindowFails() {
        QFETCH(QString, fault);
        QFETCH(int, error);
        const bool fullDisk = fault == QStringLiteral("full disk");
        if (fullDisk != (::geteuid() == 0))
            QSKIP(fullDisk ? "mounting a small tmpfs needs root" : RootWritesAnything);
        const QByteArray where = QFile::encodeName(m_fx->folder());
        if (fullDisk && ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mount refused here; the scripted file layer covers a full disk in tst_list_file");
        const auto unmount = qScopeGuard([&] {
            if (fullDisk) ::umount2(where.constData(), MNT_DETACH);
        });
        const QByteArray home = qgetenv("HOME");
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        const auto restore = qScopeGuard([&] {
            if (!home.isNull()) qputenv("HOME", home);
            if (!dataHome.isNull()) qputenv("XDG_DATA_HOME", dataHome);
        });
        const auto writable = KeepWritable(m_fx->folder());

        const QByteArray before =
            fullDisk ? "A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n" : "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(before));
        if (fullDisk) {
            QFile fill(QDir(m_fx->folder()).filePath(QStringLiteral("fill")));
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        }
        if (fault == QStringLiteral("read-only file"))
            QVERIFY(QFile::setPermissions(m_fx->listPath(), ReadOnlyFile));
        if (fault == QStringLiteral("no home")) {
            qunsetenv("HOME");
            qunsetenv("XDG_DATA_HOME");
            QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        }

        QVERIFY(m_fx->load());
        const QString listFilePath = form()->ListFilePath; // where the window means to save
        const int loaded = form()->lst_Play->ListItems().Count();
        dialogs().inputAnswers.push_back(QStringLiteral("新电台|http://127.0.0.1/new"));
        form()->menu_NetUrl->trigger();
        if (fault == QStringLiteral("read-only folder"))
            QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        form()->menu_SaveList->trigger();

        QCOMPARE(dialogs().shown.size(), size_t(2)); // the input box, then the error report
        QCOMPARE(dialogs().shown[1].style, 16);
        const QString report = dialogs().shown[1].text;
        QVERIFY2(report.contains(QString::number(error)), qPrintable(report));
        QCOMPARE(form()->lst_Play->ListItems().Count(), loaded + 1);
        QCOMPARE(form()->ListModified, true);
        QCOMPARE(m_fx->listBytes(), before);
        const QStringList left =
            QDir(m_fx->folder())
                .entryList({platform::SaveTemporaryPrefix(QStringLiteral("CvLst.lst")) + u'*'},
                           QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
        if (fault == QStringLiteral("read-only folder"))
            QVERIFY(QFile::setPermissions(m_fx->folder(), Writable));
        if (fault == QStringLiteral("no home")) {
            QVERIFY2(report.contains(QStringLiteral("HOME")), qPrintable(report));
            QVERIFY2(report.contains(QDir::toNativeSeparators(m_fx->folder())), qPrintable(report));
            QCOMPARE(listFilePath, m_fx->listPath());
        }
        m_fx->destroy(); // before the unmount: nothing of the window may still hold the disk
    }

    // A program folder that is not writable from the start (an install under /usr): the list moves to the
    // user's data folder, which the first save creates; the next start reads it from there. An emptied list stays
    // empty across a restart: the save keeps an empty file in the data folder, where no file would make the next
    // start read the old list beside the program again.
    void readOnlyProgramFolderUsesTheDataFolder_data() {
        QTest::addColumn<QString>("typed"); // empty: the list is cleared instead
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<int>("reloaded");
        QTest::newRow("a station added")
            << "B|http://127.0.0.1/b" << QByteArray("A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n") << 2;
        QTest::newRow("the list emptied") << "" << QByteArray() << 0;
    }
    void readOnlyProgramFolderUsesTheDataFolder() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, saved);
        QFETCH(int, reloaded);
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QStandardPaths::setTestModeEnabled(true);
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(dataDir).removeRecursively();
        const auto removeData = qScopeGuard([dataDir] { QDir(dataDir).removeRecursively(); });
        const QByteArray beside = "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(beside));
        const auto writable = KeepWritable(m_fx->folder());
        QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 1); // read from beside the program
        dialogs().inputAnswers.push_back(typed);            // unasked when the list is cleared
        (typed.isEmpty() ? form()->menu_CleanList : form()->menu_NetUrl)->trigger();
        form()->menu_SaveList->trigger();
        QCOMPARE(m_fx->dialogs().shown.size(),
                 size_t(typed.isEmpty() ? 0 : 1));                 // the input box alone: no error
        if (typed.isEmpty()) QCOMPARE(form()->ListModified, true); // no line written
        m_fx->destroy();
        QCOMPARE(ReadBytes(QDir(dataDir).filePath(QStringLiteral("CvLst.lst"))), saved);
        QCOMPARE(m_fx->listBytes(), beside);
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), reloaded);
    }

    // A logout that goes on ends the program with the session manager's quit: the user answered already, and
    // the quit closes the window without asking again. Last here: the quit leaves no event loop to run.
    void logoutThatGoesOnAsksOnce() {
        startAndEdit();
        RecordingSessionEndRequest logout(true);
        m_fx->dialogs().msgBoxAnswers.push_back(platform::vbNo);
        form()->SessionEnding(logout);
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1));
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
        QVERIFY(!form()->isVisible());
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1));
        QCOMPARE(m_fx->listBytes(), m_before);
    }
};

QTEST_MAIN(TstKeepingTheList)
#include "tst_keeping_the_list.moc"
