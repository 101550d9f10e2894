// tests/stations: a save that cannot finish never costs the user the old file: killed at random moments or right
// before its rename; and a save that finishes has its data on the disk. The saves from the window that fail (full
// disk, read-only file or folder, no home) are tested with the window, in tests/app.
#include "platform/filesystem.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/faulty_file_system.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {
// The victim's environment: offscreen, and with the save-watching library preloaded when extra names it.
QProcessEnvironment VictimEnvironment(const QStringList& extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!extra.isEmpty()) {
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CORVANA_SAVE_SHIM));
        // The sanitizer build wants its runtime first in the library list; the preloaded library comes first.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        for (const QString& pair : extra)
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    }
    return env;
}

// The user's own files beside the list, with names close to the save's temporary files.
const QStringList UsersFiles = {"CvLst.lst.backup", "CvLst.lst.201501", "CvLst.lst.bak", "CvLst.lst~"};

// The bytes the victim writes for list 0 or 1.
QByteArray ListBytes(int which, int count) {
    std::vector<stations::Station> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({QStringLiteral("电台%1-%2").arg(which).arg(i),
                           QStringLiteral("http://127.0.0.1:8000/%1/%2").arg(which).arg(i)});
    return stations::ListFileBytes(entries);
}
} // namespace

class TstSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void killedAtRandomMoments() {
        if (!QFile::exists(QStringLiteral(CORVANA_SAVE_VICTIM))) QSKIP("the save victim was not built");
        const int count = 10000;
        const QByteArray lists[2] = {ListBytes(0, count), ListBytes(1, count)};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
        // The random moments are reproducible: the generator starts from a fixed value.
        QRandomGenerator random(20261207);
        const int trials = 200;
        int sawNew = 0;
        for (int trial = 0; trial < trials; ++trial) {
            QVERIFY(WriteBytes(path, lists[trial % 2]));
            QProcess victim;
            victim.setProcessEnvironment(VictimEnvironment());
            victim.start(QStringLiteral(CORVANA_SAVE_VICTIM), {path, QString::number(count)});
            QVERIFY(victim.waitForReadyRead(10000));
            QTest::qSleep(static_cast<int>(random.bounded(60)));
            ::kill(static_cast<pid_t>(victim.processId()), SIGKILL);
            QVERIFY(victim.waitForFinished(10000));

            const QByteArray after = ReadBytes(path);
            QVERIFY2(
                after == lists[0] || after == lists[1],
                qPrintable(QStringLiteral("trial %1: %2 bytes, neither list").arg(trial).arg(after.size())));
            if (after != lists[trial % 2]) ++sawNew;
            // The next save leaves nothing but the list file behind, even if the kill left a temporary file.
            stations::ListView one;
            one.ListItems().Add(QStringLiteral("A")).SetSubItems(1, QStringLiteral("u"));
            stations::SaveList(one, path);
            QCOMPARE(ReadBytes(path), QByteArray("A|u\r\n"));
            const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            QVERIFY2(left == QStringList{QStringLiteral("CvLst.lst")}, qPrintable(left.join(u' ')));
        }
        qInfo("%d trials; the kill came after at least one finished save in %d of them", trials, sawNew);
    }

    // The temporary file is synced before it is renamed over the list: otherwise a crash right after the
    // rename can leave an empty or short list where the old one was.
    void saveSyncsItsTemporaryFileBeforeTheRename() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
        const QString log = dir.filePath(QStringLiteral("calls.log"));
        QVERIFY(WriteBytes(path, ListBytes(1, 3)));
        QProcess victim;
        victim.setProcessEnvironment(VictimEnvironment({QStringLiteral("CORVANA_SHIM_LOG=") + log}));
        victim.start(QStringLiteral(CORVANA_SAVE_VICTIM), {path, "3", "once"});
        QVERIFY(victim.waitForFinished(20000));
        QCOMPARE(victim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ReadBytes(path), ListBytes(0, 3));

        const QStringList calls = QString::fromLocal8Bit(ReadBytes(log)).split(u'\n', Qt::SkipEmptyParts);
        const QString ending = QStringLiteral(" ") + path;
        const auto rename = std::find_if(calls.begin(), calls.end(), [&](const QString& call) {
            return call.startsWith(QStringLiteral("rename ")) && call.endsWith(ending);
        });
        QVERIFY2(rename != calls.end(), qPrintable(calls.join(u'|')));
        const QString temporary = rename->mid(7, rename->size() - 7 - ending.size());
        QVERIFY2(std::find(calls.begin(), rename, QStringLiteral("fsync ") + temporary) != rename,
                 qPrintable(calls.join(u'|')));
    }

    // A save killed right before its rename leaves the old list whole and its temporary file behind, under a
    // name only this program makes; the next save takes that file away and nothing else.
    void killedAtTheRenameLeavesOnlyItsOwnTemporary() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
        QVERIFY(WriteBytes(path, ListBytes(1, 3)));
        for (const QString& name : UsersFiles)
            QVERIFY(WriteBytes(dir.filePath(name), name.toUtf8() + " is the user's"));
        QProcess victim;
        victim.setProcessEnvironment(VictimEnvironment({"CORVANA_SHIM_KILL_AT_RENAME=CvLst.lst"}));
        victim.start(QStringLiteral(CORVANA_SAVE_VICTIM), {path, "3", "once"});
        QVERIFY(victim.waitForFinished(20000));
        QCOMPARE(victim.exitStatus(), QProcess::CrashExit);
        QCOMPARE(ReadBytes(path), ListBytes(1, 3));

        const QString prefix = platform::SaveTemporaryPrefix(QStringLiteral("CvLst.lst"));
        QCOMPARE(prefix, QStringLiteral(".CvLst.lst.corvana-save-"));
        const QStringList leftovers = QDir(dir.path()).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden);
        QCOMPARE(leftovers.size(), 1);
        QCOMPARE(leftovers[0].size(), prefix.size() + 6);
        QCOMPARE(ReadBytes(dir.filePath(leftovers[0])), ListBytes(0, 3));

        stations::ListView one;
        one.ListItems().Add(QStringLiteral("A")).SetSubItems(1, QStringLiteral("u"));
        stations::SaveList(one, path);
        QCOMPARE(ReadBytes(path), QByteArray("A|u\r\n"));
        QStringList expected = UsersFiles + QStringList{QStringLiteral("CvLst.lst")};
        expected.sort();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (const QString& name : UsersFiles)
            QCOMPARE(ReadBytes(dir.filePath(name)), name.toUtf8() + " is the user's");
    }
};

QTEST_MAIN(TstSaveFaults)
#include "tst_save_faults.moc"
