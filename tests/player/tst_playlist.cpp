// tests/player/: addresses and playlists as the player reads them, without a network or an engine: what a typed
// address or a playlist entry gives the engine, which entries may name this machine's files (only those of a
// playlist on this machine; a typed address that is local must be a file), what a playlist file holds and how many
// of its entries count, how a server's text is decoded, how the titles it sends are cleaned and bounded, and which
// stations a drop or a paste brings.
#include "player/address.h"
#include "readers/playlist.h"
#include "readers/station_links.h"
#include "support/names_table.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using player::EngineAddress;
using readers::CleanTitle;
using readers::MaxTitleLength;

namespace {
constexpr int Refused = EngineAddress::Refused, Network = EngineAddress::Network,
              Local = EngineAddress::Local;
// An address of exactly the length bound.
const QString Longest = "http://a.example/" + QString(player::MaxAddressLength - 17, u'a');
} // namespace

class TstPlaylist : public QObject {
    Q_OBJECT

private slots:
    void addresses_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("engineGets");
        auto row = [](const char* name, const QString& typed, int kind, const QStringList& engineGets) {
            QTest::newRow(name) << typed << kind << engineGets;
        };
        row("http", "http://127.0.0.1:8000/radio", Network, {"http://127.0.0.1:8000/radio"});
        row("https, scheme in capitals", "HTTPS://radio.example/live", Network,
            {"https://radio.example/live"});
        row("HLS", "https://radio.example/hls/index.m3u8", Network, {"https://radio.example/hls/index.m3u8"});
        row("spaces around", "  http://radio.example/a  ", Network, {"http://radio.example/a"});
        row("mms: over HTTP, then TCP", "mms://live.example.com/radio1", Network,
            {"mmsh://live.example.com/radio1", "mmst://live.example.com/radio1"});
        row("mmsh", "mmsh://live.example.com/r", Network, {"mmsh://live.example.com/r"});
        row("mmst", "mmst://live.example.com/r", Network, {"mmst://live.example.com/r"});
        row("rtsp", "rtsp://live.example.com:554/r", Network, {"rtsp://live.example.com:554/r"});
        row("rtmp", "rtmp://live.example.com/app/r", Network, {"rtmp://live.example.com/app/r"});
        row("path", "/home/user/音乐/a b.mp3", Local, {"/home/user/音乐/a b.mp3"});
        row("file URL", "file:///tmp/a%20b.mp3", Local, {"/tmp/a b.mp3"});
        row("file URL, localhost", "file://localhost/tmp/a.mp3", Local, {"/tmp/a.mp3"});
        row("at the length bound", " " + Longest + " ", Network, {Longest});
        row("beyond the length bound", Longest + "a", Refused, {});

        // The engine's own schemes: devices, filters, arbitrary files through FFmpeg, descriptors.
        for (const char* typed :
             {"av://lavfi:sine", "lavf://http://radio.example/a", "ffmpeg://file:/etc/passwd",
              "edl://a.mp3,0,1", "memory://data", "fd://0", "fdclose://3", "null://", "hex://41",
              "slice://0-100@/etc/passwd", "appending:///tmp/a.mp3", "dvd://", "bd://", "cdda://", "tv://",
              "dvb://", "mf://*.jpg", "lavfi://sine",
              // Not stations, or not from this machine.
              "smb://host/share/a.mp3", "ftp://host/a.mp3", "udp://239.0.0.1:1234", "rtp://239.0.0.1:1234",
              "data:audio/mpeg;base64,AAAA", "javascript:alert(1)", "file://otherhost/a.mp3",
              "relative/a.mp3", "~/a.mp3", "C:\\Music\\a.mp3", "http://", "mms:///radio1", "", "   "})
            row(typed, QString::fromUtf8(typed), Refused, {});
    }

    void addresses() {
        QFETCH(QString, typed);
        QFETCH(int, kind);
        QFETCH(QStringList, engineGets);
        const EngineAddress address = player::ClassifyAddress(typed);
        QCOMPARE(int(address.kind), kind);
        QCOMPARE(address.candidates, engineGets);
    }

    void playlistEntries_data() {
        QTest::addColumn<QString>("playlist");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("engineGets");
        auto row = [](const QString& name, const QString& playlist, const QString& entry, int kind,
                      const QStringList& engineGets) {
            QTest::newRow(qPrintable(name)) << playlist << entry << kind << engineGets;
        };
        const QString remote = QStringLiteral("http://radio.example/lists/station.asx");
        const QString local = QStringLiteral("file:///home/user/lists/station.asx");
        row("remote: stream", remote, "http://live.example/a", Network, {"http://live.example/a"});
        row("remote: relative", remote, "a.mp3", Network, {"http://radio.example/lists/a.mp3"});
        row("remote: from the server's root", remote, "/live", Network, {"http://radio.example/live"});
        row("remote: mms", remote, "mms://live.example/r", Network,
            {"mmsh://live.example/r", "mmst://live.example/r"});
        row("remote: Windows Media over HTTP", remote, "http://live.example/r?MSWMExt=.asf", Network,
            {"mmsh://live.example/r?MSWMExt=.asf", "http://live.example/r?MSWMExt=.asf"});
        row("remote: local file", remote, "file:///etc/passwd", Refused, {});
        row("remote: engine scheme", remote, "av://lavfi:sine", Refused, {});
        row("remote: at the length bound", remote, Longest, Network, {Longest});
        row("remote: beyond the length bound", remote, Longest + "a", Refused, {});
        row("remote: relative, beyond the length bound once resolved", remote,
            QString(player::MaxAddressLength - 10, u'a'), Refused, {});
        row("local: local file", local, "/home/user/a.mp3", Local, {"/home/user/a.mp3"});
        row("local: relative", local, "a.mp3", Local, {"/home/user/lists/a.mp3"});
        row("local: stream", local, "http://live.example/a", Network, {"http://live.example/a"});
        row("local: engine scheme", local, "edl://a.mp3,0,1", Refused, {});

        // A playlist from a server, over http or https, never reaches this machine's files: a file URL is
        // refused, and a path is the server's own. A playlist on this machine may name its files.
        for (const QString scheme : {"http", "https"}) {
            const QString playlist = scheme + QStringLiteral("://radio.example/lists/station.asx");
            const QString server = scheme + QStringLiteral("://radio.example");
            for (const char* entry : {"file:///etc/passwd", "FILE:///etc/passwd",
                                      "file://localhost/etc/passwd", "file:/etc/passwd"})
                row(scheme + ": " + entry, playlist, entry, Refused, {});
            row(scheme + ": /etc/passwd", playlist, "/etc/passwd", Network, {server + "/etc/passwd"});
            row(scheme + ": ../../etc/passwd", playlist, "../../etc/passwd", Network,
                {server + "/etc/passwd"});
        }
        row("local: /etc/passwd", local, "/etc/passwd", Local, {"/etc/passwd"});
        row("local: file:///etc/passwd", local, "file:///etc/passwd", Local, {"/etc/passwd"});
        row("local: ../a.mp3", local, "../a.mp3", Local, {"/home/user/a.mp3"});
    }

    void playlistEntries() {
        QFETCH(QString, playlist);
        QFETCH(QString, entry);
        QFETCH(int, kind);
        QFETCH(QStringList, engineGets);
        const EngineAddress address = player::ClassifyPlaylistEntry(entry, QUrl(playlist));
        QCOMPARE(int(address.kind), kind);
        QCOMPARE(address.candidates, engineGets);
    }

    void playlists_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("recognized");
        QTest::addColumn<QStringList>("entries");
        auto row = [](const char* name, const QByteArray& body, bool recognized, const QStringList& entries) {
            QTest::newRow(name) << body << recognized << entries;
        };
        row("PLS",
            "[playlist]\nNumberOfEntries=2\nFile1=http://a.example/r\nTitle1=A\nLength1=-1\nFile2=http://"
            "b.example/r\n"
            "Version=2\n",
            true, {"http://a.example/r", "http://b.example/r"});
        row("PLS as Windows tools wrote it",
            "\r\n[Playlist]\r\nfile1 = \"mms://a.example/r\"\r\nFILE2=http://b.example/r \r\n", true,
            {"mms://a.example/r", "http://b.example/r"});
        row("PLS without entries", "[playlist]\nNumberOfEntries=0\n", true, {});
        row("M3U with titles and comments",
            "#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://a.example/r\r\n\r\n# off: "
            "http://x.example/\r\nrelative.mp3\r\n",
            true, {"http://a.example/r", "relative.mp3"});
        row("M3U without its header", "http://a.example/r\nmms://b.example/r\n", true,
            {"http://a.example/r", "mms://b.example/r"});
        row("text that is no list of addresses", "Hello there\nhttp://a.example/r\n", false, {});
        row("HLS is the engine's", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg0.ts\n", false, {});
        row("Reference, Windows line ends",
            "[Reference]\r\nRef1=http://a.example/r?MSWMExt=.asf\r\nRef2=mms://b.example/r\r\n", true,
            {"http://a.example/r?MSWMExt=.asf", "mms://b.example/r"});
        row("ASX: hexadecimal and decimal references",
            "<asx><entry><ref "
            "href=\"http://a.example/r?x=1&#x26;y=2&#38;z=3&#X26;w=&#x4E2D;\"/></entry></asx>",
            true, {QStringLiteral("http://a.example/r?x=1&y=2&z=3&w=中")});
        row("ASX: references that are no characters stay as written",
            "<asx><ref href=\"http://a.example/?a=&#0;&#xD800;&#x110000;&#99999999999;&#x;&bogus;\"/></asx>",
            true, {"http://a.example/?a=&#0;&#xD800;&#x110000;&#99999999999;&#x;&bogus;"});
        row("ASX: unclosed tags, unquoted and single-quoted values",
            "<ASX><Entry><Ref href=http://a.example/r><Entry><REF HREF='http://b.example/r'"
            "<ref href=\"http://c.example/r",
            true, {"http://a.example/r", "http://b.example/r", "http://c.example/r"});
        row("ASX: a comment without its end hides the rest",
            "<asx><ref href=\"http://a.example/r\"/><!-- <ref href=\"http://b.example/r\"/>", true,
            {"http://a.example/r"});
        row("ASX: other attributes named like href",
            "<asx><ref xhref=\"http://x.example/\" href=\"http://a.example/r\"/><moreinfo "
            "href=\"http://web.example/\"/>"
            "</asx>",
            true, {"http://a.example/r"});
        row("web page with a ref tag", "<html><body><ref href=\"http://a.example/\"></body></html>", false,
            {});
        row("MP3 bytes", QByteArray("\xff\xfb\x90\x64\x00\x00http://a.example/\n", 24), false, {});
        row("empty", QByteArray(), false, {});
        row("ASX",
            "<asx version=\"3.0\">\n<title>Radio</title>\n<entry><ref href=\"mms://a.example/r\"/></entry>\n"
            "<entry><ref href=\"http://b.example/r\" /></entry>\n</asx>\n",
            true, {"mms://a.example/r", "http://b.example/r"});
        row("ASX as Windows wrote it",
            "<ASX VERSION=\"3.0\"><ENTRY><REF HREF = 'http://a.example/r?x=1&amp;y=2'><Ref "
            "href=http://b.example/r>"
            "</ENTRY><!-- <ref href=\"http://off.example/\"/> --><EntryRef "
            "href=\"http://c.example/more.asx\"/></ASX>",
            true, {"http://a.example/r?x=1&y=2", "http://b.example/r", "http://c.example/more.asx"});
        row("ASX, unescaped ampersand",
            "<asx><entry><ref href=\"http://a.example/r?x=1&y=2\"/></entry></asx>", true,
            {"http://a.example/r?x=1&y=2"});
        row("ASX in GB18030 with a Chinese title",
            "<asx><title>\xd6\xd0\xb9\xfa\xd6\xae\xc9\xf9</title><entry><ref "
            "href=\"mms://a.example/r\"/></entry></asx>",
            true, {"mms://a.example/r"});
        row("Reference",
            "[Reference]\r\nRef1=http://a.example/r?MSWMExt=.asf\r\nRef2=http://b.example/r?MSWMExt=.asf\r\n",
            true, {"http://a.example/r?MSWMExt=.asf", "http://b.example/r?MSWMExt=.asf"});
        row("Reference with BOM", "\xef\xbb\xbf[reference]\nref1 = mms://a.example/r\n", true,
            {"mms://a.example/r"});
        row("ASX without entries", "<asx version=\"3.0\"></asx>", true, {});
        row("M3U", "#EXTM3U\nhttp://a.example/r\n", true, {"http://a.example/r"});
        row("web page with a link", "<html><body><a href=\"http://a.example/\">x</a></body></html>", false,
            {});
        row("audio", QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00\xff\xfb\x90\x64", 14), false, {});
    }

    void playlists() {
        QFETCH(QByteArray, body);
        QFETCH(bool, recognized);
        QFETCH(QStringList, entries);
        const readers::ParsedPlaylist parsed = readers::ParsePlaylist(body);
        QCOMPARE(parsed.recognized, recognized);
        QCOMPARE(parsed.entries, entries);
    }

    // What pasted text ("paste") or a playlist served from origin gives: "name|address", "|playlist" after an
    // address StationFinder reads; or the refusal.
    void foundStations_data() {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("found");
        auto row = [](const char* name, const QString& origin, const QByteArray& input,
                      const QStringList& found) { QTest::newRow(name) << origin << input << found; };
        const QString paste = "paste", remote = "http://radio.example/lists/x.pls",
                      local = "file:///home/u/x.asx";
        QByteArray pls = "[playlist]\n", links;
        QStringList first, firstTitled; // what a batch keeps of them
        for (int i = 1; i <= readers::MaxFoundStations + 1; ++i) {
            const QByteArray n = QByteArray::number(i);
            pls += "File" + n + "=http://a.example/" + n + "\nTitle" + n + "=S" + n + "\n";
            links += "http://a.example/" + n + " ";
            if (i > readers::MaxFoundStations) continue;
            first << "|http://a.example/" + n;
            firstTitled << "S" + n + "|http://a.example/" + n;
        }
        first << "left out: 1";
        firstTitled << "left out: 1";
        row("links in Chinese text", paste, "听：http://a.example/live。还有（https://b.example/x.PLS），好",
            {"|http://a.example/live", "|https://b.example/x.PLS|playlist"});
        row("links in markup, code and brackets, each once", paste,
            "<a href=\"mms://c.example/r\">MMS://c.example/r</a> (`rtsp://d.example/s`), "
            "[rtmp://e.example/a/s]! "
            "http://f.example/x.m3u8?",
            {"|mms://c.example/r", "|rtsp://d.example/s", "|rtmp://e.example/a/s",
             "|http://f.example/x.m3u8|playlist"});
        row("links, one a line, and comments", paste,
            "#http://x.example/\r\n  # http://y.example/\r\nhttp://a.example/1\rmmsh://a.example/2\n",
            {"|http://a.example/1", "|mmsh://a.example/2"});
        row("no link", paste, "xhttp://a.example/ ftp://a.example/ file:///etc/passwd http:// https://.)",
            {"nothing"});
        row("a PLS pasted: its titles, its local file", paste,
            "[playlist]\nFile1=http://a.example/1\nTitle1=A|B\nFile2=/home/u/b.mp3\nTitle2=B\n",
            {"A｜B|http://a.example/1", "B|/home/u/b.mp3"});
        row("HLS pasted", paste, "#EXTM3U\n#EXT-X-TARGETDURATION:2\nhttp://a.example/seg0.ts\n", {"nothing"});
        row("more links than a batch: the first ones", paste, links, first);
        row("longer than the bound in UTF-8", paste,
            QByteArray("中").repeated(readers::MaxFoundTextBytes / 3 + 1), {"too large"});
        row("mirrors of one station, titles first", remote,
            "[playlist]\nTitle2=Radio\nFile1=http://a.example/1\nFile2=http://b.example/2\nTitle1=Radio\n",
            {"Radio|" + remote});
        row("titled entries, resolved, no local file", remote,
            "#EXTM3U\n#EXTINF:-1 tvg-name=\"a,b\",One\nlive.mp3\n#EXTINF:-1,Two\nfile:///etc/passwd\n"
            "#EXTINF:5,Three\nhttp://c.example/more.m3u\nhttp://d.example/untitled\n",
            {"One|http://radio.example/lists/live.mp3", "Three|http://c.example/more.m3u|playlist",
             "|http://d.example/untitled"});
        row("HLS served", "https://radio.example/hls/live.m3u8",
            "#EXTM3U\n#EXT-X-TARGETDURATION:2\nseg0.ts\n", {"|https://radio.example/hls/live.m3u8"});
        row("ASX: each entry's title, also after its reference", local,
            "<asx><title>Own</title><entry><ref href=\"http://a.example/1\"/><title>E1</title></entry>"
            "<entry><title>E2</title><ref href=\"http://a.example/2\"/></entry></asx>",
            {"E1|http://a.example/1", "E2|http://a.example/2"});
        row("ASX: its own title, its first entry", local,
            "<ASX><Title>Own &amp; co</Title><entry><ref href=\"mms://a.example/1\"/></entry>"
            "<entry><ref href=\"mms://a.example/2\"/></entry></ASX>",
            {"Own & co|mms://a.example/1"});
        row("more entries than a batch: the first ones", remote, pls, firstTitled);
        row("a page's links: names from their text, not when it is the address", "html",
            "<p>Hear <A class=x HREF='http://a.example/live.pls'><b>Jazz</b> &amp; Blues</A>, "
            "<a href=\"/relative\">R</a> <a href=javascript:go()>J</a> <a href=\"mailto:a@b\">M</a> "
            "<a href=\"mms://b.example/r\">mms://b.example/r</a></p>",
            {"|http://a.example/live.pls|playlist|link Jazz & Blues", "|mms://b.example/r"});
        row("a page's text without links", "html", "<div>Listen: http://a.example/x</div>",
            {"|http://a.example/x"});
        row("a browser's link drag", "moz-url",
            [] {
                const QString text = QStringLiteral("http://a.example/1\nOne 台\nhttp://a.example/2\n");
                return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
            }(),
            {"|http://a.example/1|link One 台", "|http://a.example/2"});
        row("a directory's mirrors: one station, without the listener counts", remote,
            "[playlist]\nFile1=http://a/1\nTitle1=(#1 - 123/1000) 中国测试台 MP3\nFile2=http://a/2\n"
            "Title2=(#2 - 45/500) 中国测试台 MP3\nFile3=http://a/3\nTitle3=(#3 - 0/500) 中国测试台 MP3\n",
            {"中国测试台 MP3|" + remote});
        row("one entry's listener count, and a title that only looks like one", local,
            "#EXTM3U\n#EXTINF:-1,(#1 - 9/10) Solo\nhttp://a/1\n#EXTINF:-1,(#2) Duo\nhttp://a/2\n",
            {"Solo|http://a/1", "(#2) Duo|http://a/2"});
        row("titles A, B, B: two stations, B's mirrors one", remote,
            "[playlist]\nFile1=http://a/1\nTitle1=A\nFile2=http://a/2\nTitle2=B\nFile3=http://a/"
            "3\nTitle3=B\n",
            {"A|http://a/1", "B|http://a/2"});
        row("untitled, named by its first entry's stream", remote,
            "[playlist]\nFile1=http://a/1\nFile2=http://a/2\n", {"|" + remote + "|named by http://a/1"});
        row("untitled playlists of playlists: each to be read, merged by name", remote,
            "[playlist]\nFile1=http://d/1.pls\nFile2=http://d/2.m3u\n",
            {"|http://d/1.pls|playlist", "|http://d/2.m3u|playlist", "merged by name"});
        row("XSPF: a station a track, a track's locations and equal titles mirrors", remote,
            "<?xml version=\"1.0\"?><playlist version=\"1\" "
            "xmlns=\"http://xspf.org/ns/0/\"><title>List</title>"
            "<trackList><track><title>One &amp; Only</title><location>http://a/1</location>"
            "<location>http://a/1b</location></track><track><location>http://a/2</location></track>"
            "<track><title>One &amp; "
            "Only</title><location>http://a/3</location></track></trackList></playlist>",
            {"One & Only|http://a/1", "|http://a/2"});
        row("XSPF: one track's mirrors are the playlist's station", remote,
            "<playlist><title>Own</title><trackList><track><location>http://a/1</location>"
            "<location>http://a/2</location></track></trackList></playlist>",
            {"Own|" + remote});
        row("XSPF without a location", remote,
            "<playlist><trackList><track><title>T</title></track></trackList></playlist>", {"nothing"});
        row("a local playlist's relative entries, beside it", "file:///home/u/lists/x.m3u",
            "#EXTM3U\n#EXTINF:-1,A\nsong.mp3\n#EXTINF:-1,B\n../b.ogg\n#EXTINF:-1,C\n/abs/c.mp3\n",
            {"A|/home/u/lists/song.mp3", "B|/home/u/b.ogg", "C|/abs/c.mp3"});
        row("a server's playlist of local files", remote,
            "[playlist]\nFile1=file://localhost/etc/passwd\nFile2=av://lavfi:sine\n", {"nothing"});
    }

    void foundStations() {
        QFETCH(QString, origin);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, found);
        const readers::FoundStations read =
            origin == "paste"     ? readers::ReadFoundText(QString::fromUtf8(input))
            : origin == "html"    ? readers::ReadFoundHtml(QString::fromUtf8(input))
            : origin == "moz-url" ? readers::ReadFoundMozUrl(input)
                                  : readers::ReadFoundPlaylist(input, QUrl(origin));
        QStringList rows;
        for (const readers::FoundStation& s : read.stations)
            rows << s.name + '|' + s.address + (s.playlist ? "|playlist" : "") +
                        (s.linkName.isEmpty() ? QString() : "|link " + s.linkName) +
                        (s.nameFrom.isEmpty() ? QString() : "|named by " + s.nameFrom);
        if (read.mirrorsByName) rows << "merged by name";
        if (read.leftOut)
            rows << (read.leftOut < 0 ? QStringLiteral("left out: some")
                                      : QStringLiteral("left out: %1").arg(read.leftOut));
        if (read.refusal != readers::FoundStations::Refusal::None)
            rows << QStringList{"", "nothing", "too large"}[int(read.refusal)];
        QCOMPARE(rows, found);
    }

    void serverText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("Morning Show") << QStringLiteral("Morning Show");
        QTest::newRow("UTF-8") << QByteArray("\xe4\xb8\xad\xe5\x9b\xbd\xe4\xb9\x8b\xe5\xa3\xb0")
                               << QStringLiteral("中国之声");
        QTest::newRow("GBK") << QByteArray("\xd6\xd0\xb9\xfa\xd6\xae\xc9\xf9") << QStringLiteral("中国之声");
        QTest::newRow("GB18030 four-byte")
            << QByteArray("\x90\x30\x81\x30") << QString::fromUcs4(U"\U00010000");
        // Bytes that happen to be valid UTF-8 stay UTF-8, even when GBK could read them too.
        QTest::newRow("UTF-8 wins") << QByteArray("\xc3\xa9t\xc3\xa9") << QStringLiteral("été");
        QTest::newRow("Windows-1252, its undefined bytes kept")
            << QByteArray("\x80 \x96 \x81\x8d\x8f\x90\x9d")
            << QStringLiteral("€ – \u0081\u008d\u008f\u0090\u009d");
    }

    void serverText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(readers::DecodeServerText(bytes), text);
    }
    // The rule measured on names as stations send them: a change that misreads more of a kind fails here.
    void serverTextOnTheNamesTable() {
        QMap<QByteArray, int> misread, names;
        for (const support::SentName& name : support::NamesTable()) {
            ++names[name.kind];
            misread[name.kind] += readers::DecodeServerText(name.bytes) != name.text;
        }
        QVERIFY(names.size() == 4 && *std::min_element(names.begin(), names.end()) >= 50);
        qInfo("misread: GBK %d of %d, ISO 8859-1 %d of %d, Windows-1252 %d of %d, UTF-8 %d of %d",
              misread["gbk"], names["gbk"], misread["latin1"], names["latin1"], misread["cp1252"],
              names["cp1252"], misread["utf8"], names["utf8"]);
        QCOMPARE(misread["gbk"], 1);
        QCOMPARE(misread["latin1"] + misread["cp1252"] + misread["utf8"], 0);
    }

    void playlistEntriesAreBounded() {
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
            const readers::ParsedPlaylist parsed = readers::ParsePlaylist(body);
            QVERIFY(parsed.recognized);
            QCOMPARE(parsed.entries.size(), readers::MaxPlaylistEntries);
            QCOMPARE(parsed.entries.first(), QStringLiteral("http://a.example/1"));
            QCOMPARE(parsed.entries.last(),
                     QStringLiteral("http://a.example/%1").arg(readers::MaxPlaylistEntries));
        }
    }

    void localAddressesMustBeFiles() {
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
        QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("/usr/share"), list).kind,
                 EngineAddress::Refused);
        QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("."), list).kind, EngineAddress::Refused);
        QCOMPARE(player::ClassifyPlaylistEntry(QStringLiteral("音 a.mp3"), list).candidates,
                 QStringList{file});
    }

    void titles_data() {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("shown");
        auto row = [](const char* name, const QString& sent, const QString& shown) {
            QTest::newRow(name) << sent << shown;
        };
        row("plain", "Morning Show", "Morning Show");
        row("Chinese", "中国之声 晨曲", "中国之声 晨曲");
        row("right-to-left override", QStringLiteral("evil\u202Eexe.live\u202C song"), "evilexe.live song");
        row("embeddings and isolates", QStringLiteral("\u202Aa\u202Bb\u202Dc\u2066d\u2067e\u2068f\u2069"),
            "abcdef");
        row("directional marks", QStringLiteral("a\u200Eb\u200Fc\u061Cd"), "abcd");
        row("CR LF", "first\r\nsecond", "first second");
        row("tab, vertical tab, form feed", "a\tb\vc\fd", "a b c d");
        row("line and paragraph separators, NEL", QStringLiteral("a\u2028b\u2029c\u0085d"), "a b c d");
        row("control characters", QStringLiteral("a\x01\x07\x1b\x7f\u0080\u009fb"), "ab");
        row("runs of white space, ends trimmed", QStringLiteral(" \r\n  a \u00A0\u3000 b\t\t "), "a b");
        row("terminal escapes, whole",
            QStringLiteral("\x1b[1;31mred\x1b[0m \x1b]0;t\aok \x1b]8;;x\x1b\\link"), "red ok link");
        row("only what is dropped", QStringLiteral("\u202E\r\n\x01"), QString());
        row("invisible characters", QStringLiteral("\uFEFFa\u200Bb\u2060c\uFFF9d\uFFFB"), "abcd");
        row("a surrogate without its pair",
            QString(QChar(0xD83D)) + QStringLiteral("a") + QString(QChar(0xDE00)), "a");
        row("non-characters", QStringLiteral("a\uFFFEb\uFFFF"), "ab");
        // Joiners build emoji and some scripts' letters: they stay.
        const QString joined = QString::fromUcs4(U"\U0001F469\u200D\U0001F467 \u0915\u094D\u200D\u0937");
        row("emoji with joiners", joined, joined);
        row("exactly the longest", QString(MaxTitleLength, u'x'), QString(MaxTitleLength, u'x'));
        row("one longer", QString(MaxTitleLength + 1, u'x'),
            QString(MaxTitleLength - 1, u'x') + QChar(0x2026));
        row("70 kB", QString(70000, u'y'), QString(MaxTitleLength - 1, u'y') + QChar(0x2026));
        row("long only after cleaning", QString(MaxTitleLength, u'z') + QStringLiteral("\u202E\u202E\u202E"),
            QString(MaxTitleLength, u'z'));
        row("cut before a space", QString(MaxTitleLength - 2, u'a') + QStringLiteral(" bcd"),
            QString(MaxTitleLength - 2, u'a') + QChar(0x2026));
    }

    void titles() {
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        QCOMPARE(CleanTitle(sent), shown);
    }

    void longTitlesAreCutWhole() {
        // Characters outside the BMP at every offset around the cut: never half of one.
        const QString emoji = QString::fromUcs4(U"\U0001F3B5");
        for (int lead = 0; lead < 4; ++lead) {
            QString title = QString(lead, u'a');
            while (title.size() < 3 * MaxTitleLength)
                title += emoji;
            const QString shown = CleanTitle(title);
            QVERIFY(shown.size() <= MaxTitleLength);
            QVERIFY(shown.endsWith(QChar(0x2026)));
            const QString kept = shown.chopped(1);
            QVERIFY2(!kept.back().isHighSurrogate(), qPrintable(QString::number(lead)));
            QVERIFY(title.startsWith(kept));
            QVERIFY(kept.size() >= MaxTitleLength - 2);
        }
    }

    void asxCharacterReferences_data() {
        QTest::addColumn<QByteArray>("href");
        QTest::addColumn<QString>("entry");
        auto row = [](const char* name, const char* href, const QString& entry) {
            QTest::newRow(name) << QByteArray(href) << entry;
        };
        row("hex &", "http://a.example/r?x=1&#x26;y=2", QStringLiteral("http://a.example/r?x=1&y=2"));
        row("decimal &", "http://a.example/r?x=1&#38;y=2", QStringLiteral("http://a.example/r?x=1&y=2"));
        // Hex digits that are letters, and a number whose decimal reading would be another character.
        row("hex, letters", "http://a.example/&#x4E2D;&#x4e2d;", QStringLiteral("http://a.example/中中"));
        row("decimal, Chinese", "http://a.example/&#20013;", QStringLiteral("http://a.example/中"));
        row("hex, beyond 16 bits", "http://a.example/&#x1F4FB;",
            QString::fromUcs4(U"http://a.example/\U0001F4FB"));
        row("named", "http://a.example/r?q=&lt;&gt;&quot;&apos;&amp;",
            QStringLiteral("http://a.example/r?q=<>\"'&"));
    }
    void asxCharacterReferences() {
        QFETCH(QByteArray, href);
        QFETCH(QString, entry);
        const readers::ParsedPlaylist parsed =
            readers::ParsePlaylist("<asx version=\"3.0\"><entry><ref href=\"" + href + "\"/></entry></asx>");
        QVERIFY(parsed.recognized);
        QCOMPARE(parsed.entries, QStringList{entry});
    }
};

QTEST_MAIN(TstPlaylist)
#include "tst_playlist.moc"
