// stations/: the station finder: each batch a tree, its playlists read and its nameless streams asked at the
// same time, the tree read back in order as soon as its first stations are sure.
#include "stations/station_finder.h"

#include "readers/playlist.h"
#include "web/fetcher.h"

#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <functional>

namespace stations {

using readers::FoundStation;
using readers::FoundStations;
using readers::MaxFoundStations;

namespace {

// Requests open at once: each is a socket, and a name lookup in Qt's pool. A batch of unnamed links is asked
// all at once.
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
        QStringLiteral("video/x-ms-asx"),        QStringLiteral("application/xspf+xml"),
    };
    return types.contains(type);
}

// What a server sends for a page: no station.
bool IsPageType(const QString& type) {
    return type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml");
}

// A read that failed for reasons that pass (a server off the air, a network down): the station may come back.
bool MayComeBack(web::Failure failure) {
    return failure == web::Failure::Unreachable || failure == web::Failure::TimedOut ||
           failure == web::Failure::NoResources;
}

// One station's address as compared with another's: "HTTP://Host/a/../b" is "http://host/b".
QString Key(const QString& address) {
    const QUrl url(address);
    return url.isValid() ? url.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded) : address;
}

// The addresses of a batch, in an order that makes two equal sets compare equal.
QStringList AddressSet(const FoundStations& found) {
    QStringList keys;
    for (const FoundStation& station : found.stations)
        keys << Key(station.address);
    keys.sort();
    keys.removeDuplicates();
    return keys;
}

// The name of a station its stream did not name.
QString NameByHost(const QString& address) {
    const QString host = readers::HostName(address);
    return host.isEmpty() ? readers::StationName(address) : host;
}

} // namespace

struct StationFinder::Private {
    StationFinder* q = nullptr;
    web::Fetcher& fetcher;
    QList<FoundStations> queue; // batches given, the first being read
    QList<QStringList> queued;  // the address set of each
    bool reading = false;       // a batch is being read, or its start is posted
    quint64 generation = 0; // bumped when every batch is dropped: posted answers of older ones stay unsaid

    explicit Private(web::Fetcher& f) : fetcher(f) {}

    // A station of the batch being read, or one a playlist of it listed.
    struct Node {
        FoundStation station;
        int parent = -1;
        int depth = 0; // playlists read to reach it
        enum State { Open, Asking, Kept, Expanded, Dropped } state = Open;
        bool probing = false;       // asking its stream's server, rather than reading it as a playlist
        web::Ticket ticket = 0;     // its request, once started
        QList<int> children;        // the stations its playlist listed, when Expanded
        QString servedName;         // what its server called it, when that turned out to be a playlist
        QString finalKey;           // the address its playlist finally came from, after redirections
        bool mirrorsByName = false; // its playlist listed playlists: what they hold is merged by name
        bool naming = false;        // asking its first entry's stream for a name, not its own address
    };
    QList<Node> nodes;
    QList<int> roots;
    QSet<QString> read; // playlists read in this batch, by address
    int reads = 0;
    int failures = 0;
    qsizetype leftOut = 0; // entries beyond the first stations, of the playlists read
    int open = 0;          // requests started and not answered
    QList<int> waiting;    // nodes whose request is not started yet, in order

    void next() {
        const FoundStations& found = queue.first();
        if (found.refusal != FoundStations::Refusal::None) {
            answer(found);
            return;
        }
        leftOut = found.leftOut;
        for (const FoundStation& station : found.stations)
            roots.append(add(station, -1, 0));
        for (const int root : std::as_const(roots))
            visit(root);
        step();
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
            if (node.station.name.isEmpty()) node.station.name = parent.station.name;
            if (node.station.name.isEmpty()) node.station.name = parent.servedName;
            if (node.station.linkName.isEmpty()) node.station.linkName = parent.station.linkName;
        }
        const bool self = node.parent >= 0 && sameAsParent(i);
        if (!self && node.station.playlist) {
            readPlaylist(i);
        } else if (!node.station.name.isEmpty()) {
            node.state = Node::Kept;
        } else if (!node.station.linkName.isEmpty()) {
            // The page's link text comes before what the stream calls itself.
            keep(i, node.station.linkName);
        } else if (!node.station.nameFrom.isEmpty() && IsWeb(QUrl(node.station.nameFrom))) {
            node.naming = true;
            ask(i, true);
        } else if (IsWeb(QUrl(node.station.address))) {
            ask(i, true);
        } else {
            keep(i, {});
        }
    }

    bool sameAsParent(int i) const {
        const Node& parent = nodes[nodes[i].parent];
        const QString key = Key(nodes[i].station.address);
        return key == Key(parent.station.address) || key == parent.finalKey;
    }

    // Keeps station i, named name, else by its link's text, else by its host.
    void keep(int i, const QString& name) {
        Node& node = nodes[i];
        node.state = Node::Kept;
        node.station.name = !name.isEmpty()                    ? name
                            : !node.station.linkName.isEmpty() ? node.station.linkName
                                                               : NameByHost(node.station.address);
    }

    void drop(int i, bool failed) {
        nodes[i].state = Node::Dropped;
        if (failed) ++failures;
    }

    void readPlaylist(int i) {
        const QString key = Key(nodes[i].station.address);
        // Listed again by a playlist of this batch: its stations are in the batch already.
        if (read.contains(key)) return drop(i, false);
        if (nodes[i].depth >= MaxDepth || !IsWeb(QUrl(key))) return drop(i, true);
        // Beyond the batch's reads: never tried, so not a playlist that failed.
        if (reads >= MaxReads) return drop(i, false);
        read.insert(key);
        ++reads;
        ask(i, false);
    }

    void ask(int i, bool probing) {
        nodes[i].state = Node::Asking;
        nodes[i].probing = probing;
        waiting.append(i);
    }

    void start(int i) {
        Node& node = nodes[i];
        const QUrl url(node.naming ? node.station.nameFrom : node.station.address);
        ++open;
        if (node.probing) {
            node.ticket = fetcher.head(web::Request::StationHead(url), q, [this, i](const web::Head& head) {
                answered(i);
                named(i, head);
                step();
            });
        } else {
            node.ticket =
                fetcher.body(web::Request::StationPlaylist(url), q, [this, i](const web::Body& body) {
                    answered(i);
                    if (body.failure == web::Failure::None)
                        expand(i, body.bytes, body.finalUrl);
                    else if (MayComeBack(body.failure))
                        keep(i, nodes[i].servedName);
                    else
                        drop(i, true);
                    step();
                });
        }
    }

    void answered(int i) {
        nodes[i].ticket = 0;
        --open;
    }

    void expand(int i, const QByteArray& body, const QUrl& finalUrl) {
        Node& node = nodes[i];
        node.finalKey = Key(finalUrl.toString());
        read.insert(node.finalKey);
        const FoundStations found = readers::ReadFoundPlaylist(body, finalUrl);
        // A page, an empty playlist: it holds no station, which is no failure to read it.
        if (found.stations.isEmpty()) return drop(i, found.refusal == FoundStations::Refusal::TooLarge);
        node.mirrorsByName = found.mirrorsByName;
        if (found.leftOut)
            leftOut = found.leftOut < 0 || leftOut < 0 ? FoundStations::SomeLeftOut : leftOut + found.leftOut;
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

    void named(int i, const web::Head& answer) {
        const bool ok = answer.failure == web::Failure::None;
        const QString name =
            ok ? readers::StationName(readers::DecodeServerText(answer.head.field("icy-name"))) : QString();
        // "audio/mpeg; charset=..." is audio/mpeg.
        const QString type =
            QString::fromLatin1(answer.head.field("Content-Type").split(';').value(0)).trimmed().toLower();
        if (nodes[i].naming) return keep(i, name);
        if (ok && IsPlaylistType(type)) {
            // A playlist served under an address that does not say so.
            nodes[i].servedName = name;
            return readPlaylist(i);
        }
        // A page is no station; a server that does not answer now may answer later: the station stays, named
        // by its host.
        if (ok && IsPageType(type)) return drop(i, false);
        keep(i, name);
    }

    void step() {
        while (open < MaxOpenRequests && !waiting.isEmpty()) {
            const int i = waiting.takeFirst();
            if (nodes[i].state == Node::Asking) start(i);
        }
        settle();
    }

    // Reads the tree back in order; answers once its first stations are sure and named. A station beyond the
    // first MaxFoundStations is not waited for: its request, and those of every node after it, are dropped.
    void settle() {
        QList<int> chosen;
        QSet<QString> given;
        bool undecided = false; // a playlist not read yet before the end, or before the batch is full
        bool naming = false;    // a chosen station still waits for its name
        bool more = false;      // something past the first MaxFoundStations
        // Names already given under a playlist whose playlists are merged by name, when walking under one.
        QSet<QString>* names = nullptr;
        const std::function<void(int)> walk = [&](int i) {
            if (undecided || more) return;
            const Node& node = nodes[i];
            if (node.state == Node::Expanded) {
                QSet<QString> own;
                QSet<QString>* outer = names;
                if (node.mirrorsByName && !names) names = &own;
                for (const int child : node.children)
                    walk(child);
                names = outer;
                return;
            }
            if (node.state == Node::Dropped) return;
            const bool station = node.state == Node::Kept || (node.state == Node::Asking && node.probing);
            if (!station) {
                // Its playlist may hold anything: nothing after it is sure.
                if (chosen.size() >= MaxFoundStations)
                    more = true;
                else
                    undecided = true;
                return;
            }
            const QString key = Key(node.station.address);
            if (given.contains(key)) return;
            // Mirrors of one station, found by reading each of a playlist's playlists.
            if (names && node.state == Node::Kept && names->contains(node.station.name)) return;
            if (names && node.state == Node::Asking) undecided = true; // its name decides whether it is one
            if (undecided) return;
            if (chosen.size() >= MaxFoundStations) {
                more = true;
                return;
            }
            given.insert(key);
            if (names) names->insert(node.station.name);
            chosen.append(i);
            if (node.state == Node::Asking) naming = true;
        };
        for (const int root : std::as_const(roots))
            walk(root);
        if (undecided) return;
        if (more) {
            // The rest is left out: what it still asks is no longer needed.
            const QSet<int> keep(chosen.begin(), chosen.end());
            for (int i = 0; i < nodes.size(); ++i) {
                if (nodes[i].state != Node::Asking || keep.contains(i)) continue;
                if (nodes[i].ticket) {
                    fetcher.cancel(nodes[i].ticket);
                    answered(i);
                }
                nodes[i].state = Node::Dropped;
            }
            leftOut = FoundStations::SomeLeftOut;
        }
        if (naming) return;
        FoundStations found;
        for (const int i : std::as_const(chosen))
            found.stations.append(nodes[i].station);
        found.leftOut = leftOut;
        if (found.stations.isEmpty()) found.refusal = FoundStations::Refusal::Nothing;
        answer(found);
    }

    // Forgets the batch being read: its requests are cancelled.
    void clearBatch() {
        for (Node& node : nodes)
            if (node.ticket) fetcher.cancel(node.ticket);
        nodes.clear();
        roots.clear();
        read.clear();
        waiting.clear();
        reads = failures = open = 0;
        leftOut = 0;
    }

    // Ends the batch being read with found, from the event loop, and goes on to the next.
    void answer(FoundStations found) {
        const int failed = failures;
        clearBatch();
        queue.removeFirst();
        queued.removeFirst();
        const quint64 batch = generation;
        QMetaObject::invokeMethod(
            q,
            [this, found, failed, batch] {
                if (batch != generation) return;
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
        const quint64 batch = generation;
        QMetaObject::invokeMethod(
            q,
            [this, batch] {
                if (batch == generation && !queue.isEmpty()) next();
            },
            Qt::QueuedConnection);
    }
};

StationFinder::StationFinder(web::Fetcher& fetcher, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(fetcher)) {
    d->q = this;
}

StationFinder::~StationFinder() {
    // Cancelled before the rest goes, so that no answer reaches a finder half destroyed.
    d->clearBatch();
}

StationFinder::Taken StationFinder::find(const FoundStations& found) {
    const QStringList addresses = AddressSet(found);
    if (!addresses.isEmpty() && d->queued.contains(addresses)) return Taken::Merged;
    if (d->queue.size() > MaxWaiting) return Taken::Busy;
    d->queue.append(found);
    d->queued.append(addresses);
    if (!d->reading) {
        d->reading = true;
        d->post();
    }
    return Taken::Reading;
}

int StationFinder::cancelAll() {
    const int batches = int(d->queue.size());
    d->clearBatch();
    d->queue.clear();
    d->queued.clear();
    d->reading = false;
    ++d->generation;
    return batches;
}

bool StationFinder::busy() const {
    return d->reading;
}

} // namespace stations
