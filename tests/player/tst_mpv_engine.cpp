// tests/player: the engine's boundary: every end-of-file reason and error libmpv defines, in the program's
// words, and the words a failed station shows from them. The session and the failure text act on the program's
// words alone, so a libmpv whose numbers mean something else fails here rather than in front of a listener.
#include "player/failure_text.h"
#include "player/mpv_engine.h"

#include <QTest>
#include <mpv/client.h>

using player::EndOfFile;
using player::EngineError;
using player::EngineReport;

Q_DECLARE_METATYPE(EngineReport)

namespace {
EngineReport Report(EngineError error, QStringList log = {}, bool local = false,
                    EndOfFile::Reason reason = EndOfFile::Error) {
    return {{reason, error}, std::move(log), local};
}
} // namespace

class TstMpvEngine : public QObject {
    Q_OBJECT
private slots:
    void endOfFileInTheProgramsWords_data() {
        QTest::addColumn<int>("mpvReason");
        QTest::addColumn<int>("mpvError");
        QTest::addColumn<EndOfFile::Reason>("reason");
        QTest::addColumn<EngineError>("error");
        const int error = MPV_END_FILE_REASON_ERROR;
        auto row = [](const char* name, int mpvReason, int mpvError, EndOfFile::Reason reason,
                      EngineError e) { QTest::newRow(name) << mpvReason << mpvError << reason << e; };
        // The reasons, each as libmpv reports it: a clean end, a stop, a quit carry no error.
        row("EOF", MPV_END_FILE_REASON_EOF, MPV_ERROR_SUCCESS, EndOfFile::Eof, EngineError::None);
        row("STOP", MPV_END_FILE_REASON_STOP, MPV_ERROR_SUCCESS, EndOfFile::Stop, EngineError::None);
        row("QUIT", MPV_END_FILE_REASON_QUIT, MPV_ERROR_SUCCESS, EndOfFile::Quit, EngineError::None);
        row("ERROR", error, MPV_ERROR_LOADING_FAILED, EndOfFile::Error, EngineError::LoadingFailed);
        // Only libmpv's own playlist reader redirects, and the engine never runs it: a redirect that came
        // anyway is an error, never a stop the session would wait on.
        row("REDIRECT", MPV_END_FILE_REASON_REDIRECT, MPV_ERROR_SUCCESS, EndOfFile::Error, EngineError::None);
        row("a reason this libmpv does not define", 1, MPV_ERROR_SUCCESS, EndOfFile::Error,
            EngineError::None);
        row("another", 99, MPV_ERROR_SUCCESS, EndOfFile::Error, EngineError::None);

        // The errors the session and the failure text tell apart.
        row("SUCCESS", error, MPV_ERROR_SUCCESS, EndOfFile::Error, EngineError::None);
        row("LOADING_FAILED", error, MPV_ERROR_LOADING_FAILED, EndOfFile::Error, EngineError::LoadingFailed);
        row("AO_INIT_FAILED", error, MPV_ERROR_AO_INIT_FAILED, EndOfFile::Error,
            EngineError::AudioOutputFailed);
        row("UNKNOWN_FORMAT", error, MPV_ERROR_UNKNOWN_FORMAT, EndOfFile::Error, EngineError::UnknownFormat);
        row("NOTHING_TO_PLAY", error, MPV_ERROR_NOTHING_TO_PLAY, EndOfFile::Error,
            EngineError::NothingToPlay);
        // Every other error libmpv defines is one more way of failing, with no words of its own.
        const QList<QPair<const char*, int>> others = {
            {"EVENT_QUEUE_FULL", MPV_ERROR_EVENT_QUEUE_FULL},
            {"NOMEM", MPV_ERROR_NOMEM},
            {"UNINITIALIZED", MPV_ERROR_UNINITIALIZED},
            {"INVALID_PARAMETER", MPV_ERROR_INVALID_PARAMETER},
            {"OPTION_NOT_FOUND", MPV_ERROR_OPTION_NOT_FOUND},
            {"OPTION_FORMAT", MPV_ERROR_OPTION_FORMAT},
            {"OPTION_ERROR", MPV_ERROR_OPTION_ERROR},
            {"PROPERTY_NOT_FOUND", MPV_ERROR_PROPERTY_NOT_FOUND},
            {"PROPERTY_FORMAT", MPV_ERROR_PROPERTY_FORMAT},
            {"PROPERTY_UNAVAILABLE", MPV_ERROR_PROPERTY_UNAVAILABLE},
            {"PROPERTY_ERROR", MPV_ERROR_PROPERTY_ERROR},
            {"COMMAND", MPV_ERROR_COMMAND},
            {"VO_INIT_FAILED", MPV_ERROR_VO_INIT_FAILED},
            {"UNSUPPORTED", MPV_ERROR_UNSUPPORTED},
            {"NOT_IMPLEMENTED", MPV_ERROR_NOT_IMPLEMENTED},
            {"GENERIC", MPV_ERROR_GENERIC},
            {"an error this libmpv does not define", -99},
            {"a positive number", 1},
        };
        for (const auto& [name, number] : others)
            row(name, error, number, EndOfFile::Error, EngineError::Other);
        // The error a stop or a clean end may carry stays as it is.
        row("STOP with an error", MPV_END_FILE_REASON_STOP, MPV_ERROR_GENERIC, EndOfFile::Stop,
            EngineError::Other);
    }
    void endOfFileInTheProgramsWords() {
        QFETCH(int, mpvReason);
        QFETCH(int, mpvError);
        QFETCH(EndOfFile::Reason, reason);
        QFETCH(EngineError, error);
        const EndOfFile end = player::EndOfFileFromMpv(mpvReason, mpvError);
        QCOMPARE(end.reason, reason);
        QCOMPARE(end.error, error);
    }

    // The words a failed station shows, from what the engine reported.
    void failureText_data() {
        QTest::addColumn<EngineReport>("report");
        QTest::addColumn<QString>("shown");
        const EngineError failed = EngineError::LoadingFailed;
        auto row = [](const char* name, const EngineReport& report, const QString& shown) {
            QTest::newRow(name) << report << shown;
        };
        row("refused by the engine: a playlist naming local files",
            Report(failed, {"cplayer: Refusing to load potentially unsafe URL from a playlist."}),
            "不支持的地址");
        row("refused by FFmpeg inside HLS",
            Report(failed, {"ffmpeg: Protocol 'file' not on whitelist 'http,https,tls,tcp'!"}),
            "不支持的地址");
        row("no sound device", Report(EngineError::AudioOutputFailed), "音频设备不可用");
        row("unknown format", Report(EngineError::UnknownFormat), "无法播放：格式不支持");
        row("nothing to play", Report(EngineError::NothingToPlay), "无法播放：没有声音");
        row("a stream that ended", Report(EngineError::None, {}, false, EndOfFile::Eof),
            "无法连接：连接中断");
        row("local file missing",
            Report(failed, {"file: Cannot open file '/x.mp3': No such file or directory"}, true),
            "无法播放：找不到文件");
        row("local file unreadable",
            Report(failed, {"file: Cannot open file '/x.mp3': Permission denied"}, true),
            "无法播放：没有权限");
        row("local file, anything else", Report(failed, {"demux: oops"}, true), "无法播放");
        // A local file's words never depend on a server's.
        row("local file, refused connection", Report(failed, {"ffmpeg: Connection refused"}, true),
            "无法播放");
        row("connection refused",
            Report(failed, {"ffmpeg: tcp: Connection to tcp://127.0.0.1:9 failed: Connection refused"}),
            "无法连接：服务器拒绝连接");
        row("connect timed out",
            Report(failed, {"ffmpeg: tcp: Connection to tcp://10.0.0.1:80 failed: Connection timed out"}),
            "无法连接：连接超时");
        row("read timeout", Report(failed, {"stream: network timeout"}), "无法连接：连接超时");
        row("unknown host",
            Report(failed,
                   {"ffmpeg: tcp: Failed to resolve hostname nowhere.invalid: Name or service not known"}),
            "无法连接：找不到服务器");
        row("404", Report(failed, {"ffmpeg: http: HTTP error 404 Not Found"}), "无法连接：找不到电台（404）");
        row("503", Report(failed, {"ffmpeg: http: HTTP error 503 Service Unavailable"}),
            "无法连接：服务器错误 503");
        EngineReport aborted = Report(failed, {"server hung up again and again"});
        aborted.aborted = true;
        row("hung up again and again", aborted, "无法连接：服务器反复断开");
        row("nothing said", Report(failed), "无法连接");
    }
    void failureText() {
        QFETCH(EngineReport, report);
        QFETCH(QString, shown);
        QCOMPARE(player::FailureText(report), shown);
    }
};

QTEST_GUILESS_MAIN(TstMpvEngine)
#include "tst_mpv_engine.moc"
