// tests/player/: the listening session and the player component without a stream (settings, strip, the waits
// between reconnects); no network.
#include "platform/error.h"
#include "platform/twips.h"
#include "player/media_player.h"
#include "player/retry_policy.h"

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

    void initialSettings();
    void volumeIsClamped();
    void volumeAndMuteBeforeTheEngineApply();
    void requestsWithNothingToDoChangeNothing();
    void refusedAddressNeverReachesTheEngine();
    void uiModeIgnoresCase();
    void contextMenuFollowsTheSetting();
    void stripNeverTakesTheWindowsShortcuts();
    void stripButtonsDrawTheirState();
    void failingEngineThrows();
    void reconnectWaitsGrowThenStay();
};

void TstMediaPlayer::initialSettings() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    const MediaPlayer::Settings& s = wmp.settings();
    // What the program relies on: no address, autoStart on, the full panel with its context menu until the
    // window asks for the strip.
    QCOMPARE(session.address(), QString());
    QCOMPARE(s.autoStart, true);
    QCOMPARE(s.uiMode, QStringLiteral("full"));
    QCOMPARE(s.enableContextMenu, true);
    // The members the program reads agree with the settings.
    player::PlayerComponent& component = wmp;
    QCOMPARE(component.get_URL(), QString());
    QCOMPARE(component.get_settings_volume(), 50);
    QCOMPARE(component.get_settings_mute(), false);
    QCOMPARE(component.get_uiMode(), QStringLiteral("full"));
    QCOMPARE(component.get_enableContextMenu(), true);
    QCOMPARE(session.state(), player::Session::State::Idle);
    QVERIFY(!session.engineStarted()); // nothing on the way to the first window
}

void TstMediaPlayer::volumeIsClamped() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    // The program's "louder" command: +5 at a time from 50 ends at 100 and stays there.
    for (int step = 0; step < 10; ++step)
        wmp.put_settings_volume(wmp.get_settings_volume() + 5);
    QCOMPARE(wmp.get_settings_volume(), 100);
    wmp.put_settings_volume(wmp.get_settings_volume() + 5);
    QCOMPARE(wmp.get_settings_volume(), 100);
    wmp.put_settings_volume(0);
    wmp.put_settings_volume(wmp.get_settings_volume() - 5);
    QCOMPARE(wmp.get_settings_volume(), 0);
    wmp.put_settings_volume(std::numeric_limits<qint32>::min());
    QCOMPARE(wmp.get_settings_volume(), 0);
    // The strip's slider shows what the component holds.
    wmp.put_settings_volume(35);
    QCOMPARE(wmp.findChild<QSlider*>(QStringLiteral("volume"))->value(), 35);

    // The engine gets the clamped value too, not what was asked.
    session.startEngine();
    wmp.put_settings_volume(250);
    QTRY_COMPARE_WITH_TIMEOUT(session.engineVolume().value_or(-1), 100.0, 5000);
    wmp.put_settings_volume(-40);
    QTRY_COMPARE_WITH_TIMEOUT(session.engineVolume().value_or(-1), 0.0, 5000);
}

void TstMediaPlayer::volumeAndMuteBeforeTheEngineApply() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    wmp.put_settings_volume(30);
    wmp.put_settings_mute(true);
    QVERIFY(!session.engineStarted());
    session.startEngine();
    QTRY_COMPARE_WITH_TIMEOUT(session.engineVolume().value_or(-1), 30.0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(session.engineMute().value_or(false), true, 5000);
    wmp.put_settings_mute(false);
    QTRY_COMPARE_WITH_TIMEOUT(session.engineMute().value_or(true), false, 5000);
}


void TstMediaPlayer::requestsWithNothingToDoChangeNothing() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    QSignalSpy states(&session, &player::Session::stateChanged);
    wmp.controls_play(); // no address
    wmp.controls_stop(); // nothing plays
    wmp.put_URL(QString());
    wmp.put_URL(QStringLiteral("   "));
    QCOMPARE(states.count(), 0);
    QCOMPARE(session.state(), player::Session::State::Idle);
    QVERIFY(!session.engineStarted());

    // An address with autoStart off is kept, not played.
    wmp.put_settings_autoStart(false);
    wmp.put_URL(QStringLiteral("http://127.0.0.1:9/radio"));
    QCOMPARE(wmp.get_URL(), QStringLiteral("http://127.0.0.1:9/radio"));
    QCOMPARE(session.state(), player::Session::State::Idle);
    QVERIFY(!session.engineStarted());

    // After an error, a stop has nothing to stop: the error stays in view.
    wmp.put_settings_autoStart(true);
    wmp.put_URL(QStringLiteral("edl://x"));
    QCOMPARE(session.state(), player::Session::State::Error);
    wmp.controls_stop();
    QCOMPARE(session.state(), player::Session::State::Error);
}

void TstMediaPlayer::refusedAddressNeverReachesTheEngine() {
    for (const QString& url : {QStringLiteral("av://lavfi:sine"), QStringLiteral("fd://0"),
                               QStringLiteral("lavf://http://127.0.0.1/"), QStringLiteral("nonsense")}) {
        player::Session session(Silent);
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

void TstMediaPlayer::uiModeIgnoresCase() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    wmp.resize(wmp.sizeHint());
    wmp.show();
    QWidget* title = wmp.findChild<QWidget*>(QStringLiteral("title"));
    QVERIFY(title);
    QVERIFY(title->isVisible()); // "full": the title on a line of its own

    for (const QString& mode : {QStringLiteral("Mini"), QStringLiteral("MINI"), QStringLiteral("mini")}) {
        wmp.put_uiMode(mode);
        QCOMPARE(wmp.get_uiMode(), mode); // kept as put
        QVERIFY2(!title->isVisible(), qPrintable(mode));
        QCOMPARE(wmp.sizeHint(), QSize(platform::TwipsToPixelsX(4215), platform::TwipsToPixelsY(675)));
    }
    wmp.put_uiMode(QStringLiteral("FULL"));
    QCOMPARE(wmp.get_uiMode(), QStringLiteral("FULL"));
    QVERIFY(title->isVisible());
    QVERIFY(wmp.sizeHint().height() > platform::TwipsToPixelsY(675));
    wmp.put_uiMode(QStringLiteral("None"));
    QVERIFY(!wmp.findChild<QWidget*>(QStringLiteral("play"))->isVisible());
}

void TstMediaPlayer::contextMenuFollowsTheSetting() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    wmp.put_uiMode(QStringLiteral("Mini"));
    wmp.resize(wmp.sizeHint());
    wmp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wmp));
    auto rightClick = [](QWidget* w) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w, &event);
        return event.isAccepted();
    };

    // On: the component's own menu, also when the click lands on one of its controls.
    QVERIFY(wmp.get_enableContextMenu());
    QSlider* slider = wmp.findChild<QSlider*>(QStringLiteral("volume"));
    rightClick(slider);
    QTRY_VERIFY(wmp.contextMenu() && wmp.contextMenu()->isVisible());
    QStringList captions;
    for (QAction* a : wmp.contextMenu()->actions())
        if (!a->isSeparator()) captions << a->text();
    QCOMPARE(captions, (QStringList{"播放", "停止", "静音"}));
    // Its mute works like the strip's.
    QAction* mute = wmp.contextMenu()->actions().last();
    mute->trigger();
    QCOMPARE(wmp.get_settings_mute(), true);
    wmp.contextMenu()->close();
    QTRY_VERIFY(!wmp.contextMenu());

    // Off: nothing opens, and the click does not travel on to the window behind.
    wmp.put_enableContextMenu(false);
    QVERIFY(!wmp.get_enableContextMenu());
    QVERIFY(rightClick(&wmp));
    rightClick(slider);
    QTest::qWait(50);
    QVERIFY(!wmp.contextMenu());
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QMenu*>(w) || !w->isVisible());
}

void TstMediaPlayer::stripNeverTakesTheWindowsShortcuts() {
    player::Session session(Silent); // outlives the window that shows it
    QMainWindow window;
    auto* wmp = new MediaPlayer(session, &window);
    wmp->put_uiMode(QStringLiteral("Mini"));
    window.setCentralWidget(wmp);
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("列表"));
    QList<QAction*> actions;
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::Key_Delete),
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
void TstMediaPlayer::stripButtonsDrawTheirState() {
    player::Session session(Silent);
    MediaPlayer wmp(session);
    auto button = [&](const char* name) { return wmp.findChild<QToolButton*>(QLatin1String(name)); };
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

    wmp.put_settings_mute(true);
    QVERIFY(button("mute")->isChecked());
    const QImage muted = image("mute");
    QVERIFY(muted != volume);
    wmp.put_settings_mute(false);
    QCOMPARE(image("mute"), volume);

    // Stop is greyed while nothing plays, in the palette's disabled colour.
    QVERIFY(!button("stop")->isEnabled());
    const QImage greyed = button("stop")->icon().pixmap(QSize(14, 14), QIcon::Disabled).toImage();
    QVERIFY(greyed != stop);
}

void TstMediaPlayer::failingEngineThrows() {
    player::Session session(Broken);
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
    player::Session shownSession(Broken);
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

void TstMediaPlayer::reconnectWaitsGrowThenStay() {
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

QTEST_MAIN(TstMediaPlayer)
#include "tst_media_player.moc"
