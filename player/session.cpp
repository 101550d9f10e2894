// player/: the listening session's state machine over the engine's events.
#include "player/session.h"

#include "platform/error.h"
#include "player/failure_text.h"
#include "player/stream_title.h"
#include "readers/playlist.h"
#include "web/fetcher.h"

#include <QLoggingCategory>
#include <limits>

namespace player {

// What the session saw and decided, for a bug report: QT_LOGGING_RULES="corvana.player.debug=true".
Q_LOGGING_CATEGORY(lcPlayer, "corvana.player", QtWarningMsg)

namespace {

// FFmpeg reopening a stream this often, this fast, is a server that accepts and hangs up: not a blip.
constexpr int ReconnectLoopCount = 5;
constexpr qint64 ReconnectLoopWindowMs = 10000;

} // namespace

Session::Session(web::Fetcher& fetcher, const EngineOptions& engineOptions, QObject* parent)
    : QObject(parent), m_engineOptions(engineOptions), m_fetcher(fetcher) {
    m_clock.start();
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &Session::retryNow);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Session::onDeadline);
    m_stall.setSingleShot(true);
    m_stall.setInterval(StallMs);
    connect(&m_stall, &QTimer::timeout, this, &Session::onStall);
}

Session::~Session() {
    cancelPlaylistRead();
    // The engine goes first: none of its signals may reach a half-destroyed session.
    m_engine.reset();
}

QString Session::stateText() const {
    switch (m_state) {
    case State::Idle:
        return QStringLiteral("就绪");
    case State::Connecting:
        return QStringLiteral("正在连接");
    case State::Buffering:
        return QStringLiteral("正在缓冲 %1%").arg(m_bufferPercent);
    case State::Playing: {
        const QString shown = !m_title.isEmpty()         ? m_title
                              : !m_stationName.isEmpty() ? m_stationName
                                                         : m_listName;
        return shown.isEmpty() ? QStringLiteral("正在播放") : QStringLiteral("正在播放：") + shown;
    }
    case State::Reconnecting:
        return QStringLiteral("重新连接");
    case State::Stopped:
        return QStringLiteral("已停止");
    case State::Error:
        return m_errorText;
    }
    return {};
}

void Session::setState(State state) {
    const bool changed = state != m_state;
    if (changed) qCDebug(lcPlayer) << "state" << state << stateText();
    m_state = state;
    if (changed) emit stateChanged(state);
    emit this->changed();
}

void Session::fail(const QString& text) {
    m_wantPlay = false;
    m_retryTimer.stop();
    m_deadline.stop();
    m_stall.stop();
    m_errorText = text;
    setState(State::Error);
}

void Session::setVolume(int volume) {
    const int clamped = qBound(0, volume, 100);
    if (m_engine) m_engine->setVolume(clamped);
    const bool changed = clamped != m_volume;
    m_volume = clamped;
    if (changed) emit volumeChanged(clamped);
    emit this->changed();
}

void Session::setMuted(bool muted) {
    if (m_engine) m_engine->setMute(muted);
    const bool changed = muted != m_muted;
    m_muted = muted;
    if (changed) emit mutedChanged(muted);
    emit this->changed();
}

void Session::startEngine() {
    if (m_engine) return;
    m_engine = std::make_unique<MpvEngine>(m_engineOptions, m_volume, m_muted);
    MpvEngine* e = m_engine.get();
    connect(e, &MpvEngine::loadReplied, this, &Session::onLoadReplied);
    connect(e, &MpvEngine::startFile, this, &Session::onStartFile);
    connect(e, &MpvEngine::fileLoaded, this, [this] {
        if (m_currentEntry >= 0) m_fileLoaded = true;
    });
    connect(e, &MpvEngine::playbackRestart, this, &Session::onPlaybackRestart);
    connect(e, &MpvEngine::endFile, this, &Session::onEndFile);
    connect(e, &MpvEngine::pausedForCacheChanged, this, [this](bool paused) {
        m_pausedForCache = paused;
        updatePlayingState();
    });
    connect(e, &MpvEngine::bufferingChanged, this, [this](int percent) {
        m_bufferPercent = qBound(0, percent, 100);
        if (m_state == State::Buffering) emit changed();
    });
    connect(e, &MpvEngine::seekableChanged, this, [this](bool seekable) { m_seekable = seekable; });
    connect(e, &MpvEngine::metadataChanged, this, [this](const QMap<QByteArray, QByteArray>& tags) {
        if (m_currentEntry < 0) return;
        m_tags = tags;
        updateTitle();
    });
    connect(e, &MpvEngine::mediaTitleChanged, this,
            [this](const QByteArray& title, const QByteArray& filename) {
                if (m_currentEntry < 0) return;
                m_mediaTitle = title;
                m_filename = filename;
                updateTitle();
            });
    connect(e, &MpvEngine::audioFormatChanged, this,
            [this](const AudioFormat& format) { m_audioFormat = format; });
    connect(e, &MpvEngine::bitrateReplied, this, [this](quint64 tag, qint64 bitsPerSecond) {
        if (tag != m_bitrateTag) return;
        m_bitrate = int(qBound(qint64(0), bitsPerSecond, qint64(std::numeric_limits<int>::max())));
        emit bitrateMeasured();
    });
    connect(e, &MpvEngine::logMessage, this, &Session::onLogMessage);
    connect(e, &MpvEngine::volumeChanged, this, [this](double volume) { m_engineVolume = volume; });
    connect(e, &MpvEngine::muteChanged, this, [this](bool mute) { m_engineMute = mute; });
}

void Session::startEngineOrFail() {
    try {
        startEngine();
    } catch (const platform::RuntimeError& e) {
        fail(e.message());
    }
}

// requests

void Session::play(const QString& typed) {
    m_retryTimer.stop();
    cancelPlaylistRead();
    m_address = ClassifyAddress(typed);
    if (m_address.kind == EngineAddress::Refused) {
        if (m_engine && m_wantPlay) m_engine->stop();
        fail(QStringLiteral("不支持的地址"));
        return;
    }
    m_wantPlay = false;
    startEngine();
    emit stationRequested();
    forgetTitles();         // a new station: nothing of the last one's title or name may show under it
    m_recentTitles.clear(); // nor its titles: the tooltip's history is this station's

    m_playlistsRead.clear();
    m_everPlayed = false;
    m_playlistReads = 0;
    m_retries.reset();
    m_wantPlay = true;
    load(State::Connecting);
}

void Session::resume(const QString& address) {
    if (m_wantPlay) {
        // Already on its way or playing; waiting to reconnect, the user's request is to try now.
        if (m_state == State::Reconnecting && m_retryTimer.isActive()) retryNow();
        return;
    }
    play(address);
}

void Session::stop() {
    if (m_wantPlay) stopPlaying(State::Stopped);
}

void Session::load(State shownWhileLoading) {
    ++m_loadTag;
    m_awaitingReplies = int(m_address.candidates.size());
    m_entries.clear();
    m_entryUrls.clear();
    m_currentEntry = -1;
    m_lastEnd.reset();
    m_lastErrors.clear();
    m_abortReason.clear();
    m_ffmpegReconnects.clear();
    m_fileLoaded = m_restarted = m_pausedForCache = false;
    m_skippedEntry = -1;
    m_stall.stop();
    m_loadClock.start();
    m_deadline.start(SoundDeadlineMs);
    m_engine->load(m_address.candidates, m_loadTag);
    setState(shownWhileLoading);
}

void Session::stopPlaying(State after) {
    m_wantPlay = false;
    m_retryTimer.stop();
    m_deadline.stop();
    m_stall.stop();
    cancelPlaylistRead();
    if (m_engine) m_engine->stop();
    m_entries.clear();
    m_currentEntry = -1;
    setState(after);
}

void Session::scheduleRetry() {
    const qint64 played = m_playingSince.isValid() ? m_playingSince.elapsed() : -1;
    m_playingSince.invalidate();
    m_deadline.stop();
    m_retryTimer.start(m_retries.nextDelayMs(played));
    setState(State::Reconnecting);
}

void Session::retryNow() {
    m_retryTimer.stop();
    if (!m_wantPlay || !m_engine) return;
    load(State::Reconnecting);
}

void Session::abortCurrent(const QString& why) {
    if (m_currentEntry < 0 || !m_abortReason.isEmpty()) return;
    m_abortReason = why;
    m_engine->stop();
}

// the engine's events

void Session::onLoadReplied(quint64 tag, qint64 entry, EngineError error) {
    qCDebug(lcPlayer) << "load" << tag << "entry" << entry << "error" << error << "(current load" << m_loadTag
                      << ")";
    if (tag != m_loadTag || !m_wantPlay) return;
    // Replies come in the order the addresses were loaded.
    const QString url = m_address.candidates.value(m_address.candidates.size() - m_awaitingReplies);
    --m_awaitingReplies;
    if (error != EngineError::None) {
        m_lastEnd = EndOfFile{EndOfFile::Error, error};
    } else {
        m_entries.insert(entry);
        m_entryUrls.insert(entry, url);
    }
    if (m_awaitingReplies == 0 && m_entries.isEmpty()) queueDecision();
}

void Session::onStartFile(qint64 entry) {
    qCDebug(lcPlayer) << "start" << entry << "of" << m_entries;
    if (!m_wantPlay || !m_entries.contains(entry)) {
        m_currentEntry = -1;
        return;
    }
    m_currentEntry = entry;
    m_fileLoaded = m_restarted = m_pausedForCache = m_seekable = false;
    m_lastErrors.clear();
    m_ffmpegReconnects.clear();
    forgetTitles();
    m_bitrate = 0;
    ++m_bitrateTag;
    startSlice();
    // A reconnect keeps saying so until the stream plays again.
    if (m_state != State::Reconnecting) setState(State::Connecting);
}

void Session::onPlaybackRestart() {
    qCDebug(lcPlayer) << "audio running" << m_currentEntry << m_fileLoaded;
    if (m_currentEntry < 0 || !m_fileLoaded) return;
    m_restarted = true;
    if (!m_everPlayed || !m_playingSince.isValid()) m_playingSince.start();
    m_everPlayed = true;
    updatePlayingState();
}

void Session::updatePlayingState() {
    if (!m_wantPlay || m_currentEntry < 0 || !m_restarted) return;
    if (!m_pausedForCache) {
        m_deadline.stop();
        m_stall.stop();
        m_playlistReads = 0;
        setState(State::Playing);
        return;
    }
    if (!m_stall.isActive()) m_stall.start(); // a wait that lasts is a drop (onStall)
    // The cache ran dry: right after FFmpeg reopened the stream a reconnect, otherwise a slow network.
    const bool reconnecting = !m_ffmpegReconnects.isEmpty() &&
                              m_clock.elapsed() - m_ffmpegReconnects.last() < ReconnectLoopWindowMs;
    setState(reconnecting ? State::Reconnecting : State::Buffering);
}

void Session::onEndFile(EndOfFile end) {
    qCDebug(lcPlayer) << "end" << end.entry << "reason" << end.reason << "error" << end.error << "of"
                      << m_entries;
    if (!m_entries.remove(end.entry)) return; // an entry of an earlier load
    if (end.entry == m_currentEntry) m_currentEntry = -1;
    m_lastEndSeekable = m_seekable;
    m_fileLoaded = m_restarted = m_pausedForCache = false;
    m_stall.stop();
    if (end.entry == m_skippedEntry) {
        // Its time ran out and the engine went on to the next entry: this one failed by timing out.
        m_lastEnd = EndOfFile{EndOfFile::Error, EngineError::LoadingFailed, end.entry};
        m_lastErrors = {TimedOut()};
    } else if (end.reason == EndOfFile::Stop || end.reason == EndOfFile::Quit) {
        if (m_abortReason.isEmpty()) return; // the user's stop or a new address: decided when asked
        // Stopped by the session itself: what is left of the load goes with it.
        m_entries.clear();
        m_lastEnd = EndOfFile{EndOfFile::Error, EngineError::LoadingFailed, end.entry};
        m_lastErrors = {m_abortReason};
    } else {
        m_lastEnd = end;
    }
    if (m_wantPlay && m_entries.isEmpty() && m_awaitingReplies == 0) queueDecision();
}

void Session::queueDecision() {
    // libmpv hands out its log after its events: the reasons for this end come later in the same drain.
    QMetaObject::invokeMethod(
        this,
        [this, tag = m_loadTag] {
            if (tag == m_loadTag) decideAfterEnd();
        },
        Qt::QueuedConnection);
}

void Session::decideAfterEnd() {
    qCDebug(lcPlayer) << "decide: listening" << m_wantPlay << "played" << m_everPlayed << "retry pending"
                      << m_retryTimer.isActive() << "reading playlist" << (m_playlistRead != 0);
    if (!m_wantPlay || m_retryTimer.isActive() || m_playlistRead) return;
    const EndOfFile end = m_lastEnd.value_or(EndOfFile{EndOfFile::Error, EngineError::LoadingFailed});
    if (end.error == EngineError::AudioOutputFailed) {
        fail(describeFailure());
        return;
    }
    // A file that ends has been played to its end; a live stream that ends has dropped.
    if (end.reason == EndOfFile::Eof && (m_lastEndSeekable || m_address.kind == EngineAddress::Local)) {
        m_wantPlay = false;
        m_deadline.stop();
        setState(State::Stopped);
        return;
    }
    if (m_everPlayed && m_address.kind == EngineAddress::Network) {
        scheduleRetry();
        return;
    }
    // Perhaps a playlist: the engine reads none itself (its reader has no bound), so the session reads it,
    // bounded, and plays its entries; a playlist naming one it already read is a loop.
    if (end.error == EngineError::UnknownFormat && readPlaylist(end)) return;
    fail(describeFailure());
}

QString Session::describeFailure() const {
    EngineReport report;
    report.end = m_lastEnd.value_or(EndOfFile{EndOfFile::Error, EngineError::LoadingFailed});
    report.log = m_lastErrors;
    report.local = m_address.kind == EngineAddress::Local;
    report.aborted = !m_abortReason.isEmpty();
    return FailureText(report);
}

void Session::onLogMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text) {
    qCDebug(lcPlayer) << "engine" << level << prefix << text;
    if (!m_wantPlay) return;
    if (prefix.startsWith("ffmpeg") && text.contains("Will reconnect at")) {
        const qint64 now = m_clock.elapsed();
        m_ffmpegReconnects.append(now);
        while (!m_ffmpegReconnects.isEmpty() && now - m_ffmpegReconnects.first() > ReconnectLoopWindowMs)
            m_ffmpegReconnects.removeFirst();
        if (m_ffmpegReconnects.size() >= ReconnectLoopCount)
            abortCurrent(QStringLiteral("server hung up again and again"));
        return;
    }
    if (m_lastErrors.size() >= 16) m_lastErrors.removeFirst();
    m_lastErrors.append(QString::fromUtf8(prefix + ": " + text));
}

// titles

void Session::forgetTitles() {
    m_tags.clear();
    m_mediaTitle.clear();
    m_filename.clear();
    updateTitle();
}

void Session::updateTitle() {
    const StreamTitles titles = TitlesFromTags(m_tags, m_mediaTitle, m_filename);
    m_stationName = titles.stationName;
    const bool changed = titles.title != m_title;
    m_title = titles.title;
    if (changed && !m_title.isEmpty() &&
        (m_recentTitles.isEmpty() || m_recentTitles.constFirst().title != m_title)) {
        m_recentTitles.prepend({QDateTime::currentDateTime(), m_title});
        if (m_recentTitles.size() > RecentTitlesKept) m_recentTitles.removeLast();
    }
    if (changed) emit titleChanged(m_title);
    emit this->changed();
}

Session::StreamDetails Session::streamDetails() const {
    auto tag = [this](const char* name) {
        for (auto it = m_tags.begin(); it != m_tags.end(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                return readers::CleanTitle(readers::DecodeServerText(it.value().trimmed()));
        return QString();
    };
    return {tag("icy-name"), tag("icy-genre"), m_audioFormat, m_bitrate};
}

void Session::measureBitrate() {
    if (m_engine) m_engine->requestBitrate(m_bitrateTag);
}

} // namespace player
