// tests/player: the engine's boundary: every end-of-file reason and error libmpv defines, in the program's
// words. The session and the failure text act on these words alone, so a libmpv whose numbers mean something
// else fails here rather than in front of a listener.
#include "player/mpv_engine.h"

#include <QTest>
#include <mpv/client.h>

using player::EndOfFile;
using player::EngineError;

class TstMpvEngine : public QObject {
    Q_OBJECT
private slots:
    void endOfFileInTheProgramsWords_data() {
        QTest::addColumn<int>("mpvReason");
        QTest::addColumn<int>("mpvError");
        QTest::addColumn<EndOfFile::Reason>("reason");
        QTest::addColumn<EngineError>("error");
        const int error = MPV_END_FILE_REASON_ERROR;
        // The reasons, each as libmpv reports it: a clean end, a stop, a quit carry no error.
        QTest::newRow("EOF") << int(MPV_END_FILE_REASON_EOF) << int(MPV_ERROR_SUCCESS) << EndOfFile::Eof
                             << EngineError::None;
        QTest::newRow("STOP") << int(MPV_END_FILE_REASON_STOP) << int(MPV_ERROR_SUCCESS) << EndOfFile::Stop
                              << EngineError::None;
        QTest::newRow("QUIT") << int(MPV_END_FILE_REASON_QUIT) << int(MPV_ERROR_SUCCESS) << EndOfFile::Quit
                              << EngineError::None;
        QTest::newRow("ERROR") << error << int(MPV_ERROR_LOADING_FAILED) << EndOfFile::Error
                               << EngineError::LoadingFailed;
        // Only libmpv's own playlist reader redirects, and the engine never runs it: a redirect that came
        // anyway is an error, never a stop the session would wait on.
        QTest::newRow("REDIRECT") << int(MPV_END_FILE_REASON_REDIRECT) << int(MPV_ERROR_SUCCESS)
                                  << EndOfFile::Error << EngineError::None;
        QTest::newRow("a reason this libmpv does not define")
            << 1 << int(MPV_ERROR_SUCCESS) << EndOfFile::Error << EngineError::None;
        QTest::newRow("another") << 99 << int(MPV_ERROR_SUCCESS) << EndOfFile::Error << EngineError::None;

        // The errors the session and the failure text tell apart.
        QTest::newRow("SUCCESS") << error << int(MPV_ERROR_SUCCESS) << EndOfFile::Error << EngineError::None;
        QTest::newRow("LOADING_FAILED")
            << error << int(MPV_ERROR_LOADING_FAILED) << EndOfFile::Error << EngineError::LoadingFailed;
        QTest::newRow("AO_INIT_FAILED")
            << error << int(MPV_ERROR_AO_INIT_FAILED) << EndOfFile::Error << EngineError::AudioOutputFailed;
        QTest::newRow("UNKNOWN_FORMAT")
            << error << int(MPV_ERROR_UNKNOWN_FORMAT) << EndOfFile::Error << EngineError::UnknownFormat;
        QTest::newRow("NOTHING_TO_PLAY")
            << error << int(MPV_ERROR_NOTHING_TO_PLAY) << EndOfFile::Error << EngineError::NothingToPlay;
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
            QTest::newRow(name) << error << number << EndOfFile::Error << EngineError::Other;
        // The error a stop or a clean end may carry stays as it is.
        QTest::newRow("STOP with an error") << int(MPV_END_FILE_REASON_STOP) << int(MPV_ERROR_GENERIC)
                                            << EndOfFile::Stop << EngineError::Other;
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
};

QTEST_GUILESS_MAIN(TstMpvEngine)
#include "tst_mpv_engine.moc"
