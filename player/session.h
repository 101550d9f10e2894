// player/: the listening session: what the user asked the player for and what the engine made of it.
//
// It owns the engine and runs the state machine a radio needs: connecting, buffering, playing with the
// stream's title, reconnecting with growing waits when a stream drops, reading a playlist the engine cannot,
// and the failure in words. It has no widgets: the strip, the menu's mute mark and the desktop's media
// controls all show it through its signals. Errors of a stream become the Error state, never an exception;
// only an engine that cannot start throws.
#pragma once

#include "player/address.h"
#include "player/mpv_engine.h"
#include "player/retry_policy.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>

namespace web {
class Fetcher;
}

namespace player {

class Session : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Buffering, Playing, Reconnecting, Stopped, Error };
    Q_ENUM(State)

    // What the stream says of itself and what the engine makes of it; empty or 0 for what is not known.
    struct StreamDetails {
        QString name;  // the server's name for the station (icy-name)
        QString genre; // icy-genre
        AudioFormat format;
        int bitrate = 0; // bits per second, as last measured (measureBitrate)
    };
    // A title as it began to play.
    struct TitleSeen {
        QDateTime began; // local time
        QString title;
    };
    // How many titles recentTitles keeps.
    static constexpr int RecentTitlesKept = 10;

    // fetcher reads the playlists the engine cannot play by itself. Tests pass engine options applied after the
    // session's own (an audio output writing to a file, a shorter network timeout ...). The program never
    // passes any.
    explicit Session(web::Fetcher& fetcher, const EngineOptions& engineOptions = {},
                     QObject* parent = nullptr);
    ~Session() override;

    // Listens to address from now on; an address the player does not accept is the Error state.
    void play(const QString& address);
    // The play button: tries a waiting reconnect now; plays address when nothing is listened to.
    void resume(const QString& address);
    // Stops listening; nothing when nothing is listened to.
    void stop();
    // 0 to 100, clamped; kept for the engine until it runs.
    void setVolume(int volume);
    void setMuted(bool muted);
    // Shows text as the Error state and stops listening (a request that failed outside the engine).
    void fail(const QString& text);
    // Starts the engine now rather than at first need. Throws platform::RuntimeError(errObjectFailed) when it
    // cannot.
    void startEngine();
    // The same from the event loop, where no exception may go: an engine that cannot start is the Error state,
    // in the failure's words, and the first play request tries again.
    void startEngineOrFail();
    // The address held for the play button: the last one the player was handed, played or not; empty when
    // none. Only kept here: play and resume are told what to listen to.
    void setAddress(const QString& address) { m_heldAddress = address; }
    // The name the user's list gives the station played next: the strip shows it while the stream names
    // neither itself nor what it plays (HLS, a server without icy-name).
    void setListName(const QString& name) { m_listName = name; }
    QString address() const { return m_heldAddress; }
    QString listName() const { return m_listName; }
    // The engine, once it runs (for the recorder, which writes from its cache); nullptr before.
    MpvEngine* engine() const { return m_engine.get(); }

    State state() const { return m_state; }
    // The state in the strip's words.
    QString stateText() const;
    // The stream's now-playing title (ICY title or the stream's title tag); empty when it has none.
    QString title() const { return m_title; }
    // What the server calls the station, or the title its playlist entry gave it; empty when nothing said.
    QString stationName() const { return m_stationName; }
    StreamDetails streamDetails() const;
    // The titles the station played since it was asked for, newest first, at most RecentTitlesKept; a title
    // that follows itself (a reconnect, a server sending it again) is one.
    const QList<TitleSeen>& recentTitles() const { return m_recentTitles; }
    // Asks the engine for the stream's bitrate; bitrateMeasured() when it answers. Nothing when no engine runs.
    void measureBitrate();
    // The user listens: a drop is reconnected.
    bool listening() const { return m_wantPlay; }
    bool retryPending() const { return m_retryTimer.isActive(); }
    // How long the pending reconnect waits in all; 0 when none is pending.
    int retryWaitMs() const { return m_retryTimer.isActive() ? m_retryTimer.interval() : 0; }
    int volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    bool engineStarted() const { return m_engine != nullptr; }
    // The engine's own volume and mute as it last reported them (nothing before it runs).
    std::optional<double> engineVolume() const { return m_engineVolume; }
    std::optional<bool> engineMute() const { return m_engineMute; }

signals:
    void stateChanged(player::Session::State state);
    void titleChanged(const QString& title);
    void volumeChanged(int volume);
    void mutedChanged(bool muted);
    void bitrateMeasured();
    // A station was asked for (play): what the last one did is over.
    void stationRequested();
    // Anything the strip shows changed (also the buffer percentage or an error's words).
    void changed();

private:
    // Playlists naming playlists: a few levels are real (a .pls naming an .m3u), more is a loop.
    static constexpr int MaxPlaylistReads = 8;
    // From a load to sound: longer than the engine's network timeout, so that its own reason comes first when
    // it has one; short enough that a server sending a byte a second is not listened to for minutes.
    static constexpr int SoundDeadlineMs = 20000;
    // An entry with a fall-back behind it (mms over TCP after HTTP, a playlist's next mirror) gets its share
    // of that time, at least this much; the last entry tried always gets at least this much.
    static constexpr int MinSliceMs = 8000;
    // A stream that played and then waits this long for data has dropped, even with its connection open.
    static constexpr int StallMs = 20000;

    static QString TimedOut() { return QStringLiteral("no sound in time: timed out"); }

    void setState(State state);
    void stopPlaying(State after);
    void load(State shownWhileLoading);
    void scheduleRetry();
    // The deadline of the entry now opening: its share of what is left of the load's time.
    void startSlice();
    void onDeadline();
    void onStall();
    // Ends the current load as failed, for a reason of the session's own (in the words FailureText reads).
    void giveUp(const QString& why);
    void retryNow();
    void abortCurrent(const QString& why);
    void queueDecision();
    void decideAfterEnd();
    // Reads the address an entry failed on as a playlist, when it may be one not read yet; false otherwise.
    bool readPlaylist(const EndOfFile& end);
    void updatePlayingState();
    void updateTitle();
    void forgetTitles();
    QString describeFailure() const;

    void onLoadReplied(quint64 tag, qint64 entry, EngineError error);
    void onStartFile(qint64 entry);
    void onPlaybackRestart();
    void onEndFile(EndOfFile end);
    void onLogMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text);
    void onPlaylistFetched(const QByteArray& body, const QUrl& finalUrl);
    void cancelPlaylistRead();

    EngineOptions m_engineOptions;
    QString m_heldAddress;
    std::unique_ptr<MpvEngine> m_engine;
    std::optional<double> m_engineVolume;
    std::optional<bool> m_engineMute;
    int m_volume = 50;
    bool m_muted = false;

    State m_state = State::Idle;
    QString m_errorText;
    bool m_wantPlay = false;
    EngineAddress m_address; // what is loaded: the typed address, or the entries of a playlist read here
    QHash<qint64, QString> m_entryUrls; // what each entry of the current load was loaded from
    QSet<QString> m_playlistsRead;      // addresses read as playlists since the play request
    QString m_failureBeforeReading;     // what the engine said before the session read the playlist itself
    bool m_everPlayed = false;          // a failure from now on is a drop, not a dead station
    QString m_abortReason;              // set when the session stopped the engine itself, to fail over

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

    QTimer m_retryTimer;
    RetryPolicy m_retries;
    QTimer m_deadline;            // the current entry's time to sound: a stalled server is a failure
    QElapsedTimer m_loadClock;    // since the current load
    qint64 m_skippedEntry = -1;   // the entry its deadline ended to try the next one
    QTimer m_stall;               // how long a stream that played has waited for data
    int m_playlistReads = 0;      // playlists read since the request or since sound last came
    QElapsedTimer m_playingSince; // since the stream last began to play

    QMap<QByteArray, QByteArray> m_tags;
    QByteArray m_mediaTitle, m_filename;
    QString m_title;
    QString m_stationName;
    QString m_listName;
    QList<TitleSeen> m_recentTitles;
    AudioFormat m_audioFormat;
    int m_bitrate = 0;
    quint64 m_bitrateTag = 0; // bumped with each entry: a figure asked of the last one is not this one's

    web::Fetcher& m_fetcher;
    quint64 m_playlistRead = 0; // the fetcher's ticket of the playlist being read; 0 when none
};

} // namespace player
