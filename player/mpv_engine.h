// player/: the component's engine, one libmpv handle behind Qt signals; touches libmpv and nothing else.
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
#include <QStringList>
#include <atomic>

struct mpv_handle;
struct mpv_event;

namespace player {

// Engine options as name/value pairs, applied in order before the engine starts.
using EngineOptions = QList<QPair<QByteArray, QByteArray>>;

// How a playlist entry ended, as libmpv reports it: mpv_end_file_reason, its mpv_error (0 when none), and for
// a playlist that was replaced by its entries, the first of those and how many.
struct EndOfFile {
    enum Reason { Eof = 0, Stop = 2, Quit = 3, Error = 4, Redirect = 5 };
    int reason = Eof;
    int error = 0;
    qint64 entry = -1;
    qint64 insertedFirst = -1;
    int insertedCount = 0;
};

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
    // accepted url is answered by loadReplied(tag, its playlist entry, 0), a refused one by loadReplied(tag,
    // -1, error).
    void load(const QStringList& urls, quint64 tag);
    void stop();
    // Ends the entry being played or opened, at once, and goes on to the next of the load (Stop as its
    // reason).
    void next();
    void setVolume(int volume);
    void setMute(bool mute);

signals:
    void loadReplied(quint64 tag, qint64 entry, int error);
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
    void volumeChanged(double volume);
    void muteChanged(bool mute);
    void logMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text);

private:
    static void Wakeup(void* self);
    void drain();
    void dispatch(const mpv_event& event);
    void command(std::initializer_list<const char*> args, quint64 tag = 0);

    mpv_handle* m_handle = nullptr;
    std::atomic<bool> m_drainQueued{false};
    QByteArray m_filename;
    QByteArray m_mediaTitle;
};

} // namespace player

Q_DECLARE_METATYPE(player::EndOfFile)
