// tests/player: SetUpPlayer and the six player commands against a recording component: the order of the
// calls, the status line and the mute mark.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "player/player_component.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/scripted_dialogs.h"

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

namespace {
// Records every call in order; volume and mute behave like a component without a range of its own.
class RecordingPlayer : public player::PlayerComponent {
public:
    QStringList calls;
    QString url;
    qint32 volume = 50;
    bool mute = false;
    QString failOn; // a call by this name throws, as a failing component would

    void record(const QString& call) {
        calls << call;
        if (!failOn.isEmpty() && call.startsWith(failOn))
            throw platform::RuntimeError(platform::errObjectFailed, call);
    }
    void put_URL(const QString& u) override {
        record(QStringLiteral("URL=") + u);
        url = u;
    }
    QString get_URL() const override { return url; }
    void controls_play() override { record(QStringLiteral("play")); }
    void controls_stop() override { record(QStringLiteral("stop")); }
    qint32 get_settings_volume() const override { return volume; }
    void put_settings_volume(qint32 v) override {
        record(QStringLiteral("volume=%1").arg(v));
        volume = v;
    }
    bool get_settings_mute() const override { return mute; }
    void put_settings_mute(bool m) override {
        record(QStringLiteral("mute=%1").arg(m));
        mute = m;
    }
    QString get_uiMode() const override { return {}; }
    void put_uiMode(const QString& m) override { record(QStringLiteral("uiMode=") + m); }
    bool get_enableContextMenu() const override { return true; }
    void put_enableContextMenu(bool e) override { record(QStringLiteral("enableContextMenu=%1").arg(e)); }
};
} // namespace

class TstPlayerCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    platform::ScriptedDialogs m_dialogs;
    RecordingPlayer m_player;
    frmMain* m_form = nullptr;

    QString status() const { return m_form->l_State->text(); }
    // A user's double-click: the entry is selected first, then the view reports the double-click.
    void doubleClick(int index) {
        m_form->lst_Play->Select(index);
        emit m_form->lst_Play->doubleClicked(m_form->lst_Play->model()->index(index - 1, 0));
    }

private slots:
    void init() {
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        platform::SetProgramDirectory(m_dir.path());
        m_player = RecordingPlayer();
        m_form = new frmMain;
        m_form->SetPlayer(&m_player);
        QVERIFY(m_form->menu_OffSound->isChecked()); // created checked; set-up clears it
        QCOMPARE(status(), QString());
        m_form->Form_Load();
        auto items = m_form->lst_Play->ListItems();
        items.Add(QStringLiteral("中国之声")).SetSubItems(1, QStringLiteral("mms://live.example.com/radio1"));
        items.Add(QStringLiteral("B")).SetSubItems(1, QStringLiteral("http://b/"));
        items.Add(QStringLiteral("empty")).SetSubItems(1, QString());
    }
    void cleanup() {
        delete m_form;
        platform::SetDialogs(nullptr);
    }

    void setUp() {
        QCOMPARE(m_player.calls, QStringList({"uiMode=Mini", "enableContextMenu=0"}));
        QVERIFY(!m_form->menu_OffSound->isChecked());
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void doubleClickPutsTheAddressOnly() {
        m_player.calls.clear();
        doubleClick(1);
        QCOMPARE(m_player.calls, QStringList{"URL=mms://live.example.com/radio1"});
        QCOMPARE(status(), QStringLiteral("正在收听:中国之声"));
        // An empty address goes to the component as it is.
        doubleClick(3);
        QCOMPARE(m_player.calls.last(), QStringLiteral("URL="));
        QCOMPARE(status(), QStringLiteral("正在收听:empty"));
    }

    void playNamesTheSelectionButPlaysTheHeldAddress() {
        doubleClick(1);
        m_player.calls.clear();
        m_form->lst_Play->Select(2);
        m_form->menu_Play->trigger();
        QCOMPARE(m_player.calls, QStringList{"play"});
        QCOMPARE(m_player.url, QStringLiteral("mms://live.example.com/radio1"));
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
    }

    void playBeforeAnyDoubleClick() {
        m_player.calls.clear();
        m_form->lst_Play->Select(2);
        m_form->menu_Play->trigger();
        QCOMPARE(m_player.calls, QStringList{"play"});
        QVERIFY(m_player.url.isEmpty());
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
    }

    void noSelectionDoesNothing() {
        m_player.calls.clear();
        m_form->lst_Play->Select(0);
        m_form->lst_Play_DblClick();
        m_form->menu_Play->trigger();
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void stopAlwaysSaysStopped() {
        m_player.calls.clear();
        m_form->menu_Stop->trigger();
        QCOMPARE(m_player.calls, QStringList{"stop"});
        QCOMPARE(status(), QStringLiteral("已停止播放"));
    }

    void volumeSteps() {
        m_player.calls.clear();
        for (int i = 0; i < 11; ++i)
            m_form->menu_Up->trigger();
        QCOMPARE(m_player.calls.first(), QStringLiteral("volume=55"));
        QCOMPARE(m_player.calls.at(9), QStringLiteral("volume=100"));
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=105")); // the program sets no bound of its own

        // The component's volume is the base, however it got there.
        m_player.volume = 30;
        m_form->menu_Up->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=35"));
        m_player.volume = 0;
        m_form->menu_Down->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("volume=-5"));
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void volumeOverflowPutsNothing() {
        m_player.volume = std::numeric_limits<qint32>::max() - 2;
        m_player.calls.clear();
        m_form->menu_Up->trigger();
        QCOMPARE(m_player.calls, QStringList{});
        QCOMPARE(m_dialogs.shown.size(), size_t(1)); // the error report
        QVERIFY(m_dialogs.shown[0].text.contains(QStringLiteral("6")));
        m_player.volume = std::numeric_limits<qint32>::min() + 4;
        m_form->menu_Down->trigger();
        QCOMPARE(m_player.calls, QStringList{});
    }

    void muteFollowsTheMarkAlone() {
        m_player.calls.clear();
        m_form->menu_OffSound->trigger();
        QCOMPARE(m_player.calls, QStringList{"mute=1"});
        QVERIFY(m_form->menu_OffSound->isChecked());
        m_form->menu_OffSound->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=0"));
        QVERIFY(!m_form->menu_OffSound->isChecked());

        // Muted by other means while the mark is clear: the next command still puts True.
        m_player.mute = true;
        m_form->menu_OffSound->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=1"));
        m_form->menu_OffSound->trigger();
        QCOMPARE(m_player.calls.last(), QStringLiteral("mute=0"));
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));
    }

    void failuresStopTheCommandWhereTheyHappen() {
        m_player.failOn = QStringLiteral("mute");
        m_form->menu_OffSound->trigger();
        QVERIFY(!m_form->menu_OffSound->isChecked()); // the mark waits for the component

        m_player.failOn = QStringLiteral("URL");
        doubleClick(2);
        QCOMPARE(status(), QStringLiteral("Corvanahttps://www.ostrel.example/"));

        m_player.failOn = QStringLiteral("play");
        m_form->menu_Play->trigger();
        QCOMPARE(status(), QStringLiteral("正在收听:B"));

        m_player.failOn = QStringLiteral("stop");
        m_form->menu_Stop->trigger();
        QCOMPARE(status(), QStringLiteral("正在收听:B"));
        QCOMPARE(m_dialogs.shown.size(), size_t(4));
    }
};

QTEST_MAIN(TstPlayerCommands)
#include "tst_player_commands.moc"
