// tests/support: runs hostile_server.py (a loopback server that answers badly on purpose; its modes are
// listed there) for one test, and asks it how often each path was requested.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTcpSocket>
#include <QUrl>

namespace support {

class HostileServer {
public:
    ~HostileServer() { stop(); }

    // Starts the server on a free port of 127.0.0.1; mp3 is the audio its ICY modes send. False (with the
    // reason in the test log) when it does not come up within 10 s.
    bool start(const QString& script, const QString& mp3 = {}, int lifetimeSeconds = 300) {
        QStringList arguments = {script, QStringLiteral("--lifetime"), QString::number(lifetimeSeconds)};
        if (!mp3.isEmpty()) arguments << QStringLiteral("--mp3") << mp3;
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        if (!m_process.waitForStarted(10000)) {
            qWarning("hostile server: cannot start python3: %s", qPrintable(m_process.errorString()));
            return false;
        }
        QByteArray line;
        while (!line.contains('\n') && m_process.waitForReadyRead(10000))
            line += m_process.readAllStandardOutput();
        if (!line.startsWith("PORT ")) {
            qWarning("hostile server did not start: %s %s", line.constData(),
                     m_process.readAllStandardError().constData());
            return false;
        }
        m_port = quint16(line.mid(5).trimmed().toUInt());
        return m_port != 0;
    }

    // Closing its input ends the server; a kill if it does not go within 3 s.
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    quint16 port() const { return m_port; }
    QString url(const QString& path, const QString& scheme = QStringLiteral("http")) const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path);
    }

    // How often the server was asked for a path, and when: in the milliseconds of QElapsedTimer's clock
    // (msecsSinceReference), which is the server's too.
    struct Asked {
        int count = 0; // -1 when the server does not answer
        QList<qint64> atMs;
    };
    Asked asked(const QString& path) const {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (!socket.waitForConnected(3000)) return {-1, {}};
        socket.write("GET /count HTTP/1.0\r\n\r\n");
        QByteArray response;
        while (socket.waitForReadyRead(3000))
            response += socket.readAll();
        const qsizetype body = response.indexOf("\r\n\r\n");
        if (!response.startsWith("HTTP/1.0 200") || body < 0) return {-1, {}};
        for (const QByteArray& line : response.mid(body + 4).split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 2 || fields[0] != path.toUtf8()) continue;
            Asked asked{fields[1].toInt(), {}};
            for (qsizetype i = 2; i < fields.size(); ++i)
                asked.atMs.append(fields[i].toLongLong());
            return asked;
        }
        return {};
    }
    // Requests taken so far for path; -1 when the server does not answer.
    int requests(const QString& path) const { return asked(path).count; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace support
