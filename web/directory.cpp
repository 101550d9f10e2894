// web/: the station directory's client.
#include "web/directory.h"

#include <QDnsLookup>
#include <QHostInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace web {

namespace {

const QString Domain = QStringLiteral("radio-browser.info");
const QString ServiceName = QStringLiteral("_api._tcp.radio-browser.info");
const QString AllServers = QStringLiteral("all.api.radio-browser.info");

// A name DNS gave as a server of the directory. Plain DNS can be answered by anyone on the way, and a certificate
// proves only that a server owns the name it was asked by: only the directory's own names are asked, and never
// the name that stands for them all.
bool IsDirectoryServer(QString name) {
    if (name.endsWith(u'.')) name.chop(1);
    return IsNameUnder(name, Domain) && name.compare(AllServers, Qt::CaseInsensitive) != 0;
}

// One search of the server names, living as long as its context or until it has answered.
class NameSearch : public QObject {
public:
    NameSearch(QObject* context, std::function<void(const QStringList&)> done)
        : QObject(context), m_done(std::move(done)) {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { timedOut(); });
    }

    void start() {
        // The documented way first: the service record names the servers.
        m_srv = new QDnsLookup(QDnsLookup::SRV, ServiceName, this);
        connect(m_srv, &QDnsLookup::finished, this, [this] {
            m_timer.stop();
            QStringList names;
            if (m_srv->error() == QDnsLookup::NoError)
                for (const QDnsServiceRecord& record : m_srv->serviceRecords())
                    if (IsDirectoryServer(record.target())) names << record.target();
            if (!names.isEmpty()) return answer(names);
            lookUpAddresses();
        });
        m_step = Srv;
        m_timer.start(DnsDirectoryNames::LookupTimeoutMs);
        m_srv->lookup();
    }

private:
    enum Step { Srv, Addresses, Reverse };

    void timedOut() {
        switch (m_step) {
        case Srv:
            m_srv->abort();
            return lookUpAddresses();
        case Addresses:
            QHostInfo::abortHostLookup(m_lookup);
            return answer({});
        case Reverse:
            for (const int id : std::as_const(m_reverse))
                QHostInfo::abortHostLookup(id);
            return answer(m_names);
        }
    }

    // Else every address of the name that stands for them all, each by its own name (HTTPS checks names).
    void lookUpAddresses() {
        m_step = Addresses;
        m_timer.start(DnsDirectoryNames::LookupTimeoutMs);
        m_lookup = QHostInfo::lookupHost(AllServers, this, [this](const QHostInfo& info) {
            m_timer.stop();
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) return answer({});
            m_step = Reverse;
            m_timer.start(DnsDirectoryNames::LookupTimeoutMs);
            for (const QHostAddress& address : info.addresses()) {
                const int id =
                    QHostInfo::lookupHost(address.toString(), this, [this](const QHostInfo& named) {
                        m_reverse.removeOne(named.lookupId());
                        if (named.error() == QHostInfo::NoError && IsDirectoryServer(named.hostName()) &&
                            !m_names.contains(named.hostName()))
                            m_names << named.hostName();
                        if (m_reverse.isEmpty()) answer(m_names);
                    });
                m_reverse << id;
            }
        });
    }

    void answer(const QStringList& names) {
        if (m_answered) return;
        m_answered = true;
        m_timer.stop();
        const auto done = std::move(m_done);
        deleteLater();
        done(names);
    }

    std::function<void(const QStringList&)> m_done;
    QTimer m_timer;
    QDnsLookup* m_srv = nullptr;
    Step m_step = Srv;
    int m_lookup = -1;
    QList<int> m_reverse;
    QStringList m_names;
    bool m_answered = false;
};

// A search of key for value: the most listened first, no station the directory knows is broken, a hundred at
// most.
QString SearchPath(const QString& key, const QString& value) {
    return QStringLiteral("/json/stations/search?") + key + u'=' +
           QString::fromLatin1(QUrl::toPercentEncoding(value)) +
           QStringLiteral("&order=clickcount&reverse=true&hidebroken=true&limit=%1")
               .arg(readers::MaxDirectoryStations);
}

} // namespace

void DnsDirectoryNames::find(QObject* context, std::function<void(const QStringList&)> done) {
    (new NameSearch(context, std::move(done)))->start();
}

struct DirectoryClient::Private {
    DirectoryClient* q = nullptr;
    Fetcher& fetcher;
    DirectoryNames& names;
    QStringList servers;
    bool named = false;  // the servers' names were looked up
    bool naming = false; // and are being looked up now
    QStringList waiting; // the paths of the search that waits for them
    quint64 search = 0;  // the search under way; answers of older ones are dropped
    QList<Ticket> tickets;
    int open = 0;
    bool anyAnswer = false;
    Problem problem = Problem::Network;
    Failure network = Failure::None;
    QList<readers::DirectoryStation> stations;

    Private(Fetcher& f, DirectoryNames& n) : fetcher(f), names(n) {}

    void run(const QStringList& paths) {
        for (const Ticket ticket : std::as_const(tickets))
            fetcher.cancel(ticket);
        tickets.clear();
        ++search;
        open = 0;
        anyAnswer = false;
        stations.clear();
        if (!named) {
            waiting = paths;
            if (naming) return;
            naming = true;
            names.find(q, [this](const QStringList& found) {
                naming = false;
                servers.clear();
                for (const QString& name : found)
                    if (IsDirectoryServer(name) && !servers.contains(name, Qt::CaseInsensitive))
                        servers << name;
                // None found (no network yet): the next search looks again, not before.
                if (servers.isEmpty()) {
                    emit q->failed(Problem::NoServer, Failure::None);
                    return;
                }
                // Spread over the mirrors, as the directory asks.
                std::shuffle(servers.begin(), servers.end(), *QRandomGenerator::global());
                named = true;
                run(waiting);
            });
            return;
        }
        open = int(paths.size());
        for (const QString& path : paths)
            ask(path, 0, search);
    }

    Request requestFor(const QString& server, const QString& path) const {
        Request request;
        request.url = QUrl(QStringLiteral("https://") + server + path, QUrl::TolerantMode);
        request.maxBytes = MaxBytes;
        request.timeoutMs = TimeoutMs;
        request.maxRedirects = 3;
        request.tls = TlsRule::Verified;
        request.redirects = RedirectRule::HttpsWithin;
        request.within = Domain;
        request.headers = {{"Accept", "application/json"}};
        return request;
    }

    void ask(const QString& path, int attempt, quint64 of) {
        const QString server = servers.at(attempt % servers.size());
        tickets << fetcher.body(requestFor(server, path), q, [this, path, attempt, of](const Body& body) {
            if (of != search) return;
            if (body.failure == Failure::None) {
                const readers::DirectoryAnswer answer = readers::ReadDirectoryStations(body.bytes);
                if (answer.ok) return answered(answer.stations);
            }
            // The next server, as the directory asks, a few at most.
            if (attempt + 1 < std::min<int>(MaxServersPerRequest, int(servers.size())))
                return ask(path, attempt + 1, of);
            problem = body.failure == Failure::None ? Problem::Unreadable : Problem::Network;
            network = body.failure;
            partDone();
        });
    }

    void answered(const QList<readers::DirectoryStation>& more) {
        anyAnswer = true;
        for (const readers::DirectoryStation& station : more)
            if (std::none_of(stations.begin(), stations.end(),
                             [&](const readers::DirectoryStation& s) { return s.uuid == station.uuid; }))
                stations << station;
        partDone();
    }

    void partDone() {
        if (--open > 0) return;
        tickets.clear();
        if (!anyAnswer) {
            emit q->failed(problem, network);
            return;
        }
        emit q->found(stations);
    }
};

DirectoryClient::DirectoryClient(Fetcher& fetcher, DirectoryNames& names, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(fetcher, names)) {
    d->q = this;
}

DirectoryClient::~DirectoryClient() {
    for (const Ticket ticket : std::as_const(d->tickets))
        d->fetcher.cancel(ticket);
}

void DirectoryClient::byLanguage(const QStringList& languages) {
    QStringList paths;
    for (const QString& language : languages)
        paths << SearchPath(QStringLiteral("language"), language);
    d->run(paths);
}

void DirectoryClient::search(const QString& text) {
    d->run({SearchPath(QStringLiteral("name"), text), SearchPath(QStringLiteral("tag"), text)});
}

void DirectoryClient::byName(const QString& name) {
    d->run({SearchPath(QStringLiteral("name"), name) + QStringLiteral("&nameExact=true")});
}

void DirectoryClient::clicked(const QString& uuid) {
    if (d->servers.isEmpty() || uuid.isEmpty()) return;
    const QString path = QStringLiteral("/json/url/") + QString::fromLatin1(QUrl::toPercentEncoding(uuid));
    d->fetcher.body(d->requestFor(d->servers.first(), path), this, [](const Body&) {});
}

} // namespace web
