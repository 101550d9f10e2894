// web/: inside the network fetcher: one request under way, and the rules its bodies and heads share. Not for
// use outside web/network_fetcher*.cpp.
#pragma once

#include "readers/stream_head.h"
#include "web/network_fetcher.h"

#include <QMetaObject>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace web {

inline bool IsWeb(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

inline bool MayRedirect(const Request& request, const QUrl& to) {
    if (!IsWeb(to) || to.host().isEmpty()) return false;
    return request.redirects == RedirectRule::AsThePlayer ||
           (to.scheme() == QLatin1String("https") && IsNameUnder(to.host(), request.within));
}

struct NetworkFetcher::Job {
    Ticket ticket = 0;
    Request request;
    bool head = false;
    bool reach = false;
    QPointer<QObject> context;
    quintptr requester = 0; // the context as it was given: whose look-up slots the request takes
    QMetaObject::Connection contextGone;
    std::function<void(const Body&)> bodyDone;
    std::function<void(const Head&)> headDone;
    std::function<void(Failure)> reachDone;
    QTimer deadline;
    QNetworkReply* reply = nullptr;
    QTcpSocket* socket = nullptr;
    QByteArray bytes;
    QUrl at;               // where the request now is, after redirections
    bool resolved = false; // at's host name is known to the resolver's cache, or needs no look-up
    int redirects = 0;
    std::optional<readers::StreamHeadReader> headReader;

    // Lets go of the reply or socket at once, without a word from it: nothing it emits reaches the fetcher.
    void drop(QObject* fetcher) {
        if (reply) {
            QObject::disconnect(reply, nullptr, fetcher, nullptr);
            reply->abort();
            reply->deleteLater();
            reply = nullptr;
        }
        if (socket) {
            QObject::disconnect(socket, nullptr, fetcher, nullptr);
            socket->abort();
            socket->deleteLater();
            socket = nullptr;
        }
    }
};

} // namespace web
