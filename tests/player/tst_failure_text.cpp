// tests/player: the words a failed station shows, from what the engine reported.
#include "player/failure_text.h"

#include <QTest>

using player::EndOfFile;
using player::EngineError;
using player::EngineReport;

Q_DECLARE_METATYPE(EngineReport)

namespace {
EngineReport Report(EngineError error, QStringList log = {}, bool local = false,
                    EndOfFile::Reason reason = EndOfFile::Error) {
    EngineReport r;
    r.end.reason = reason;
    r.end.error = error;
    r.log = std::move(log);
    r.local = local;
    return r;
}
} // namespace

class TstFailureText : public QObject {
    Q_OBJECT
private slots:
    void failureText_data() {
        QTest::addColumn<EngineReport>("report");
        QTest::addColumn<QString>("shown");
        const EngineError failed = EngineError::LoadingFailed;
        QTest::newRow("refused by the engine: a playlist naming local files")
            << Report(failed, {"cplayer: Refusing to load potentially unsafe URL from a playlist."})
            << QStringLiteral("不支持的地址");
        QTest::newRow("refused by FFmpeg inside HLS")
            << Report(failed, {"ffmpeg: Protocol 'file' not on whitelist 'http,https,tls,tcp'!"})
            << QStringLiteral("不支持的地址");
        QTest::newRow("no sound device")
            << Report(EngineError::AudioOutputFailed) << QStringLiteral("音频设备不可用");
        QTest::newRow("unknown format")
            << Report(EngineError::UnknownFormat) << QStringLiteral("无法播放：格式不支持");
        QTest::newRow("nothing to play")
            << Report(EngineError::NothingToPlay) << QStringLiteral("无法播放：没有声音");
        QTest::newRow("a stream that ended")
            << Report(EngineError::None, {}, false, EndOfFile::Eof) << QStringLiteral("无法连接：连接中断");
        QTest::newRow("local file missing")
            << Report(failed, {"file: Cannot open file '/x.mp3': No such file or directory"}, true)
            << QStringLiteral("无法播放：找不到文件");
        QTest::newRow("local file unreadable")
            << Report(failed, {"file: Cannot open file '/x.mp3': Permission denied"}, true)
            << QStringLiteral("无法播放：没有权限");
        QTest::newRow("local file, anything else")
            << Report(failed, {"demux: oops"}, true) << QStringLiteral("无法播放");
        // A local file's words never depend on a server's.
        QTest::newRow("local file, refused connection")
            << Report(failed, {"ffmpeg: Connection refused"}, true) << QStringLiteral("无法播放");
        QTest::newRow("connection refused")
            << Report(failed, {"ffmpeg: tcp: Connection to tcp://127.0.0.1:9 failed: Connection refused"})
            << QStringLiteral("无法连接：服务器拒绝连接");
        QTest::newRow("connect timed out")
            << Report(failed, {"ffmpeg: tcp: Connection to tcp://10.0.0.1:80 failed: Connection timed out"})
            << QStringLiteral("无法连接：连接超时");
        QTest::newRow("read timeout")
            << Report(failed, {"stream: network timeout"}) << QStringLiteral("无法连接：连接超时");
        QTest::newRow("unknown host")
            << Report(failed,
                      {"ffmpeg: tcp: Failed to resolve hostname nowhere.invalid: Name or service not known"})
            << QStringLiteral("无法连接：找不到服务器");
        QTest::newRow("404") << Report(failed, {"ffmpeg: http: HTTP error 404 Not Found"})
                             << QStringLiteral("无法连接：找不到电台（404）");
        QTest::newRow("503") << Report(failed, {"ffmpeg: http: HTTP error 503 Service Unavailable"})
                             << QStringLiteral("无法连接：服务器错误 503");
        EngineReport aborted = Report(failed, {"server hung up again and again"});
        aborted.aborted = true;
        QTest::newRow("hung up again and again") << aborted << QStringLiteral("无法连接：服务器反复断开");
        QTest::newRow("nothing said") << Report(failed) << QStringLiteral("无法连接");
    }
    void failureText() {
        QFETCH(EngineReport, report);
        QFETCH(QString, shown);
        QCOMPARE(player::FailureText(report), shown);
    }
};

QTEST_MAIN(TstFailureText)
#include "tst_failure_text.moc"
