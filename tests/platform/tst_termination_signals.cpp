// tests/platform: SIGTERM, SIGHUP and SIGINT arrive as a Qt signal instead of ending the program; one the
// program was started with ignored (nohup) stays ignored.
#include "platform/termination_signals.h"

#include <QSignalSpy>
#include <QTest>
#include <csignal>

class TstTerminationSignals : public QObject {
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data() {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalArrivesOnTheEventLoop() {
        QFETCH(int, number);
        platform::TerminationSignals signals_;
        QSignalSpy spy(&signals_, &platform::TerminationSignals::received);
        QCOMPARE(::raise(number), 0);
        QCOMPARE(spy.size(), 0); // nothing runs inside the handler
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toInt(), number);
    }

    void aSignalIgnoredAtStartStaysIgnored() {
        struct sigaction before {};
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        QCOMPARE(::sigaction(SIGHUP, &ignore, &before), 0);
        {
            platform::TerminationSignals signals_;
            QSignalSpy spy(&signals_, &platform::TerminationSignals::received);
            QCOMPARE(::raise(SIGHUP), 0);
            QCOMPARE(::raise(SIGTERM), 0);
            QVERIFY(spy.wait(5000));
            QTest::qWait(100);
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy[0][0].toInt(), int(SIGTERM));
        }
        ::sigaction(SIGHUP, &before, nullptr);
    }
};

QTEST_MAIN(TstTerminationSignals)
#include "tst_termination_signals.moc"
