// player/: the media player component WMP: the settings the program puts, and its "Mini" strip.
//
// The component plays what put_URL hands it through the listening session it is given (player/session.h),
// which its owner creates before it and destroys after it, and shows that session in its strip: play, stop and
// mute buttons, a volume slider, the state and the title. The strip only shows the session and forwards clicks;
// errors of a stream show in the strip and nowhere else.
#pragma once

#include "player/player_component.h"
#include "player/session.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>

class QSlider;
class QToolButton;

namespace player {

class Recorder;
class StateLabel;

class MediaPlayer : public QWidget, public PlayerComponent {
    Q_OBJECT
public:
    // The settings the program reads or puts; a new component starts with these. The address lives in the
    // session (Session::address).
    struct Settings {
        bool autoStart = true;
        QString uiMode = QStringLiteral("full");
        bool enableContextMenu = true;
    };

    explicit MediaPlayer(Session& session, QWidget* parent = nullptr);
    ~MediaPlayer() override;

    // PlayerComponent
    void put_URL(const QString& url) override;
    QString get_URL() const override { return m_session.address(); }
    void controls_play() override;
    void controls_stop() override;
    qint32 get_settings_volume() const override { return m_session.volume(); }
    void put_settings_volume(qint32 volume) override { m_session.setVolume(volume); }
    bool get_settings_mute() const override { return m_session.muted(); }
    void put_settings_mute(bool mute) override { m_session.setMuted(mute); }
    QString get_uiMode() const override { return m_settings.uiMode; }
    void put_uiMode(const QString& mode) override;
    bool get_enableContextMenu() const override { return m_settings.enableContextMenu; }
    void put_enableContextMenu(bool enable) override { m_settings.enableContextMenu = enable; }

    const Settings& settings() const { return m_settings; }
    bool get_settings_autoStart() const { return m_settings.autoStart; }
    void put_settings_autoStart(bool autoStart) { m_settings.autoStart = autoStart; }

    // Shows what the recorder does in the strip (the recorder outlives the strip).
    void showRecorder(Recorder& recorder);

    // The strip's context menu while it is open (for tests).
    QMenu* contextMenu() const { return m_menu; }

    QSize sizeHint() const override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildStrip();
    void updateLayoutForMode();
    void refreshStrip();
    // Shows the title's tooltip of the stream at m_titleTipAt; false when it would say nothing more than
    // the title label's own tooltip.
    bool showTitleTip();
    // Shows the stream's tooltip again with what changed, while it is on screen.
    void refreshTitleTip();
    // Runs a request from the strip itself: an error shows in the strip, never as a report.
    void fromStrip(const std::function<void()>& request);

    Settings m_settings;
    Session& m_session;

    StateLabel* m_stateLabel = nullptr;
    StateLabel* m_titleLabel = nullptr;
    QToolButton* m_playButton = nullptr;
    QToolButton* m_stopButton = nullptr;
    QToolButton* m_muteButton = nullptr;
    bool m_mutedIconShown = false; // which glyph the mute button wears, so a refresh redraws only on a change
    QSlider* m_volumeSlider = nullptr;
    StateLabel* m_recordLabel = nullptr;
    QPointer<Recorder> m_recorder; // the window's, which may go before the strip
    QPointer<QMenu> m_menu;
    QPoint m_titleTipAt; // where the title's tooltip of the stream was asked for
    // The label it was asked over: the state label, which carries the title in the "mini" strip, or the title's
    // own line of the full panel.
    QWidget* m_titleTipOver = nullptr;
    QString m_titleTip; // what it showed, to tell it from any other tooltip on screen
};

} // namespace player
