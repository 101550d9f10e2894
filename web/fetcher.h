// web/: the one way the program asks the web for something: a body (a playlist, an answer of the station
// directory) or a stream's response head (what the stream calls itself, and what it is). Each request carries
// its own bounds and rules; every answer comes from the event loop, once, and never after its request was
// cancelled. The program makes one NetworkFetcher (web/network_fetcher.h) and hands it to whoever asks; a test
// hands in a scripted one instead.
#pragma once

#include "readers/stream_head.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <utility>

namespace web {

// Whose certificate rules a request follows.
enum class TlsRule {
    AsThePlayer, // a station's: the engine plays a stream without checking its certificate, and what plays must be readable
    Verified, // the system's certificate authorities, the name checked
};

// Which redirections a request follows, up to its bound. Each hop is checked before it is followed.
enum class RedirectRule {
    AsThePlayer, // http and https both ways, as the engine follows them for the stream itself
    HttpsWithin, // https only, and only to a name under the request's domain (Request::within)
};

// Whether host is a name under domain ("de1.api.radio-browser.info" under "radio-browser.info"), not the domain
// itself nor a name that only ends in the same letters.
bool IsNameUnder(const QString& host, const QString& domain);

struct Request {
    QUrl url;
    qint64 maxBytes = 0; // the body after decoding, or the whole head
    int timeoutMs = 0;   // from the start to the last byte, redirections included
    int maxRedirects = 0;
    TlsRule tls = TlsRule::AsThePlayer;
    RedirectRule redirects = RedirectRule::AsThePlayer;
    QString within;                                   // the domain of HttpsWithin
    QList<std::pair<QByteArray, QByteArray>> headers; // sent besides the fetcher's own (User-Agent ...)
    // Asked on the program's own account (a check of the list), not for something the user waits for: its name
    // look-up waits behind theirs.
    bool background = false;

    // A station's playlist: 15 s, 256 KiB, 3 redirections. http, https, or a local file (file:).
    static Request StationPlaylist(const QUrl& url);
    // A station's stream head: 5 s, 64 KiB for the status line and every header, 3 redirections.
    static Request StationHead(const QUrl& url);
};

enum class Failure {
    None,
    Unsupported, // not an address this request takes (a scheme, no host, a control character)
    Unreachable, // no server, a refused connection, a name that does not resolve, a cut
    TimedOut,    // no whole answer in the request's time
    TooLarge,    // more than the request's bytes: a stream, or a body without end
    Refused,     // the server answered with an error status (404, 500 ...)
    TooManyRedirects,
    Insecure,    // the certificate was refused
    NotAFile,    // a local name that is a folder, a device or a pipe
    Missing,     // a local file that does not exist
    NoResources, // no socket, timer or memory to be had now
};

// The failure in the program's words, for a line the user reads.
QString FailureText(Failure failure);

// The port a connection to url goes to: its own, else its scheme's; -1 for a scheme without one.
int PortOf(const QUrl& url);

struct Body {
    Failure failure = Failure::None;
    QString detail;   // what the system said, for logs; never shown as it is
    QByteArray bytes; // the whole body when failure is None
    QUrl finalUrl;    // where it finally came from, after redirections
};

struct Head {
    Failure failure = Failure::None;
    readers::StreamHead head; // status 200 (HTTP or ICY) when failure is None
    QUrl finalUrl;
};

using Ticket = quint64;

class Fetcher {
public:
    virtual ~Fetcher() = default;
    // Starts a request. done runs once, from the event loop (never within this call), unless the request is
    // cancelled first or context is destroyed first, which cancels it.
    virtual Ticket body(const Request& request, QObject* context, std::function<void(const Body&)> done) = 0;
    // The head of a stream: the request is sent as a player sends it (HTTP/1.0, asking for ICY titles) and the
    // answer read up to the blank line, whatever follows.
    virtual Ticket head(const Request& request, QObject* context, std::function<void(const Head&)> done) = 0;
    // Whether a server takes connections at the address's host and port (its own, else its scheme's: mms and
    // mmst 1755, rtsp 554, rtmp 1935, http 80, https 443): a connection opened and closed, nothing sent, no proxy.
    // done gets None or why not.
    virtual Ticket reach(const Request& request, QObject* context, std::function<void(Failure)> done) = 0;
    // Aborts at once; nothing of the request is called after this returns. An unknown or answered ticket is
    // nothing.
    virtual void cancel(Ticket ticket) = 0;
};

} // namespace web
