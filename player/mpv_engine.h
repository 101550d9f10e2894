// player/: the engine, one libmpv handle behind Qt signals, and the program's own words for what it reports:
// how an entry ended and what went wrong. libmpv's headers and numbers stay in mpv_engine.cpp; everything
// above the engine sees only these.
//
// libmpv runs on threads of its own. The only thing it may do on them is call the wakeup callback, which
// queues a drain onto the thread that owns this object; every signal is emitted from there, in libmpv's
// order.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>

struct mpv_handle;
struct mpv_event;
QT_FORWARD_DECLARE_CLASS(QDebug)

namespace player {

// Engine options as name/value pairs, applied in order before the engine starts.
using EngineOptions = QList<QPair<QByteArray, QByteArray>>;

// What went wrong with an entry or a load: each error the session or the failure text tells apart by name,
// and Other for everything else libmpv may say.
enum class EngineError { None, LoadingFailed, AudioOutputFailed, UnknownFormat, NothingToPlay, Other };
QDebug operator<<(QDebug debug, EngineError error);

// What the engine decodes: the codec's short name ("mp3", "aac", "vorbis") and the sample rate in Hz; empty
// and 0 while nothing is decoded.
struct AudioFormat {
    QString codec;
    int sampleRate = 0;
};

// How a playlist entry ended: why, what went wrong (None when nothing did), and which entry it was.
struct EndOfFile {
    enum Reason { Eof, Stop, Quit, Error };
    Reason reason = Eof;
    EngineError error = EngineError::None;
    qint64 entry = -1;
};

// libmpv's end of an entry, its mpv_end_file_reason and mpv_error, in the program's words; the engine's one
// place for libmpv's numbers. A reason the program has no word for (a redirect, which only libmpv's own
// playlist reader makes, or a newer libmpv's) is Error, and an error it does not name is Other, so that an
// unknown number never passes for a clean end or a stop.
EndOfFile EndOfFileFromMpv(int mpvReason, int mpvError);

class MpvEngine : public QObject {
    Q_OBJECT
public:
    // The options the component always runs with.
    static EngineOptions DefaultOptions();

    // Creates and starts libmpv with DefaultOptions(), the initial volume and mute, then extra (which may
    // override any of them). Throws platform::RuntimeError(errObjectFailed) when libmpv refuses.
    MpvEngine(const EngineOptions& extra, int volume, bool mute, QObject* parent = nullptr);
    ~MpvEngine() override;

    // Replaces whatever plays with urls: the first plays, the others follow when one fails or ends. Each
    // accepted url is answered by loadReplied(tag, its playlist entry, None), a refused one by
    // loadReplied(tag, -1, why).
    void load(const QStringList& urls, quint64 tag);
    void stop();
    // Ends the entry being played or opened, at once, and goes on to the next of the load (Stop as its
    // reason).
    void next();
    void setVolume(int volume);
    void setMute(bool mute);
    // Asks for the stream's bitrate now, answered by bitrateReplied(tag, ...). Asked for, not observed: the
    // engine recomputes it every second, and observing it would wake the program as often for the whole run.
    void requestBitrate(quint64 tag);

    // Recording: the engine writes the stream's own packets, remuxed into the container its name's ending
    // names, never decoded, from its cache: what plays is there, with what was read ahead of it and, as far as
    // the back buffer reaches, what played before. Times are the stream's own seconds, as playbackTime gives.
    // What plays now; NaN when nothing does.
    double playbackTime() const;
    // The codec of what plays, as audioFormatChanged gives it, asked now: a title may come before that.
    QString audioCodec() const;
    // The seconds the cache holds around what plays, first and last; none when it holds nothing.
    std::optional<QPair<double, double>> cachedSpan() const;
    // Writes the cache from start to end into path, over whatever path holds; with no end, on from there as
    // the stream arrives, until another write or stopDump() takes over or the entry ends. One write at a time:
    // a new one ends the last. dumpEnded(tag, ...) when it ends.
    void dumpCache(double start, std::optional<double> end, const QString& path, quint64 tag);
    void stopDump();
    // How much of what played the cache keeps (at least the options' 1 MiB makes sense).
    void setBackBufferBytes(qint64 bytes);

signals:
    void loadReplied(quint64 tag, qint64 entry, player::EngineError error);
    void startFile(qint64 entry);
    void fileLoaded();
    void playbackRestart();
    void endFile(EndOfFile end);
    void pausedForCacheChanged(bool paused);
    void seekableChanged(bool seekable);
    void bufferingChanged(int percent);
    // Tag values as the engine has them: bytes, not necessarily UTF-8 (ICY titles are whatever the server
    // sent).
    void metadataChanged(const QMap<QByteArray, QByteArray>& tags);
    void mediaTitleChanged(const QByteArray& title, const QByteArray& filename);
    void audioFormatChanged(const player::AudioFormat& format);
    // Bits per second, measured over the last second or so of the stream; -1 when the engine has no figure
    // (nothing plays, or too little has arrived yet).
    void bitrateReplied(quint64 tag, qint64 bitsPerSecond);
    void volumeChanged(double volume);
    void muteChanged(bool mute);
    void logMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text);
    // A write of dumpCache ended: ok when the engine wrote what it was asked to (or was taken over).
    void dumpEnded(quint64 tag, bool ok);

private:
    // Marks the replies to dumpCache among those to load.
    static constexpr quint64 DumpTagBit = quint64(1) << 63;
    static void Wakeup(void* self);
    void drain();
    void dispatch(const mpv_event& event);
    void command(std::initializer_list<const char*> args, quint64 tag = 0);

    mpv_handle* m_handle = nullptr;
    std::atomic<bool> m_drainQueued{false};
    QByteArray m_filename;
    QByteArray m_mediaTitle;
    AudioFormat m_audioFormat;
};

} // namespace player

Q_DECLARE_METATYPE(player::EndOfFile)
Q_DECLARE_METATYPE(player::AudioFormat)
