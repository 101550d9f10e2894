// tests/fuzz: replays the inputs the fuzzer found (and a few hand-made hostile ones) through the list file's
// properties, so a fault it once found stays fixed in every build.
#include "list_file_properties.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TstFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QDir dir(QStringLiteral(CORVANA_FUZZ_REGRESSIONS));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable(name)) << f.readAll();
        }
    }
    void replay() {
        QFETCH(QByteArray, bytes);
        fuzz::CheckListFileProperties(bytes); // aborts, failing the test, when a property breaks
    }
};

QTEST_MAIN(TstFuzzRegressions)
#include "tst_fuzz_regressions.moc"
