// player/: the stream name probe: one thread a request, a raw HTTP/1.0 request over FFmpeg's tcp or tls
// protocol, the response head read and parsed there, the answer posted to the UI.
#include "player/stream_name_probe.h"

#include "player/engine_library.h"
#include "player/playlist.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
}

namespace player {

namespace {

// Directory sites hand out addresses that redirect to the stream; more than this is a loop or a maze.
constexpr int MaxRedirects = 3;
// How long after the deadline the UI stops waiting for a thread stuck where no interrupt reaches (a host
// name lookup): the answer is then given without it.
constexpr int StuckGraceMs = 500;

// FFmpeg's functions, from the libraries libmpv loaded; all null when the engine's libraries are missing.
struct Avio {
    decltype(&::avio_open2) open = nullptr;
    decltype(&::avio_closep) close = nullptr;
    decltype(&::av_dict_set) dictSet = nullptr;
    decltype(&::av_dict_free) dictFree = nullptr;

    bool complete() const { return open && close && dictSet && dictFree; }
};

const Avio& AvioFunctions() {
    static const Avio avio = [] {
        Avio a;
        auto find = [](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(EngineSymbol(name));
        };
        find(a.open, "avio_open2");
        find(a.close, "avio_closep");
        find(a.dictSet, "av_dict_set");
        find(a.dictFree, "av_dict_free");
        return a;
    }();
    return avio;
}

bool IsWeb(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Where to connect for url and what to send there; connect is empty when url is no address to ask.
struct Request {
    QByteArray connect; // "tcp://host:port" or "tls://host:port"
    QByteArray text;    // the request's head
};

Request RequestFor(const QUrl& url) {
    if (!IsWeb(url)) return {};
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.isEmpty()) return {};
    if (host.contains(':')) host = '[' + host + ']';
    const int port = url.port(tls ? 443 : 80);
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/')) target.prepend('/');
    // What goes on the request line may not end it or the line after it.
    for (const char c : target + host)
        if (uchar(c) <= 0x20 || uchar(c) == 0x7f) return {};
    const QByteArray hostField = url.port() == -1 ? host : host + ':' + QByteArray::number(port);
    Request request;
    request.connect = (tls ? "tls://" : "tcp://") + host + ':' + QByteArray::number(port);
    request.text =
        "GET " + target + " HTTP/1.0\r\nHost: " + hostField +
        "\r\nUser-Agent: Corvana/1.0\r\nAccept: */*\r\nIcy-MetaData: 1\r\nConnection: close\r\n\r\n";
    return request;
}

// The response head as the server sent it, up to the blank line that ends it.
struct Head {
    int status = 0;          // 200, 302...; 0 when the status line is neither HTTP/1.x nor ICY
    QList<QByteArray> lines; // the header lines after the status line
    QByteArray field(const QByteArray& name) const {
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

Head ParseHead(const QByteArray& bytes) {
    Head head;
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    const QByteArray status = lines.value(0);
    // "HTTP/1.0 200 OK", "HTTP/1.1 302 Found"; SHOUTcast's own "ICY 200 OK".
    const bool http = status.size() >= 12 && status.startsWith("HTTP/1.") && status.at(8) == ' ';
    const bool icy = status.startsWith("ICY ");
    const qsizetype code = http ? 9 : icy ? 4 : -1;
    if (code < 0 || status.size() < code + 3 || (status.size() > code + 3 && status.at(code + 3) != ' '))
        return head;
    bool number = false;
    head.status = status.mid(code, 3).toInt(&number);
    if (!number) head.status = 0;
    lines.removeFirst();
    head.lines = lines;
    return head;
}

} // namespace

struct StreamNameProbe::Job {
    QUrl url;
    std::atomic<bool> cancelled = false;
    QElapsedTimer clock;

    // Set by the asking thread before it posts the answer.
    Answer answer;

    // The probe to answer; cleared (under the lock) when it abandons the job or goes away, so that the asking
    // thread never posts to a destroyed object.
    std::mutex lock;
    StreamNameProbe* owner = nullptr;

    // On the asking thread; self is this job, kept alive by the thread.
    void run(const std::shared_ptr<Job>& self) {
        ask();
        const std::lock_guard<std::mutex> hold(lock);
        if (!owner || cancelled) return;
        Post(owner, self);
    }

    // Gives job's answer on to's thread, unless to has abandoned job by then.
    static void Post(StreamNameProbe* to, const std::shared_ptr<Job>& job) {
        QMetaObject::invokeMethod(
            to,
            [to, job] {
                if (to->m_job != job) return;
                to->m_job.reset();
                emit to->answered(job->answer);
            },
            Qt::QueuedConnection);
    }

private:
    static int Interrupt(void* opaque) {
        const auto* job = static_cast<const Job*>(opaque);
        return job->cancelled || job->clock.hasExpired(TimeoutMs);
    }

    void ask() {
        QUrl at = url;
        for (int redirects = 0;; ++redirects) {
            const Head head = request(at);
            const bool redirect = head.status == 301 || head.status == 302 || head.status == 303 ||
                                  head.status == 307 || head.status == 308;
            if (redirect && redirects < MaxRedirects) {
                const QByteArray location = head.field("Location");
                if (location.isEmpty()) return;
                at = at.resolved(QUrl::fromEncoded(location));
                continue;
            }
            if (head.status != 200) return;
            answer.ok = true;
            answer.name = CleanTitle(DecodeServerText(head.field("icy-name")));
            answer.genre = CleanTitle(DecodeServerText(head.field("icy-genre")));
            // "audio/mpeg; charset=..." is audio/mpeg.
            const QByteArray type = head.field("Content-Type").split(';').value(0);
            answer.contentType = QString::fromLatin1(type).trimmed().toLower();
            return;
        }
    }

    // One request to at; a head with status 0 when there is no whole head to read in time.
    Head request(const QUrl& at) {
        const Avio& avio = AvioFunctions();
        const Request request = RequestFor(at);
        if (!avio.complete() || request.connect.isEmpty()) return {};
        AVDictionary* options = nullptr;
        avio.dictSet(&options, "protocol_whitelist", "tcp,tls", 0);
        // As the engine plays streams: a station's certificate is not checked there either.
        avio.dictSet(&options, "tls_verify", "0", 0);
        const QByteArray timeoutUs = QByteArray::number(qint64(TimeoutMs) * 1000);
        avio.dictSet(&options, "rw_timeout", timeoutUs.constData(), 0);
        const AVIOInterruptCB interrupt = {&Job::Interrupt, this};
        AVIOContext* context = nullptr;
        const int opened =
            avio.open(&context, request.connect.constData(), AVIO_FLAG_READ_WRITE, &interrupt, &options);
        avio.dictFree(&options);
        if (opened < 0) return {};
        // The connection's own read and write, past the context's buffer: one buffer cannot be written and
        // then read, and a head is read as it comes, not in buffer-sized blocks.
        QByteArray text = request.text;
        Head head;
        if (context->write_packet(context->opaque, reinterpret_cast<uint8_t*>(text.data()),
                                  int(text.size())) >= 0) {
            QByteArray bytes;
            qsizetype searched = 0;
            while (bytes.size() < MaxHeaderBytes) {
                const qsizetype had = bytes.size();
                bytes.resize(MaxHeaderBytes);
                const int got =
                    context->read_packet(context->opaque, reinterpret_cast<uint8_t*>(bytes.data() + had),
                                         int(MaxHeaderBytes - had));
                bytes.resize(had + std::max(got, 0));
                if (got <= 0) break;
                // The blank line, with or without its carriage returns.
                const qsizetype crlf = bytes.indexOf("\n\r\n", searched);
                const qsizetype lf = bytes.indexOf("\n\n", searched);
                if (crlf >= 0 || lf >= 0) {
                    const qsizetype end = crlf < 0 ? lf : lf < 0 ? crlf : std::min(crlf, lf);
                    head = ParseHead(bytes.first(end + 1));
                    break;
                }
                // A blank line cut between two reads starts at most two bytes before the end.
                searched = std::max<qsizetype>(0, bytes.size() - 2);
            }
        }
        avio.close(&context);
        return head;
    }
};

StreamNameProbe::StreamNameProbe(QObject* parent) : QObject(parent) {}

StreamNameProbe::~StreamNameProbe() {
    cancel();
}

void StreamNameProbe::start(const QUrl& url) {
    cancel();
    auto job = std::make_shared<Job>();
    job->url = url;
    job->owner = this;
    job->clock.start();
    m_job = job;
    if (!IsWeb(url)) {
        Job::Post(this, job);
        return;
    }
    // Resolved here, once, rather than by several threads at a time.
    AvioFunctions();
    // Detached: a thread stuck in a host name lookup (which no interrupt reaches) must not hold up the UI.
    // The job's shares keep it alive until the thread is done with it.
    try {
        std::thread([job] { job->run(job); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (the system's limit): the server is not asked, and the station keeps its host.
        Job::Post(this, job);
        return;
    }
    // The answer comes at the deadline even from a thread that is stuck there.
    const std::weak_ptr<Job> watched = job;
    QTimer::singleShot(TimeoutMs + StuckGraceMs, this, [this, watched] {
        const std::shared_ptr<Job> stuck = watched.lock();
        if (!stuck || stuck != m_job) return;
        cancel();
        emit answered(Answer{});
    });
}

void StreamNameProbe::cancel() {
    if (!m_job) return;
    {
        const std::lock_guard<std::mutex> hold(m_job->lock);
        m_job->owner = nullptr;
        m_job->cancelled = true;
    }
    m_job.reset();
}

bool StreamNameProbe::busy() const {
    return m_job != nullptr;
}

} // namespace player
