// web/: the community's station directory (the radio-browser API), reached as its documentation asks: the
// names of its servers from DNS (the SRV record _api._tcp.radio-browser.info, else the addresses of
// all.api.radio-browser.info and their reverse names), only names under radio-browser.info, shuffled; each
// request over HTTPS to a server's name, certificates verified, the next server on failure (three at most); one
// request to /json/url/<uuid> for each station played from a search. Every request goes through the program's
// one fetcher with the directory's own bounds. Made when the search window opens and gone when it closes: the
// program talks to the directory only then. It asks and reads; what to show, in which order and in which words
// is the window's.
#pragma once

#include "readers/directory_json.h"
#include "web/fetcher.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

namespace web {

// Where the directory's servers are: the names to ask, from DNS. A test hands in its own list.
class DirectoryNames {
public:
    virtual ~DirectoryNames() = default;
    // Calls done once, from the event loop, with the servers' names (empty when none was found); nothing after
    // context is gone.
    virtual void find(QObject* context, std::function<void(const QStringList&)> done) = 0;
};

// The names from the system's resolver, each look-up given up after LookupTimeoutMs (Qt's take no timeout).
class DnsDirectoryNames : public DirectoryNames {
public:
    static constexpr int LookupTimeoutMs = 5000;
    void find(QObject* context, std::function<void(const QStringList&)> done) override;
};

class DirectoryClient : public QObject {
    Q_OBJECT
public:
    // A request's bounds: the directory answers in well under a second, and 100 stations in well under 1 MiB.
    static constexpr int TimeoutMs = 10000;
    static constexpr qint64 MaxBytes = 1024 * 1024;
    static constexpr int MaxServersPerRequest = 3;

    DirectoryClient(Fetcher& fetcher, DirectoryNames& names, QObject* parent = nullptr);
    ~DirectoryClient() override;

    // Stations whose language is one of languages (the directory's names: "chinese"), each once, each list the
    // most listened first.
    void byLanguage(const QStringList& languages);
    // Stations whose name or tag holds text, each once. A new search drops the one under way.
    void search(const QString& text);
    // Stations named name exactly, as the directory compares names.
    void byName(const QString& name);
    // Tells the directory a station was played from the search; its answer is not waited for.
    void clicked(const QString& uuid);

    // Why nothing could be had.
    enum class Problem {
        NoServer,   // DNS named no server of the directory
        Unreadable, // the servers answered something other than the documented shape
        Network,    // no server answered; the fetcher's reason is given
    };

signals:
    // The stations of each query (at most MaxDirectoryStations each), merged, each once, in the order they came.
    void found(const QList<readers::DirectoryStation>& stations);
    void failed(web::DirectoryClient::Problem problem, web::Failure network);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace web
