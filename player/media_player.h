// player/: the media player component WMP, its "Mini" strip and its engine; touches only its own widgets.
//
// The component keeps the settings a Windows Media Player control starts with, plays what put_URL hands it
// (addresses it does not accept never reach the engine), reconnects a stream that dropped while the user
// still listens, and shows all of that in its own strip. Errors of a stream are shown in the strip and
// nowhere else; only a failing engine (it could not start) throws.
#pragma once

#include "player/address.h"
#include "player/mpv_engine.h"
#include "player/player_component.h"

#include <QElapsedTimer>
#include <QMap>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QSlider;
class QToolButton;

namespace player {

class PlaylistFetch;
class StateLabel;

class MediaPlayer : public QWidget, public PlayerComponent {
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Buffering, Playing, Reconnecting, Stopped, Error };
    Q_ENUM(State)

    // The settings a new component starts with (sizes in 0.01 mm, as the control reports them).
    struct Settings {
        QString URL;
        double rate = 1.0;
        qint32 balance = 0;
        double currentPosition = 0.0;
        QString defaultFrame;
        qint32 playCount = 1;
        bool autoStart = true;
        qint32 currentMarker = 0;
        bool invokeURLs = true;
        QString baseURL;
        qint32 volume = 50;
        bool mute = false;
        QString uiMode = QStringLiteral("full");
        bool stretchToFit = false;
        bool windowlessVideo = false;
        bool enabled = true;
        bool enableContextMenu = true;
        bool fullScreen = false;
        QString SAMIStyle;
        QString SAMILang;
        QString SAMIFilename;
        QString captioningID;
        bool enableErrorDialogs = false;
        qint32 _cx = 7435;
        qint32 _cy = 1191;
    };

    explicit MediaPlayer(QWidget* parent = nullptr);
    // For tests: engine options applied after the component's own (an audio output writing to a file, a
    // shorter network timeout ...). The program never passes any.
    explicit MediaPlayer(const EngineOptions& engineOptions, QWidget* parent = nullptr);
    ~MediaPlayer() override;

    // PlayerComponent
    void put_URL(const QString& url) override;
    QString get_URL() const override { return m_settings.URL; }
    void controls_play() override;
    void controls_stop() override;
    qint32 get_settings_volume() const override { return m_settings.volume; }
    void put_settings_volume(qint32 volume) override;
    bool get_settings_mute() const override { return m_settings.mute; }
    void put_settings_mute(bool mute) override;
    QString get_uiMode() const override { return m_settings.uiMode; }
    void put_uiMode(const QString& mode) override;
    bool get_enableContextMenu() const override { return m_settings.enableContextMenu; }
    void put_enableContextMenu(bool enable) override { m_settings.enableContextMenu = enable; }

    const Settings& settings() const { return m_settings; }
    bool get_settings_autoStart() const { return m_settings.autoStart; }
    void put_settings_autoStart(bool autoStart) { m_settings.autoStart = autoStart; }

    // What the strip shows; read-only.
    State state() const { return m_state; }
    QString stateText() const;
    // The stream's now-playing title (ICY title or the stream's title tag); empty when it has none.
    QString nowPlayingTitle() const { return m_title; }
    // Whether a reconnect is waiting for its time.
    bool retryPending() const { return m_retryTimer.isActive(); }
    // Starts the engine now rather than at first need (it starts by itself once the strip has been painted).
    // Throws platform::RuntimeError(errObjectFailed) when it cannot.
    void startEngine();
    bool engineStarted() const { return m_engine != nullptr; }
    // The engine's own volume and mute as it last reported them (nothing before it runs).
    std::optional<double> engineVolume() const { return m_engineVolume; }
    std::optional<bool> engineMute() const { return m_engineMute; }
    // The strip's context menu while it is open (for tests).
    QMenu* contextMenu() const { return m_menu; }

    QSize sizeHint() const override;

signals:
    void stateChanged(player::MediaPlayer::State state);
    void titleChanged(const QString& title);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildStrip();
    void updateLayoutForMode();
    void refreshStrip();
    void setState(State state);
    void fail(const QString& text);
    QString describeFailure() const;
    // Runs a request from the strip itself: an error shows in the strip, never as a report.
    void fromStrip(const std::function<void()>& request);

    bool isActive() const { return m_wantPlay; }
    void play();
    void stopPlaying(State after);
    void load(State shownWhileLoading);
    void scheduleRetry();
    void retryNow();
    void abortCurrent(const QString& why);
    void queueDecision();
    void decideAfterEnd();
    void updatePlayingState();
    void updateTitle();

    void onLoadReplied(quint64 tag, qint64 entry, int error);
    void onStartFile(qint64 entry);
    void onFileLoaded();
    void onPlaybackRestart();
    void onEndFile(EndOfFile end);
    void onPausedForCache(bool paused);
    void onBuffering(int percent);
    void onMetadata(const QMap<QByteArray, QByteArray>& tags);
    void onMediaTitle(const QByteArray& title, const QByteArray& filename);
    void onLogMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text);
    void onPlaylistFetched(const QByteArray& body, const QUrl& finalUrl);

    Settings m_settings;
    EngineOptions m_engineOptions;
    std::unique_ptr<MpvEngine> m_engine;
    bool m_engineScheduled = false;
    std::optional<double> m_engineVolume;
    std::optional<bool> m_engineMute;

    // The listening session: what the user asked for and what became of it.
    State m_state = State::Idle;
    QString m_errorText;
    bool m_wantPlay = false; // the user listens: a drop is reconnected
    EngineAddress m_address; // what is loaded: the typed address, or the entries of a playlist read here
    QUrl m_playlistUrl;      // the typed address, when it may be a playlist the engine cannot read
    bool m_playlistRead = false;
    bool m_playlistRedirected = false; // the engine read the address as a playlist
    QString m_failureBeforeReading;    // what the engine said before the component read the playlist itself
    bool m_everPlayed = false;         // a failure from now on is a drop, not a dead station
    QString m_abortReason;             // set when the component stopped the engine itself, to fail over

    // The current load: its playlist entries (those not ended yet) and the one playing.
    quint64 m_loadTag = 0;
    int m_awaitingReplies = 0;
    QSet<qint64> m_entries;
    qint64 m_currentEntry = -1;
    bool m_fileLoaded = false;
    bool m_restarted = false;
    bool m_pausedForCache = false;
    bool m_seekable = false;
    int m_bufferPercent = 0;
    std::optional<EndOfFile> m_lastEnd;
    bool m_lastEndSeekable = false;
    QStringList m_lastErrors;         // the engine's warnings about the current entry
    QList<qint64> m_ffmpegReconnects; // when FFmpeg reopened the stream by itself
    QElapsedTimer m_clock;

    // Reconnecting
    QTimer m_retryTimer;
    int m_retryCount = 0;
    QElapsedTimer m_playingSince;

    // The stream's titles
    QMap<QByteArray, QByteArray> m_tags;
    QByteArray m_mediaTitle, m_filename;
    QString m_title;
    QString m_stationName;

    PlaylistFetch* m_fetch = nullptr;

    // The strip
    StateLabel* m_stateLabel = nullptr;
    StateLabel* m_titleLabel = nullptr;
    QToolButton* m_playButton = nullptr;
    QToolButton* m_stopButton = nullptr;
    QToolButton* m_muteButton = nullptr;
    bool m_mutedIconShown = false; // which glyph the mute button wears, so a refresh redraws only on a change
    QSlider* m_volumeSlider = nullptr;
    QPointer<QMenu> m_menu;
};

} // namespace player
