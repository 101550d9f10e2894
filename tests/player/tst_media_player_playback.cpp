// tests/player/: the player component on its real engine against stream servers on 127.0.0.1 only.
//
// icecast2 fed by ffmpeg is started by the CTest fixture; the restart test runs a private one; playlists come
// from a responder in the test.
#include "player/media_player.h"
#include "stream_servers.h"
#include "web/network_fetcher.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTime>
#include <QToolTip>
#include <clocale>
#include <memory>
#include <sys/stat.h>

using player::MediaPlayer;
using State = player::Session::State;
using namespace playback;

namespace {

// The component with the session it shows, held together as the window holds them: the session is made
// before the component and goes after it.
struct HeldSession {
    explicit HeldSession(const player::EngineOptions& options) : held(fetcher, options) {}
    web::NetworkFetcher fetcher{"Corvana/test"};
    player::Session held;
};
class Component : private HeldSession, public MediaPlayer {
public:
    explicit Component(const player::EngineOptions& options) : HeldSession(options), MediaPlayer(held) {}
    player::Session& session() { return held; }
    // Every state the session went through since the component was made.
    QList<State> states() const {
        QList<State> states;
        for (const QList<QVariant>& args : m_states)
            states << args.at(0).value<State>();
        return states;
    }

private:
    QSignalSpy m_states{&held, &player::Session::stateChanged};
};

// Sound is a signal above -40 dBFS; the fixture's tone is about -21 dBFS.
constexpr double AudibleRms = 0.01;
// Bounds for waits on the network; reaching them is a failure, not a measurement.
constexpr int ConnectTimeoutMs = 20000;

QString Suffix() {
    return QString::number(QRandomGenerator::global()->bounded(100000, 999999));
}

} // namespace

class TstMediaPlayerPlayback : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        const QString stateFile = qEnvironmentVariable("CORVANA_STREAM_SERVERS");
        if (stateFile.isEmpty() || !QFile::exists(stateFile))
            QSKIP("no stream servers: run through ctest, whose fixture player_stream_servers starts them");
        m_servers = StreamServers::Read(stateFile);
        const QString status = m_servers.value(QStringLiteral("STATUS"));
        if (status.startsWith(QLatin1String("missing:")))
            QSKIP(
                qPrintable(status.mid(8) + QStringLiteral(" is not installed; the playback tests need it")));
        QVERIFY2(status == QLatin1String("ready"), qPrintable(QStringLiteral("stream servers: ") + status));

        // A local audio file, as a user would have one.
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_tone = m_dir->filePath(QStringLiteral("tone 音.wav"));
        QVERIFY(Ffmpeg(QStringLiteral("-f lavfi -i sine=frequency=660:duration=1.5 -ac 2"), {m_tone}));
        QDir().mkpath(qEnvironmentVariable("CORVANA_SCREENSHOTS", QDir::currentPath()));
    }

    void init() {
        m_http = new HttpResponder;
        QVERIFY(m_http->port() != 0);
    }

    void cleanup() {
        delete m_http;
        m_http = nullptr;
    }

    void mp3PlaysWithItsTitle() {
        const QString title = QStringLiteral("晨曲 Morning Song %1").arg(Suffix());
        QVERIFY(SetIcyTitle(m_servers, QStringLiteral("/mp3"), title));
        // In the stream from its first metadata block on: the file output plays at the live edge, where the
        // engine holds back later title changes (titleChangesWhilePlaying covers those, in real time).
        QVERIFY(ServerSendsTitle(m_servers, QStringLiteral("/mp3"), title.toUtf8()));

        auto wmp = make();
        snapshot(*wmp, QStringLiteral("idle"));
        wmp->put_URL(m_servers.url(QStringLiteral("/mp3")));
        QCOMPARE(wmp->session().state(), State::Connecting);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("正在连接"));
        snapshot(*wmp, QStringLiteral("connecting"));

        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().title(), title, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("正在播放：") + title);
        snapshot(*wmp, QStringLiteral("playing"));
        wmp->put_uiMode(QStringLiteral("full"));
        wmp->resize(wmp->sizeHint());
        snapshot(*wmp, QStringLiteral("playing-full"));
        wmp->put_uiMode(QStringLiteral("Mini"));
        wmp->resize(wmp->sizeHint());
        const QList<State> seen = wmp->states();
        QCOMPARE(seen.first(), State::Connecting);
        QVERIFY(!seen.contains(State::Error) && !seen.contains(State::Reconnecting));
        waitForSound(2);

        // Muted, what comes out from then on is silence.
        wmp->put_settings_mute(true);
        const qint64 mutedAt = FileSize(pcmFile());
        QTRY_VERIFY_WITH_TIMEOUT(FileSize(pcmFile()) >= mutedAt + 2 * 44100 * 4, ConnectTimeoutMs);
        QVERIFY(PcmRms(ReadFile(pcmFile()).right(44100 * 4 / 2)) < 0.001);
        wmp->put_settings_mute(false);

        wmp->controls_stop();
        QCOMPARE(wmp->session().state(), State::Stopped);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("已停止"));
        snapshot(*wmp, QStringLiteral("stopped"));
        // Play again with the address it holds.
        wmp->controls_play();
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
    }

    void titleChangesWhilePlaying() {
        // A real-time output: the engine shows a title when playback reaches it, and the file output would run
        // ahead to the live edge, where the engine holds title changes back.
        auto wmp = make({{"ao", "null"}});
        QSignalSpy titles(&wmp->session(), &player::Session::titleChanged);
        wmp->put_URL(m_servers.url(QStringLiteral("/mp3")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!wmp->session().title().isEmpty(), ConnectTimeoutMs);
        const QString first = wmp->session().title();
        const QString next = QStringLiteral("第二首 Second %1").arg(Suffix());
        QVERIFY(SetIcyTitle(m_servers, QStringLiteral("/mp3"), next));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().title(), next, ConnectTimeoutMs);
        QCOMPARE(titles.last().at(0).toString(), next);
        QCOMPARE(wmp->session().state(), State::Playing);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("正在播放：") + next);

        // Over the state label, which carries the title in the program's "mini" strip, the tooltip tells what plays: the server's name and genre, the audio as decoded (the
        // bitrate comes with the engine's answer, after the tip opened), both titles, newest first, with the
        // time each began.
        QWidget* label = wmp->findChild<QWidget*>(QStringLiteral("state"));
        QHelpEvent hover(QEvent::ToolTip, {5, 5}, label->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(label, &hover);
        QTextDocument tip;
        QTRY_VERIFY_WITH_TIMEOUT((tip.setHtml(QToolTip::text()), tip.toPlainText().contains("kbit/s")), 5000);
        const QStringList lines = tip.toPlainText().split(QLatin1Char('\n'));
        QToolTip::hideText();
        QCOMPARE(lines.mid(0, 2),
                 QStringList({QStringLiteral("电台：") + m_servers.value(QStringLiteral("MP3_NAME")),
                              QStringLiteral("类型：") + m_servers.value(QStringLiteral("MP3_GENRE"))}));
        const QRegularExpressionMatch audio =
            QRegularExpression(QStringLiteral("^音频：MP3 · (\\d+) kbit/s · 44\\.1 kHz$"))
                .match(lines.value(2));
        QVERIFY2(audio.hasMatch() && qAbs(audio.captured(1).toInt() - 128) <= 8, qPrintable(lines.value(2)));
        QStringList played;
        for (const QString& line : lines.mid(3)) {
            const QTime began = QTime::fromString(line.left(5), QStringLiteral("HH:mm"));
            QVERIFY2(began.isValid() && (began.secsTo(QTime::currentTime()) + 86400) % 86400 < 120,
                     qPrintable(line));
            played << line.mid(6);
        }
        QCOMPARE(played, QStringList({next, first}));

        // Another station starts a history of its own: nothing of this one's titles shows under it.
        wmp->put_URL(m_servers.url(QStringLiteral("/ogg")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        for (const player::Session::TitleSeen& seen : wmp->session().recentTitles())
            QVERIFY2(seen.title != next && seen.title != first, qPrintable(seen.title));

        // Of more titles the tooltip shows the last ten: a local file of eleven songs (chained Ogg streams,
        // each with its own title), the last one long enough to hover over.
        QByteArray songs;
        QStringList lastTen;
        const QString part = m_dir->filePath(QStringLiteral("song.ogg"));
        for (int song = 1; song <= 11; ++song) {
            const QString ffmpeg =
                QStringLiteral("-y -f lavfi -i sine=duration=%1 -c:a libvorbis -metadata title=Song%2");
            QVERIFY(Ffmpeg(ffmpeg.arg(song < 11 ? 0.5 : 30).arg(song), {part}));
            songs += ReadFile(part);
            if (song > 1) lastTen.prepend(QStringLiteral("Song%1").arg(song));
        }
        const QString chained = m_dir->filePath(QStringLiteral("songs.ogg"));
        QVERIFY(WriteFile(chained, songs));
        wmp->put_URL(chained);
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().title(), lastTen.first(), ConnectTimeoutMs);
        QApplication::sendEvent(label, &hover);
        QTRY_VERIFY_WITH_TIMEOUT((tip.setHtml(QToolTip::text()), tip.toPlainText().contains(lastTen.first())),
                                 5000);
        QToolTip::hideText();
        played.clear();
        for (const QString& line : tip.toPlainText().split(QLatin1Char('\n')))
            if (line.contains(QLatin1String(" Song"))) played << line.mid(6);
        QCOMPARE(played, lastTen);
    }

    void gbkTitleReadsAsChinese() {
        const QString title = QStringLiteral("中国之声 %1").arg(Suffix());
        QVERIFY(SetIcyTitle(m_servers, QStringLiteral("/gbk"), title));
        // What the server sends is GBK, not UTF-8: the case this test is about.
        QStringEncoder gbk("GBK");
        QVERIFY(gbk.isValid());
        QVERIFY2(ServerSendsTitle(m_servers, QStringLiteral("/gbk"), gbk(title)),
                 "the server does not send the title as GBK bytes");

        auto wmp = play(m_servers.url(QStringLiteral("/gbk")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().title(), title, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("正在播放：") + title);
        snapshot(*wmp, QStringLiteral("playing-gbk"));
    }

    void deadStationsAreErrors() {
        auto wmp = play(QStringLiteral("http://127.0.0.1:%1/radio").arg(ClosedPort()));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("无法连接：服务器拒绝连接"));
        QVERIFY(!wmp->session().retryPending()); // a station that never answered is not reconnected
        QCOMPARE(wmp->states(), (QList<State>{State::Connecting, State::Error}));
        snapshot(*wmp, QStringLiteral("error-connect"));

        wmp->put_URL(m_servers.url(QStringLiteral("/no-such-mount")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("无法连接：找不到电台（404）"));

        // A server that answers and hangs up at once, for ever: FFmpeg alone would reconnect without a pause
        // until the user gives up.
        m_http->serve(QStringLiteral("/hangs-up"), "audio/mpeg", QByteArray(64, '\0'), false);
        wmp->put_URL(m_http->url(QStringLiteral("/hangs-up")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("无法连接：服务器反复断开"));
        const int requests = m_http->requests(QStringLiteral("/hangs-up"));
        QVERIFY(requests >= 2);
        QTest::qWait(500);
        QCOMPARE(m_http->requests(QStringLiteral("/hangs-up")), requests);
        QVERIFY(FileSize(pcmFile()) <= 0);
    }

    void refusedAddressesPlayNothing() {
        auto wmp = play(QStringLiteral("av://lavfi:sine"));
        QCOMPARE(wmp->session().state(), State::Error);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("不支持的地址"));
        snapshot(*wmp, QStringLiteral("error-refused"));

        // Typed by the user, a local file is the user's to play; this one is not audio.
        wmp->put_URL(QStringLiteral("file:///etc/passwd"));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("无法播放：格式不支持"));

        // A playing stream stops when a refused address replaces it.
        wmp->put_URL(m_servers.url(QStringLiteral("/mp3")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        wmp->put_URL(QStringLiteral("edl:///etc/passwd,0,1"));
        QCOMPARE(wmp->session().state(), State::Error);
        QTest::qWait(1500); // what was on its way to the output when the stop came
        const qint64 size = FileSize(pcmFile());
        QTest::qWait(1000); // a stream still playing would add 176 kB here
        QCOMPARE(FileSize(pcmFile()), size);
    }

    void localFileTheUserTypedPlays() {
        for (const QString& typed : {m_tone, QUrl::fromLocalFile(m_tone).toString(QUrl::FullyEncoded)}) {
            auto wmp = play(typed);
            // A file ends by itself: played to the end, then stopped, never reconnected.
            QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Stopped, ConnectTimeoutMs);
            QVERIFY2(wmp->states().contains(State::Playing), qPrintable(typed));
            QVERIFY(!wmp->session().retryPending());
            QVERIFY2(playedRms() > AudibleRms, qPrintable(typed));
        }
    }

    void remotePlaylistsCannotReachThisMachine() {
        const QByteArray tone = QUrl::fromLocalFile(m_tone).toEncoded();
        const QList<std::tuple<QString, QByteArray, QByteArray>> playlists = {
            {"/passwd.m3u", "audio/x-mpegurl", "#EXTM3U\nfile:///etc/passwd\n"},
            {"/tone.m3u", "audio/x-mpegurl", "#EXTM3U\n" + tone + "\n"},
            {"/tone.pls", "audio/x-scpls", "[playlist]\nNumberOfEntries=1\nFile1=" + tone + "\n"},
            {"/tone.asx", "video/x-ms-asf",
             "<asx version=\"3.0\"><entry><ref href=\"" + tone + "\"/></entry></asx>"},
            {"/tone.m3u8", "application/vnd.apple.mpegurl",
             "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:1.5,\n" +
                 tone + "\n#EXT-X-ENDLIST\n"}};
        for (const auto& [path, contentType, body] : playlists) {
            m_http->serve(path, contentType, body);
            auto wmp = play(m_http->url(path));
            QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
            QVERIFY2(m_http->requests(path) > 0, qPrintable(path));
            QVERIFY2(!wmp->states().contains(State::Playing), qPrintable(path));
            QCOMPARE(wmp->session().stateText(), QStringLiteral("不支持的地址"));
            QVERIFY2(FileSize(pcmFile()) <= 0, qPrintable(path));
        }
    }

    void playlists_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        const QByteArray dead = QStringLiteral("http://127.0.0.1:%1/gone").arg(ClosedPort()).toUtf8();
        const QByteArray ogg = m_servers.url(QStringLiteral("/ogg")).toUtf8();
        auto pls = [](const QByteArrayList& entries) {
            QByteArray body = "[playlist]\nNumberOfEntries=" + QByteArray::number(entries.size()) + "\n";
            for (int i = 0; i < entries.size(); ++i)
                body += "File" + QByteArray::number(i + 1) + "=" + entries[i] + "\nTitle" +
                        QByteArray::number(i + 1) + "=Station\n";
            return body + "Version=2\n";
        };
        auto m3u = [](const QByteArrayList& entries) { return "#EXTM3U\n" + entries.join('\n') + "\n"; };
        auto asx = [](const QByteArrayList& entries) {
            QByteArray body = "<ASX version=\"3.0\"><Title>Station</Title>";
            for (const QByteArray& e : entries)
                body += "<Entry><Ref href=\"" + e + "\"/></Entry>";
            return body + "</ASX>";
        };
        auto reference = [](const QByteArrayList& entries) {
            QByteArray body = "[Reference]\r\n";
            for (int i = 0; i < entries.size(); ++i)
                body += "Ref" + QByteArray::number(i + 1) + "=" + entries[i] + "\r\n";
            return body;
        };
        // No path: the Ogg mount itself, its title from the stream.
        QTest::newRow("the stream itself") << QString() << QByteArray() << QByteArray();
        QTest::newRow("pls") << "/station.pls" << QByteArray("audio/x-scpls") << pls({ogg});
        QTest::newRow("pls, first entry dead")
            << "/station.pls" << QByteArray("audio/x-scpls") << pls({dead, ogg});
        QTest::newRow("m3u, first entry dead")
            << "/station.m3u" << QByteArray("audio/x-mpegurl") << m3u({dead, ogg});
        QTest::newRow("asx") << "/station.asx" << QByteArray("video/x-ms-asf") << asx({ogg});
        QTest::newRow("asx, first entry dead")
            << "/station.asx" << QByteArray("video/x-ms-asf") << asx({dead, ogg});
        QTest::newRow("asx at an address without extension")
            << "/listen" << QByteArray("application/octet-stream") << asx({dead, ogg});
        QTest::newRow("reference") << "/station.asx" << QByteArray("video/x-ms-asf") << reference({ogg});
        QTest::newRow("reference, first entry dead")
            << "/station.asx" << QByteArray("video/x-ms-asf") << reference({dead, ogg});
    }

    void playlists() {
        QFETCH(QString, path);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        if (!path.isEmpty()) m_http->serve(path, contentType, body);
        auto wmp = play(path.isEmpty() ? m_servers.url(QStringLiteral("/ogg")) : m_http->url(path));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        // Only the Ogg mount has this title: the entry that plays is the live one.
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().title(), m_servers.value(QStringLiteral("OGG_TITLE")),
                                  ConnectTimeoutMs);
        waitForSound(1);
    }

    void playlistAfterRedirectResolvesAgainstItsNewAddress() {
        // The station's address moved: its playlist now lives in /new/, with an entry relative to there, which
        // the server in turn sends on to the live Ogg mount.
        m_http->redirect(QStringLiteral("/station.asx"), "/new/station.asx");
        m_http->serve(QStringLiteral("/new/station.asx"), "video/x-ms-asf",
                      "<asx version=\"3.0\"><entry><ref href=\"live\"/></entry></asx>");
        m_http->redirect(QStringLiteral("/new/live"), m_servers.url(QStringLiteral("/ogg")).toUtf8());
        auto wmp = play(m_http->url(QStringLiteral("/station.asx")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        QCOMPARE(m_http->requests(QStringLiteral("/live")), 0);
        QVERIFY(m_http->requests(QStringLiteral("/new/live")) > 0);
        waitForSound(1);
    }

    // The program's fetcher on a station's playlist, as the session reads one.
    void playlistFetch() {
        web::NetworkFetcher fetcher("Corvana/test");
        // A request started on url, and what it answered.
        struct Fetch {
            Fetch(web::Fetcher& fetcher, const QUrl& url) : f(fetcher) { start(url); }
            void start(const QUrl& url) {
                ticket = f.body(web::Request::StationPlaylist(url), nullptr, [this](const web::Body& body) {
                    answer = body;
                    ++answers;
                });
            }
            web::Fetcher& f;
            web::Ticket ticket = 0;
            web::Body answer;
            int answers = 0;
        };
        const qint64 maxBytes = web::Request::StationPlaylist({}).maxBytes;
        const QByteArray playlist = "[Reference]\r\nRef1=http://127.0.0.1/one\r\n";
        m_http->serve(QStringLiteral("/a.asx"), "video/x-ms-asf", playlist);
        m_http->redirect(QStringLiteral("/moved.asx"), "/a.asx");

        { // Redirected: the body, and the address it finally came from.
            Fetch out(fetcher, QUrl(m_http->url(QStringLiteral("/moved.asx"))));
            QCOMPARE(fetcher.pending(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QCOMPARE(out.answer.failure, web::Failure::None);
            QCOMPARE(out.answer.bytes, playlist);
            QCOMPARE(out.answer.finalUrl, QUrl(m_http->url(QStringLiteral("/a.asx"))));
            QCOMPARE(fetcher.pending(), 0);
        }
        { // A stream where a playlist was expected: refused at the bound, not read for ever; a body of exactly
            // the bound is still whole.
            m_http->serve(QStringLiteral("/endless"), "audio/mpeg", QByteArray(1024 * 1024, 'x'), false);
            m_http->serve(QStringLiteral("/just-fits"), "audio/x-mpegurl", QByteArray(maxBytes, '#'), false);
            Fetch out(fetcher, QUrl(m_http->url(QStringLiteral("/endless"))));
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QCOMPARE(out.answer.failure, web::Failure::TooLarge);
            QVERIFY(out.answer.bytes.isEmpty());
            Fetch fits(fetcher, QUrl(m_http->url(QStringLiteral("/just-fits"))));
            QTRY_COMPARE_WITH_TIMEOUT(fits.answers, 1, ConnectTimeoutMs);
            QCOMPARE(fits.answer.failure, web::Failure::None);
            QCOMPARE(fits.answer.bytes.size(), maxBytes);
        }
        for (const QString& dead : {m_http->url(QStringLiteral("/missing")),
                                    QStringLiteral("http://127.0.0.1:%1/x.asx").arg(ClosedPort())}) {
            Fetch out(fetcher, QUrl(dead));
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QVERIFY2(out.answer.failure != web::Failure::None, qPrintable(dead));
            QVERIFY(out.answer.bytes.isEmpty());
        }
        { // A local file, its name not plain ASCII and with a colon in it; a pipe named like a playlist is
            // refused at once, never waited on.
            const QString path = m_dir->filePath(QStringLiteral("电台:list.asx"));
            QVERIFY(WriteFile(path, playlist));
            Fetch out(fetcher, QUrl::fromLocalFile(path));
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QCOMPARE(out.answer.failure, web::Failure::None);
            QCOMPARE(out.answer.bytes, playlist);
            QCOMPARE(out.answer.finalUrl, QUrl::fromLocalFile(path));
            const QString fifo = m_dir->filePath(QStringLiteral("pipe.pls"));
            QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            Fetch pipe(fetcher, QUrl::fromLocalFile(fifo));
            QTRY_COMPARE_WITH_TIMEOUT(pipe.answers, 1, ConnectTimeoutMs);
            QCOMPARE(pipe.answer.failure, web::Failure::NotAFile);
        }
        if (m_servers.port(QStringLiteral("TLS_PORT")) != 0) {
            // Over https, as the streams are read: the server's certificate is its own, not checked, as the
            // engine does not check a stream's.
            const QString name = QStringLiteral("fetch-%1.asx").arg(Suffix());
            const QString path = QDir(m_servers.value(QStringLiteral("WEBROOT"))).filePath(name);
            QVERIFY(WriteFile(path, playlist));
            QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ReadGroup);
            const auto remove = qScopeGuard([&] { QFile::remove(path); });
            const QUrl url(
                m_servers.url(QLatin1Char('/') + name, QStringLiteral("https"), QStringLiteral("TLS_PORT")));
            Fetch out(fetcher, url);
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QCOMPARE(out.answer.failure, web::Failure::None);
            QCOMPARE(out.answer.bytes, playlist);
            // The directory's rule checks it: a certificate of its own is refused.
            web::Request verified = web::Request::StationPlaylist(url);
            verified.tls = web::TlsRule::Verified;
            int refused = 0;
            fetcher.body(verified, nullptr,
                         [&](const web::Body& body) { refused += body.failure == web::Failure::Insecure; });
            QTRY_COMPARE_WITH_TIMEOUT(refused, 1, ConnectTimeoutMs);
        } else {
            qWarning("icecast2 has no TLS here: fetching over https is not tested");
        }
        { // Cancelled while the server says nothing: no answer ever comes, a new request still works, and
            // the fetcher can go away with a request open.
            m_http->hold(QStringLiteral("/silent"));
            Fetch out(fetcher, QUrl(m_http->url(QStringLiteral("/silent"))));
            QTRY_COMPARE_WITH_TIMEOUT(m_http->requests(QStringLiteral("/silent")), 1, ConnectTimeoutMs);
            fetcher.cancel(out.ticket);
            QCOMPARE(fetcher.pending(), 0);
            out.start(QUrl(m_http->url(QStringLiteral("/a.asx"))));
            QTRY_COMPARE_WITH_TIMEOUT(out.answers, 1, ConnectTimeoutMs);
            QCOMPARE(out.answer.bytes, playlist);
            QTest::qWait(200);
            QCOMPARE(out.answers, 1);

            auto gone = std::make_unique<web::NetworkFetcher>("Corvana/test");
            Fetch lost(*gone, QUrl(m_http->url(QStringLiteral("/silent"))));
            QTRY_COMPARE_WITH_TIMEOUT(m_http->requests(QStringLiteral("/silent")), 2, ConnectTimeoutMs);
            gone.reset();
            QTest::qWait(200);
            QCOMPARE(lost.answers, 0);
        }
    }

    void bufferingShowsProgress() {
        // Without a burst the server sends in real time; waiting for 3 s of it shows the cache filling. A
        // real-time audio output, so that playing does not drain the cache at once.
        auto wmp = play(m_servers.url(QStringLiteral("/mp3-noburst")),
                        {{"ao", "null"}, {"cache-pause-initial", "yes"}, {"cache-pause-wait", "3"}});
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Buffering, ConnectTimeoutMs);
        static const QRegularExpression text(QStringLiteral("^正在缓冲 \\d{1,3}%$"));
        QVERIFY2(text.match(wmp->session().stateText()).hasMatch(), qPrintable(wmp->session().stateText()));
        QTRY_VERIFY_WITH_TIMEOUT(wmp->session().stateText() != QStringLiteral("正在缓冲 0%") ||
                                     wmp->session().state() != State::Buffering,
                                 ConnectTimeoutMs);
        snapshot(*wmp, QStringLiteral("buffering"));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        const QList<State> seen = wmp->states();
        QVERIFY(seen.indexOf(State::Connecting) < seen.indexOf(State::Buffering));
    }

    void audioDeviceMissing() {
        auto wmp = play(m_servers.url(QStringLiteral("/mp3")),
                        {{"ao", "pulse"}, {"pulse-host", "unix:/nonexistent/corvana-test/native"}});
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Error, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("音频设备不可用"));
        QVERIFY(!wmp->session().retryPending());
        snapshot(*wmp, QStringLiteral("error-audio-device"));
    }

    void httpsAndHls() {
        // A short HLS programme in the server's web root: AAC in MPEG-TS segments, as radio HLS is.
        const QString name = QStringLiteral("hls-%1").arg(Suffix());
        const QString dir = QDir(m_servers.value(QStringLiteral("WEBROOT"))).filePath(name);
        QVERIFY(QDir().mkpath(dir));
        const auto removeDir = qScopeGuard([&] { QDir(dir).removeRecursively(); });
        QVERIFY(
            Ffmpeg(QStringLiteral("-f lavfi -i sine=frequency=550:duration=6 -ac 2 -c:a aac -b:a 96k -f hls "
                                  "-hls_time 2 -hls_list_size 0 -hls_segment_filename"),
                   {dir + "/seg%d.ts", dir + "/index.m3u8"}));
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                       QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);

        QStringList urls = {m_servers.url(QStringLiteral("/%1/index.m3u8").arg(name))};
        if (m_servers.port(QStringLiteral("TLS_PORT")) != 0)
            urls << m_servers.url(QStringLiteral("/mp3"), QStringLiteral("https"), QStringLiteral("TLS_PORT"))
                 << m_servers.url(QStringLiteral("/%1/index.m3u8").arg(name), QStringLiteral("https"),
                                  QStringLiteral("TLS_PORT"));
        else
            qWarning("icecast2 has no TLS here: https is not tested");
        for (const QString& url : urls) {
            auto wmp = play(url);
            QTRY_VERIFY2_WITH_TIMEOUT(wmp->states().contains(State::Playing), qPrintable(url),
                                      ConnectTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(FileSize(pcmFile()) >= 44100 * 4, ConnectTimeoutMs);
            QVERIFY2(playedRms() > AudibleRms, qPrintable(url));
            QVERIFY2(!wmp->states().contains(State::Error),
                     qPrintable(url + QLatin1Char(' ') + wmp->session().stateText()));
        }
    }

    void mmsStation() {
        const quint16 mms = m_servers.port(QStringLiteral("MMS_PORT"));
        if (mms == 0) QSKIP("no MMS source: VLC (cvlc) is not installed or could not stream MMS over HTTP");
        auto wmp = play(QStringLiteral("mms://127.0.0.1:%1/").arg(mms));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);
        waitForSound(2);
    }

    void reconnectsAfterServerRestart() {
        // A server of this test's own: killing the shared one would pull the floor from under other tests.
        const QString fixtures = qEnvironmentVariable("CORVANA_FIXTURES");
        QVERIFY2(!fixtures.isEmpty(), "CORVANA_FIXTURES names tests/fixtures");
        const QString start = fixtures + QStringLiteral("/icecast-start");
        const QString stop = fixtures + QStringLiteral("/icecast-stop");
        const QString dir = m_dir->filePath(QStringLiteral("restart-server"));
        QVERIFY(RunScript(start, {dir}));
        const auto stopServer = qScopeGuard([&] { RunScript(stop, {dir}); });
        const StreamServers own = StreamServers::Read(dir + QStringLiteral("/state"));
        const QString port = own.value(QStringLiteral("PORT"));

        auto wmp = play(own.url(QStringLiteral("/mp3")));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, ConnectTimeoutMs);

        // Let attempts fail against the dead port before the server comes back: each waits longer than the last.
        // (A refused connection ends an attempt within milliseconds, so the waits are caught as they start.)
        QList<int> waits;
        const QMetaObject::Connection watch = connect(&wmp->session(), &player::Session::changed, this, [&] {
            const int wait = wmp->session().retryWaitMs();
            if (wait > 0 && (waits.isEmpty() || waits.last() != wait)) waits << wait;
        });
        QVERIFY(RunScript(stop, {dir}));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Reconnecting, ConnectTimeoutMs);
        QCOMPARE(wmp->session().stateText(), QStringLiteral("重新连接"));
        snapshot(*wmp, QStringLiteral("reconnecting"));
        QTRY_VERIFY_WITH_TIMEOUT(waits.size() >= 2, ConnectTimeoutMs);
        disconnect(watch);
        QCOMPARE(waits.mid(0, 2), (QList<int>{1000, 2000}));
        QVERIFY(RunScript(start, {dir, port}));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Playing, 40000);
        QVERIFY(!wmp->states().contains(State::Error));
        const qint64 before = FileSize(pcmFile());
        QTRY_VERIFY_WITH_TIMEOUT(FileSize(pcmFile()) > before + 44100 * 4, ConnectTimeoutMs);

        // Stop while it waits to reconnect: no more attempts.
        QVERIFY(RunScript(stop, {dir}));
        QTRY_COMPARE_WITH_TIMEOUT(wmp->session().state(), State::Reconnecting, ConnectTimeoutMs);
        wmp->controls_stop();
        QCOMPARE(wmp->session().state(), State::Stopped);
        QVERIFY(!wmp->session().retryPending());
        QVERIFY(RunScript(start, {dir, port}));
        QTest::qWait(2500); // longer than the first retries' waits
        QCOMPARE(wmp->session().state(), State::Stopped);
        QVERIFY(!wmp->session().retryPending());
    }

private:
    // A component that writes what it plays to a file, as signed 16-bit samples.
    std::unique_ptr<Component> make(player::EngineOptions extra = {}) {
        ++m_made;
        player::EngineOptions options = {{"ao", "pcm"},
                                         {"ao-pcm-file", pcmFile().toUtf8()},
                                         {"ao-pcm-waveheader", "no"},
                                         {"audio-format", "s16"},
                                         {"network-timeout", "5"}};
        auto wmp = std::make_unique<Component>(options + extra);
        // Full volume: at the component's initial 50 the tone comes out near the threshold of sound.
        wmp->put_settings_volume(100);
        wmp->put_uiMode(QStringLiteral("Mini"));
        wmp->resize(wmp->sizeHint());
        return wmp;
    }
    std::unique_ptr<Component> play(const QString& url, player::EngineOptions extra = {}) {
        auto wmp = make(std::move(extra));
        wmp->put_URL(url);
        return wmp;
    }
    QString pcmFile() const { return m_dir->filePath(QStringLiteral("out-%1.pcm").arg(m_made)); }
    double playedRms() const { return PcmRms(ReadFile(pcmFile())); }
    void waitForSound(int seconds) {
        QTRY_VERIFY_WITH_TIMEOUT(FileSize(pcmFile()) >= qint64(seconds) * 44100 * 2 * 2, ConnectTimeoutMs);
        const double rms = playedRms();
        QVERIFY2(rms > AudibleRms, qPrintable(QStringLiteral("played audio is silent (RMS %1)").arg(rms)));
    }
    void snapshot(MediaPlayer& wmp, const QString& name) {
        const QString dir = qEnvironmentVariable("CORVANA_SCREENSHOTS", QDir::currentPath());
        wmp.grab().save(QDir(dir).filePath(QStringLiteral("strip-%1.png").arg(name)));
    }

    StreamServers m_servers;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_tone;
    int m_made = 0;
    HttpResponder* m_http = nullptr;
};

QTEST_MAIN(TstMediaPlayerPlayback)
#include "tst_media_player_playback.moc"
