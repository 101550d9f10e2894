// player/: fetches one playlist file (http, https or a local file) off the UI thread; used by the component.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace player {

// Reads through FFmpeg, which the engine has loaded already: the same network code that plays the streams,
// and no second network library for the program to load at start-up. Bounded in size and time, one request
// at a time; the result arrives on the UI thread.
class PlaylistFetch : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxBytes = 256 * 1024; // generous for any playlist; a longer body is refused
    static constexpr int TimeoutMs = 15000;

    enum Failure {
        Unreachable, // the address gave no whole answer in time: no server, an error, a cut, too slow
        TooLarge,    // more than MaxBytes: a stream, or a playlist without end
    };
    Q_ENUM(Failure)

    explicit PlaylistFetch(QObject* parent = nullptr);
    ~PlaylistFetch() override;

    // Starts fetching url (http, https or file), abandoning any earlier request.
    void start(const QUrl& url);
    // Abandons the request: no signal comes for it. Never waits for the network.
    void cancel();
    bool busy() const { return m_job != nullptr; }

    struct Job; // shared with the thread that reads

signals:
    // The whole body (at most MaxBytes) and the address it finally came from, after redirections.
    void fetched(const QByteArray& body, const QUrl& finalUrl);
    void failed(const QString& reason, player::PlaylistFetch::Failure failure);

private:
    void finish(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> m_job;
};

} // namespace player
