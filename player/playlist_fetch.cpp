// player/: the playlist fetch: one thread a request, FFmpeg's avio reading, the answer posted to the UI.
#include "player/playlist_fetch.h"

#include "player/engine_library.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace player {

namespace {

// FFmpeg's functions, from the libraries libmpv loaded; all null when the engine's libraries are missing.
struct Avio {
    decltype(&::avio_open2) open = nullptr;
    decltype(&::avio_read) read = nullptr;
    decltype(&::avio_closep) close = nullptr;
    decltype(&::av_dict_set) dictSet = nullptr;
    decltype(&::av_dict_free) dictFree = nullptr;
    decltype(&::av_opt_get) optGet = nullptr;
    decltype(&::av_free) free = nullptr;
    decltype(&::av_strerror) strerror = nullptr;

    bool complete() const {
        return open && read && close && dictSet && dictFree && optGet && free && strerror;
    }
};

const Avio& AvioFunctions() {
    static const Avio avio = [] {
        Avio a;
        auto find = [](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(EngineSymbol(name));
        };
        find(a.open, "avio_open2");
        find(a.read, "avio_read");
        find(a.close, "avio_closep");
        find(a.dictSet, "av_dict_set");
        find(a.dictFree, "av_dict_free");
        find(a.optGet, "av_opt_get");
        find(a.free, "av_free");
        find(a.strerror, "av_strerror");
        return a;
    }();
    return avio;
}

QString ErrorText(const Avio& avio, int error) {
    char text[128] = {};
    if (avio.strerror(error, text, sizeof text) < 0) return QStringLiteral("error %1").arg(error);
    return QString::fromUtf8(text);
}

} // namespace

struct PlaylistFetch::Job {
    QByteArray address;
    std::atomic<bool> cancelled = false;
    QElapsedTimer clock;

    // Set by the reading thread before it posts the answer.
    QByteArray body;
    QByteArray finalAddress;
    QString error;
    Failure failure = Unreachable;

    // The fetch to answer; cleared (under the lock) when it abandons the job or goes away, so that the
    // reading thread never posts to a destroyed object.
    std::mutex lock;
    PlaylistFetch* owner = nullptr;

    // On the reading thread; self is this job, kept alive by the thread.
    void run(const std::shared_ptr<Job>& self) {
        read();
        const std::lock_guard<std::mutex> hold(lock);
        if (!owner || cancelled) return;
        PlaylistFetch* to = owner;
        QMetaObject::invokeMethod(
            to, [to, self] { to->finish(self); }, Qt::QueuedConnection);
    }

private:
    static int Interrupt(void* opaque) {
        const auto* job = static_cast<const Job*>(opaque);
        return job->cancelled || job->clock.hasExpired(TimeoutMs);
    }

    void read() {
        const Avio& avio = AvioFunctions();
        if (!avio.complete()) {
            error = QStringLiteral("the engine's libraries are not available");
            return;
        }
        AVDictionary* options = nullptr;
        // What the program fetched playlists over before; a playlist's entries are checked apart. TLS
        // certificates are not checked, as the engine does not check a stream's: a station's playlist then
        // reaches the same stream that typing its address would.
        avio.dictSet(&options, "protocol_whitelist", "file,http,https,httpproxy,tcp,tls", 0);
        avio.dictSet(&options, "user_agent", "Corvana/1.0", 0);
        // Stream titles would only be cut out of what a playlist address sends when it is a stream after all.
        avio.dictSet(&options, "icy", "0", 0);
        const QByteArray timeoutUs = QByteArray::number(qint64(TimeoutMs) * 1000);
        avio.dictSet(&options, "rw_timeout", timeoutUs.constData(), 0);
        const AVIOInterruptCB interrupt = {&Job::Interrupt, this};
        AVIOContext* context = nullptr;
        const int opened = avio.open(&context, address.constData(), AVIO_FLAG_READ, &interrupt, &options);
        avio.dictFree(&options);
        if (opened < 0) {
            error = ErrorText(avio, opened);
            return;
        }
        uint8_t* location = nullptr;
        // After redirections the address the body came from, for entries relative to it (http only).
        if (avio.optGet(context, "location", AV_OPT_SEARCH_CHILDREN, &location) >= 0 && location && *location)
            finalAddress = reinterpret_cast<const char*>(location);
        avio.free(location);
        while (body.size() < MaxBytes) {
            const qsizetype want = std::min<qsizetype>(64 * 1024, MaxBytes - body.size());
            const qsizetype had = body.size();
            body.resize(had + want);
            const int got =
                avio.read(context, reinterpret_cast<unsigned char*>(body.data() + had), int(want));
            body.resize(had + std::max(got, 0));
            if (got == AVERROR_EOF) break;
            if (got < 0) {
                error = ErrorText(avio, got);
                break;
            }
        }
        // Full: one byte more says whether this was all of it. A playlist that goes on is no playlist to read
        // (an endless one, or a stream).
        if (error.isEmpty() && body.size() == MaxBytes) {
            unsigned char more = 0;
            if (avio.read(context, &more, 1) > 0) {
                error = QStringLiteral("longer than %1 bytes").arg(MaxBytes);
                failure = TooLarge;
            }
        }
        avio.close(&context);
    }
};

PlaylistFetch::PlaylistFetch(QObject* parent) : QObject(parent) {}

PlaylistFetch::~PlaylistFetch() {
    cancel();
}

void PlaylistFetch::start(const QUrl& url) {
    cancel();
    auto job = std::make_shared<Job>();
    job->address = url.isLocalFile() ? "file:" + url.toLocalFile().toUtf8() : url.toEncoded();
    job->finalAddress = url.toEncoded();
    job->owner = this;
    job->clock.start();
    m_job = job;
    // Resolved here, once, rather than by several threads at a time.
    AvioFunctions();
    // Detached: a thread stuck in a host name lookup (which no interrupt reaches) must not hold up the UI.
    // The job's shares keep it alive until the thread is done with it.
    try {
        std::thread([job] { job->run(job); }).detach();
    } catch (const std::system_error& e) {
        // No thread to be had (the system's limit): a failed read, answered from the event loop as any other.
        job->error = QString::fromLocal8Bit(e.what());
        QMetaObject::invokeMethod(
            this, [this, job] { finish(job); }, Qt::QueuedConnection);
    }
}

void PlaylistFetch::cancel() {
    if (!m_job) return;
    {
        const std::lock_guard<std::mutex> hold(m_job->lock);
        m_job->owner = nullptr;
        m_job->cancelled = true;
    }
    m_job.reset();
}

void PlaylistFetch::finish(const std::shared_ptr<Job>& job) {
    // An answer for a request abandoned after it was posted.
    if (job != m_job) return;
    m_job.reset();
    // What came before a failure is no playlist to trust.
    if (!job->error.isEmpty()) {
        emit failed(job->error, job->failure);
        return;
    }
    emit fetched(job->body, QUrl::fromEncoded(job->finalAddress));
}

} // namespace player
