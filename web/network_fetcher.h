// web/: the fetcher the program runs: Qt Network on the event loop, no thread of the program's own. Bodies go
// through QNetworkAccessManager; a stream's head through a socket of its own, since Qt's HTTP parser refuses
// SHOUTcast's "ICY 200 OK". Name lookups run in Qt's own pool.
#pragma once

#include "web/fetcher.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>

class QNetworkAccessManager;

namespace web {

class NetworkFetcher : public QObject, public Fetcher {
    Q_OBJECT
public:
    // userAgent names the program in every request ("Corvana/1.0").
    explicit NetworkFetcher(const QByteArray& userAgent, QObject* parent = nullptr);
    ~NetworkFetcher() override;

    Ticket body(const Request& request, QObject* context, std::function<void(const Body&)> done) override;
    Ticket head(const Request& request, QObject* context, std::function<void(const Head&)> done) override;
    Ticket reach(const Request& request, QObject* context, std::function<void(Failure)> done) override;
    void cancel(Ticket ticket) override;
    // Name look-ups that one requester's requests wait for, at most at once: each is a thread of Qt's pool while
    // the resolver takes its time.
    static constexpr int MaxLookUps = 4;
    // A request with less time left starts no look-up.
    static constexpr int MinTimeToLookUpMs = 100;
    // Look-ups running at all, those nobody waits for any more included: Qt's pool runs 20 at most, and a few
    // are left for the rest of the program (the directory's reverse names).
    static constexpr int MaxLookUpThreads = 16;
    // How long a name the resolver answered is taken as known, as Qt's own cache keeps it.
    static constexpr int ResolvedForMs = 60000;

    // Requests started and not answered yet.
    int pending() const { return int(m_jobs.size()); }

private:
    struct Job;
    Job* start(const Request& request, QObject* context);
    Job* find(Ticket ticket) const;
    void startBody(Job& job);
    void readLocal(Ticket ticket);
    void startHead(Job& job);
    void startReach(Job& job);
    // Goes on with a request whose name is now known.
    void resume(Job& job);
    void lookUp(Ticket ticket);
    void startLookUps();
    void lookedUp(const QString& host, bool found);
    // A look-up whose requests are all gone no longer holds one of the MaxLookUps slots; its thread runs on.
    void releaseLookUp(const QString& host);
    void readHead(Ticket ticket);
    void headDone(Ticket ticket);
    void fail(Ticket ticket, Failure failure, const QString& detail = {});
    void finishBody(Ticket ticket);
    // Answers ticket's request with what was gathered, or with failure.
    void answer(Ticket ticket, Failure failure, const QString& detail = {});
    void answerLater(Ticket ticket, Failure failure);

    QByteArray m_userAgent;
    QNetworkAccessManager* m_manager = nullptr;         // made at the first body request of a station
    QNetworkAccessManager* m_verifiedManager = nullptr; // and of a verified one
    bool m_proxiesSet = false;
    std::map<Ticket, std::unique_ptr<Job>> m_jobs;
    // A name queued for a look-up or being looked up.
    struct LookUp {
        quintptr requester = 0; // whose slot it takes: the first request's context
        bool background = false;
        bool running = false;
        bool holdsSlot = false; // running, and some request still waits for it
    };
    QHash<QString, LookUp> m_lookUps;
    QStringList m_lookupQueue;                     // names waiting for a look-up, in order
    QHash<quintptr, int> m_slots;                  // look-ups running that each requester's requests wait for
    int m_lookupThreads = 0;                       // look-ups the resolver has not returned from
    QHash<QString, QList<Ticket>> m_lookupWaiting; // the requests each name's look-up answers
    QHash<QString, qint64> m_resolved; // names the resolver answered, and when (QElapsedTimer's clock)
    Ticket m_last = 0;
};

} // namespace web
