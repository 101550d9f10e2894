// tests/support: a fetcher that answers from a script instead of the web, for the rules of whoever is handed
// one (the station finder, the session's playlists, the directory client). It keeps the fetcher's promises:
// answers come from the event loop, once, never after a cancel; and it records every request.
#pragma once

#include "web/fetcher.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <map>

namespace support {

class ScriptedFetcher : public QObject, public web::Fetcher {
public:
    // What a request for an address gets. Unscripted addresses are Unreachable.
    struct Answer {
        web::Failure failure = web::Failure::None;
        QByteArray body;          // a body request's bytes
        QList<QByteArray> header; // a head request's header lines ("icy-name: X"); the status is 200
        QUrl finalUrl;            // empty: the address asked
        int delayMs = 0;          // after the request; -1 never answers (until cancelled)
    };
    QHash<QString, Answer> script;

    struct Asked {
        web::Request request;
        bool head = false;
        bool reach = false;
    };
    QList<Asked> asked; // every request, in order
    int cancelled = 0;  // requests cancelled before they were answered
    int mostOpen = 0;   // the most requests open at once

    web::Ticket body(const web::Request& request, QObject* context,
                     std::function<void(const web::Body&)> done) override {
        const Answer answer = answerFor(request, false);
        return schedule(answer, context, [done, answer, request] {
            done({answer.failure,
                  {},
                  answer.failure == web::Failure::None ? answer.body : QByteArray(),
                  answer.finalUrl.isEmpty() ? request.url : answer.finalUrl});
        });
    }
    web::Ticket head(const web::Request& request, QObject* context,
                     std::function<void(const web::Head&)> done) override {
        const Answer answer = answerFor(request, true);
        return schedule(answer, context, [done, answer, request] {
            web::Head head{answer.failure, {}, answer.finalUrl.isEmpty() ? request.url : answer.finalUrl};
            if (answer.failure == web::Failure::None) head.head = {200, answer.header};
            done(head);
        });
    }
    // A connection: the script's answer for the address with its port ("mms://h:1755/x").
    web::Ticket reach(const web::Request& request, QObject* context,
                      std::function<void(web::Failure)> done) override {
        web::Request at = request;
        at.url.setPort(web::PortOf(request.url));
        const Answer answer = answerFor(at, false);
        asked.last().reach = true;
        return schedule(answer, context, [done, answer] { done(answer.failure); });
    }
    void cancel(web::Ticket ticket) override {
        if (m_open.erase(ticket)) ++cancelled;
    }
    int open() const { return int(m_open.size()); }

private:
    Answer answerFor(const web::Request& request, bool head) {
        asked.append({request, head});
        const auto found = script.constFind(request.url.toString());
        if (found != script.cend()) return *found;
        Answer unreachable;
        unreachable.failure = web::Failure::Unreachable;
        return unreachable;
    }
    web::Ticket schedule(const Answer& answer, QObject* context, std::function<void()> call) {
        const web::Ticket ticket = ++m_last;
        m_open.emplace(ticket, Open{context, context != nullptr});
        mostOpen = std::max(mostOpen, open());
        if (answer.delayMs < 0) return ticket;
        QTimer::singleShot(answer.delayMs, this, [this, ticket, call] {
            const auto found = m_open.find(ticket);
            if (found == m_open.end()) return;
            // A context destroyed since cancels its request.
            const bool gone = found->second.given && found->second.context.isNull();
            m_open.erase(found);
            if (!gone) call();
        });
        return ticket;
    }
    struct Open {
        QPointer<QObject> context;
        bool given = false;
    };
    std::map<web::Ticket, Open> m_open;
    web::Ticket m_last = 0;
};

} // namespace support
