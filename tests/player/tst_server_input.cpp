// tests/player/: what a server or a list may hand the player (titles, playlists, addresses), read without a
// network: cleaned, bounded, refused where it must be.
#include "player/address.h"
#include "player/playlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using player::CleanTitle;
using player::EngineAddress;
using player::MaxPlaylistEntries;
using player::MaxTitleLength;

class TstServerInput : public QObject {
    Q_OBJECT
private slots:
    void titles_data();
    void titles();
    void longTitlesAreCutWhole();
    void playlists_data();
    void playlists();
    void playlistEntriesAreBounded();
    void localAddressesMustBeFiles();
};

void TstServerInput::titles_data() {
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("Morning Show") << QStringLiteral("Morning Show");
    QTest::newRow("Chinese") << QStringLiteral("中国之声 晨曲") << QStringLiteral("中国之声 晨曲");
    QTest::newRow("right-to-left override")
        << QStringLiteral("evil\u202Eexe.live\u202C song") << QStringLiteral("evilexe.live song");
    QTest::newRow("embeddings and isolates")
        << QStringLiteral("\u202Aa\u202Bb\u202Dc\u2066d\u2067e\u2068f\u2069") << QStringLiteral("abcdef");
    QTest::newRow("directional marks") << QStringLiteral("a\u200Eb\u200Fc\u061Cd") << QStringLiteral("abcd");
    QTest::newRow("CR LF") << QStringLiteral("first\r\nsecond") << QStringLiteral("first second");
    QTest::newRow("tab, vertical tab, form feed")
        << QStringLiteral("a\tb\vc\fd") << QStringLiteral("a b c d");
    QTest::newRow("line and paragraph separators, NEL")
        << QStringLiteral("a\u2028b\u2029c\u0085d") << QStringLiteral("a b c d");
    QTest::newRow("control characters")
        << QStringLiteral("a\x01\x07\x1b\x7f\u0080\u009fb") << QStringLiteral("ab");
    QTest::newRow("runs of white space, ends trimmed")
        << QStringLiteral(" \r\n  a \u00A0\u3000 b\t\t ") << QStringLiteral("a b");
    QTest::newRow("only what is dropped") << QStringLiteral("\u202E\r\n\x01") << QString();
    QTest::newRow("invisible characters")
        << QStringLiteral("\uFEFFa\u200Bb\u2060c\uFFF9d\uFFFB") << QStringLiteral("abcd");
    QTest::newRow("a surrogate without its pair")
        << QString(QChar(0xD83D)) + QStringLiteral("a") + QString(QChar(0xDE00)) << QStringLiteral("a");
    QTest::newRow("non-characters") << QStringLiteral("a\uFFFEb\uFFFF") << QStringLiteral("ab");
    // Joiners build emoji and some scripts' letters: they stay.
    QTest::newRow("emoji with joiners")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F467 \u0915\u094D\u200D\u0937")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F467 \u0915\u094D\u200D\u0937");
    QTest::newRow("exactly the longest") << QString(MaxTitleLength, u'x') << QString(MaxTitleLength, u'x');
    QTest::newRow("one longer") << QString(MaxTitleLength + 1, u'x')
                                << QString(MaxTitleLength - 1, u'x') + QChar(0x2026);
    QTest::newRow("70 kB") << QString(70000, u'y') << QString(MaxTitleLength - 1, u'y') + QChar(0x2026);
    QTest::newRow("long only after cleaning")
        << QString(MaxTitleLength, u'z') + QStringLiteral("\u202E\u202E\u202E")
        << QString(MaxTitleLength, u'z');
    QTest::newRow("cut before a space") << QString(MaxTitleLength - 2, u'a') + QStringLiteral(" bcd")
                                        << QString(MaxTitleLength - 2, u'a') + QChar(0x2026);
}

void TstServerInput::titles() {
    QFETCH(QString, sent);
    QFETCH(QString, shown);
    QCOMPARE(CleanTitle(sent), shown);
}

void TstServerInput::longTitlesAreCutWhole() {
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

void TstServerInput::playlists_data() {
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
    QTest::newRow("web page") << QByteArray("<html><body><ref href=\"http://a.example/\"></body></html>")
                              << false << QStringList{};
    QTest::newRow("MP3 bytes") << QByteArray("\xff\xfb\x90\x64\x00\x00http://a.example/\n", 24) << false
                               << QStringList{};
    QTest::newRow("empty") << QByteArray() << false << QStringList{};
}

void TstServerInput::playlists() {
    QFETCH(QByteArray, body);
    QFETCH(bool, recognized);
    QFETCH(QStringList, entries);
    const player::ParsedPlaylist parsed = player::ParsePlaylist(body);
    QCOMPARE(parsed.recognized, recognized);
    QCOMPARE(parsed.entries, entries);
}

void TstServerInput::playlistEntriesAreBounded() {
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
        QCOMPARE(parsed.entries.size(), MaxPlaylistEntries);
        QCOMPARE(parsed.entries.first(), QStringLiteral("http://a.example/1"));
        QCOMPARE(parsed.entries.last(), QStringLiteral("http://a.example/%1").arg(MaxPlaylistEntries));
    }
}

void TstServerInput::localAddressesMustBeFiles() {
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

QTEST_GUILESS_MAIN(TstServerInput)
#include "tst_server_input.moc"
