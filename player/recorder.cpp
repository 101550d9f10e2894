// player/: the recorder.
#include "player/recorder.h"

#include "platform/error.h"
#include "platform/filesystem.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cmath>

namespace player {

namespace {

// The engine's own back buffer (MpvEngine::DefaultOptions), and the most a recording may make it keep: about
// an hour of a 128 kbit/s stream. A longer title keeps its first writing, which ends seconds late.
constexpr qint64 BaseBackBuffer = qint64(1) << 20;
constexpr qint64 MaxBackBuffer = qint64(64) << 20;

// Whole minutes: the strip is drawn again once a minute, not every second, while it records.
QString Clock(qint64 ms) {
    const qint64 minutes = ms / 60000;
    return minutes >= 60 ? QStringLiteral("%1小时%2分钟").arg(minutes / 60).arg(minutes % 60)
                         : QStringLiteral("%1分钟").arg(minutes);
}

qint64 SizeOf(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

} // namespace

QString CleanFileName(const QString& name, int maxBytes) {
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString out;
    for (const QChar c : name)
        out += c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c) ? QChar(u'_') : c;
    // Windows' file systems drop a trailing dot or space; a leading dot hides the file.
    while (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char(' ')))
        out.remove(0, 1);
    while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    while (out.toUtf8().size() > maxBytes) {
        out.chop(out.size() >= 2 && out.at(out.size() - 1).isLowSurrogate() ? 2 : 1);
        while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
            out.chop(1);
    }
    return out.isEmpty() ? QStringLiteral("_") : out;
}

QString RecordingExtension(const QString& codec) {
    if (codec == QLatin1String("mp3")) return QStringLiteral(".mp3");
    if (codec == QLatin1String("aac")) return QStringLiteral(".aac");
    if (codec == QLatin1String("vorbis")) return QStringLiteral(".ogg");
    if (codec == QLatin1String("opus")) return QStringLiteral(".opus");
    return QStringLiteral(".mka");
}

QString Recorder::DefaultFolder() {
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty()) music = QDir::homePath();
    return QDir(music).filePath(QStringLiteral("Corvana"));
}

Recorder::Recorder(Session& session, QObject* parent)
    : QObject(parent), m_session(session), m_folder(DefaultFolder()) {
    connect(&m_session, &Session::stateChanged, this, &Recorder::onState);
    connect(&m_session, &Session::titleChanged, this, &Recorder::onTitle);
    connect(&m_session, &Session::stationRequested, this, [this] {
        if (m_armed) finish();
    });
    m_titleWait.setSingleShot(true);
    connect(&m_titleWait, &QTimer::timeout, this, [this] {
        const std::optional<double> at = std::exchange(m_waitingAt, std::nullopt);
        if (at && m_session.state() == Session::State::Playing) open(*at, QString());
    });
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &Recorder::watch);
}

Recorder::~Recorder() {
    disconnect(&m_session, nullptr, this, nullptr);
    if (MpvEngine* engine = m_session.engine()) disconnect(engine, nullptr, this, nullptr);
}

void Recorder::toggle() {
    if (m_armed)
        stop();
    else
        start();
}

void Recorder::start() {
    m_failure.clear();
    m_saved.clear();
    m_ended = false;
    MpvEngine* engine = m_session.engine();
    m_nothingToRecord = !m_session.listening() || !engine;
    if (m_nothingToRecord) {
        emit changed();
        return;
    }
    connect(engine, &MpvEngine::dumpEnded, this, &Recorder::onDumpEnded, Qt::UniqueConnection);
    QString station = m_session.listName();
    if (station.isEmpty()) station = m_session.stationName();
    if (station.isEmpty()) station = QStringLiteral("电台");
    m_stationFolder = QDir(m_folder).filePath(CleanFileName(station));
    m_armed = true;
    m_recorded.invalidate();
    m_watch.start();
    // While it connects, the first audio begins it (onState).
    if (m_session.state() == Session::State::Playing) begin(engine->playbackTime());
    emit changed();
}

void Recorder::stop() {
    finish();
}

QString Recorder::text() const {
    if (!m_failure.isEmpty()) return m_failure;
    if (m_nothingToRecord) return QStringLiteral("没有正在播放的电台，无可录音");
    if (m_ended)
        return QStringLiteral("录音结束，已保存%1个文件")
            .arg(m_saved.size() + m_closing.size() + (m_rewriteTag ? 1 : 0));
    if (!m_armed) return QString();
    QString where = QDir::toNativeSeparators(m_stationFolder);
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (where.startsWith(home + QDir::separator())) where = QLatin1Char('~') + where.mid(home.size());
    return QStringLiteral("● %1 %2").arg(Clock(m_recorded.isValid() ? m_recorded.elapsed() : 0), where);
}

void Recorder::onState(Session::State state) {
    if (!m_armed) return;
    switch (state) {
    case Session::State::Playing:
        // The first audio, or the first after a reconnect once the last entry's file is closed.
        if (!m_liveTag && !m_rewriteTag && !m_waitingAt)
            if (MpvEngine* engine = m_session.engine()) begin(engine->playbackTime());
        break;
    case Session::State::Stopped:
    case Session::State::Error:
    case Session::State::Idle:
        finish();
        break;
    default:
        // A drop ends the entry, and with it the engine's writing (onDumpEnded); the first audio waiting for its
        // title begins again when the stream plays again.
        m_waitingAt.reset();
        m_titleWait.stop();
        break;
    }
}

void Recorder::begin(double at) {
    if (std::isnan(at)) at = 0;
    if (!m_session.title().isEmpty()) {
        open(at, m_session.title());
        return;
    }
    m_waitingAt = at;
    m_titleWait.start(TitleWaitMs);
}

void Recorder::onTitle(const QString& title) {
    if (!m_armed || title.isEmpty()) return;
    if (m_waitingAt) {
        const double at = *m_waitingAt;
        m_waitingAt.reset();
        m_titleWait.stop();
        open(at, title);
        return;
    }
    if (m_liveTag && title != m_fileTitle) cut(title);
}

void Recorder::open(double at, const QString& title) {
    MpvEngine* engine = m_session.engine();
    if (!engine) return;
    try {
        platform::MakeFolders(m_stationFolder);
        const qint64 free = platform::FreeBytes(m_stationFolder);
        if (free >= 0 && free < MinFreeBytes) {
            fail(QStringLiteral("磁盘空间不足（剩余不到50 MB）"));
            return;
        }
        const QString extension = RecordingExtension(engine->audioCodec());
        const QString stem = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss ")) +
                             (title.isEmpty() ? QStringLiteral("录音") : title);
        // Room for the number a taken name gets.
        const int room = 200 - int(extension.toUtf8().size()) - 7;
        m_file = platform::CreateNewFile(m_stationFolder, CleanFileName(stem, room), extension);
    } catch (const platform::RuntimeError& e) {
        fail(e.message());
        return;
    }
    m_fileTitle = title;
    m_fileStart = at;
    m_lastSize = 0;
    m_sinceGrowth.start();
    if (!m_recorded.isValid()) m_recorded.start();
    m_liveTag = ++m_tags;
    engine->dumpCache(at, std::nullopt, m_file, m_liveTag);
    emit changed();
}

void Recorder::cut(const QString& title) {
    MpvEngine* engine = m_session.engine();
    const double at = engine->playbackTime();
    if (std::isnan(at)) return;
    const std::optional<QPair<double, double>> cached = engine->cachedSpan();
    if (cached && cached->first <= m_fileStart + 0.05 && m_rewriteTag == 0) {
        try {
            const QFileInfo file(m_file);
            m_rewritePart = platform::CreateNewFile(
                file.absolutePath(), QLatin1Char('.') + file.completeBaseName() + QStringLiteral(".part"),
                QLatin1Char('.') + file.suffix());
        } catch (const platform::RuntimeError& e) {
            fail(e.message());
            return;
        }
        // This write ends the one on the stream; the next title begins once it is done (onDumpEnded).
        m_rewriteTarget = m_file;
        m_file.clear();
        m_liveTag = 0;
        m_next = Begin{at, title};
        m_rewriteTag = ++m_tags;
        engine->dumpCache(m_fileStart, at, m_rewritePart, m_rewriteTag);
        return;
    }
    closeFile();
    open(at, title);
}

void Recorder::onDumpEnded(quint64 tag, bool ok) {
    if (tag == m_rewriteTag && tag) {
        m_rewriteTag = 0;
        bool replaced = false;
        if (ok && SizeOf(m_rewritePart) > 0) {
            try {
                platform::RenameFile(m_rewritePart, m_rewriteTarget);
                replaced = true;
            } catch (const platform::RuntimeError&) {
            }
        }
        // Not written again: the first writing stays, whole.
        if (!replaced) QFile::remove(m_rewritePart);
        m_saved << m_rewriteTarget;
        const std::optional<Begin> next = std::exchange(m_next, std::nullopt);
        if (m_armed && next) open(next->at, next->title);
        emit changed();
        return;
    }
    if (const QString closed = m_closing.take(tag); !closed.isEmpty()) {
        // A file the engine never wrote into is only the name the program made for it.
        if (SizeOf(closed) <= 0)
            QFile::remove(closed);
        else
            m_saved << closed;
        emit changed();
        return;
    }
    if (tag != m_liveTag || !tag) return;
    // The entry ended (a drop, a stop), or the engine could not write at all.
    const QString file = m_file;
    closeFile();
    onDumpEnded(tag, ok);
    if (!m_armed) return;
    // Refused while the stream plays: the engine cannot write here. (Once the entry has ended, nothing was
    // left to write.)
    if (!ok && SizeOf(file) <= 0 && m_session.state() == Session::State::Playing) {
        fail(QStringLiteral("播放器无法写入录音文件"));
        return;
    }
    if (m_session.state() == Session::State::Playing) begin(m_session.engine()->playbackTime());
}

void Recorder::closeFile() {
    if (m_liveTag) m_closing.insert(m_liveTag, m_file);
    m_liveTag = 0;
    m_file.clear();
}

void Recorder::finish() {
    if (!m_armed) return;
    m_armed = false;
    m_watch.stop();
    m_titleWait.stop();
    m_waitingAt.reset();
    m_next.reset();
    if (m_liveTag)
        if (MpvEngine* engine = m_session.engine()) engine->stopDump();
    closeFile();
    setBackBuffer(BaseBackBuffer);
    m_ended = true;
    emit changed();
}

void Recorder::fail(const QString& reason) {
    finish();
    m_failure = QStringLiteral("录音失败：") + reason;
    emit changed();
}

void Recorder::watch() {
    if (!m_armed) return;
    const qint64 free = platform::FreeBytes(m_stationFolder);
    if (free >= 0 && free < MinFreeBytes) {
        fail(QStringLiteral("磁盘空间不足（剩余不到50 MB）"));
        return;
    }
    if (m_liveTag) {
        const qint64 size = SizeOf(m_file);
        if (size < 0) {
            fail(QStringLiteral("录音文件已不存在"));
            return;
        }
        if (size > m_lastSize || m_session.state() != Session::State::Playing) {
            m_lastSize = qMax(size, m_lastSize);
            m_sinceGrowth.start();
        } else if (m_sinceGrowth.elapsed() > StalledMs) {
            fail(QStringLiteral("录音文件不再增长"));
            return;
        }
        // The cache keeps the whole title, so that its end can be cut where the next one begins; the packets
        // it keeps cost about half again their size.
        setBackBuffer(qBound(BaseBackBuffer, m_lastSize * 2 + BaseBackBuffer, MaxBackBuffer));
    }
    if (const QString shown = text(); shown != m_shown) {
        m_shown = shown;
        emit changed();
    }
}

void Recorder::setBackBuffer(qint64 bytes) {
    MpvEngine* engine = m_session.engine();
    if (!engine || qAbs(bytes - m_backBuffer) < (qint64(256) << 10)) return;
    m_backBuffer = bytes;
    engine->setBackBufferBytes(bytes);
}

} // namespace player
