// player/: asks a stream's server what the stream is called: one bounded request for its response headers
// (icy-name, icy-genre, Content-Type), off the UI thread. Used by StationFinder to name a station and to tell
// a playlist served under a stream's address.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace player {

class StreamNameProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int TimeoutMs = 5000; // from the request to the headers' end, whatever the server
    static constexpr int MaxHeaderBytes = 64 * 1024; // the status line and every header together

    struct Answer {
        bool ok = false;     // the server answered "HTTP/1.x 200" or, as SHOUTcast does, "ICY 200 OK"
        QString name;        // icy-name, decoded as server text (UTF-8, else GB18030); empty when not sent
        QString genre;       // icy-genre, likewise
        QString contentType; // the media type alone, lower case, without parameters
    };

    explicit StreamNameProbe(QObject* parent = nullptr);
    ~StreamNameProbe() override;

    // Asks url (http or https), abandoning any earlier request. Any other scheme answers at once, not ok.
    void start(const QUrl& url);
    void cancel();
    bool busy() const;

    struct Job; // shared with the thread that asks

signals:
    // Exactly one answer for each started request, on the UI thread; a failure, a timeout or a refusal is
    // not ok.
    void answered(const player::StreamNameProbe::Answer& answer);

private:
    std::shared_ptr<Job> m_job;
};

} // namespace player
