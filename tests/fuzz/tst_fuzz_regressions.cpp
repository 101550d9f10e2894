// tests/fuzz: replays the inputs the fuzzers found (and a few hand-made hostile ones) through each target's
// properties, and the starting inputs too, so that a fault once found stays fixed in every build.
#include "list_file_properties.h"
#include "server_input_properties.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QList<QPair<QString, void (*)(const QByteArray&)>> Targets = {
    {QStringLiteral("list_file"), &fuzz::CheckListFileProperties},
    {QStringLiteral("playlist"), &fuzz::CheckPlaylistProperties},
    {QStringLiteral("address"), &fuzz::CheckAddressProperties},
    {QStringLiteral("title"), &fuzz::CheckTitleProperties},
    {QStringLiteral("directory"), &fuzz::CheckDirectoryProperties},
};

} // namespace

class TstFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<QByteArray>("bytes");
        for (int t = 0; t < Targets.size(); ++t) {
            int inputs = 0;
            for (const char* root : {CORVANA_FUZZ_REGRESSIONS, CORVANA_FUZZ_CORPUS}) {
                const QDir dir(QString::fromUtf8(root) + QLatin1Char('/') + Targets[t].first);
                for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                    QFile f(dir.filePath(name));
                    QVERIFY(f.open(QIODevice::ReadOnly));
                    QTest::addRow("%s/%s", qPrintable(Targets[t].first), qPrintable(name))
                        << t << f.readAll();
                    ++inputs;
                }
            }
            QVERIFY2(inputs > 0, qPrintable(Targets[t].first));
        }
    }
    void replay() {
        QFETCH(int, target);
        QFETCH(QByteArray, bytes);
        Targets[target].second(bytes); // aborts, failing the test, when a property breaks
    }
};

QTEST_MAIN(TstFuzzRegressions)
#include "tst_fuzz_regressions.moc"
