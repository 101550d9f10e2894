// tests/player/: what a playlist's entries become: character references in ASX hrefs, and which entries may
// name this machine's files (only those of a playlist on this machine). No network, no engine.
#include "player/address.h"
#include "player/playlist.h"

#include <QTest>

using player::EngineAddress;

class TstPlaylist : public QObject {
    Q_OBJECT

private slots:
    void asxCharacterReferences_data() {
        QTest::addColumn<QByteArray>("href");
        QTest::addColumn<QString>("entry");
        QTest::newRow("hex &") << QByteArray("http://a.example/r?x=1&#x26;y=2")
                               << QStringLiteral("http://a.example/r?x=1&y=2");
        QTest::newRow("decimal &") << QByteArray("http://a.example/r?x=1&#38;y=2")
                                   << QStringLiteral("http://a.example/r?x=1&y=2");
        // Hex digits that are letters, and a number whose decimal reading would be another character.
        QTest::newRow("hex, letters")
            << QByteArray("http://a.example/&#x4E2D;&#x4e2d;") << QStringLiteral("http://a.example/中中");
        QTest::newRow("decimal, Chinese")
            << QByteArray("http://a.example/&#20013;") << QStringLiteral("http://a.example/中");
        QTest::newRow("hex, beyond 16 bits")
            << QByteArray("http://a.example/&#x1F4FB;") << QString::fromUcs4(U"http://a.example/\U0001F4FB");
        QTest::newRow("named") << QByteArray("http://a.example/r?q=&lt;&gt;&quot;&apos;&amp;")
                               << QStringLiteral("http://a.example/r?q=<>\"'&");
    }
    void asxCharacterReferences() {
        QFETCH(QByteArray, href);
        QFETCH(QString, entry);
        const player::ParsedPlaylist parsed =
            player::ParsePlaylist("<asx version=\"3.0\"><entry><ref href=\"" + href + "\"/></entry></asx>");
        QVERIFY(parsed.recognized);
        QCOMPARE(parsed.entries, QStringList{entry});
    }

    // A playlist from a server, over http or https, never reaches this machine's files: a file URL is
    // refused, and a path is the server's own. A playlist on this machine may name its files.
    void localFilesInPlaylists_data() {
        QTest::addColumn<QString>("playlist");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("engineGets");
        const int refused = EngineAddress::Refused;
        const int network = EngineAddress::Network;
        const int local = EngineAddress::Local;
        for (const char* scheme : {"http", "https"}) {
            const QString playlist = QStringLiteral("%1://radio.example/lists/station.asx").arg(scheme);
            const QString server = QStringLiteral("%1://radio.example").arg(scheme);
            for (const char* entry : {"file:///etc/passwd", "FILE:///etc/passwd",
                                      "file://localhost/etc/passwd", "file:/etc/passwd"})
                QTest::addRow("%s: %s", scheme, entry)
                    << playlist << QString::fromLatin1(entry) << refused << QStringList{};
            QTest::addRow("%s: /etc/passwd", scheme) << playlist << QStringLiteral("/etc/passwd") << network
                                                     << QStringList{server + QStringLiteral("/etc/passwd")};
            QTest::addRow("%s: ../../etc/passwd", scheme)
                << playlist << QStringLiteral("../../etc/passwd") << network
                << QStringList{server + QStringLiteral("/etc/passwd")};
        }
        const QString onDisk = QStringLiteral("file:///home/user/lists/station.asx");
        QTest::newRow("local: /etc/passwd")
            << onDisk << QStringLiteral("/etc/passwd") << local << QStringList{QStringLiteral("/etc/passwd")};
        QTest::newRow("local: file:///etc/passwd") << onDisk << QStringLiteral("file:///etc/passwd") << local
                                                   << QStringList{QStringLiteral("/etc/passwd")};
        QTest::newRow("local: relative") << onDisk << QStringLiteral("../a.mp3") << local
                                         << QStringList{QStringLiteral("/home/user/a.mp3")};
    }
    void localFilesInPlaylists() {
        QFETCH(QString, playlist);
        QFETCH(QString, entry);
        QFETCH(int, kind);
        QFETCH(QStringList, engineGets);
        const EngineAddress address = player::ClassifyPlaylistEntry(entry, QUrl(playlist));
        QCOMPARE(int(address.kind), kind);
        QCOMPARE(address.candidates, engineGets);
    }
};

QTEST_MAIN(TstPlaylist)
#include "tst_playlist.moc"
