// tests/app: the ways a close can go keep the user's list. The real save question cannot be escaped or closed
// without an answer, and a second close while it is open asks nothing more; a logout runs the same steps,
// holds back when it may not ask, and leaves the window whole when the program goes on running.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/recording_session_request.h"
#include "support/scripted_dialogs.h"
#include "support/window_fixture.h"
#include "tray/tray_icon.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <optional>

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

private slots:
    void init() { m_fx.emplace(); }
    void cleanup() { m_fx.reset(); }

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
