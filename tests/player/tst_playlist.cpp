// tests/player/: addresses and playlists as the player reads them, without a network or an engine: what a typed
// address or a playlist entry gives the engine, which entries may name this machine's files (only those of a
// playlist on this machine; a typed address that is local must be a file), what a playlist file holds and how many
// of its entries count, and how a server's text is decoded.
#include "player/address.h"
#include "player/playlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using player::EngineAddress;

class TstPlaylist : public QObject {
    Q_OBJECT

private slots:
    void addresses_data();
    void addresses();
    void playlistEntries_data();
    void playlistEntries();
    void playlists_data();
    void playlists();
    void serverText_data();
    void serverText();
    void playlistEntriesAreBounded();
    void localAddressesMustBeFiles();

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

void TstPlaylist::addresses_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("engineGets");
    const int network = EngineAddress::Network, local = EngineAddress::Local,
              refused = EngineAddress::Refused;

    QTest::newRow("http") << "http://127.0.0.1:8000/radio" << network
                          << QStringList{"http://127.0.0.1:8000/radio"};
    QTest::newRow("https, scheme in capitals")
        << "HTTPS://radio.example/live" << network << QStringList{"https://radio.example/live"};
    QTest::newRow("HLS") << "https://radio.example/hls/index.m3u8" << network
                         << QStringList{"https://radio.example/hls/index.m3u8"};
    QTest::newRow("spaces around") << "  http://radio.example/a  " << network
                                   << QStringList{"http://radio.example/a"};
    QTest::newRow("mms: over HTTP, then TCP")
        << "mms://live.example.com/radio1" << network
        << QStringList{"mmsh://live.example.com/radio1", "mmst://live.example.com/radio1"};
    QTest::newRow("mmsh") << "mmsh://live.example.com/r" << network
                          << QStringList{"mmsh://live.example.com/r"};
    QTest::newRow("mmst") << "mmst://live.example.com/r" << network
                          << QStringList{"mmst://live.example.com/r"};
    QTest::newRow("rtsp") << "rtsp://live.example.com:554/r" << network
                          << QStringList{"rtsp://live.example.com:554/r"};
    QTest::newRow("rtmp") << "rtmp://live.example.com/app/r" << network
                          << QStringList{"rtmp://live.example.com/app/r"};
    QTest::newRow("path") << "/home/user/音乐/a b.mp3" << local << QStringList{"/home/user/音乐/a b.mp3"};
    QTest::newRow("file URL") << "file:///tmp/a%20b.mp3" << local << QStringList{"/tmp/a b.mp3"};
    QTest::newRow("file URL, localhost")
        << "file://localhost/tmp/a.mp3" << local << QStringList{"/tmp/a.mp3"};
    const QString longest = "http://a.example/" + QString(player::MaxAddressLength - 17, u'a');
    QTest::newRow("at the length bound") << " " + longest + " " << network << QStringList{longest};
    QTest::newRow("beyond the length bound") << longest + "a" << refused << QStringList{};

    // The engine's own schemes: devices, filters, arbitrary files through FFmpeg, descriptors.
    for (const char* typed :
         {"av://lavfi:sine", "lavf://http://radio.example/a", "ffmpeg://file:/etc/passwd", "edl://a.mp3,0,1",
          "memory://data", "fd://0", "fdclose://3", "null://", "hex://41", "slice://0-100@/etc/passwd",
          "appending:///tmp/a.mp3", "dvd://", "bd://", "cdda://", "tv://", "dvb://", "mf://*.jpg",
          "lavfi://sine",
          // Not stations, or not from this machine.
          "smb://host/share/a.mp3", "ftp://host/a.mp3", "udp://239.0.0.1:1234", "rtp://239.0.0.1:1234",
          "data:audio/mpeg;base64,AAAA", "javascript:alert(1)", "file://otherhost/a.mp3", "relative/a.mp3",
          "~/a.mp3", "C:\\Music\\a.mp3", "http://", "mms:///radio1", "", "   "})
        QTest::newRow(typed) << QString::fromUtf8(typed) << refused << QStringList{};
}

void TstPlaylist::addresses() {
    QFETCH(QString, typed);
    QFETCH(int, kind);
    QFETCH(QStringList, engineGets);
    const EngineAddress address = player::ClassifyAddress(typed);
    QCOMPARE(int(address.kind), kind);
    QCOMPARE(address.candidates, engineGets);
}

void TstPlaylist::playlistEntries_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("playlist");
    QTest::addColumn<QStringList>("engineGets");
    const QString remote = QStringLiteral("http://radio.example/lists/station.asx");
    const QString local = QStringLiteral("file:///home/user/lists/station.asx");

    QTest::newRow("remote: stream") << "http://live.example/a" << remote
                                    << QStringList{"http://live.example/a"};
    QTest::newRow("remote: relative") << "a.mp3" << remote << QStringList{"http://radio.example/lists/a.mp3"};
    QTest::newRow("remote: from the server's root")
        << "/live" << remote << QStringList{"http://radio.example/live"};
    QTest::newRow("remote: mms") << "mms://live.example/r" << remote
                                 << QStringList{"mmsh://live.example/r", "mmst://live.example/r"};
    QTest::newRow("remote: Windows Media over HTTP")
        << "http://live.example/r?MSWMExt=.asf" << remote
        << QStringList{"mmsh://live.example/r?MSWMExt=.asf", "http://live.example/r?MSWMExt=.asf"};
    QTest::newRow("remote: local file") << "file:///etc/passwd" << remote << QStringList{};
    QTest::newRow("remote: engine scheme") << "av://lavfi:sine" << remote << QStringList{};
    QTest::newRow("local: local file") << "/home/user/a.mp3" << local << QStringList{"/home/user/a.mp3"};
    QTest::newRow("local: relative") << "a.mp3" << local << QStringList{"/home/user/lists/a.mp3"};
    QTest::newRow("local: stream") << "http://live.example/a" << local
                                   << QStringList{"http://live.example/a"};
    QTest::newRow("local: engine scheme") << "edl://a.mp3,0,1" << local << QStringList{};
}

void TstPlaylist::playlistEntries() {
    QFETCH(QString, entry);
    QFETCH(QString, playlist);
    QFETCH(QStringList, engineGets);
    QCOMPARE(player::ClassifyPlaylistEntry(entry, QUrl(playlist)).candidates, engineGets);
}

void TstPlaylist::serverText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Morning Show") << QStringLiteral("Morning Show");
    QTest::newRow("UTF-8") << QByteArray("\xe4\xb8\xad\xe5\x9b\xbd\xe4\xb9\x8b\xe5\xa3\xb0")
                           << QStringLiteral("中国之声");
    QTest::newRow("GBK") << QByteArray("\xd6\xd0\xb9\xfa\xd6\xae\xc9\xf9") << QStringLiteral("中国之声");
    QTest::newRow("GB18030 four-byte") << QByteArray("\x90\x30\x81\x30") << QString::fromUcs4(U"\U00010000");
    // Bytes that happen to be valid UTF-8 stay UTF-8, even when GBK could read them too.
    QTest::newRow("UTF-8 wins") << QByteArray("\xc3\xa9t\xc3\xa9") << QStringLiteral("été");
}

void TstPlaylist::serverText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(player::DecodeServerText(bytes), text);
}

void TstPlaylist::playlists_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("recognized");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("PLS") << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=http://a.example/r\nTitle1=A\n"
                                       "Length1=-1\nFile2=http://b.example/r\nVersion=2\n")
                         << true << QStringList{"http://a.example/r", "http://b.example/r"};
    QTest::newRow("PLS as Windows tools wrote it")
        << QByteArray("\r\n[Playlist]\r\nfile1 = \"mms://a.example/r\"\r\nFILE2=http://b.example/r \r\n")
        << true << QStringList{"mms://a.example/r", "http://b.example/r"};
    QTest::newRow("PLS without entries")
        << QByteArray("[playlist]\nNumberOfEntries=0\n") << true << QStringList{};
    QTest::newRow("M3U with titles and comments")
        << QByteArray("#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://a.example/r\r\n\r\n# off: http://x.example/\r\n"
                      "relative.mp3\r\n")
        << true << QStringList{"http://a.example/r", "relative.mp3"};
    QTest::newRow("M3U without its header") << QByteArray("http://a.example/r\nmms://b.example/r\n") << true
                                            << QStringList{"http://a.example/r", "mms://b.example/r"};
    QTest::newRow("text that is no list of addresses")
        << QByteArray("Hello there\nhttp://a.example/r\n") << false << QStringList{};
    QTest::newRow("HLS is the engine's")
        << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg0.ts\n") << false << QStringList{};
    QTest::newRow("Reference, Windows line ends")
        << QByteArray("[Reference]\r\nRef1=http://a.example/r?MSWMExt=.asf\r\nRef2=mms://b.example/r\r\n")
        << true << QStringList{"http://a.example/r?MSWMExt=.asf", "mms://b.example/r"};
    QTest::newRow("ASX: hexadecimal and decimal references")
        << QByteArray("<asx><entry><ref href=\"http://a.example/r?x=1&#x26;y=2&#38;z=3&#X26;w=&#x4E2D;\"/>"
                      "</entry></asx>")
        << true << QStringList{QStringLiteral("http://a.example/r?x=1&y=2&z=3&w=中")};
    QTest::newRow("ASX: references that are no characters stay as written")
        << QByteArray(
               "<asx><ref href=\"http://a.example/?a=&#0;&#xD800;&#x110000;&#99999999999;&#x;&bogus;\"/>"
               "</asx>")
        << true << QStringList{"http://a.example/?a=&#0;&#xD800;&#x110000;&#99999999999;&#x;&bogus;"};
    QTest::newRow("ASX: unclosed tags, unquoted and single-quoted values")
        << QByteArray("<ASX><Entry><Ref href=http://a.example/r><Entry><REF HREF='http://b.example/r'"
                      "<ref href=\"http://c.example/r")
        << true << QStringList{"http://a.example/r", "http://b.example/r", "http://c.example/r"};
    QTest::newRow("ASX: a comment without its end hides the rest")
        << QByteArray("<asx><ref href=\"http://a.example/r\"/><!-- <ref href=\"http://b.example/r\"/>")
        << true << QStringList{"http://a.example/r"};
    QTest::newRow("ASX: other attributes named like href")
        << QByteArray("<asx><ref xhref=\"http://x.example/\" href=\"http://a.example/r\"/>"
                      "<moreinfo href=\"http://web.example/\"/></asx>")
        << true << QStringList{"http://a.example/r"};
    QTest::newRow("web page with a ref tag")
        << QByteArray("<html><body><ref href=\"http://a.example/\"></body></html>") << false << QStringList{};
    QTest::newRow("MP3 bytes") << QByteArray("\xff\xfb\x90\x64\x00\x00http://a.example/\n", 24) << false
                               << QStringList{};
    QTest::newRow("empty") << QByteArray() << false << QStringList{};
    QTest::newRow("ASX") << QByteArray("<asx version=\"3.0\">\n<title>Radio</title>\n"
                                       "<entry><ref href=\"mms://a.example/r\"/></entry>\n"
                                       "<entry><ref href=\"http://b.example/r\" /></entry>\n</asx>\n")
                         << true << QStringList{"mms://a.example/r", "http://b.example/r"};
    QTest::newRow("ASX as Windows wrote it")
        << QByteArray("<ASX VERSION=\"3.0\"><ENTRY><REF HREF = 'http://a.example/r?x=1&amp;y=2'>"
                      "<Ref href=http://b.example/r></ENTRY><!-- <ref href=\"http://off.example/\"/> -->"
                      "<EntryRef href=\"http://c.example/more.asx\"/></ASX>")
        << true
        << QStringList{"http://a.example/r?x=1&y=2", "http://b.example/r", "http://c.example/more.asx"};
    QTest::newRow("ASX, unescaped ampersand")
        << QByteArray("<asx><entry><ref href=\"http://a.example/r?x=1&y=2\"/></entry></asx>") << true
        << QStringList{"http://a.example/r?x=1&y=2"};
    QTest::newRow("ASX in GB18030 with a Chinese title")
        << QByteArray(
               "<asx><title>\xd6\xd0\xb9\xfa\xd6\xae\xc9\xf9</title><entry><ref href=\"mms://a.example/r\"/>"
               "</entry></asx>")
        << true << QStringList{"mms://a.example/r"};
    QTest::newRow("Reference") << QByteArray("[Reference]\r\nRef1=http://a.example/r?MSWMExt=.asf\r\n"
                                             "Ref2=http://b.example/r?MSWMExt=.asf\r\n")
                               << true
                               << QStringList{"http://a.example/r?MSWMExt=.asf",
                                              "http://b.example/r?MSWMExt=.asf"};
    QTest::newRow("Reference with BOM") << QByteArray("\xef\xbb\xbf[reference]\nref1 = mms://a.example/r\n")
                                        << true << QStringList{"mms://a.example/r"};
    QTest::newRow("ASX without entries")
        << QByteArray("<asx version=\"3.0\"></asx>") << true << QStringList{};
    QTest::newRow("M3U") << QByteArray("#EXTM3U\nhttp://a.example/r\n") << true
                         << QStringList{"http://a.example/r"};
    QTest::newRow("web page with a link")
        << QByteArray("<html><body><a href=\"http://a.example/\">x</a></body></html>") << false
        << QStringList{};
    QTest::newRow("audio") << QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00\xff\xfb\x90\x64", 14) << false
                           << QStringList{};
}

void TstPlaylist::playlists() {
    QFETCH(QByteArray, body);
    QFETCH(bool, recognized);
    QFETCH(QStringList, entries);
    const player::ParsedPlaylist parsed = player::ParsePlaylist(body);
    QCOMPARE(parsed.recognized, recognized);
    QCOMPARE(parsed.entries, entries);
}

void TstPlaylist::playlistEntriesAreBounded() {
    // A 256 KiB playlist holds thousands of entries; a station names a few.
    QByteArray pls = "[playlist]\n", m3u = "#EXTM3U\n", asx = "<asx>", reference = "[Reference]\n";
    for (int i = 1; i <= 5000; ++i) {
        const QByteArray n = QByteArray::number(i);
        pls += "File" + n + "=http://a.example/" + n + "\n";
        m3u += "http://a.example/" + n + "\n";
        asx += "<entry><ref href=\"http://a.example/" + n + "\"/></entry>";
        reference += "Ref" + n + "=http://a.example/" + n + "\n";
    }
    for (const QByteArray& body : {pls, m3u, asx, reference}) {
        const player::ParsedPlaylist parsed = player::ParsePlaylist(body);
        QVERIFY(parsed.recognized);
        QCOMPARE(parsed.entries.size(), player::MaxPlaylistEntries);
        QCOMPARE(parsed.entries.first(), QStringLiteral("http://a.example/1"));
        QCOMPARE(parsed.entries.last(),
                 QStringLiteral("http://a.example/%1").arg(player::MaxPlaylistEntries));
    }
}

void TstPlaylist::localAddressesMustBeFiles() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("音 a.mp3"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QString missing = dir.filePath(QStringLiteral("not yet.mp3"));

    // A directory makes the engine walk the tree below it; a device never ends.
    for (const QString& typed :
         {dir.path(), dir.path() + QLatin1Char('/'), QStringLiteral("/usr/share"),
          QUrl::fromLocalFile(dir.path()).toString(), QStringLiteral("file:///usr/share/"),
          QStringLiteral("/dev/zero"), QStringLiteral("file:///dev/zero")}) {
        const EngineAddress address = player::ClassifyAddress(typed);
        QVERIFY2(address.kind == EngineAddress::Refused, qPrintable(typed));
        QVERIFY(address.candidates.isEmpty());
    }
    for (const auto& [typed, path] :
         {std::pair{file, file}, std::pair{QUrl::fromLocalFile(file).toString(), file},
          std::pair{missing, missing}}) {
        const EngineAddress address = player::ClassifyAddress(typed);
        QVERIFY2(address.kind == EngineAddress::Local, qPrintable(typed));
        QCOMPARE(address.candidates, QStringList{path});
    }
    // The same for a local playlist's entries.
    const QUrl list = QUrl::fromLocalFile(dir.filePath(QStringLiteral("list.m3u")));
    QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("/usr/share"), list).kind, EngineAddress::Refused);
    QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("."), list).kind, EngineAddress::Refused);
    QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("音 a.mp3"), list).candidates, QStringList{file});
}

QTEST_MAIN(TstPlaylist)
#include "tst_playlist.moc"
