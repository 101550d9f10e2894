// tests/player: SetUpPlayer and the six player commands against a recording component: the order of the
// calls, the status line and the mute mark.
#include "platform/error.h"
#include "player/player_commands.h"
#include "support/recording_player.h"

#include <QTest>
#include <limits>
#include <utility>

using player::SelectedStation;

class TstPlayerCommands : public QObject {
    Q_OBJECT

    RecordingPlayer m_player; // its calls start after SetUpPlayer's, which m_setUp holds
    QStringList m_setUp;
    QString m_status;
    const QString m_greeting = QStringLiteral("Corvanahttps://www.ostrel.example/");
    const player::StatusLine m_line = [this](const QString& text) { m_status = text; };
    const SelectedStation m_stations[3] = {
        {QStringLiteral("中国之声"), QStringLiteral("mms://live.example.com/radio1")},
        {QStringLiteral("B"), QStringLiteral("http://b/")},
        {QStringLiteral("empty"), QString()}};

    // The error number a command failed with; 0 when it did not fail.
    template <class Command> static int failure(Command command) {
        try {
            command();
        } catch (const platform::RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

private slots:
    void init() {
        m_player = RecordingPlayer();
        m_status.clear();
        player::SetUpPlayer(m_player, m_line, m_greeting);
        m_setUp = std::exchange(m_player.calls, {});
    }

    void setUp() {
        QCOMPARE(m_setUp, QStringList({"uiMode=Mini", "enableContextMenu=0"}));
        QCOMPARE(m_status, m_greeting);
    }

    void doubleClickPutsTheAddressOnly() {
        player::PlayStation(m_player, m_stations[0], m_line);
        QCOMPARE(m_player.calls, QStringList{"URL=mms://live.example.com/radio1"});
        QCOMPARE(m_status, QStringLiteral("正在收听:中国之声"));
        // An empty address goes to the component as it is.
        player::PlayStation(m_player, m_stations[2], m_line);
        QCOMPARE(m_player.calls.last(), QStringLiteral("URL="));
        QCOMPARE(m_status, QStringLiteral("正在收听:empty"));
    }

    void playNamesTheSelectionButPlaysTheHeldAddress() {
        player::PlayStation(m_player, m_stations[0], m_line);
        m_player.calls.clear();
        player::Play(m_player, m_stations[1], m_line);
        QCOMPARE(m_player.calls, QStringList{"play"});
        QCOMPARE(m_player.url, QStringLiteral("mms://live.example.com/radio1"));
        QCOMPARE(m_status, QStringLiteral("正在收听:B"));
    }

    void playBeforeAnyDoubleClick() {
        player::Play(m_player, m_stations[1], m_line);
        QCOMPARE(m_player.calls, QStringList{"play"});
        QVERIFY(m_player.url.isEmpty());
        QCOMPARE(m_status, QStringLiteral("正在收听:B"));
    }

    void noSelectionDoesNothing() {
        player::PlayStation(m_player, std::nullopt, m_line);
        player::Play(m_player, std::nullopt, m_line);
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(m_status, m_greeting);
    }

    void stopAlwaysSaysStopped() {
        player::Stop(m_player, m_line);
        QCOMPARE(m_player.calls, QStringList{"stop"});
        QCOMPARE(m_status, QStringLiteral("已停止播放"));
    }

    void volumeSteps() {
        for (int i = 0; i < 11; ++i)
            player::VolumeUp(m_player);
        QCOMPARE(m_player.calls.first(), QStringLiteral("volume=55"));
        QCOMPARE(m_player.calls.at(9), QStringLiteral("volume=100"));
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=105")); // the program sets no bound of its own

        // The component's volume is the base, however it got there.
        m_player.volume = 30;
        player::VolumeUp(m_player);
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=35"));
        m_player.volume = 0;
        player::VolumeDown(m_player);
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=-5"));
        QCOMPARE(m_status, m_greeting);
    }

    void volumeOverflowPutsNothing() {
        m_player.volume = std::numeric_limits<qint32>::max() - 2;
        QCOMPARE(failure([&] { player::VolumeUp(m_player); }), int(platform::errOverflow));
        QCOMPARE(m_player.calls, QStringList{});
        m_player.volume = std::numeric_limits<qint32>::min() + 4;
        QCOMPARE(failure([&] { player::VolumeDown(m_player); }), int(platform::errOverflow));
        QCOMPARE(m_player.calls, QStringList{});
    }

    void muteFollowsTheMarkAlone() {
        QVERIFY(player::ToggleMute(m_player, false));
        QCOMPARE(m_player.calls, QStringList{"mute=1"});
        QVERIFY(!player::ToggleMute(m_player, true));
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=0"));

        // Muted by other means while the mark is clear: the next command still puts True.
        m_player.mute = true;
        QVERIFY(player::ToggleMute(m_player, false));
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=1"));
        QVERIFY(!player::ToggleMute(m_player, true));
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=0"));
        QCOMPARE(m_status, m_greeting);
    }

    void failuresStopTheCommandWhereTheyHappen() {
        m_player.failOn = QStringLiteral("mute");
        // No mark comes back: the mark waits for the component.
        QVERIFY(failure([&] { (void)player::ToggleMute(m_player, false); }));

        m_player.failOn = QStringLiteral("URL");
        QVERIFY(failure([&] { player::PlayStation(m_player, m_stations[1], m_line); }));
        QCOMPARE(m_status, m_greeting);

        m_player.failOn = QStringLiteral("play");
        QVERIFY(failure([&] { player::Play(m_player, m_stations[1], m_line); }));
        QCOMPARE(m_status, QStringLiteral("正在收听:B"));

        m_player.failOn = QStringLiteral("stop");
        QVERIFY(failure([&] { player::Stop(m_player, m_line); }));
        QCOMPARE(m_status, QStringLiteral("正在收听:B"));
    }
};

QTEST_MAIN(TstPlayerCommands)
#include "tst_player_commands.moc"
