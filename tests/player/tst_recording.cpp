// tests/player/: the recorder on the real engine: a station of the tests' own ICY server
// (tests/support/hostile_server.py /titled) whose titles begin at known bytes, the fixture's Ogg mount, and a
// full disk (a small tmpfs of this process's own mount namespace: CTest runs it under unshare).
#include "player/media_player.h"
#include "player/recorder.h"
#include "stream_servers.h"
#include "support/hostile_server.h"
#include "web/network_fetcher.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <clocale>
#include <memory>

using State = player::Session::State;
using namespace playback;

namespace {

constexpr int WaitMs = 20000; // a bound for waits, never a measurement
// A title every 96 frames of 24 ms: 2.3 s.
const QString Titled = QStringLiteral("/titled/96");

// What ffprobe says of a file: its codec, empty when it reads no audio.
QString Codec(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                            "stream=codec_name", "-of", "csv=p=0", path});
    return probe.waitForFinished(10000) ? QString::fromUtf8(probe.readAllStandardOutput()).trimmed()
                                        : QString();
}

struct Player {
    explicit Player(const QString& folder) {
        recorder.setFolder(folder);
        strip.showRecorder(recorder);
    }
    web::NetworkFetcher fetcher{"Corvana/test"};
    player::Session session{fetcher, {{"ao", "null"}, {"network-timeout", "5"}}};
    player::Recorder recorder{session};
    player::MediaPlayer strip{session};
    QString shown() const { return strip.findChild<QWidget*>(QStringLiteral("recording"))->accessibleName(); }
};

} // namespace

class TstRecording : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // The /titled station's audio: 128 kbit/s at 48 kHz, frames of 384 bytes and nothing else.
        const QString mp3 = m_dir->filePath(QStringLiteral("tone.mp3"));
        QVERIFY(
            Ffmpeg(QStringLiteral("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=10 -ac 1 -b:a "
                                  "128k -reservoir 0 -id3v2_version 0 -write_xing 0 -f mp3"),
                   {mp3}));
        QVERIFY(m_server.start(qEnvironmentVariable("CORVANA_HOSTILE_SERVER"), mp3));
        m_servers = StreamServers::Read(qEnvironmentVariable("CORVANA_STREAM_SERVERS"));
    }

    // Ctrl+R, titles changing, Stop, another station: one file per title, named by it, in the codec's own
    // container; what the strip says.
    void recordsOneFilePerTitle() {
        Player p(m_dir->filePath(QStringLiteral("music")));
        p.recorder.toggle();
        QVERIFY(!p.recorder.recording());
        QCOMPARE(p.shown(), QStringLiteral("没有正在播放的电台，无可录音"));

        // Asked for while connecting: it begins at the first audio.
        p.session.setListName(QStringLiteral("Titled: 音/调"));
        p.strip.put_URL(m_server.url(Titled));
        p.recorder.toggle();
        QVERIFY(p.recorder.recording());
        QTRY_VERIFY_WITH_TIMEOUT(p.shown().startsWith(QStringLiteral("● 00:0")), WaitMs);
        QVERIFY2(p.shown().endsWith(QStringLiteral("Titled_ 音_调")), qPrintable(p.shown()));
        // The first title and two changes: three files.
        QSignalSpy titles(&p.session, &player::Session::titleChanged);
        QTRY_VERIFY_WITH_TIMEOUT(titles.size() >= 3, WaitMs);
        QTest::qWait(500);
        p.strip.controls_stop();
        QCOMPARE(p.session.state(), State::Stopped);
        QCOMPARE(p.shown(), QStringLiteral("录音结束，已保存3个文件"));
        QTRY_COMPARE_WITH_TIMEOUT(p.recorder.saved().size(), 3, WaitMs);
        static const QRegularExpression name(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d Tone (\\d+)\\.mp3$"));
        int tone = -1;
        for (const QString& path : p.recorder.saved()) {
            QCOMPARE(QFileInfo(path).absolutePath(), m_dir->filePath(QStringLiteral("music/Titled_ 音_调")));
            const QRegularExpressionMatch match = name.match(QFileInfo(path).fileName());
            QVERIFY2(match.hasMatch(), qPrintable(path));
            QVERIFY2(tone < 0 || match.captured(1).toInt() == tone + 1, qPrintable(path));
            tone = match.captured(1).toInt();
            QCOMPARE(Codec(path), QStringLiteral("mp3"));
        }
        QCOMPARE(QDir(QFileInfo(p.recorder.saved().first()).absolutePath())
                     .entryList(QDir::Files | QDir::Hidden)
                     .size(),
                 3);

        // Another station ends the recording; Ctrl+R again records the new one, in its codec's container.
        if (m_servers.value(QStringLiteral("STATUS")) != QLatin1String("ready"))
            QSKIP("no stream servers: the Ogg station is not recorded");
        p.strip.put_URL(m_server.url(Titled));
        p.recorder.toggle();
        QTRY_VERIFY_WITH_TIMEOUT(p.shown().startsWith(QStringLiteral("●")), WaitMs);
        p.session.setListName(QStringLiteral("Ogg"));
        p.strip.put_URL(m_servers.url(QStringLiteral("/ogg")));
        QVERIFY(!p.recorder.recording());
        QVERIFY2(p.shown().startsWith(QStringLiteral("录音结束")), qPrintable(p.shown()));
        QTRY_COMPARE_WITH_TIMEOUT(p.session.state(), State::Playing, WaitMs);
        p.recorder.toggle();
        QTRY_VERIFY_WITH_TIMEOUT(p.shown().startsWith(QStringLiteral("● 00:02")), WaitMs);
        p.recorder.toggle();
        QTRY_COMPARE_WITH_TIMEOUT(p.recorder.saved().size(), 1, WaitMs);
        QCOMPARE(p.session.state(), State::Playing);
        const QString ogg = p.recorder.saved().first();
        QVERIFY2(ogg.endsWith(QStringLiteral(" Corvana Ogg 测试音.ogg")), qPrintable(ogg));
        QTRY_COMPARE_WITH_TIMEOUT(Codec(ogg), QStringLiteral("vorbis"), WaitMs);
    }

    // A full disk stops the recording with the reason in the strip; playback goes on, and what was written
    // plays.
    void fullDiskStopsTheRecording() {
        const QString disk = m_dir->filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64m", "tmpfs", disk}) != 0)
            QSKIP("mount refused: no tmpfs of our own here (run under unshare --mount as root)");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {"-l", disk}); });
        Player p(disk);
        p.strip.put_URL(m_server.url(Titled));
        QTRY_COMPARE_WITH_TIMEOUT(p.session.state(), State::Playing, WaitMs);
        p.recorder.toggle();
        QDir folder(disk + QStringLiteral("/Titled Tones"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !folder.entryList(QDir::Files).isEmpty() &&
                QFileInfo(folder.filePath(folder.entryList(QDir::Files).first())).size() > 0,
            WaitMs);
        // Another program fills the disk.
        QFile ballast(disk + QStringLiteral("/ballast"));
        QVERIFY(ballast.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'x');
        while (ballast.write(block) == block.size() && ballast.flush()) {
        }
        ballast.close();
        QTRY_COMPARE_WITH_TIMEOUT(p.shown(), QStringLiteral("录音失败：磁盘空间不足（剩余不到50 MB）"),
                                  WaitMs);
        QVERIFY(!p.recorder.recording());
        QCOMPARE(p.session.state(), State::Playing);
        // Each file written, a title's or the part of one before the disk filled, plays; a name made for a
        // title the disk had no room for goes.
        const auto written = [&] {
            const QFileInfoList files = folder.entryInfoList(QDir::Files);
            return !files.isEmpty() &&
                   std::all_of(files.begin(), files.end(), [](auto& f) { return f.size() > 0; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(written(), WaitMs);
        for (const QString& file : folder.entryList(QDir::Files))
            QVERIFY2(
                Codec(folder.filePath(file)) == QStringLiteral("mp3"),
                qPrintable(file + QStringLiteral(" %1 bytes").arg(QFileInfo(folder.filePath(file)).size())));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    support::HostileServer m_server;
    StreamServers m_servers;
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
