// player/: the recorder: what plays, kept in files, one file per title (Ctrl+R).
//
// The engine writes the stream's own audio, remuxed, never decoded, from its cache (MpvEngine::dumpCache).
// The title reaches the program as it is heard, while the engine reads seconds ahead of that: so each title's
// file starts at the playback time of its title's change and is written on from the cache as the stream
// arrives; at the next change it is written again from the cache, from its start to that change, and put in
// place of the first writing, which ran seconds past it. A title longer than the cache can keep keeps the
// first writing. The recorder creates each file itself, exclusively, before the engine writes into it, and
// watches what the engine does not report: the file's growth and the free space left.
#pragma once

#include "player/session.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

namespace player {

// A name any file system takes: no / \ : * ? " < > |, no controls, no leading dot or trailing dot or space,
// never empty, "." or "..", at most maxBytes of UTF-8.
QString CleanFileName(const QString& name, int maxBytes = 200);
// The extension a recording of the codec (the engine's short name) gets: the codec's own container.
QString RecordingExtension(const QString& codec);

class Recorder : public QObject {
    Q_OBJECT
public:
    // Recording stops before the disk has less than this left.
    static constexpr qint64 MinFreeBytes = qint64(50) << 20;
    // A recording whose file does not grow this long while the stream plays has failed. The engine writes in
    // blocks of 32 KiB: half a minute of a 10 kbit/s stream.
    static constexpr int StalledMs = 30000;
    // How long the first audio waits for the stream's title, so that the file has the title's name.
    static constexpr int TitleWaitMs = 3000;

    // The folder of all recordings: the user's music folder (the home folder when it has none) / Corvana.
    static QString DefaultFolder();

    explicit Recorder(Session& session, QObject* parent = nullptr);
    ~Recorder() override;

    // Where the recordings go: folder/station/. Tests name another.
    void setFolder(const QString& folder) { m_folder = folder; }
    QString folder() const { return m_folder; }

    // Ctrl+R: records what plays, or stops recording.
    void toggle();
    void start();
    void stop();

    bool recording() const { return m_armed; }
    // What the strip says of it: while it records, the time recorded and where; after, how it ended. Empty
    // when there is nothing to say.
    QString text() const;
    // The text is a failure, or shows that it records.
    bool alert() const { return m_armed || !m_failure.isEmpty(); }
    // The files of the last recording, in the order the engine finished them.
    const QStringList& saved() const { return m_saved; }

signals:
    void changed();

private:
    struct Begin {
        double at;
        QString title;
    };
    void onState(Session::State state);
    void onTitle(const QString& title);
    void onDumpEnded(quint64 tag, bool ok);
    void begin(double at);
    void open(double at, const QString& title);
    void cut(const QString& title);
    void closeFile();
    void finish();
    void fail(const QString& reason);
    void watch();
    void setBackBuffer(qint64 bytes);

    Session& m_session;
    QString m_folder;
    bool m_armed = false;
    QString m_stationFolder;
    QString m_failure;
    bool m_nothingToRecord = false; // the last request found nothing playing
    bool m_ended = false;           // a recording ended, and not by a failure
    QStringList m_saved;
    QElapsedTimer m_recorded; // since the first file began

    // The file being written on as the stream arrives.
    QString m_file;
    QString m_fileTitle;
    double m_fileStart = 0;
    quint64 m_liveTag = 0;
    qint64 m_lastSize = 0;
    QElapsedTimer m_sinceGrowth;

    // The first audio, waiting for its title.
    std::optional<double> m_waitingAt;
    QTimer m_titleWait;

    // A finished title written again from the cache, and the title after it, begun once that is done.
    quint64 m_rewriteTag = 0;
    QString m_rewritePart, m_rewriteTarget;
    std::optional<Begin> m_next;

    // Files whose writing has been ended, until the engine says it closed them.
    QHash<quint64, QString> m_closing;

    QString m_shown; // the text as the last change gave it
    quint64 m_tags = 0;
    qint64 m_backBuffer = 0;
    QTimer m_watch;
};

} // namespace player
