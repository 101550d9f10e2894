// player/: the station finder: each batch a tree, its playlists read and its nameless streams asked at the
// same time, the tree read back in order once nothing is left to ask.
#include "player/station_finder.h"

#include "player/playlist_fetch.h"
#include "player/stream_name_probe.h"

#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <functional>

namespace player {

namespace {

// Playlists listing playlists, read to this depth; deeper is a maze, not a station.
constexpr int MaxDepth = 8;
// Playlists read in one batch: each may list up to MaxFoundStations playlists of its own, and a server making
// them up as it goes would otherwise be read without end.
constexpr int MaxReads = 2 * int(MaxFoundStations);
// Requests open at once; each is a thread. A batch of unnamed links is asked all at once.
constexpr int MaxOpenRequests = int(MaxFoundStations);

bool IsWeb(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// What servers send playlists as, under addresses that do not say so.
bool IsPlaylistType(const QString& type) {
    static const QSet<QString> types = {
        QStringLiteral("audio/x-scpls"),         QStringLiteral("audio/scpls"),
        QStringLiteral("audio/x-mpegurl"),       QStringLiteral("audio/mpegurl"),
        QStringLiteral("application/x-mpegurl"), QStringLiteral("video/x-ms-asf"),
        QStringLiteral("video/x-ms-asx"),
    };
    return types.contains(type);
}

// One station's address as compared with another's: "HTTP://Host/a/../b" is "http://host/b".
QString Key(const QString& address) {
    const QUrl url(address);
    return url.isValid() ? url.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded) : address;
}

// The name of a station its stream did not name.
QString NameByHost(const QString& address) {
    const QString host = HostName(address);
    return host.isEmpty() ? StationName(address) : host;
}

} // namespace

struct StationFinder::Private {
    StationFinder* q = nullptr;
    QList<FoundStations> queue; // batches given, the first being read
    bool reading = false;       // a batch is being read, or its start is posted

    // A station of the batch being read, or one a playlist of it listed.
    struct Node {
        FoundStation station;
        int parent = -1;
        int depth = 0; // playlists read to reach it
        enum State { Open, Asking, Kept, Expanded, Dropped } state = Open;
        bool probing = false; // asking its stream's server, rather than reading it as a playlist
        QList<int> children;  // the stations its playlist listed, when Expanded
        QString servedName;   // what its server called it, when that turned out to be a playlist
        QString finalKey;     // the address its playlist finally came from, after redirections
    };
    QList<Node> nodes;
    QList<int> roots;
    QSet<QString> read; // playlists read in this batch, by address
    int reads = 0;
    int failures = 0;
    qsizetype refused = 0;                // entries of playlists too long to take
    int asking = 0;                       // nodes waiting for an answer
    int open = 0;                         // requests started and not answered
    QList<std::function<void()>> waiting; // requests not started yet, in order
    QList<QObject*> requests;             // started, to abandon when the batch ends early

    void next() {
        const FoundStations& found = queue.first();
        if (found.refusal != FoundStations::Refusal::None) {
            answer(found);
            return;
        }
        for (const FoundStation& station : found.stations)
            roots.append(add(station, -1, 0));
        for (const int root : std::as_const(roots))
            visit(root);
        pump();
        settle();
    }

    int add(const FoundStation& station, int parent, int depth) {
        Node node;
        node.station = station;
        node.parent = parent;
        node.depth = depth;
        nodes.append(node);
        return int(nodes.size()) - 1;
    }

    void visit(int i) {
        Node& node = nodes[i];
        if (node.parent >= 0 && sameAsParent(i)) {
            // A playlist naming itself: mirrors of one stream named by the playlist's address, or HLS, which
            // the engine plays from that address. It is the station.
            const Node& parent = nodes[node.parent];
            const QString name = !node.station.name.isEmpty()     ? node.station.name
                                 : !parent.station.name.isEmpty() ? parent.station.name
                                                                  : parent.servedName;
            keep(i, name);
        } else if (node.station.playlist) {
            readPlaylist(i);
        } else if (!node.station.name.isEmpty()) {
            node.state = Node::Kept;
        } else if (IsWeb(QUrl(node.station.address))) {
            probe(i);
        } else {
            keep(i, {});
        }
    }

    bool sameAsParent(int i) const {
        const Node& parent = nodes[nodes[i].parent];
        const QString key = Key(nodes[i].station.address);
        return key == Key(parent.station.address) || key == parent.finalKey;
    }

    // Keeps station i, named name, or by its host when name is empty.
    void keep(int i, const QString& name) {
        Node& node = nodes[i];
        node.state = Node::Kept;
        node.station.name = name.isEmpty() ? NameByHost(node.station.address) : name;
    }

    void drop(int i, bool failed) {
        nodes[i].state = Node::Dropped;
        if (failed) ++failures;
    }

    void readPlaylist(int i) {
        Node& node = nodes[i];
        const QString key = Key(node.station.address);
        // Listed again by a playlist of this batch: its stations are in the batch already.
        if (read.contains(key)) return drop(i, false);
        if (node.depth >= MaxDepth || reads >= MaxReads || !IsWeb(QUrl(key))) return drop(i, true);
        read.insert(key);
        ++reads;
        node.state = Node::Asking;
        node.probing = false;
        ++asking;
        const QUrl url(node.station.address);
        waiting.append([this, i, url] {
            auto* fetch = new PlaylistFetch(q);
            started(fetch);
            QObject::connect(fetch, &PlaylistFetch::fetched, q,
                             [this, fetch, i](const QByteArray& body, const QUrl& finalUrl) {
                                 done(fetch);
                                 expand(i, body, finalUrl);
                                 pump();
                                 settle();
                             });
            QObject::connect(fetch, &PlaylistFetch::failed, q, [this, fetch, i] {
                done(fetch);
                drop(i, true);
                pump();
                settle();
            });
            fetch->start(url);
        });
    }

    void expand(int i, const QByteArray& body, const QUrl& finalUrl) {
        Node& node = nodes[i];
        node.finalKey = Key(finalUrl.toString());
        read.insert(node.finalKey);
        const FoundStations found = ReadFoundPlaylist(body, finalUrl);
        if (found.refusal == FoundStations::Refusal::TooMany) {
            refused += found.count;
            return drop(i, false);
        }
        if (found.stations.isEmpty()) return drop(i, true);
        node.state = Node::Expanded;
        const int depth = node.depth + 1;
        for (const FoundStation& station : found.stations) {
            // Added first: adding may move the nodes, and with them a reference to nodes[i] taken before.
            const int child = add(station, i, depth);
            nodes[i].children.append(child);
        }
        for (const int child : std::as_const(nodes[i].children))
            visit(child);
    }

    void probe(int i) {
        nodes[i].state = Node::Asking;
        nodes[i].probing = true;
        ++asking;
        const QUrl url(nodes[i].station.address);
        waiting.append([this, i, url] {
            auto* probe = new StreamNameProbe(q);
            started(probe);
            QObject::connect(probe, &StreamNameProbe::answered, q,
                             [this, probe, i](const StreamNameProbe::Answer& answer) {
                                 done(probe);
                                 named(i, answer);
                                 pump();
                                 settle();
                             });
            probe->start(url);
        });
    }

    void named(int i, const StreamNameProbe::Answer& answer) {
        if (answer.ok && IsPlaylistType(answer.contentType)) {
            // A playlist served under an address that does not say so.
            nodes[i].servedName = StationName(answer.name);
            return readPlaylist(i);
        }
        // A server that does not answer now may answer later: the station stays, named by its host.
        keep(i, answer.ok ? StationName(answer.name) : QString());
    }

    void started(QObject* request) {
        requests.append(request);
        ++open;
    }

    // A request answered: gone once its signal is handled.
    void done(QObject* request) {
        requests.removeOne(request);
        request->deleteLater();
        --open;
        --asking;
    }

    void pump() {
        while (open < MaxOpenRequests && !waiting.isEmpty())
            waiting.takeFirst()();
    }

    // Answers the batch once nothing is left to ask, or as soon as it is sure to be too large.
    void settle() {
        // Stations that stay whatever the answers still to come: named ones, and streams being asked for a
        // name (rarely a playlist after all).
        QSet<QString> sure;
        for (const Node& node : std::as_const(nodes))
            if (node.state == Node::Kept || (node.state == Node::Asking && node.probing))
                sure.insert(Key(node.station.address));
        if (sure.size() + refused > MaxFoundStations) {
            FoundStations tooMany;
            tooMany.refusal = FoundStations::Refusal::TooMany;
            tooMany.count = sure.size() + refused;
            return answer(tooMany);
        }
        if (asking > 0) return;
        FoundStations found;
        QSet<QString> given;
        const std::function<void(int)> collect = [&](int i) {
            const Node& node = nodes[i];
            if (node.state == Node::Expanded) {
                for (const int child : node.children)
                    collect(child);
            } else if (node.state == Node::Kept && !given.contains(Key(node.station.address))) {
                given.insert(Key(node.station.address));
                found.stations.append(node.station);
            }
        };
        for (const int root : std::as_const(roots))
            collect(root);
        found.count = found.stations.size();
        answer(found);
    }

    // Ends the batch being read with found, from the event loop, and goes on to the next.
    void answer(FoundStations found) {
        for (QObject* request : std::as_const(requests)) {
            if (auto* fetch = qobject_cast<PlaylistFetch*>(request)) fetch->cancel();
            if (auto* probe = qobject_cast<StreamNameProbe*>(request)) probe->cancel();
            request->deleteLater();
        }
        const int failed = failures;
        queue.removeFirst();
        requests.clear();
        waiting.clear();
        nodes.clear();
        roots.clear();
        read.clear();
        reads = failures = asking = open = 0;
        refused = 0;
        QMetaObject::invokeMethod(
            q,
            [this, found, failed] {
                // Idle while its receiver runs, unless more batches wait: a batch it gives then starts anew.
                const bool more = !queue.isEmpty();
                reading = more;
                const QPointer<StationFinder> alive = q;
                emit q->finished(found, failed);
                // The receiver may have destroyed the finder.
                if (alive && more) post();
            },
            Qt::QueuedConnection);
    }

    void post() {
        QMetaObject::invokeMethod(
            q, [this] { next(); }, Qt::QueuedConnection);
    }
};

StationFinder::StationFinder(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {
    d->q = this;
}

StationFinder::~StationFinder() {
    // Abandoned before the rest goes, so that no answer reaches a finder half destroyed.
    for (QObject* request : std::as_const(d->requests))
        delete request;
    d->requests.clear();
}

void StationFinder::find(const FoundStations& found) {
    d->queue.append(found);
    if (d->reading) return;
    d->reading = true;
    d->post();
}

bool StationFinder::busy() const {
    return d->reading;
}

} // namespace player
