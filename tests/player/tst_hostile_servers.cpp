// tests/player/: the engine, the session, the program's fetcher and the station finder against servers that
// answer badly on purpose (tests/support/hostile_server.py on 127.0.0.1, started and stopped here):
// endless and self-naming playlists, stalled servers, hostile titles and names; and the recorder on a station whose
// titles begin at known bytes, and on a full disk (a tmpfs of this process's own mount namespace: CTest runs it
// under unshare). The process runs under a memory limit, so that a runaway fails this test rather than the machine.
#include "player/mpv_engine.h"
#include "player/recorder.h"
#include "player/session.h"
#include "readers/playlist.h"
#include "stations/station_finder.h"
#include "stream_servers.h"
#include "support/hostile_server.h"
#include "web/network_fetcher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <clocale>
#include <dlfcn.h>
#include <memory>
#include <netdb.h>
#include <sys/resource.h>
#include <unistd.h>

using player::EndOfFile;
using player::EngineError;
using player::MpvEngine;
using support::HostileServer;
using State = player::Session::State;

namespace {

constexpr int WaitMs = 20000; // a bound for waits, never a measurement
// What one case may add to the process at its peak. A runaway adds hundreds of MB a second.
constexpr qint64 GrowthBoundKiB = 100 * 1024;
constexpr double AudibleRms = 0.01; // -40 dBFS

// Resident memory of this process now, and at its peak, in KiB.
qint64 StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// What a case adds to this process's resident memory at its peak. What earlier cases left behind (libraries
// loaded, the allocator's free memory) is not its own, and differs from run to run by tens of MB.
class MemoryGrowth {
public:
    MemoryGrowth() {
        // "5" sets the peak back to the memory in use now (Linux 4.0); without it, only samples count.
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        m_peakReset = refs.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && refs.write("5", 1) == 1;
        m_start = StatusKiB("VmRSS:");
    }
    // KiB above the start at the highest point so far.
    qint64 peak() {
        m_peak = qMax(m_peak, StatusKiB(m_peakReset ? "VmHWM:" : "VmRSS:"));
        return m_peak - m_start;
    }
    QString told() { return QStringLiteral("%1 KiB more than the case's start").arg(peak()); }

private:
    bool m_peakReset = false;
    qint64 m_start = 0, m_peak = 0;
};

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// One engine and what it said, in order.
struct Engine {
    explicit Engine(const player::EngineOptions& options)
        : engine(options, 100, false), ends(&engine, &MpvEngine::endFile),
          restarts(&engine, &MpvEngine::playbackRestart) {
        QObject::connect(&engine, &MpvEngine::metadataChanged, &engine,
                         [this](const QMap<QByteArray, QByteArray>& tags) {
                             if (tags.contains("icy-title")) icyTitle = tags.value("icy-title");
                             if (tags.contains("title")) title = tags.value("title");
                         });
        QObject::connect(&engine, &MpvEngine::logMessage, &engine,
                         [this](const QByteArray&, const QByteArray& prefix, const QByteArray& text) {
                             log += prefix + ": " + text + '\n';
                         });
    }
    EndOfFile lastEnd() const { return ends.isEmpty() ? EndOfFile{} : ends.last().at(0).value<EndOfFile>(); }

    MpvEngine engine;
    QSignalSpy ends;
    QSignalSpy restarts;
    QByteArray icyTitle, title, log;
};

// One request through fetcher, waited for; nothing when no answer came in the wait's bound.
template <typename Answer, typename Start> std::optional<Answer> Waited(Start start) {
    std::optional<Answer> got;
    start([&got](const Answer& answer) { got = answer; });
    QElapsedTimer clock;
    clock.start();
    while (!got && clock.elapsed() < 30000)
        QTest::qWait(20);
    return got;
}
std::optional<web::Body> FetchBody(web::Fetcher& fetcher, const QUrl& url) {
    return Waited<web::Body>(
        [&](auto done) { fetcher.body(web::Request::StationPlaylist(url), nullptr, done); });
}

// A resolver that hangs for names under stall.test, as one does with its network down: each look-up holds its
// thread until the test ends, then finds nothing. Defined here, the program's calls come here first.
std::atomic<bool> g_resolverBack{false};

// What ffprobe reads in a file: its codec, empty when it reads no audio.
QString Codec(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                            "stream=codec_name", "-of", "csv=p=0", path});
    return probe.waitForFinished(10000) ? QString::fromUtf8(probe.readAllStandardOutput()).trimmed()
                                        : QString();
}

// A session and its recorder, recording into folder.
struct Recording {
    explicit Recording(const QString& folder) { recorder.setFolder(folder); }
    web::NetworkFetcher fetcher{"Corvana/test"};
    player::Session session{fetcher, {{"ao", "null"}, {"network-timeout", "5"}}};
    player::Recorder recorder{session};
};

} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res) {
    if (node && QByteArray(node).endsWith(".stall.test")) {
        for (int i = 0; i < 600 && !g_resolverBack; ++i)
            usleep(100000);
        return EAI_NONAME;
    }
    static const auto real = reinterpret_cast<decltype(&getaddrinfo)>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, res);
}

class TstHostileServers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        const QString script = qEnvironmentVariable("CORVANA_HOSTILE_SERVER");
        QVERIFY2(QFile::exists(script), "CORVANA_HOSTILE_SERVER names tests/support/hostile_server.py");
        if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) QSKIP("python3 is not installed");
        // A runaway engine fails here, at 1 GiB, long before the machine runs short. AddressSanitizer maps
        // terabytes of shadow memory and cannot run under such a limit.
        if (!UnderAddressSanitizer()) {
            const rlimit limit = {rlim_t(1) << 30, rlim_t(1) << 30};
            QCOMPARE(setrlimit(RLIMIT_DATA, &limit), 0);
        }
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // MP3 frames and nothing else, so that the server can loop it: no ID3 tag, no Xing header; at 48 kHz,
        // 384 bytes each, as its titled station needs.
        const QString mp3 = m_dir->filePath(QStringLiteral("tone.mp3"));
        QVERIFY(playback::Ffmpeg(
            QStringLiteral("-f lavfi -i sine=frequency=440:duration=10 -ac 2 -ar 48000 -b:a 128k "
                           "-id3v2_version 0 -write_xing 0 -f mp3"),
            {mp3}));
        QVERIFY(m_server.start(script, mp3, 600));
    }

    void cleanupTestCase() {
        g_resolverBack = true;
        m_server.stop();
        if (m_pulse.state() != QProcess::NotRunning) {
            m_pulse.terminate();
            if (!m_pulse.waitForFinished(5000)) m_pulse.kill();
            m_pulse.waitForFinished(3000);
        }
    }

    void enginePlaysNoPlaylist_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("endless");
        QTest::newRow("PLS") << QStringLiteral("/endless.pls") << QString() << true;
        QTest::newRow("M3U") << QStringLiteral("/endless.m3u") << QString() << true;
        QTest::newRow("PLS naming itself") << QStringLiteral("/self.pls") << QString() << false;
        QTest::newRow("M3U naming itself") << QStringLiteral("/self.m3u") << QString() << false;
        QTest::newRow("two PLS naming each other")
            << QStringLiteral("/ping.pls") << QStringLiteral("/pong.pls") << false;
    }

    void enginePlaysNoPlaylist() {
        QFETCH(QString, path);
        QFETCH(QString, other);
        QFETCH(bool, endless);
        const int before = m_server.requests(path);
        const int otherBefore = other.isEmpty() ? 0 : m_server.requests(other);
        MemoryGrowth growth;
        {
            Engine e(silent());
            e.engine.load({m_server.url(path)}, 1);
            // The engine's own playlist reader grew the process by some 250 MB a second on an endless one, and
            // followed self-naming ones at some 800 requests a second, for ever. Now it never reads a playlist:
            // the address ends as a format it does not play, and the component reads it (once per play request,
            // see the session).
            QTRY_VERIFY_WITH_TIMEOUT(!e.ends.isEmpty() || growth.peak() > GrowthBoundKiB, WaitMs);
            QVERIFY2(growth.peak() <= GrowthBoundKiB, qPrintable(growth.told()));
            QCOMPARE(e.lastEnd().reason, EndOfFile::Error);
            QCOMPARE(e.lastEnd().error, EngineError::UnknownFormat);
            QCOMPARE(e.restarts.size(), 0);
            QTest::qWait(1000);
            QCOMPARE(e.ends.size(), 1);
        }
        QCOMPARE(m_server.requests(path), before + 1);
        if (!other.isEmpty()) QCOMPARE(m_server.requests(other), otherBefore);
        if (!endless) return;

        // The component's own reading stops at its bound and says why.
        const std::optional<web::Body> body = FetchBody(m_fetcher, QUrl(m_server.url(path)));
        QVERIFY2(growth.peak() <= GrowthBoundKiB, qPrintable(growth.told()));
        QVERIFY(body);
        QCOMPARE(body->failure, web::Failure::TooLarge);
        QVERIFY(body->bytes.isEmpty());
    }

    // A playlist address that sends a byte a second never times out on the network: the fetch ends at its own
    // time, and no sooner.
    void playlistFetchEndsAtItsOwnTime() {
        const int timeoutMs = web::Request::StationPlaylist({}).timeoutMs;
        QElapsedTimer clock;
        clock.start();
        const std::optional<web::Body> body =
            FetchBody(m_fetcher, QUrl(m_server.url(QStringLiteral("/trickle"))));
        const qint64 took = clock.elapsed();
        qInfo("ended after %lld ms", took);
        QVERIFY(body);
        QCOMPARE(body->failure, web::Failure::TimedOut);
        QVERIFY2(took >= timeoutMs - 500 && took <= timeoutMs + 10000,
                 qPrintable(QStringLiteral("ended after %1 ms").arg(took)));
    }

    // What a stream's server calls it, asked once: whatever the server does, the answer comes in the head
    // request's time.
    void streamHeadsAnswerInTheirTime_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("answer"); // "name;genre;media type", or the failure
        const QString named = QStringLiteral("电台|名 😀;Jazz;audio/mpeg");
        QTest::newRow("ICY 200, a bar and a name beyond GBK") << "/named" << named;
        QTest::newRow("a playlist's type, and a parameter") << "/listen"
                                                            << ";;audio/x-scpls; charset=utf-8";
        QTest::newRow("redirected") << "/moved" << named;
        QTest::newRow("redirected three times") << "/hops/2" << named;
        QTest::newRow("redirected once more than the bound") << "/hops/3"
                                                             << "too many redirects";
        QTest::newRow("redirected for ever") << "/moved-loop"
                                             << "too many redirects";
        QTest::newRow("its end in a later read") << "/split-head"
                                                 << "Split Head;;";
        QTest::newRow("its lines ended by LF alone") << "/lf-head"
                                                     << "LF Head;;";
        QTest::newRow("not found") << "/nothing"
                                   << "refused";
        QTest::newRow("headers without end") << "/endless-head"
                                             << "too large";
        QTest::newRow("never a byte") << "/never"
                                      << "timed out";
    }

    void streamHeadsAnswerInTheirTime() {
        QFETCH(QString, path);
        QFETCH(QString, answer);
        QElapsedTimer clock;
        clock.start();
        int answers = 0;
        std::optional<web::Head> got = Waited<web::Head>([&](auto done) {
            m_fetcher.head(web::Request::StationHead(QUrl(m_server.url(path))), nullptr,
                           [&answers, done](const web::Head& head) {
                               ++answers;
                               done(head);
                           });
        });
        QVERIFY(got);
        QVERIFY2(clock.elapsed() <= web::Request::StationHead({}).timeoutMs + 2000,
                 qPrintable(QStringLiteral("answered after %1 ms").arg(clock.elapsed())));
        const QMap<web::Failure, QString> failures = {{web::Failure::TooManyRedirects, "too many redirects"},
                                                      {web::Failure::Refused, "refused"},
                                                      {web::Failure::TooLarge, "too large"},
                                                      {web::Failure::TimedOut, "timed out"}};
        const QString text =
            got->failure == web::Failure::None
                ? QStringList{readers::DecodeServerText(got->head.field("icy-name")),
                              QString::fromUtf8(got->head.field("icy-genre")),
                              QString::fromUtf8(got->head.field("content-type"))}
                      .join(';')
                : failures.value(got->failure, QStringLiteral("failure %1").arg(int(got->failure)));
        QCOMPARE(text, answer);
        QTest::qWait(1000);
        QCOMPARE(answers, 1);
    }

    // Stations as a drop or a paste brings them, completed from the same servers through the program's
    // fetcher: every request of a batch open at once. (The finder's rules are tested on a scripted fetcher, in
    // tests/stations.)
    void stationFinderCompletesABatch_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("stations"); // "name|path"
        QTest::addColumn<int>("failures");
        QTest::newRow("named by the stream, else by the host")
            << QStringList{"/named", "/never", "/nothing"}
            << QStringList{"电台｜名 😀|/named", "127.0.0.1|/never", "127.0.0.1|/nothing"} << 0;
        QTest::newRow(
            "playlists read in place, one that never ends left out, one untitled named by its stream")
            << QStringList{"/listen", "/titles.m3u", "/endless.pls", "/mirrors.pls", "/untitled.pls"}
            << QStringList{"Listen FM|/listen", "One|/silent?1",          "Two|/silent?2",
                           "Three|/named",      "Mirror FM|/mirrors.pls", "电台｜名 😀|/untitled.pls"}
            << 1;
        QStringList never, byHost;
        for (int i = 0; i < readers::MaxFoundStations; ++i) {
            never << QStringLiteral("/never?%1").arg(i);
            byHost << QStringLiteral("127.0.0.1|/never?%1").arg(i);
        }
        QTest::newRow("64 servers that never answer") << never << byHost << 0;
        // Four names the resolver never answers, asked and given up before: they hold no look-up slot.
        QTest::newRow("names that never resolve, and one that does")
            << QStringList{"http://a.stall.test/", "http://b.stall.test/", "http://c.stall.test/",
                           "http://d.stall.test/", "http://localhost:$/named"}
            << QStringList{"a.stall.test|http://a.stall.test/", "b.stall.test|http://b.stall.test/",
                           "c.stall.test|http://c.stall.test/", "d.stall.test|http://d.stall.test/",
                           "电台｜名 😀|http://localhost:$/named"}
            << 0;
    }

    void stationFinderCompletesABatch() {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, stations);
        QFETCH(int, failures);
        QStringList links;
        for (const QString& path : paths)
            links << (path.startsWith(u'/') ? m_server.url(path)
                                            : QString(path).replace(u'$', QString::number(m_server.port())));
        const readers::FoundStations found = readers::ReadFoundText(links.join(' '));
        {
            // Gone while its requests are open: nothing reaches it afterwards, in the time the wait below gives.
            stations::StationFinder abandoned(m_fetcher);
            abandoned.find(found);
            QTest::qWait(100);
        }
        stations::StationFinder finder(m_fetcher);
        QSignalSpy finished(&finder, &stations::StationFinder::finished);
        finder.find(found);
        finder.find(
            readers::ReadFoundText(QStringLiteral("no address"))); // answered after the batch before it
        // A probe's time and a playlist's read bound a batch of any size; one request after another would not.
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 3 * web::Request::StationHead({}).timeoutMs);
        QCOMPARE(m_fetcher.pending(), 0);
        const auto result = finished.first().first().value<readers::FoundStations>();
        QStringList got;
        for (const readers::FoundStation& station : result.stations)
            got << station.name + '|' + QString(station.address).remove(m_server.url({}));
        QCOMPARE(got, stations.replaceInStrings(QStringLiteral("$"), QString::number(m_server.port())));
        QCOMPARE(finished.first().at(1).toInt(), failures);
        QCOMPARE(finished.last().first().value<readers::FoundStations>().refusal,
                 readers::FoundStations::Refusal::Nothing);
    }

    void stalledLoadsStopAtOnce_data() {
        QTest::addColumn<QStringList>("schemes");
        QTest::addColumn<QString>("path");
        QTest::newRow("one byte a second") << QStringList{"http"} << QStringLiteral("/trickle");
        QTest::newRow("silence after the headers") << QStringList{"http"} << QStringLiteral("/silent");
        // mms:// as the component loads it, to a port that speaks HTTP and says nothing after its headers.
        QTest::newRow("mms fall-back to a port that does not speak MMS")
            << QStringList{"mmsh", "mmst"} << QStringLiteral("/silent");
    }

    void stalledLoadsStopAtOnce() {
        // None of these ends by itself within a listener's patience (one byte a second never does; the others
        // take 60 s to minutes): the session stops the engine at its deadline. That stop must take effect at
        // once, whatever the network is doing.
        QFETCH(QStringList, schemes);
        QFETCH(QString, path);
        QStringList urls;
        for (const QString& scheme : schemes)
            urls << m_server.url(path, scheme);
        const int before = m_server.requests(path);
        Engine e(silent());
        QSignalSpy starts(&e.engine, &MpvEngine::startFile);
        e.engine.load(urls, 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests(path) > before, WaitMs);
        QTest::qWait(3000);
        QCOMPARE(e.ends.size(), 0);
        QCOMPARE(e.restarts.size(), 0);
        QCOMPARE(m_server.requests(path), before + 1);
        QCOMPARE(starts.size(), 1);

        QElapsedTimer clock;
        clock.start();
        e.engine.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!e.ends.isEmpty(), 3000);
        QCOMPARE(e.lastEnd().reason, EndOfFile::Stop);
        qInfo("stopped after %lld ms", clock.elapsed());
        // The fall-back entry never starts after a stop.
        QTest::qWait(500);
        QCOMPARE(e.ends.size(), 1);
        QCOMPARE(starts.size(), 1);
    }

    void hostileTitlesArriveAndAreCleaned() {
        Engine e(player::EngineOptions{{"ao", "null"}});
        e.engine.load({m_server.url(QStringLiteral("/icy"))}, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!e.icyTitle.isEmpty(), WaitMs);
        // As the server sent it: an override, a line break, control characters.
        QVERIFY2(e.icyTitle.contains("\xe2\x80\xae") && e.icyTitle.contains("\r\n") &&
                     e.icyTitle.contains('\x07'),
                 e.icyTitle.toPercentEncoding().constData());
        QCOMPARE(readers::CleanTitle(readers::DecodeServerText(e.icyTitle)),
                 QStringLiteral("Evil exe.live song second line after a tab end \u200Djoined"));
    }

    // Tags the engine reads as the stream opens reach the program as the server sent them, as ICY ones do:
    // the program's own rule reads them, and nothing is garbled or lost before it can.
    void tagsArriveAsSent() {
        Engine e(player::EngineOptions{{"ao", "null"}});
        e.engine.load({m_server.url(QStringLiteral("/icy-latin1"))}, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!e.icyTitle.isEmpty(), WaitMs);
        QCOMPARE(e.title, QStringLiteral("Música Pública").toLatin1());
        QCOMPARE(e.icyTitle,
                 QByteArray(QStringEncoder("windows-1252")
                                .encode(QStringLiteral("Édith Piaf – Non, je ne regrette rien"))));
    }

    void longTitleKeepsTheSoundAtTheSink() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("pulseaudio and parec (pulseaudio-utils) are not installed");
        QVERIFY2(startSoundServer(), m_pulse.readAll().constData());
        const QByteArray server = "unix:" + m_pulseSocket.toUtf8();
        Engine e(player::EngineOptions{{"ao", "pulse"}, {"pulse-host", server}});
        e.engine.load({m_server.url(QStringLiteral("/icy-long"))}, 1);
        QTRY_VERIFY_WITH_TIMEOUT(e.restarts.size() > 0, WaitMs);
        // The title got there, all 70 000 bytes of it.
        QTRY_COMPARE_WITH_TIMEOUT(e.title.size(), 70000, WaitMs);
        QTest::qWait(1000);

        // Three seconds of what reaches the sink. With the title as the stream's name, PulseAudio dropped the
        // player again and again and this was silence.
        QProcess parec;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QString::fromUtf8(server));
        parec.setProcessEnvironment(env);
        parec.start(QStringLiteral("parec"), {"-d", "hostile.monitor", "--format=s16le", "--rate=44100",
                                              "--channels=2", "--raw", "--latency-msec=50"});
        QVERIFY(parec.waitForStarted(5000));
        QByteArray pcm;
        QElapsedTimer clock;
        clock.start();
        while (pcm.size() < 3 * 44100 * 4 && clock.elapsed() < WaitMs)
            if (parec.waitForReadyRead(1000)) pcm += parec.readAllStandardOutput();
        parec.kill();
        parec.waitForFinished(3000);
        QVERIFY2(pcm.size() >= 3 * 44100 * 4, qPrintable(QString::number(pcm.size())));
        const double rms = playback::PcmRms(pcm);
        QVERIFY2(rms > AudibleRms, qPrintable(QStringLiteral("silent at the sink (RMS %1)\n%2")
                                                  .arg(rms)
                                                  .arg(QString::fromUtf8(e.log.right(2000)))));
    }

    // The same servers met by the listening session, as a user's double-click meets them.
    void sessionEndsEndlessAndLoopingPlaylists_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("other");
        // A playlist the chain must never reach; empty when there is no chain.
        QTest::addColumn<QString>("beyond");
        QTest::addColumn<QString>("error");
        const QString tooLong = QStringLiteral("无法播放：列表太长");
        const QString tooDeep = QStringLiteral("无法播放：播放列表嵌套太深");
        QTest::newRow("endless PLS") << QStringLiteral("/endless.pls") << QString() << QString() << tooLong;
        QTest::newRow("endless M3U") << QStringLiteral("/endless.m3u") << QString() << QString() << tooLong;
        QTest::newRow("PLS naming itself")
            << QStringLiteral("/self.pls") << QString() << QString() << tooDeep;
        QTest::newRow("two PLS naming each other")
            << QStringLiteral("/ping.pls") << QStringLiteral("/pong.pls") << QString() << tooDeep;
        // Each names a new one: no playlist is read twice, and only the depth ends it, a few levels past any
        // real station's.
        QTest::newRow("a chain of playlists, each naming the next")
            << QStringLiteral("/chain/1.pls") << QStringLiteral("/chain/2.pls")
            << QStringLiteral("/chain/12.pls") << tooDeep;
    }

    void sessionEndsEndlessAndLoopingPlaylists() {
        QFETCH(QString, path);
        QFETCH(QString, other);
        QFETCH(QString, beyond);
        QFETCH(QString, error);
        const int before = m_server.requests(path);
        const int otherBefore = other.isEmpty() ? 0 : m_server.requests(other);
        MemoryGrowth growth;
        player::Session session(m_fetcher, silent());
        session.play(m_server.url(path));
        QTRY_VERIFY_WITH_TIMEOUT(session.state() == State::Error || growth.peak() > GrowthBoundKiB, WaitMs);
        QVERIFY2(growth.peak() <= GrowthBoundKiB, qPrintable(growth.told()));
        qInfo("%s: %s; %s", qPrintable(path), qPrintable(session.stateText()), qPrintable(growth.told()));
        QCOMPARE(session.stateText(), error);
        QVERIFY(!session.listening());
        // Read by the engine once and by the session a bounded number of times; never fetched for ever.
        QTest::qWait(1000);
        const int reads = m_server.requests(path) - before;
        QVERIFY2(reads >= 1 && reads <= 3, qPrintable(QString::number(reads)));
        if (!other.isEmpty()) QVERIFY(m_server.requests(other) - otherBefore <= 3);
        if (!beyond.isEmpty()) QCOMPARE(m_server.requests(beyond), 0);
    }

    void sessionGivesUpOnStalledServersAtItsDeadline_data() {
        // The request: the server's first path in tried by scheme, or (no scheme) a playlist file of its mirrors.
        QTest::addColumn<QString>("scheme");
        // Every address the request tries, in order ("<not-http>" is a client speaking something else, MMS over
        // TCP here), and the least time each must have had before the next (or the error): its share of the
        // 20 s to sound, never under 8 s. An address tried alone may end sooner by the engine's own network
        // timeout (15 s here), which the deadline is meant to let through.
        QTest::addColumn<QStringList>("tried");
        QTest::addColumn<QList<int>>("shares");
        QTest::newRow("one byte a second") << "http" << QStringList{"/trickle"} << QList<int>{15000};
        QTest::newRow("silence after the headers") << "http" << QStringList{"/silent"} << QList<int>{15000};
        // MMS over HTTP stalls on the silent answer; the fall-back over TCP must still get its turn.
        QTest::newRow("mms to a port that does not speak MMS")
            << "mms" << QStringList{"/silent", "<not-http>"} << QList<int>{10000, 10000};
        // So must each mirror of a playlist, while the request's time lasts.
        QTest::newRow("a playlist of three stalled mirrors")
            << QString() << QStringList{"/silent?a", "/silent?b", "/silent?c"}
            << QList<int>{8000, 8000, 8000};
    }

    void sessionGivesUpOnStalledServersAtItsDeadline() {
        QFETCH(QString, scheme);
        QFETCH(QStringList, tried);
        QFETCH(QList<int>, shares);
        QString address = m_dir->filePath(QStringLiteral("mirrors.pls"));
        if (!scheme.isEmpty())
            address = m_server.url(tried.first(), scheme);
        else
            QVERIFY(playback::WriteFile(
                address, QStringLiteral("[playlist]\nNumberOfEntries=3\nFile1=%1?a\nFile2=%1?b\nFile3=%1?c\n")
                             .arg(m_server.url(QStringLiteral("/silent")))
                             .toUtf8()));
        player::Session session(m_fetcher, silent());
        QElapsedTimer clock;
        clock.start();
        const qint64 startAt = clock.msecsSinceReference();
        session.play(address);
        QCOMPARE(session.state(), State::Connecting);
        // The deadline is 20 s from the request, and the last address tried has 8 s at least; 35 s bounds this
        // wait, it measures nothing.
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Error, 35000);
        const qint64 errorAt = clock.msecsSinceReference() + clock.elapsed();
        qInfo("error after %lld ms", clock.elapsed());
        QCOMPARE(session.stateText(), QStringLiteral("无法连接：连接超时"));
        QVERIFY(!session.retryPending()); // a station that never played is not reconnected
        // When each address was first asked for since the request, on the server's clock, which is this one's
        // (FFmpeg may ask again within an address's time): each had its time.
        QList<qint64> askedAt;
        for (const QString& path : tried) {
            const QList<qint64> times = m_server.asked(path).atMs;
            const auto first =
                std::find_if(times.begin(), times.end(), [&](qint64 at) { return at >= startAt; });
            QVERIFY2(first != times.end(), qPrintable(path + QStringLiteral(" never asked")));
            askedAt.append(*first);
        }
        askedAt.append(errorAt);
        QString times;
        for (int i = 0; i < tried.size(); ++i)
            times += QStringLiteral(" %1: %2 ms").arg(tried[i]).arg(askedAt[i + 1] - askedAt[i]);
        qInfo("%s", qPrintable(times));
        // The server takes a request a little after the engine opens it, on a busy machine later still.
        constexpr int Margin = 750;
        for (int i = 0; i < tried.size(); ++i)
            QVERIFY2(askedAt[i + 1] - askedAt[i] >= shares[i] - Margin,
                     qPrintable(tried[i] + QStringLiteral(" had too little time:") + times));
    }

    // The server sends a few seconds of sound and then a byte a second, its connection open: no network timeout
    // ever fires, and the engine waits for its cache for ever. For a listener the station has dropped.
    void sessionReconnectsAStreamThatStarves() {
        const QString path = QStringLiteral("/starve");
        const int before = m_server.requests(path);
        player::Session session(m_fetcher, silent());
        QSignalSpy states(&session, &player::Session::stateChanged);
        session.play(m_server.url(path));
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Buffering, WaitMs);
        // The stall allows 20 s; 35 s bounds this wait, it measures nothing.
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests(path) - before >= 2, 35000);
        QVERIFY(session.listening());
        QVERIFY(std::any_of(states.begin(), states.end(), [](const QList<QVariant>& change) {
            return change.at(0).value<State>() == State::Reconnecting;
        }));
    }

    void sessionShowsHostileTitlesCleaned() {
        player::Session session(m_fetcher, silent());
        session.play(m_server.url(QStringLiteral("/icy")));
        QTRY_VERIFY_WITH_TIMEOUT(!session.title().isEmpty(), WaitMs);
        QCOMPARE(session.title(),
                 QStringLiteral("Evil exe.live song second line after a tab end \u200Djoined"));
        QVERIFY(session.stateText().endsWith(session.title()));

        // Names and titles in ISO 8859-1 and Windows-1252 reach the program's own rule as the server sent them.
        session.play(m_server.url(QStringLiteral("/icy-latin1")));
        QTRY_COMPARE_WITH_TIMEOUT(session.title(), QStringLiteral("Édith Piaf – Non, je ne regrette rien"),
                                  WaitMs);
        QCOMPARE(session.stationName(), QStringLiteral("Música Pública"));

        session.play(m_server.url(QStringLiteral("/icy-long")));
        QTRY_VERIFY_WITH_TIMEOUT(session.title().size() > 100, WaitMs);
        QVERIFY2(session.title().size() <= readers::MaxTitleLength,
                 qPrintable(QString::number(session.title().size())));
    }

    void sessionRefusesADirectory() {
        for (const QString& address : {QStringLiteral("/usr/share"), QStringLiteral("file:///usr/share/")}) {
            player::Session session(m_fetcher, silent());
            session.play(address);
            QCOMPARE(session.state(), State::Error);
            QCOMPARE(session.stateText(), QStringLiteral("不支持的地址"));
            QVERIFY(!session.engineStarted());
        }
    }

    // A .pls naming an .m3u naming a stream: real stations do this, and the engine no longer reads playlists.
    void sessionFollowsAPlaylistNamingAPlaylist() {
        const QString m3u = m_dir->filePath(QStringLiteral("inner.m3u"));
        const QString pls = m_dir->filePath(QStringLiteral("outer.pls"));
        QVERIFY(playback::WriteFile(m3u, m_server.url(QStringLiteral("/icy")).toUtf8() + "\n"));
        QVERIFY(playback::WriteFile(pls, "[playlist]\nNumberOfEntries=1\nFile1=" + m3u.toUtf8() + "\n"));
        player::Session session(m_fetcher, silent());
        session.play(pls);
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!session.title().isEmpty(), WaitMs);
    }

    // Ctrl+R (here the recorder's toggle) while connecting, titles changing every 2.3 s, Stop, another station:
    // one file per title, named by it, in the codec's own container; what the strip is given to show.
    void recordsOneFilePerTitle() {
        const QString music = m_dir->filePath(QStringLiteral("music"));
        Recording r(music);
        r.recorder.toggle();
        QCOMPARE(r.recorder.text(), QStringLiteral("没有正在播放的电台，无可录音"));
        r.session.setListName(QStringLiteral("Titled: 音/调"));
        r.session.play(m_server.url(QStringLiteral("/titled/96")));
        r.recorder.toggle();
        QTRY_VERIFY_WITH_TIMEOUT(r.recorder.text().startsWith(QStringLiteral("● 0分钟 ")), WaitMs);
        QVERIFY2(r.recorder.text().endsWith(QStringLiteral("/music/Titled_ 音_调")),
                 qPrintable(r.recorder.text()));
        // The first title and two changes: three files.
        QSignalSpy titles(&r.session, &player::Session::titleChanged);
        QTRY_VERIFY_WITH_TIMEOUT(titles.size() >= 3, WaitMs);
        QTest::qWait(500);
        r.session.stop();
        QCOMPARE(r.recorder.text(), QStringLiteral("录音结束，已保存3个文件"));
        QTRY_COMPARE_WITH_TIMEOUT(r.recorder.saved().size(), 3, WaitMs);
        static const QRegularExpression name(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d Tone (\\d+)\\.mp3$"));
        int tone = -1;
        for (const QString& path : r.recorder.saved()) {
            const QRegularExpressionMatch match = name.match(QFileInfo(path).fileName());
            QVERIFY2(match.hasMatch() && (tone < 0 || match.captured(1).toInt() == tone + 1),
                     qPrintable(path));
            tone = match.captured(1).toInt();
            QCOMPARE(Codec(path), QStringLiteral("mp3"));
        }
        QCOMPARE(QDir(music + QStringLiteral("/Titled_ 音_调")).entryList(QDir::Files | QDir::Hidden).size(),
                 3);

        // Another station ends the recording; Ctrl+R again records the new one, in its own container.
        const playback::StreamServers servers =
            playback::StreamServers::Read(qEnvironmentVariable("CORVANA_STREAM_SERVERS"));
        if (servers.value(QStringLiteral("STATUS")) != QLatin1String("ready"))
            QSKIP("no Ogg station: no stream servers");
        r.session.play(m_server.url(QStringLiteral("/titled/96")));
        r.recorder.toggle();
        QTRY_VERIFY_WITH_TIMEOUT(r.recorder.text().startsWith(QStringLiteral("●")), WaitMs);
        r.session.setListName(QStringLiteral("Ogg"));
        r.session.play(servers.url(QStringLiteral("/ogg")));
        QVERIFY2(!r.recorder.recording() && r.recorder.text().startsWith(QStringLiteral("录音结束")),
                 qPrintable(r.recorder.text()));
        QTRY_COMPARE_WITH_TIMEOUT(r.session.state(), State::Playing, WaitMs);
        r.recorder.toggle();
        QTRY_VERIFY_WITH_TIMEOUT(r.recorder.text().startsWith(QStringLiteral("●")), WaitMs);
        QTest::qWait(2000);
        r.recorder.toggle();
        QTRY_COMPARE_WITH_TIMEOUT(r.recorder.saved().size(), 1, WaitMs);
        QCOMPARE(r.session.state(), State::Playing);
        QVERIFY2(r.recorder.saved().first().endsWith(QStringLiteral(" Corvana Ogg 测试音.ogg")),
                 qPrintable(r.recorder.saved().first()));
        QCOMPARE(Codec(r.recorder.saved().first()), QStringLiteral("vorbis"));
    }

    // A full disk stops the recording, saying why; playback goes on, and what was written plays.
    void fullDiskStopsTheRecording() {
        const QString disk = m_dir->filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64m", "tmpfs", disk}) != 0)
            QSKIP("mount refused: no tmpfs of our own here (run under unshare --mount as root)");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {"-l", disk}); });
        Recording r(disk);
        r.session.play(m_server.url(QStringLiteral("/titled/96")));
        QTRY_COMPARE_WITH_TIMEOUT(r.session.state(), State::Playing, WaitMs);
        r.recorder.toggle();
        const QDir folder(disk + QStringLiteral("/Titled Tones"));
        // Written: every file has something, or (as the engine writes in blocks of 32 KiB) any file does.
        const auto written = [&](bool every) {
            const QFileInfoList files = folder.entryInfoList(QDir::Files);
            const auto some = [](const QFileInfo& f) { return f.size() > 0; };
            return every ? !files.isEmpty() && std::all_of(files.begin(), files.end(), some)
                         : std::any_of(files.begin(), files.end(), some);
        };
        QTRY_VERIFY_WITH_TIMEOUT(written(false), WaitMs);
        // Another program fills the disk.
        QFile ballast(disk + QStringLiteral("/ballast"));
        QVERIFY(ballast.open(QIODevice::WriteOnly));
        while (ballast.write(QByteArray(1 << 20, 'x')) == 1 << 20 && ballast.flush()) {
        }
        QTRY_COMPARE_WITH_TIMEOUT(r.recorder.text(),
                                  QStringLiteral("录音失败：磁盘空间不足（剩余不到50 MB）"), WaitMs);
        QCOMPARE(r.session.state(), State::Playing);
        // Each file written plays; the name made for a title the disk had no room for goes.
        QTRY_VERIFY_WITH_TIMEOUT(written(true), WaitMs);
        for (const QString& file : folder.entryList(QDir::Files))
            QCOMPARE(Codec(folder.filePath(file)), QStringLiteral("mp3"));
    }

private:
    player::EngineOptions silent() const { return {{"ao", "null"}, {"network-timeout", "15"}}; }
    bool startSoundServer() {
        if (m_pulse.state() == QProcess::Running) return true;
        const QString root = m_dir->filePath(QStringLiteral("pulse"));
        QDir().mkpath(root + QStringLiteral("/home/.config/pulse"));
        QDir().mkpath(root + QStringLiteral("/run"));
        QFile::setPermissions(root + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!playback::WriteFile(root + QStringLiteral("/home/.config/pulse/client.conf"),
                                 "autospawn = no\n"))
            return false;
        m_pulseSocket = root + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + m_pulseSocket);
        m_pulse.setProcessEnvironment(env);
        m_pulse.setProcessChannelMode(QProcess::MergedChannels);
        m_pulse.start(QStringLiteral("pulseaudio"),
                      {"-n", "--daemonize=no", "--exit-idle-time=-1",
                       "--load=module-null-sink sink_name=hostile",
                       "--load=module-native-protocol-unix socket=" + m_pulseSocket + " auth-anonymous=1"});
        if (!m_pulse.waitForStarted(5000)) return false;
        for (int i = 0; i < 100 && !QFile::exists(m_pulseSocket); ++i)
            QThread::msleep(100);
        return QFile::exists(m_pulseSocket);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    HostileServer m_server;
    web::NetworkFetcher m_fetcher{"Corvana/test"};
    QProcess m_pulse;
    QString m_pulseSocket;
};

QTEST_GUILESS_MAIN(TstHostileServers)
#include "tst_hostile_servers.moc"
