// player/: ASX playlists the engine cannot read, and server text decoding; network via PlaylistFetch only.
#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

class QNetworkAccessManager;

namespace player {

// Text from a server or a playlist (stream titles, entries): UTF-8 when it is valid UTF-8, otherwise GB18030,
// the code page Chinese stations and their Windows tools wrote.
QString DecodeServerText(const QByteArray& bytes);

struct ParsedPlaylist {
    bool recognized = false; // an ASX document or a "[Reference]" redirection file
    QStringList entries;     // in playing order, as written (relative addresses unresolved)
};

// ASX as Windows Media Player wrote and read it: XML in name only (any case, unescaped "&", unclosed
// elements), so read leniently. Also the "[Reference]" form (Ref1=..., Ref2=...) that Windows Media Services
// sent.
ParsedPlaylist ParsePlaylist(const QByteArray& body);

// Fetches one playlist without blocking the UI: bounded in size and time, one request at a time.
class PlaylistFetch : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxBytes = 256 * 1024; // generous for any playlist; a stream is cut off here
    static constexpr int TimeoutMs = 15000;

    explicit PlaylistFetch(QObject* parent = nullptr);
    ~PlaylistFetch() override;

    // Starts fetching url (http, https or file), abandoning any earlier request.
    void start(const QUrl& url);
    void cancel();
    bool busy() const { return m_reply != nullptr; }

signals:
    // The body (at most MaxBytes) and the address it finally came from, after redirections.
    void fetched(const QByteArray& body, const QUrl& finalUrl);
    void failed(const QString& reason);

private:
    void onReadyRead();
    void onFinished();

    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
};

} // namespace player
