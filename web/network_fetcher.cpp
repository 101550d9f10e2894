// web/: the network fetcher: its requests, bodies and name look-ups (stream heads: network_fetcher_heads.cpp).
//
// How it reaches the web, and why:
// - Proxies as the system sets them (QNetworkProxyFactory's system configuration: on Linux the http_proxy,
//   https_proxy and no_proxy variables), which is what FFmpeg, and so the engine, follows for the stream
//   itself: a station's playlist and head go the way its sound will.
// - TLS per request. A station's playlist and head follow the engine's rule for the stream (it checks no
//   certificate): a station whose stream plays must not be refused here for a certificate the player accepts.
//   The station directory is verified against the system's authorities, its name checked: what it says is
//   what a listener adds.
// - Redirections per request: a station's follow the engine's rule (http and https both ways, at most 3), as
//   directory sites send listeners from https to an http stream; the directory's stay on https and under its
//   domain: only the directory's own servers speak for it.
// - Name look-ups in Qt's pool, MaxLookUpThreads at most, and MaxLookUps at once for each requester (the finder,
//   the session, the directory, the checker): a resolver that hangs (a network down, a captive portal) holds a
//   thread for each, and a paste of 64 names must not hold 64 of them, each with its stack and its allocator
//   arena; nor may the names one requester waits for hold up another's (a paste's, the directory's search). A
//   look-up whose requests were all given up gives its place to the next while its thread runs on; a request
//   about to give up starts none; a name looked up lately, or being looked up, waits for no place.
// - Bounds per request: the bytes after decoding (Qt decodes gzip; its read buffer is held to the bound, so
//   nothing reads far past it), the time from the start to the last byte whatever the server does, and the
//   redirections. A socket, a reply or memory that cannot be had is a failed request, not an exception.
#include "web/fetch_job.h"

#include "platform/local_file.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>
#include <new>

namespace web {

namespace {

Failure FromReplyError(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::NoError:
        return Failure::None;
    case QNetworkReply::TimeoutError:
        return Failure::TimedOut;
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::InsecureRedirectError:
        return Failure::Insecure;
    case QNetworkReply::TooManyRedirectsError:
        return Failure::TooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return Failure::Unsupported;
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return Failure::Refused;
    default:
        return Failure::Unreachable;
    }
}

qint64 Now() {
    return QDeadlineTimer::current().deadline();
}

} // namespace

NetworkFetcher::NetworkFetcher(const QByteArray& userAgent, QObject* parent)
    : QObject(parent), m_userAgent(userAgent) {}

NetworkFetcher::~NetworkFetcher() {
    for (auto& [ticket, job] : m_jobs)
        job->drop(this);
    m_jobs.clear();
}

NetworkFetcher::Job* NetworkFetcher::find(Ticket ticket) const {
    const auto found = m_jobs.find(ticket);
    return found == m_jobs.end() ? nullptr : found->second.get();
}

NetworkFetcher::Job* NetworkFetcher::start(const Request& request, QObject* context) {
    // At the first request, not at start-up: the program may never ask the web.
    if (!m_proxiesSet) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        m_proxiesSet = true;
    }
    auto job = std::make_unique<Job>();
    job->ticket = ++m_last;
    job->request = request;
    job->at = request.url;
    job->context = context;
    job->requester = quintptr(context);
    const Ticket ticket = job->ticket;
    if (context)
        job->contextGone = connect(context, &QObject::destroyed, this, [this, ticket] { cancel(ticket); });
    job->deadline.setSingleShot(true);
    // A coarse timer may fire 5 % early: a server's time is what the request says, no less.
    job->deadline.setTimerType(Qt::PreciseTimer);
    connect(&job->deadline, &QTimer::timeout, this, [this, ticket] { fail(ticket, Failure::TimedOut); });
    job->deadline.start(std::max(0, request.timeoutMs));
    Job* started = job.get();
    m_jobs.emplace(ticket, std::move(job));
    return started;
}

Ticket NetworkFetcher::body(const Request& request, QObject* context, std::function<void(const Body&)> done) {
    Job* job = nullptr;
    try {
        job = start(request, context);
        job->bodyDone = std::move(done);
        startBody(*job);
        return job->ticket;
    } catch (const std::bad_alloc&) {
        // Nothing could be made for it: answered as a failure from the event loop, as any other.
        if (job) {
            answerLater(job->ticket, Failure::NoResources);
            return job->ticket;
        }
        const Body failed{Failure::NoResources, {}, {}, request.url};
        QMetaObject::invokeMethod(
            context ? context : this, [done, failed] { done(failed); }, Qt::QueuedConnection);
        return 0;
    }
}

Ticket NetworkFetcher::head(const Request& request, QObject* context, std::function<void(const Head&)> done) {
    Job* job = nullptr;
    try {
        job = start(request, context);
        job->head = true;
        job->headDone = std::move(done);
        startHead(*job);
        return job->ticket;
    } catch (const std::bad_alloc&) {
        if (job) {
            answerLater(job->ticket, Failure::NoResources);
            return job->ticket;
        }
        const Head failed{Failure::NoResources, {}, request.url};
        QMetaObject::invokeMethod(
            context ? context : this, [done, failed] { done(failed); }, Qt::QueuedConnection);
        return 0;
    }
}

Ticket NetworkFetcher::reach(const Request& request, QObject* context, std::function<void(Failure)> done) {
    try {
        Job* job = start(request, context);
        job->reach = true;
        job->reachDone = std::move(done);
        startReach(*job);
        return job->ticket;
    } catch (const std::bad_alloc&) {
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(Failure::NoResources); }, Qt::QueuedConnection);
        return 0;
    }
}

void NetworkFetcher::startReach(Job& job) {
    const Ticket ticket = job.ticket;
    const int port = PortOf(job.at);
    if (job.at.host().isEmpty() || port <= 0 || port > 65535)
        return answerLater(ticket, Failure::Unsupported);
    if (!job.resolved) return lookUp(ticket);
    auto* socket = new QTcpSocket;
    job.socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    connect(socket, &QAbstractSocket::connected, this, [this, ticket] { answer(ticket, Failure::None); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, ticket](QAbstractSocket::SocketError error) {
                fail(ticket, error == QAbstractSocket::SocketResourceError ? Failure::NoResources
                                                                           : Failure::Unreachable);
            });
    socket->connectToHost(job.at.host(), quint16(port));
}

void NetworkFetcher::resume(Job& job) {
    job.reach ? startReach(job) : job.head ? startHead(job) : startBody(job);
}

void NetworkFetcher::cancel(Ticket ticket) {
    const auto found = m_jobs.find(ticket);
    if (found == m_jobs.end()) return;
    std::unique_ptr<Job> job = std::move(found->second);
    m_jobs.erase(found);
    disconnect(job->contextGone);
    job->drop(this);
    if (!job->resolved) releaseLookUp(job->at.host());
}

void NetworkFetcher::answerLater(Ticket ticket, Failure failure) {
    QMetaObject::invokeMethod(
        this, [this, ticket, failure] { fail(ticket, failure); }, Qt::QueuedConnection);
}

void NetworkFetcher::fail(Ticket ticket, Failure failure, const QString& detail) {
    answer(ticket, failure, detail);
}

void NetworkFetcher::answer(Ticket ticket, Failure failure, const QString& detail) {
    const auto found = m_jobs.find(ticket);
    if (found == m_jobs.end()) return;
    // Out of the table before anyone is told: the answer may start, cancel or answer other requests.
    std::unique_ptr<Job> job = std::move(found->second);
    m_jobs.erase(found);
    disconnect(job->contextGone);
    job->deadline.stop();
    job->drop(this);
    if (!job->resolved) releaseLookUp(job->at.host());
    if (job->reach) {
        const auto done = std::move(job->reachDone);
        job.reset();
        done(failure);
    } else if (job->head) {
        Head head{failure, {}, job->at};
        if (failure == Failure::None) head.head = job->headReader->head();
        const auto done = std::move(job->headDone);
        job.reset();
        done(head);
    } else {
        Body body{failure, detail, failure == Failure::None ? std::move(job->bytes) : QByteArray(), job->at};
        const auto done = std::move(job->bodyDone);
        job.reset();
        done(body);
    }
}

// bodies

void NetworkFetcher::startBody(Job& job) {
    const Ticket ticket = job.ticket;
    const QUrl url = job.at;
    if (url.isLocalFile()) {
        QMetaObject::invokeMethod(
            this, [this, ticket] { readLocal(ticket); }, Qt::QueuedConnection);
        return;
    }
    if (!IsWeb(url) || url.host().isEmpty()) return answerLater(ticket, Failure::Unsupported);
    if (!job.resolved) return lookUp(ticket);
    // One manager for each TLS rule: a manager keeps its connections open for the next request to the same
    // server, and a connection made without checking the certificate must never carry a verified request.
    QNetworkAccessManager*& manager = job.request.tls == TlsRule::Verified ? m_verifiedManager : m_manager;
    if (!manager) {
        manager = new QNetworkAccessManager(this);
        // Nothing is kept between requests: no cache, no cookies.
        manager->setCookieJar(nullptr);
    }
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", m_userAgent);
    for (const auto& [name, value] : job.request.headers)
        request.setRawHeader(name, value);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // Each hop is the fetcher's to check and to ask for (finishBody). Qt's own following asked a directory's
    // target twice under its no-less-safe policy, and under its user-verified one (Qt 6.4, a server keeping its
    // connection open) asked again and again and ended as an empty success.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (url.scheme() == QLatin1String("https") && job.request.tls == TlsRule::AsThePlayer) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        request.setSslConfiguration(tls);
    }
    QNetworkReply* reply = manager->get(request);
    job.reply = reply;
    // Qt holds no more of the body than one byte past the bound.
    reply->setReadBufferSize(job.request.maxBytes + 1);
    connect(reply, &QNetworkReply::readyRead, this, [this, ticket] {
        Job* job = find(ticket);
        if (!job) return;
        const qint64 room = job->request.maxBytes + 1 - job->bytes.size();
        job->bytes += job->reply->read(room);
        if (job->bytes.size() > job->request.maxBytes) fail(ticket, Failure::TooLarge);
    });
    connect(reply, &QNetworkReply::finished, this, [this, ticket] { finishBody(ticket); });
}

void NetworkFetcher::finishBody(Ticket ticket) {
    Job* job = find(ticket);
    if (!job) return;
    QNetworkReply* reply = job->reply;
    const QVariant redirect = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (redirect.isValid() && reply->error() == QNetworkReply::NoError) {
        const QUrl to = job->at.resolved(redirect.toUrl());
        if (!MayRedirect(job->request, to)) return fail(ticket, Failure::Unsupported);
        if (++job->redirects > job->request.maxRedirects) return fail(ticket, Failure::TooManyRedirects);
        job->drop(this);
        job->bytes.clear();
        job->at = to;
        job->resolved = false;
        return startBody(*job);
    }
    const qint64 room = job->request.maxBytes + 1 - job->bytes.size();
    if (room > 0 && reply->bytesAvailable()) job->bytes += reply->read(room);
    if (job->bytes.size() > job->request.maxBytes) return fail(ticket, Failure::TooLarge);
    const Failure failure = FromReplyError(reply->error());
    answer(ticket, failure, failure == Failure::None ? QString() : reply->errorString());
}

void NetworkFetcher::readLocal(Ticket ticket) {
    Job* job = find(ticket);
    if (!job) return;
    platform::LocalFile file = platform::ReadLocalFile(job->request.url.toLocalFile(), job->request.maxBytes);
    switch (file.outcome) {
    case platform::LocalFile::Read:
        job->bytes = std::move(file.bytes);
        return answer(ticket, Failure::None);
    case platform::LocalFile::Missing:
        return answer(ticket, Failure::Missing);
    case platform::LocalFile::Folder:
    case platform::LocalFile::NotRegular:
        return answer(ticket, Failure::NotAFile);
    case platform::LocalFile::TooLarge:
        return answer(ticket, Failure::TooLarge);
    case platform::LocalFile::Unreadable:
        return answer(ticket, Failure::Unreachable, file.error);
    }
}

// name look-ups

void NetworkFetcher::lookUp(Ticket ticket) {
    Job* job = find(ticket);
    const QString host = job->at.host();
    // An address needs no look-up; through a proxy, the proxy looks the name up.
    const QNetworkProxy proxy = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(job->at)).value(0);
    const auto resolved = m_resolved.constFind(host);
    const bool known = resolved != m_resolved.cend() && Now() - *resolved < ResolvedForMs;
    if (known || !QHostAddress(host).isNull() ||
        (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy)) {
        job->resolved = true;
        return resume(*job);
    }
    m_lookupWaiting[host].append(ticket);
    const auto queued = m_lookUps.find(host);
    if (queued == m_lookUps.end()) {
        m_lookUps.insert(host, {job->requester, job->request.background, false, false});
        m_lookupQueue.append(host);
    } else if (!job->request.background) {
        // A name being looked up already serves this request too, without a slot of its own; one only the
        // background waited for goes ahead once someone waits for it.
        queued->background = false;
    }
    startLookUps();
}

void NetworkFetcher::startLookUps() {
    for (const bool background : {false, true}) {
        for (auto it = m_lookupQueue.begin();
             it != m_lookupQueue.end() && m_lookupThreads < MaxLookUpThreads;) {
            const QString host = *it;
            LookUp& lookUp = m_lookUps[host];
            if (lookUp.background != background) {
                ++it;
                continue;
            }
            QList<Ticket>& waiting = m_lookupWaiting[host];
            waiting.erase(
                std::remove_if(waiting.begin(), waiting.end(), [this](Ticket t) { return !find(t); }),
                waiting.end());
            // Nobody waits for it any more: every request for it was given up or cancelled.
            if (waiting.isEmpty()) {
                it = m_lookupQueue.erase(it);
                m_lookUps.remove(host);
                m_lookupWaiting.remove(host);
                continue;
            }
            // Requests about to give up are not worth a thread the resolver may hold for a minute.
            const bool worth = std::any_of(waiting.begin(), waiting.end(), [this](Ticket t) {
                return find(t)->deadline.remainingTime() >= MinTimeToLookUpMs;
            });
            if (m_slots.value(lookUp.requester) >= MaxLookUps || !worth) {
                ++it;
                continue;
            }
            it = m_lookupQueue.erase(it);
            lookUp.running = lookUp.holdsSlot = true;
            ++m_slots[lookUp.requester];
            ++m_lookupThreads;
            QHostInfo::lookupHost(host, this, [this, host](const QHostInfo& info) {
                lookedUp(host, info.error() == QHostInfo::NoError && !info.addresses().isEmpty());
            });
        }
    }
}

void NetworkFetcher::lookedUp(const QString& host, bool found) {
    --m_lookupThreads;
    const LookUp lookUp = m_lookUps.take(host);
    if (lookUp.holdsSlot) --m_slots[lookUp.requester];
    if (found) {
        const qint64 now = Now();
        m_resolved.removeIf([now](const auto& known) { return now - known.value() >= ResolvedForMs; });
        m_resolved.insert(host, now);
    }
    const QList<Ticket> waiting = m_lookupWaiting.take(host);
    for (const Ticket ticket : waiting) {
        Job* job = find(ticket);
        if (!job) continue;
        if (!found) {
            fail(ticket, Failure::Unreachable);
            continue;
        }
        // The socket's own look-up now finds the name in Qt's cache.
        job->resolved = true;
        resume(*job);
    }
    startLookUps();
}

void NetworkFetcher::releaseLookUp(const QString& host) {
    const auto lookUp = m_lookUps.find(host);
    if (lookUp == m_lookUps.end() || !lookUp->holdsSlot) return;
    const QList<Ticket>& waiting = m_lookupWaiting.value(host);
    if (std::any_of(waiting.begin(), waiting.end(), [this](Ticket t) { return find(t); })) return;
    lookUp->holdsSlot = false;
    --m_slots[lookUp->requester];
    startLookUps();
}

} // namespace web
