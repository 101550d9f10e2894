// stations/: the station checker.
#include "stations/station_check.h"

#include "readers/station_links.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <list>

namespace stations {

namespace {

bool IsPlaylistPath(const QUrl& url) {
    for (const char* end : {".pls", ".m3u", ".m3u8", ".asx", ".xspf"})
        if (url.path().endsWith(QLatin1String(end), Qt::CaseInsensitive)) return true;
    return false;
}

bool IsPlaylistType(const QByteArray& type) {
    return type.contains("scpls") || type.contains("mpegurl") || type.contains("x-ms-asf") ||
           type.contains("x-ms-asx") || type.contains("xspf");
}

web::Request Background(web::Request request, int timeoutMs) {
    request.timeoutMs = std::min(request.timeoutMs, timeoutMs);
    request.background = true;
    return request;
}

} // namespace

struct StationChecker::Private {
    StationChecker* q = nullptr;
    web::Fetcher& fetcher;
    std::deque<Station> waiting;
    int checked = 0, dead = 0;

    // One station being checked.
    struct Probe {
        quint64 id = 0;
        Station station;
        QUrl url;
        web::Ticket ticket = 0;
        QList<QUrl> entries; // of its playlist, still to ask
        web::Failure last = web::Failure::Unreachable;
        std::unique_ptr<QTimer> deadline;
    };
    std::list<Probe> probes;
    quint64 lastId = 0;

    explicit Private(web::Fetcher& f) : fetcher(f) {}

    void next() {
        while (int(probes.size()) < MaxAtOnce && !waiting.empty()) {
            probes.push_back({});
            Probe& probe = probes.back();
            probe.id = ++lastId;
            probe.station = std::move(waiting.front());
            waiting.pop_front();
            probe.deadline = std::make_unique<QTimer>();
            probe.deadline->setSingleShot(true);
            Probe* p = &probe;
            QObject::connect(probe.deadline.get(), &QTimer::timeout, q,
                             [this, p] { done(*p, web::Failure::TimedOut); });
            probe.deadline->start(TimeoutMs);
            start(probe);
        }
    }

    int left(const Probe& probe) const { return std::max(1, probe.deadline->remainingTime()); }

    void start(Probe& probe) {
        const QString address = probe.station.address.trimmed();
        // A file the user typed answers when it is there.
        if (QDir::isAbsolutePath(address) ||
            address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QString path = QDir::isAbsolutePath(address) ? address : QUrl(address).toLocalFile();
            return later(probe, QFileInfo(path).isFile() ? web::Failure::None : web::Failure::Missing);
        }
        probe.url = QUrl(address, QUrl::TolerantMode);
        const QString scheme = probe.url.scheme().toLower();
        if (!probe.url.isValid() || probe.url.host().isEmpty())
            return later(probe, web::Failure::Unsupported);
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            return IsPlaylistPath(probe.url) ? readPlaylist(probe, probe.url)
                                             : askHead(probe, probe.url, false);
        // MMS over HTTP first, as the engine tries it; MMS's own port after.
        if (scheme == QLatin1String("mms") || scheme == QLatin1String("mmsh")) {
            QUrl http = probe.url;
            http.setScheme(QStringLiteral("http"));
            return askHead(probe, http, scheme == QLatin1String("mms"));
        }
        if (scheme == QLatin1String("mmst") || scheme.startsWith(QLatin1String("rtsp")) ||
            scheme.startsWith(QLatin1String("rtmp")))
            return connectTo(probe, probe.url);
        later(probe, web::Failure::Unsupported);
    }

    // Answers probe from the event loop, as every answer comes, unless it was dropped meanwhile.
    void later(Probe& probe, web::Failure failure) {
        QMetaObject::invokeMethod(
            q,
            [this, id = probe.id, failure] {
                for (Probe& p : probes)
                    if (p.id == id) return done(p, failure);
            },
            Qt::QueuedConnection);
    }

    void askHead(Probe& probe, const QUrl& url, bool thenConnect) {
        Probe* p = &probe;
        probe.ticket = fetcher.head(Background(web::Request::StationHead(url), left(probe)), q,
                                    [this, p, thenConnect](const web::Head& head) {
                                        p->ticket = 0;
                                        if (head.failure != web::Failure::None) {
                                            if (thenConnect) return connectTo(*p, p->url);
                                            return entryFailed(*p, head.failure);
                                        }
                                        const QByteArray type = head.head.field("Content-Type").toLower();
                                        // A playlist served under an address that does not say so.
                                        if (p->entries.isEmpty() && IsPlaylistType(type))
                                            return readPlaylist(*p, head.finalUrl);
                                        if (type.startsWith("text/html"))
                                            return entryFailed(*p, web::Failure::Unsupported);
                                        done(*p, web::Failure::None);
                                    });
    }

    void connectTo(Probe& probe, const QUrl& url) {
        Probe* p = &probe;
        probe.ticket = fetcher.reach(Background(web::Request::StationHead(url), left(probe)), q,
                                     [this, p](web::Failure failure) {
                                         p->ticket = 0;
                                         done(*p, failure);
                                     });
    }

    void readPlaylist(Probe& probe, const QUrl& url) {
        Probe* p = &probe;
        probe.ticket = fetcher.body(
            Background(web::Request::StationPlaylist(url), left(probe)), q, [this, p](const web::Body& body) {
                p->ticket = 0;
                if (body.failure != web::Failure::None) return done(*p, body.failure);
                const readers::FoundStations found = readers::ReadFoundPlaylist(body.bytes, body.finalUrl);
                for (const readers::FoundStation& entry : found.stations)
                    if (p->entries.size() < EntriesAsked) p->entries << QUrl(entry.address);
                // A playlist naming itself: its own address played as the stream.
                p->entries.removeAll(body.finalUrl);
                if (p->entries.isEmpty()) return done(*p, web::Failure::Refused);
                nextEntry(*p);
            });
    }

    // A playlist's entries, one after the other, until one answers.
    void nextEntry(Probe& probe) {
        const QUrl entry = probe.entries.takeFirst();
        const QString scheme = entry.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            return askHead(probe, entry, false);
        connectTo(probe, entry);
    }

    void entryFailed(Probe& probe, web::Failure failure) {
        probe.last = failure;
        if (!probe.entries.isEmpty()) return nextEntry(probe);
        done(probe, failure);
    }

    void done(Probe& probe, web::Failure failure) {
        if (probe.ticket) fetcher.cancel(probe.ticket);
        // Its timer may be the one calling.
        probe.deadline->stop();
        probe.deadline.release()->deleteLater();
        const Station station = probe.station;
        probes.remove_if([&probe](const Probe& p) { return &p == &probe; });
        ++checked;
        if (failure != web::Failure::None) ++dead;
        const QPointer<StationChecker> alive = q;
        emit q->checked(station, failure);
        if (!alive) return;
        next();
        if (probes.empty() && waiting.empty()) {
            const int all = checked, failed = dead;
            checked = dead = 0;
            emit q->finished(all, failed);
        }
    }
};

StationChecker::StationChecker(web::Fetcher& fetcher, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(fetcher)) {
    d->q = this;
}

StationChecker::~StationChecker() {
    cancel();
}

void StationChecker::check(const std::vector<Station>& stations) {
    d->waiting.insert(d->waiting.end(), stations.begin(), stations.end());
    d->next();
}

int StationChecker::cancel() {
    const int left = int(d->waiting.size() + d->probes.size());
    for (const Private::Probe& probe : d->probes)
        if (probe.ticket) d->fetcher.cancel(probe.ticket);
    d->probes.clear();
    d->waiting.clear();
    d->checked = d->dead = 0;
    return left;
}

bool StationChecker::busy() const {
    return !d->probes.empty() || !d->waiting.empty();
}

} // namespace stations
