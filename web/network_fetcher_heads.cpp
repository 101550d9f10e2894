// web/: the network fetcher's stream heads: a socket of its own for each, since Qt's HTTP parser refuses
// SHOUTcast's "ICY 200 OK"; the head is read by readers/stream_head, redirections followed by the request's rule.
#include "web/fetch_job.h"

#include <QNetworkProxyFactory>
#include <QSslSocket>

#include <algorithm>

namespace web {

namespace {

// The head request a player sends: HTTP/1.0, asking for the stream's titles, the connection closed after.
// Empty when url cannot be put on a request line.
QByteArray HeadRequestText(const QUrl& url, const QByteArray& userAgent,
                           const QList<std::pair<QByteArray, QByteArray>>& headers) {
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.isEmpty()) return {};
    if (host.contains(':')) host = '[' + host + ']';
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/')) target.prepend('/');
    // What goes on the request line may not end it or the line after it.
    for (const char c : target + host)
        if (uchar(c) <= 0x20 || uchar(c) == 0x7f) return {};
    const QByteArray hostField = url.port() == -1 ? host : host + ':' + QByteArray::number(url.port());
    QByteArray text = "GET " + target + " HTTP/1.0\r\nHost: " + hostField + "\r\nUser-Agent: " + userAgent +
                      "\r\nAccept: */*\r\nIcy-MetaData: 1\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    return text + "\r\n";
}

} // namespace

void NetworkFetcher::startHead(Job& job) {
    const Ticket ticket = job.ticket;
    const QUrl at = job.at;
    const QByteArray text = IsWeb(at) ? HeadRequestText(at, m_userAgent, job.request.headers) : QByteArray();
    if (text.isEmpty()) return answerLater(ticket, Failure::Unsupported);
    const bool tls = at.scheme() == QLatin1String("https");
    if (tls && !QSslSocket::supportsSsl()) return answerLater(ticket, Failure::Insecure);
    if (!job.resolved) return lookUp(ticket);
    job.headReader.emplace(job.request.maxBytes);
    QTcpSocket* socket = tls ? new QSslSocket : new QTcpSocket;
    job.socket = socket;
    // The proxy the engine would take to the stream (see the top of network_fetcher.cpp).
    socket->setProxy(QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(at)).value(0));
    socket->setReadBufferSize(job.request.maxBytes);
    connect(socket, &QAbstractSocket::readyRead, this, [this, ticket] { readHead(ticket); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, ticket](QAbstractSocket::SocketError error) {
                // What was read before the server closed may hold the whole head.
                readHead(ticket);
                if (!find(ticket)) return;
                fail(ticket, error == QAbstractSocket::SocketResourceError       ? Failure::NoResources
                             : error == QAbstractSocket::SslHandshakeFailedError ? Failure::Insecure
                                                                                 : Failure::Unreachable);
            });
    const int port = at.port(tls ? 443 : 80);
    if (tls) {
        auto* secure = static_cast<QSslSocket*>(socket);
        if (job.request.tls == TlsRule::AsThePlayer) secure->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(secure, &QSslSocket::encrypted, this, [secure, text] { secure->write(text); });
        secure->connectToHostEncrypted(at.host(), quint16(port));
    } else {
        connect(socket, &QAbstractSocket::connected, this, [socket, text] { socket->write(text); });
        socket->connectToHost(at.host(), quint16(port));
    }
}

void NetworkFetcher::readHead(Ticket ticket) {
    Job* job = find(ticket);
    if (!job || !job->socket) return;
    while (job->socket->bytesAvailable() > 0) {
        const QByteArray more = job->socket->read(std::max<qint64>(1, job->headReader->room()));
        if (!job->headReader->feed(more)) break;
    }
    if (job->headReader->complete()) return headDone(ticket);
    if (job->headReader->overflowed()) return fail(ticket, Failure::TooLarge);
}

void NetworkFetcher::headDone(Ticket ticket) {
    Job* job = find(ticket);
    const readers::StreamHead head = job->headReader->head();
    if (head.redirect()) {
        const QByteArray location = head.field("Location");
        const QUrl to = job->at.resolved(QUrl::fromEncoded(location));
        if (job->redirects >= job->request.maxRedirects) return fail(ticket, Failure::TooManyRedirects);
        if (location.isEmpty() || !MayRedirect(job->request, to)) return fail(ticket, Failure::Unsupported);
        ++job->redirects;
        job->drop(this);
        job->at = to;
        job->resolved = false;
        return startHead(*job);
    }
    if (head.status != 200) return fail(ticket, head.status == 0 ? Failure::Unreachable : Failure::Refused);
    answer(ticket, Failure::None);
}

} // namespace web
