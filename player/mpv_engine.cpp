// player/: the engine: one libmpv handle behind Qt signals, and the one place where libmpv's numbers become
// the program's reasons and errors.
#include "player/mpv_engine.h"

#include "platform/error.h"

#include <QDebug>
#include <QFile>
#include <QMetaObject>
#include <mpv/client.h>
#include <vector>

namespace player {
namespace {

enum ObservedProperty : uint64_t {
    PropPausedForCache = 1,
    PropBuffering,
    PropMetadata,
    PropMediaTitle,
    PropFilename,
    PropVolume,
    PropMute,
    PropSeekable,
    PropAudioCodec,
    PropSampleRate,
};

[[noreturn]] void Fail(const QString& what, int error) {
    throw platform::RuntimeError(
        platform::errObjectFailed,
        QStringLiteral("播放器组件无法启动：%1（%2）").arg(what, QString::fromUtf8(mpv_error_string(error))));
}

bool Flag(const mpv_event_property& p) {
    return p.format == MPV_FORMAT_FLAG && *static_cast<int*>(p.data) != 0;
}

EngineError ErrorFromMpv(int error) {
    switch (error) {
    case MPV_ERROR_SUCCESS:
        return EngineError::None;
    case MPV_ERROR_LOADING_FAILED:
        return EngineError::LoadingFailed;
    case MPV_ERROR_AO_INIT_FAILED:
        return EngineError::AudioOutputFailed;
    case MPV_ERROR_UNKNOWN_FORMAT:
        return EngineError::UnknownFormat;
    case MPV_ERROR_NOTHING_TO_PLAY:
        return EngineError::NothingToPlay;
    default:
        return EngineError::Other;
    }
}

EndOfFile::Reason ReasonFromMpv(int reason) {
    switch (reason) {
    case MPV_END_FILE_REASON_EOF:
        return EndOfFile::Eof;
    case MPV_END_FILE_REASON_STOP:
        return EndOfFile::Stop;
    case MPV_END_FILE_REASON_QUIT:
        return EndOfFile::Quit;
    default:
        return EndOfFile::Error;
    }
}

} // namespace

EndOfFile EndOfFileFromMpv(int mpvReason, int mpvError) {
    return {ReasonFromMpv(mpvReason), ErrorFromMpv(mpvError)};
}

QDebug operator<<(QDebug debug, EngineError error) {
    static const char* const names[] = {"None",          "LoadingFailed", "AudioOutputFailed",
                                        "UnknownFormat", "NothingToPlay", "Other"};
    return debug << names[int(error)];
}

EngineOptions MpvEngine::DefaultOptions() {
    return {
        // A radio: no video, no user configuration, scripts or key bindings of a stand-alone mpv.
        {"vid", "no"},
        {"config", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"input-default-bindings", "no"},
        {"terminal", "no"},
        {"idle", "yes"},
        {"audio-display", "no"},
        {"volume-max", "100"},
        // A playlist from a server may name only other servers, never this machine's files. (Inside HLS,
        // FFmpeg already limits a remote playlist's segments to network protocols; a protocol_whitelist of
        // our own would add nothing there and would break HLS the user keeps on disk.)
        {"load-unsafe-playlists", "no"},
        // Tags as the server sent them: the program reads them by its own rule (readers::DecodeServerText),
        // as it does server text from everywhere else. Any other code page here would have libmpv convert the
        // tags it reads as a stream opens (not ICY's, which it never converts) when they are not UTF-8,
        // turning ISO 8859-1 into GB18030's reading of its bytes.
        {"metadata-codepage", "utf-8"},
        {"network-timeout", "15"},
        {"user-agent", "Corvana/" CORVANA_VERSION},
        {"audio-client-name", "Corvana"},
        // FFmpeg resumes a stream cut off mid-read by itself, briefly; the component's own retries take over
        // after that. Not reconnect_at_eof: it reopens finite files (playlists) at their end without pause,
        // for ever.
        {"stream-lavf-o", "reconnect=1,reconnect_streamed=1,reconnect_delay_max=4"},
        // Time to sound (bench/time_to_audio). A stream without a burst from its server arrives in real time,
        // so every byte the engine waits for costs its playing time: FFmpeg's stream analysis reads a
        // hundredth of a second of it, enough for the sample rate a recording's header needs (without the
        // analysis an MP3 stream has none until it is decoded), where its own bound cost half a second. A
        // 100 ms output buffer starts sound 100 ms sooner than libmpv's 200 ms while still riding out a busy
        // moment.
        {"demuxer-lavf-analyzeduration", "0.01"},
        {"audio-buffer", "0.1"},
        // Only FFmpeg's demuxers, never the engine's own playlist reader: that one reads a playlist to its
        // end however long it is (an endless one grows the process by hundreds of MB a second), follows a
        // playlist naming itself for ever, and walks a directory given as a file. The component reads
        // playlists itself, bounded (through the fetcher, readers::ParsePlaylist); HLS is FFmpeg's and still plays.
        {"demuxer", "lavf"},
        // The name the sound server shows for the stream. By default it is the media title, which a server
        // sets: PulseAudio drops a client whose stream name is too long for its protocol (a 70 kB title cut
        // the sound off while the player kept playing).
        {"title", "Corvana"},
        // Sized for a live radio stream, not for seeking in video files: 150 MiB ahead and 50 MiB behind by
        // default, which a 128 kbit/s stream fills at about 2.6 MB a minute for the better part of an hour.
        // 4 MiB ahead is minutes of audio from HLS or a file. A radio never seeks back, but the stream's
        // titles wait in the past packets until playing reaches them: with none kept they are lost.
        {"demuxer-max-bytes", "4MiB"},
        {"demuxer-max-back-bytes", "1MiB"},
    };
}

MpvEngine::MpvEngine(const EngineOptions& extra, int volume, bool mute, QObject* parent) : QObject(parent) {
    qRegisterMetaType<EndOfFile>();
    qRegisterMetaType<AudioFormat>();
    m_handle = mpv_create();
    if (!m_handle) Fail(QStringLiteral("mpv_create"), MPV_ERROR_GENERIC);
    try {
        EngineOptions options = DefaultOptions();
        options.append(qMakePair(QByteArray("volume"), QByteArray::number(volume)));
        options.append(qMakePair(QByteArray("mute"), QByteArray(mute ? "yes" : "no")));
        options.append(extra);
        for (const auto& [name, value] : options) {
            const int r = mpv_set_option_string(m_handle, name.constData(), value.constData());
            if (r < 0) Fail(QString::fromUtf8(name + '=' + value), r);
        }
        if (const int r = mpv_initialize(m_handle); r < 0) Fail(QStringLiteral("mpv_initialize"), r);
        // Warnings carry why a stream failed (connection refused, HTTP 404 ...) and FFmpeg's reconnects.
        mpv_request_log_messages(m_handle, "warn");
        mpv_observe_property(m_handle, PropPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
        mpv_observe_property(m_handle, PropBuffering, "cache-buffering-state", MPV_FORMAT_INT64);
        mpv_observe_property(m_handle, PropSeekable, "seekable", MPV_FORMAT_FLAG);
        mpv_observe_property(m_handle, PropMetadata, "metadata", MPV_FORMAT_NODE);
        mpv_observe_property(m_handle, PropFilename, "filename", MPV_FORMAT_STRING);
        mpv_observe_property(m_handle, PropMediaTitle, "media-title", MPV_FORMAT_STRING);
        mpv_observe_property(m_handle, PropVolume, "volume", MPV_FORMAT_DOUBLE);
        mpv_observe_property(m_handle, PropMute, "mute", MPV_FORMAT_FLAG);
        // Both change only when the decoder is set up again (a new stream, a new format): no cost while playing.
        mpv_observe_property(m_handle, PropAudioCodec, "audio-codec-name", MPV_FORMAT_STRING);
        mpv_observe_property(m_handle, PropSampleRate, "audio-params/samplerate", MPV_FORMAT_INT64);
    } catch (...) {
        mpv_terminate_destroy(m_handle);
        m_handle = nullptr;
        throw;
    }
    mpv_set_wakeup_callback(m_handle, &MpvEngine::Wakeup, this);
    // Events that arrived before the callback was set would otherwise wait for the next one.
    Wakeup(this);
}

MpvEngine::~MpvEngine() {
    if (!m_handle) return;
    // No callback may reach this object once it is gone; then the engine stops its threads.
    mpv_set_wakeup_callback(m_handle, nullptr, nullptr);
    mpv_terminate_destroy(m_handle);
}

void MpvEngine::Wakeup(void* self) {
    auto* engine = static_cast<MpvEngine*>(self);
    // One queued drain at a time is enough: it empties the queue.
    if (!engine->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(engine, &MpvEngine::drain, Qt::QueuedConnection);
}

void MpvEngine::drain() {
    m_drainQueued = false;
    for (;;) {
        const mpv_event* event = mpv_wait_event(m_handle, 0);
        if (event->event_id == MPV_EVENT_NONE) return;
        dispatch(*event);
    }
}

void MpvEngine::dispatch(const mpv_event& event) {
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        emit startFile(static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_FILE_LOADED:
        emit fileLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackRestart();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        EndOfFile ended = EndOfFileFromMpv(end->reason, end->error);
        ended.entry = end->playlist_entry_id;
        emit endFile(ended);
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto* m = static_cast<const mpv_event_log_message*>(event.data);
        emit logMessage(m->level, m->prefix, QByteArray(m->text).trimmed());
        break;
    }
    case MPV_EVENT_COMMAND_REPLY: {
        if (event.reply_userdata == 0) // stop: nothing to answer
            break;
        if (event.reply_userdata & DumpTagBit) {
            emit dumpEnded(event.reply_userdata & ~DumpTagBit, event.error >= 0);
            break;
        }
        const mpv_node& result = static_cast<const mpv_event_command*>(event.data)->result;
        qint64 entry = -1;
        if (event.error >= 0 && result.format == MPV_FORMAT_NODE_MAP)
            for (int i = 0; i < result.u.list->num; ++i)
                if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                    result.u.list->values[i].format == MPV_FORMAT_INT64)
                    entry = result.u.list->values[i].u.int64;
        emit loadReplied(event.reply_userdata, entry, ErrorFromMpv(qMin(event.error, 0)));
        break;
    }
    case MPV_EVENT_GET_PROPERTY_REPLY: {
        const auto& p = *static_cast<const mpv_event_property*>(event.data);
        const bool known = event.error >= 0 && p.format == MPV_FORMAT_INT64;
        emit bitrateReplied(event.reply_userdata, known ? *static_cast<int64_t*>(p.data) : -1);
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto& p = *static_cast<const mpv_event_property*>(event.data);
        switch (event.reply_userdata) {
        case PropPausedForCache:
            emit pausedForCacheChanged(Flag(p));
            break;
        case PropSeekable:
            emit seekableChanged(Flag(p));
            break;
        case PropBuffering:
            emit bufferingChanged(p.format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t*>(p.data)) : 0);
            break;
        case PropMetadata: {
            QMap<QByteArray, QByteArray> tags;
            if (p.format == MPV_FORMAT_NODE) {
                const auto* node = static_cast<const mpv_node*>(p.data);
                if (node->format == MPV_FORMAT_NODE_MAP) {
                    const mpv_node_list* list = node->u.list;
                    for (int i = 0; i < list->num; ++i)
                        if (list->values[i].format == MPV_FORMAT_STRING)
                            tags.insert(list->keys[i], list->values[i].u.string);
                }
            }
            emit metadataChanged(tags);
            break;
        }
        case PropFilename:
        case PropMediaTitle: {
            const QByteArray value =
                p.format == MPV_FORMAT_STRING ? QByteArray(*static_cast<char**>(p.data)) : QByteArray();
            (event.reply_userdata == PropFilename ? m_filename : m_mediaTitle) = value;
            emit mediaTitleChanged(m_mediaTitle, m_filename);
            break;
        }
        case PropAudioCodec:
            m_audioFormat.codec =
                p.format == MPV_FORMAT_STRING ? QString::fromUtf8(*static_cast<char**>(p.data)) : QString();
            emit audioFormatChanged(m_audioFormat);
            break;
        case PropSampleRate:
            m_audioFormat.sampleRate = p.format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t*>(p.data)) : 0;
            emit audioFormatChanged(m_audioFormat);
            break;
        case PropVolume:
            if (p.format == MPV_FORMAT_DOUBLE) emit volumeChanged(*static_cast<double*>(p.data));
            break;
        case PropMute:
            if (p.format == MPV_FORMAT_FLAG) emit muteChanged(Flag(p));
            break;
        }
        break;
    }
    default:
        break;
    }
}

void MpvEngine::command(std::initializer_list<const char*> args, quint64 tag) {
    std::vector<const char*> argv(args);
    argv.push_back(nullptr);
    // Only fails when libmpv is out of memory or shutting down; answered like a refusal.
    if (const int r = mpv_command_async(m_handle, tag, argv.data()); r < 0 && tag != 0)
        QMetaObject::invokeMethod(
            this, [this, tag, r] { emit loadReplied(tag, -1, ErrorFromMpv(r)); }, Qt::QueuedConnection);
}

void MpvEngine::load(const QStringList& urls, quint64 tag) {
    for (qsizetype i = 0; i < urls.size(); ++i) {
        const QByteArray url = urls[i].toUtf8();
        // The first entry may fail before libmpv reads the next command; a plain append would then wait in an
        // idle player for ever. append-play starts it in that case and only appends otherwise.
        command({"loadfile", url.constData(), i == 0 ? "replace" : "append-play"}, tag);
    }
}

void MpvEngine::stop() {
    command({"stop"});
}

void MpvEngine::next() {
    command({"playlist-next", "force"});
}

void MpvEngine::setVolume(int volume) {
    double value = volume;
    mpv_set_property_async(m_handle, 0, "volume", MPV_FORMAT_DOUBLE, &value);
}

void MpvEngine::setMute(bool mute) {
    int value = mute ? 1 : 0;
    mpv_set_property_async(m_handle, 0, "mute", MPV_FORMAT_FLAG, &value);
}

double MpvEngine::playbackTime() const {
    double seconds = qQNaN();
    if (mpv_get_property(m_handle, "time-pos", MPV_FORMAT_DOUBLE, &seconds) < 0) return qQNaN();
    return seconds;
}

QString MpvEngine::audioCodec() const {
    char* name = nullptr;
    if (mpv_get_property(m_handle, "audio-codec-name", MPV_FORMAT_STRING, &name) < 0 || !name) return {};
    const QString codec = QString::fromUtf8(name);
    mpv_free(name);
    return codec;
}

std::optional<QPair<double, double>> MpvEngine::cachedSpan() const {
    mpv_node state;
    if (mpv_get_property(m_handle, "demuxer-cache-state", MPV_FORMAT_NODE, &state) < 0) return std::nullopt;
    auto field = [](const mpv_node& map, const char* key) -> const mpv_node* {
        if (map.format != MPV_FORMAT_NODE_MAP) return nullptr;
        for (int i = 0; i < map.u.list->num; ++i)
            if (qstrcmp(map.u.list->keys[i], key) == 0) return &map.u.list->values[i];
        return nullptr;
    };
    const double now = playbackTime();
    std::optional<QPair<double, double>> span;
    if (const mpv_node* ranges = field(state, "seekable-ranges");
        ranges && ranges->format == MPV_FORMAT_NODE_ARRAY)
        for (int i = 0; i < ranges->u.list->num; ++i) {
            const mpv_node* start = field(ranges->u.list->values[i], "start");
            const mpv_node* end = field(ranges->u.list->values[i], "end");
            if (!start || !end || start->format != MPV_FORMAT_DOUBLE || end->format != MPV_FORMAT_DOUBLE)
                continue;
            // The range being played; a little slack, as the time read lags what the cache holds.
            if (!span || (start->u.double_ - 1 <= now && now <= end->u.double_ + 1))
                span = qMakePair(start->u.double_, end->u.double_);
        }
    mpv_free_node_contents(&state);
    return span;
}

void MpvEngine::dumpCache(double start, std::optional<double> end, const QString& path, quint64 tag) {
    const QByteArray from = QByteArray::number(start, 'f', 3);
    const QByteArray to = end ? QByteArray::number(*end, 'f', 3) : QByteArray("no");
    const QByteArray file = QFile::encodeName(path);
    std::vector<const char*> argv = {"dump-cache", from.constData(), to.constData(), file.constData(),
                                     nullptr};
    if (mpv_command_async(m_handle, tag | DumpTagBit, argv.data()) < 0)
        QMetaObject::invokeMethod(
            this, [this, tag] { emit dumpEnded(tag, false); }, Qt::QueuedConnection);
}

void MpvEngine::stopDump() {
    command({"dump-cache", "0", "0", ""});
}

void MpvEngine::setBackBufferBytes(qint64 bytes) {
    const QByteArray value = QByteArray::number(bytes);
    const char* text = value.constData();
    mpv_set_property_async(m_handle, 0, "demuxer-max-back-bytes", MPV_FORMAT_STRING, &text);
}

void MpvEngine::requestBitrate(quint64 tag) {
    // Only fails when libmpv is out of memory or shutting down; answered like a stream without a figure.
    if (mpv_get_property_async(m_handle, tag, "audio-bitrate", MPV_FORMAT_INT64) < 0)
        QMetaObject::invokeMethod(
            this, [this, tag] { emit bitrateReplied(tag, -1); }, Qt::QueuedConnection);
}

} // namespace player
