// tests/player/: helpers of the playback tests: fixture state, ICY titles, a playlist responder on loopback,
// the loudness of what the engine wrote.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <cmath>

namespace playback {

// The state file tests/fixtures/icecast-start writes: KEY=VALUE lines.
struct StreamServers {
    QMap<QString, QString> values;

    QString value(const QString& key) const { return values.value(key); }
    quint16 port(const QString& key = QStringLiteral("PORT")) const {
        return quint16(values.value(key).toUInt());
    }
    QString url(const QString& mount, const QString& scheme = QStringLiteral("http"),
                const QString& portKey = QStringLiteral("PORT")) const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port(portKey)).arg(mount);
    }

    static StreamServers Read(const QString& stateFile) {
        StreamServers servers;
        QFile file(stateFile);
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (const qsizetype eq = line.indexOf('='); eq > 0)
                    servers.values.insert(QString::fromUtf8(line.left(eq)),
                                          QString::fromUtf8(line.mid(eq + 1)));
        return servers;
    }
};

// Sets a mount's ICY title through icecast's admin interface, in one request bounded by 5 s. The title goes in
// as UTF-8; the mount's configured charset decides what goes out (the fixture's /gbk mount sends GBK bytes, like
// a Chinese station).
inline bool SetIcyTitle(const StreamServers& servers, const QString& mount, const QString& title) {
    const QByteArray auth = "admin:" + servers.value(QStringLiteral("ADMIN_PASSWORD")).toUtf8();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), servers.port());
    if (!socket.waitForConnected(5000)) return false;
    socket.write("GET /admin/metadata?mount=" + QUrl::toPercentEncoding(mount) +
                 "&mode=updinfo&charset=UTF-8&song=" + QUrl::toPercentEncoding(title) +
                 " HTTP/1.0\r\nHost: 127.0.0.1\r\nAuthorization: Basic " + auth.toBase64() + "\r\n\r\n");
    QByteArray response;
    while (socket.waitForReadyRead(5000))
        response += socket.readAll();
    return (response + socket.readAll()).contains("<return>1</return>");
}

// Whether a listener of the mount gets title (the bytes as the server sends them) within timeoutMs. Icecast
// takes a moment to put a new title into its stream.
inline bool ServerSendsTitle(const StreamServers& servers, const QString& mount, const QByteArray& title,
                             int timeoutMs = 10000) {
    const QByteArray wanted = "StreamTitle='" + title + "';";
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), servers.port());
        if (!socket.waitForConnected(2000)) return false;
        socket.write("GET " + mount.toUtf8() + " HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n");
        // The burst and the first metadata block: about 80 kB at 128 kbit/s.
        QByteArray seen;
        while (seen.size() < 128 * 1024 && !seen.contains(wanted) && socket.waitForReadyRead(2000))
            seen += socket.readAll();
        if (seen.contains(wanted)) return true;
    }
    return false;
}

// A port on loopback that nothing listens on (it was free a moment ago, and nothing here takes ports at
// random).
inline quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // and closes it
}

// Serves fixed bodies on 127.0.0.1 (playlists the tests write), HTTP/1.0, one response per connection.
class HttpResponder : public QObject {
public:
    HttpResponder() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { respond(socket); });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    // withLength false leaves the length out, as a live stream does: the client cannot tell the end from a
    // cut.
    void serve(const QString& path, const QByteArray& contentType, const QByteArray& body,
               bool withLength = true) {
        m_bodies.insert(path.toUtf8(), {contentType, body});
        if (!withLength) m_unbounded.insert(path.toUtf8());
    }
    // location may be absolute or relative.
    void redirect(const QString& path, const QByteArray& loc) { m_redirects.insert(path.toUtf8(), loc); }
    // Requests for path are taken and never answered.
    void hold(const QString& path) { m_held.insert(path.toUtf8()); }
    int requests(const QString& path) const { return m_requests.value(path.toUtf8()); }

private:
    void respond(QTcpSocket* socket) {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n")) return;
        const QByteArray path = pending.split(' ').value(1);
        m_pending.remove(socket);
        ++m_requests[path];
        if (m_held.contains(path)) return;
        const auto it = m_bodies.constFind(path);
        if (m_redirects.contains(path)) {
            socket->write("HTTP/1.0 302 Found\r\nLocation: " + m_redirects.value(path) +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else if (it == m_bodies.constEnd()) {
            socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else {
            const QByteArray length =
                m_unbounded.contains(path)
                    ? QByteArray()
                    : "Content-Length: " + QByteArray::number(it->second.size()) + "\r\n";
            socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + it->first + "\r\n" + length +
                          "Connection: close\r\n\r\n" + it->second);
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, QPair<QByteArray, QByteArray>> m_bodies;
    QHash<QByteArray, int> m_requests;
    QSet<QByteArray> m_unbounded;
    QHash<QByteArray, QByteArray> m_redirects;
    QSet<QByteArray> m_held;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

// Root mean square of signed 16-bit samples, 0 (silence) to 1 (full scale); -1 when there are none.
inline double PcmRms(const QByteArray& pcm) {
    const qsizetype samples = pcm.size() / 2;
    if (samples == 0) return -1;
    const auto* s = reinterpret_cast<const qint16*>(pcm.constData());
    double sum = 0;
    for (qsizetype i = 0; i < samples; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(samples)) / 32768.0;
}

inline qint64 FileSize(const QString& path) {
    return QFile(path).size();
}
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs a helper script to its end, bounded; its output goes to the test log on failure.
inline bool RunScript(const QString& program, const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
        if (!finished) process.kill();
        return false;
    }
    return true;
}

// ffmpeg, quiet, with space-separated arguments and then the files it writes (whose names may hold spaces).
inline bool Ffmpeg(const QString& arguments, const QStringList& outputs) {
    return RunScript(QStringLiteral("ffmpeg"),
                     QStringList{"-nostdin", "-v", "error"} + arguments.split(QLatin1Char(' ')) + outputs);
}

} // namespace playback
