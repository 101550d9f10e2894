// tests/player/: the listening session and the player component without a stream (settings, strip, the waits
// between reconnects); no network.
#include "platform/error.h"
#include "platform/twips.h"
#include "player/media_player.h"
#include "player/retry_policy.h"
#include "player/title_history.h"
#include "support/scripted_fetcher.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <memory>

using player::MediaPlayer;

namespace {
// Unit tests never play: no sound server is needed, and none is tried.
const player::EngineOptions Silent = {{"ao", "null"}};
// An option libmpv refuses stands in for any failure to start it.
const player::EngineOptions Broken = {{"no-such-option", "1"}};
} // namespace

class TstMediaPlayer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }
    // A fresh silent session and its component for each test; the strip goes before its session.
    void init() {
        m_wmp.reset();
        m_session = std::make_unique<player::Session>(m_fetcher, Silent);
        m_wmp = std::make_unique<MediaPlayer>(*m_session);
    }

    void initialSettings() {
        const MediaPlayer::Settings& s = m_wmp->settings();
        // What the program relies on: no address, autoStart on, the full panel with its context menu until the
        // window asks for the strip.
        QCOMPARE(m_session->address(), QString());
        QCOMPARE(s.autoStart, true);
        QCOMPARE(s.uiMode, QStringLiteral("full"));
        QCOMPARE(s.enableContextMenu, true);
        // The members the program reads agree with the settings.
        player::PlayerComponent& component = *m_wmp;
        QCOMPARE(component.get_URL(), QString());
        QCOMPARE(component.get_settings_volume(), 50);
        QCOMPARE(component.get_settings_mute(), false);
        QCOMPARE(component.get_uiMode(), QStringLiteral("full"));
        QCOMPARE(component.get_enableContextMenu(), true);
        QCOMPARE(m_session->state(), player::Session::State::Idle);
        QVERIFY(!m_session->engineStarted()); // nothing on the way to the first window
    }

    void volumeIsClamped() {
        // The program's "louder" command: +5 at a time from 50 ends at 100 and stays there.
        for (int step = 0; step < 10; ++step)
            m_wmp->put_settings_volume(m_wmp->get_settings_volume() + 5);
        QCOMPARE(m_wmp->get_settings_volume(), 100);
        m_wmp->put_settings_volume(m_wmp->get_settings_volume() + 5);
        QCOMPARE(m_wmp->get_settings_volume(), 100);
        m_wmp->put_settings_volume(0);
        m_wmp->put_settings_volume(m_wmp->get_settings_volume() - 5);
        QCOMPARE(m_wmp->get_settings_volume(), 0);
        m_wmp->put_settings_volume(std::numeric_limits<qint32>::min());
        QCOMPARE(m_wmp->get_settings_volume(), 0);
        // The strip's slider shows what the component holds.
        m_wmp->put_settings_volume(35);
        QCOMPARE(m_wmp->findChild<QSlider*>(QStringLiteral("volume"))->value(), 35);

        // The engine gets the clamped value too, not what was asked.
        m_session->startEngine();
        m_wmp->put_settings_volume(250);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->engineVolume().value_or(-1), 100.0, 5000);
        m_wmp->put_settings_volume(-40);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->engineVolume().value_or(-1), 0.0, 5000);
    }

    void volumeAndMuteBeforeTheEngineApply() {
        m_wmp->put_settings_volume(30);
        m_wmp->put_settings_mute(true);
        QVERIFY(!m_session->engineStarted());
        m_session->startEngine();
        QTRY_COMPARE_WITH_TIMEOUT(m_session->engineVolume().value_or(-1), 30.0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->engineMute().value_or(false), true, 5000);
        m_wmp->put_settings_mute(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->engineMute().value_or(true), false, 5000);
    }

    void requestsWithNothingToDoChangeNothing() {
        QSignalSpy states(m_session.get(), &player::Session::stateChanged);
        m_wmp->controls_play(); // no address
        m_wmp->controls_stop(); // nothing plays
        m_wmp->put_URL(QString());
        m_wmp->put_URL(QStringLiteral("   "));
        QCOMPARE(states.count(), 0);
        QCOMPARE(m_session->state(), player::Session::State::Idle);
        QVERIFY(!m_session->engineStarted());

        // An address with autoStart off is kept, not played.
        m_wmp->put_settings_autoStart(false);
        m_wmp->put_URL(QStringLiteral("http://127.0.0.1:9/radio"));
        QCOMPARE(m_wmp->get_URL(), QStringLiteral("http://127.0.0.1:9/radio"));
        QCOMPARE(m_session->state(), player::Session::State::Idle);
        QVERIFY(!m_session->engineStarted());

        // After an error, a stop has nothing to stop: the error stays in view.
        m_wmp->put_settings_autoStart(true);
        m_wmp->put_URL(QStringLiteral("edl://x"));
        QCOMPARE(m_session->state(), player::Session::State::Error);
        m_wmp->controls_stop();
        QCOMPARE(m_session->state(), player::Session::State::Error);
    }

    void refusedAddressNeverReachesTheEngine() {
        for (const QString& url : {QStringLiteral("av://lavfi:sine"), QStringLiteral("fd://0"),
                                   QStringLiteral("lavf://http://127.0.0.1/"), QStringLiteral("nonsense")}) {
            player::Session session(m_fetcher, Silent);
            MediaPlayer wmp(session);
            QSignalSpy states(&session, &player::Session::stateChanged);
            wmp.put_URL(url);
            QCOMPARE(wmp.get_URL(), url);
            QCOMPARE(session.state(), player::Session::State::Error);
            QCOMPARE(session.stateText(), QStringLiteral("不支持的地址"));
            QCOMPARE(states.count(), 1);
            QVERIFY2(!session.engineStarted(), qPrintable(url));
            // Play again: refused again, still without the engine.
            wmp.controls_play();
            QCOMPARE(session.state(), player::Session::State::Error);
            QVERIFY(!session.engineStarted());
        }
    }

    void uiModeIgnoresCase() {
        m_wmp->resize(m_wmp->sizeHint());
        m_wmp->show();
        QWidget* title = m_wmp->findChild<QWidget*>(QStringLiteral("title"));
        QVERIFY(title);
        QVERIFY(title->isVisible()); // "full": the title on a line of its own

        for (const QString& mode : {QStringLiteral("Mini"), QStringLiteral("MINI"), QStringLiteral("mini")}) {
            m_wmp->put_uiMode(mode);
            QCOMPARE(m_wmp->get_uiMode(), mode); // kept as put
            QVERIFY2(!title->isVisible(), qPrintable(mode));
            QCOMPARE(m_wmp->sizeHint(), QSize(platform::TwipsToPixelsX(4215), platform::TwipsToPixelsY(675)));
        }
        m_wmp->put_uiMode(QStringLiteral("FULL"));
        QCOMPARE(m_wmp->get_uiMode(), QStringLiteral("FULL"));
        QVERIFY(title->isVisible());
        QVERIFY(m_wmp->sizeHint().height() > platform::TwipsToPixelsY(675));
        m_wmp->put_uiMode(QStringLiteral("None"));
        QVERIFY(!m_wmp->findChild<QWidget*>(QStringLiteral("play"))->isVisible());
    }

    void contextMenuFollowsTheSetting() {
        m_wmp->put_uiMode(QStringLiteral("Mini"));
        m_wmp->resize(m_wmp->sizeHint());
        m_wmp->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_wmp.get()));
        auto rightClick = [](QWidget* w) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(w, &event);
            return event.isAccepted();
        };

        // On: the component's own menu, also when the click lands on one of its controls.
        QVERIFY(m_wmp->get_enableContextMenu());
        QSlider* slider = m_wmp->findChild<QSlider*>(QStringLiteral("volume"));
        rightClick(slider);
        QTRY_VERIFY(m_wmp->contextMenu() && m_wmp->contextMenu()->isVisible());
        QStringList captions;
        for (QAction* a : m_wmp->contextMenu()->actions())
            if (!a->isSeparator()) captions << a->text();
        QCOMPARE(captions, (QStringList{"播放", "停止", "静音"}));
        // Its mute works like the strip's.
        QAction* mute = m_wmp->contextMenu()->actions().last();
        mute->trigger();
        QCOMPARE(m_wmp->get_settings_mute(), true);
        m_wmp->contextMenu()->close();
        QTRY_VERIFY(!m_wmp->contextMenu());

        // Off: nothing opens, and the click does not travel on to the window behind.
        m_wmp->put_enableContextMenu(false);
        QVERIFY(!m_wmp->get_enableContextMenu());
        QVERIFY(rightClick(m_wmp.get()));
        rightClick(slider);
        QTest::qWait(50);
        QVERIFY(!m_wmp->contextMenu());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QMenu*>(w) || !w->isVisible());
    }

    void stripNeverTakesTheWindowsShortcuts() {
        player::Session session(m_fetcher, Silent); // outlives the window that shows it
        QMainWindow window;
        auto* wmp = new MediaPlayer(session, &window);
        wmp->put_uiMode(QStringLiteral("Mini"));
        window.setCentralWidget(wmp);
        QMenu* menu = window.menuBar()->addMenu(QStringLiteral("列表"));
        QList<QAction*> actions;
        for (const QKeySequence& key :
             {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::Key_Delete),
              QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::CTRL | Qt::Key_S),
              QKeySequence(Qt::CTRL | Qt::Key_U), QKeySequence(Qt::CTRL | Qt::Key_O)}) {
            QAction* action = menu->addAction(key.toString());
            action->setShortcut(key);
            action->setShortcutContext(Qt::WindowShortcut);
            actions << action;
        }
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        for (QWidget* w : wmp->findChildren<QWidget*>())
            QVERIFY2(w->focusPolicy() == Qt::NoFocus, qPrintable(w->objectName()));
        QCOMPARE(wmp->focusPolicy(), Qt::NoFocus);

        // Use every control of the strip with the mouse, then the window's shortcuts must still all fire.
        for (const char* name : {"play", "stop", "mute", "volume"})
            QTest::mouseClick(wmp->findChild<QWidget*>(QLatin1String(name)), Qt::LeftButton);
        QTest::mouseClick(wmp->findChild<QWidget*>(QStringLiteral("state")), Qt::LeftButton);
        QVERIFY(!QApplication::focusWidget() || !wmp->isAncestorOf(QApplication::focusWidget()));
        for (QAction* action : actions) {
            QSignalSpy fired(action, &QAction::triggered);
            const QKeyCombination key = action->shortcut()[0];
            QTest::keyClick(&window, key.key(), key.keyboardModifiers());
            QVERIFY2(fired.count() == 1, qPrintable(action->text()));
        }
    }

    // The strip's glyphs are drawn by the program: each must show something, tell play from stop, and the mute
    // button must change its face with the mute state, also at a high pixel ratio.
    void stripButtonsDrawTheirState() {
        auto button = [&](const char* name) { return m_wmp->findChild<QToolButton*>(QLatin1String(name)); };
        auto image = [&](const char* name, qreal ratio = 1.0) {
            QToolButton* b = button(name);
            return b->icon().pixmap(b->iconSize(), ratio).toImage();
        };
        auto inked = [](const QImage& img) {
            int count = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    count += qAlpha(img.pixel(x, y)) > 128;
            return count;
        };
        const QImage play = image("play"), stop = image("stop"), volume = image("mute");
        for (const QImage& img : {play, stop, volume}) {
            QCOMPARE(img.size(), QSize(14, 14));
            // Not blank, not a filled square: a glyph covers some of its box.
            QVERIFY2(inked(img) > 14 && inked(img) < 14 * 14 - 14, qPrintable(QString::number(inked(img))));
        }
        QVERIFY(play != stop);
        QVERIFY(image("play", 2.0).size() == QSize(28, 28));
        QVERIFY(inked(image("play", 2.0)) > 3 * inked(play));

        m_wmp->put_settings_mute(true);
        QVERIFY(button("mute")->isChecked());
        const QImage muted = image("mute");
        QVERIFY(muted != volume);
        m_wmp->put_settings_mute(false);
        QCOMPARE(image("mute"), volume);

        // Stop is greyed while nothing plays, in the palette's disabled colour.
        QVERIFY(!button("stop")->isEnabled());
        const QImage greyed = button("stop")->icon().pixmap(QSize(14, 14), QIcon::Disabled).toImage();
        QVERIFY(greyed != stop);
    }

    void failingEngineThrows() {
        player::Session session(m_fetcher, Broken);
        MediaPlayer wmp(session);
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, session.startEngine());
        try {
            wmp.put_URL(QStringLiteral("http://127.0.0.1:9/radio"));
            QFAIL("put_URL started a broken engine without an error");
        } catch (const platform::RuntimeError& e) {
            QCOMPARE(e.number(), int(platform::errObjectFailed));
            QVERIFY(!e.message().isEmpty());
        }
        QVERIFY(!session.engineStarted());

        // Started from the event loop (the window does it once it is on screen), the failure shows in the strip
        // instead: no exception may leave a Qt event handler. Showing the strip starts nothing by itself.
        player::Session shownSession(m_fetcher, Broken);
        MediaPlayer shown(shownSession);
        shown.resize(shown.sizeHint());
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        QTest::qWait(20);
        QVERIFY(!shownSession.engineStarted());
        shownSession.startEngineOrFail();
        QCOMPARE(shownSession.state(), player::Session::State::Error);
        QVERIFY(shownSession.stateText().startsWith(QStringLiteral("播放器组件无法启动")));
    }

    void reconnectWaitsGrowThenStay() {
        player::RetryPolicy policy;
        QList<int> waits;
        for (int i = 0; i < 7; ++i)
            waits << policy.nextDelayMs(-1);
        QCOMPARE(waits, (QList<int>{1000, 2000, 4000, 8000, 15000, 15000, 15000}));
        // A drop after a short play is the same outage going on.
        QCOMPARE(policy.nextDelayMs(29999), 15000);
        // A stream that played a while dropped anew: quick again.
        QCOMPARE(policy.nextDelayMs(30000), 1000);
        QCOMPARE(policy.nextDelayMs(-1), 2000);
        policy.reset();
        QCOMPARE(policy.nextDelayMs(-1), 1000);
    }

    // The titles heard: each step is a station and the title it now plays ("*N": N titles in turn).
    void titleHistory_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("newest first") << QStringList{"A|one", "A|two"} << QStringList{"A|two", "A|one"};
        QTest::newRow("a reconnect sending the title again")
            << QStringList{"A|one", "A|", "A|one"} << QStringList{"A|one"};
        QTest::newRow("a station without titles") << QStringList{"A|"} << QStringList{};
        QTest::newRow("back to a station still playing its title")
            << QStringList{"A|one", "B|one", "A|one"} << QStringList{"A|one", "B|one", "A|one"};
        QTest::newRow("the oldest go first") << QStringList{"*1001"} << QStringList{"A|1001", "A|2"};
    }
    void titleHistory() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, rows);
        player::TitleHistory history;
        const QDateTime heard(QDate(2026, 3, 4), QTime(5, 6, 7));
        for (const QString& step : steps)
            if (step.startsWith(QLatin1Char('*')))
                for (int i = 1; i <= step.mid(1).toInt(); ++i)
                    history.add(heard, QStringLiteral("A"), QString::number(i));
            else
                history.add(heard, step.section(QLatin1Char('|'), 0, 0), step.section(QLatin1Char('|'), 1));
        QStringList got;
        for (const player::HeardTitle& row : history.rows())
            got << row.station + QLatin1Char('|') + row.title;
        if (steps.first().startsWith(QLatin1Char('*'))) {
            QCOMPARE(got.size(), player::TitleHistory::MaxRows);
            got = QStringList{got.first(), got.last()};
        }
        QCOMPARE(got, rows);
        // Copied as text: time, station and title tab-separated, a line each.
        if (!rows.isEmpty())
            QCOMPARE(player::TitleHistory::Text(history.rows().mid(0, 1)),
                     QStringLiteral("2026-03-04 05:06:07\t") +
                         rows.first().replace(QLatin1Char('|'), QLatin1Char('\t')) + QLatin1Char('\n'));
    }

private:
    support::ScriptedFetcher m_fetcher; // nothing here reads a playlist
    std::unique_ptr<player::Session> m_session;
    std::unique_ptr<MediaPlayer> m_wmp;
};

QTEST_MAIN(TstMediaPlayer)
#include "tst_media_player.moc"
