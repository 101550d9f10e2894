// tests/stations: a save that cannot finish never costs the user the old file or the list in the window:
// killed at random moments or right before its rename, on a full disk, over a read-only file, in a folder
// without write permission, with no home to move to; and a save that finishes has its data on the disk.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/scripted_dialogs.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

namespace {
// Root may write anything: the permission cases run again as nobody, in tst_save_faults_unprivileged.
constexpr char RootWritesAnything[] =
    "root writes anything; this case runs as an unprivileged user (tst_save_faults_unprivileged)";

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

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
const QStringList UsersFiles = {QStringLiteral("CvLst.lst.backup"), QStringLiteral("CvLst.lst.201501"),
                                QStringLiteral("CvLst.lst.bak"), QStringLiteral("CvLst.lst~")};

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

    platform::ScriptedDialogs m_dialogs;

    // A window whose list came from path, edited once, then saved through the menu; listFilePath receives
    // where the window meant to save.
    void saveFromTheWindow(const QString& dir, const QByteArray& before, int expectedError,
                           const std::function<void()>& beforeSaving = {}, QString* listFilePath = nullptr) {
        const QString path = QDir(dir).filePath(QStringLiteral("CvLst.lst"));
        platform::SetProgramDirectory(dir);
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        frmMain form;
        form.Form_Load();
        if (listFilePath) *listFilePath = form.ListFilePath;
        const int loaded = form.lst_Play->ListItems().Count();
        m_dialogs.inputAnswers.push_back(QStringLiteral("新电台|http://127.0.0.1/new"));
        form.menu_NetUrl->trigger();
        if (beforeSaving) beforeSaving();
        form.menu_SaveList->trigger();

        QCOMPARE(m_dialogs.shown.size(), size_t(2)); // the input box, then the error report
        QCOMPARE(m_dialogs.shown[1].style, 16);
        QVERIFY2(m_dialogs.shown[1].text.contains(QString::number(expectedError)),
                 qPrintable(m_dialogs.shown[1].text));
        QCOMPARE(form.lst_Play->ListItems().Count(), loaded + 1);
        QCOMPARE(form.ListModified, true);
        QCOMPARE(ReadBytes(path), before);
        // Nor is its temporary file left beside it.
        const QStringList left = QDir(dir).entryList(
            {platform::SaveTemporaryPrefix(QStringLiteral("CvLst.lst")) + u'*'}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
        platform::SetDialogs(nullptr);
    }

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
            victim.setProcessEnvironment([] {
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
                return env;
            }());
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
        victim.start(QStringLiteral(CORVANA_SAVE_VICTIM),
                     {path, QStringLiteral("3"), QStringLiteral("once")});
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
        victim.setProcessEnvironment(
            VictimEnvironment({QStringLiteral("CORVANA_SHIM_KILL_AT_RENAME=CvLst.lst")}));
        victim.start(QStringLiteral(CORVANA_SAVE_VICTIM),
                     {path, QStringLiteral("3"), QStringLiteral("once")});
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
        QStringList expected = UsersFiles;
        expected << QStringLiteral("CvLst.lst");
        expected.sort();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (const QString& name : UsersFiles)
            QCOMPARE(ReadBytes(dir.filePath(name)), name.toUtf8() + " is the user's");
    }

    void fullDisk() {
        if (::geteuid() != 0) QSKIP("mounting a small tmpfs needs root");
        QTemporaryDir mountPoint;
        const QByteArray where = QFile::encodeName(mountPoint.path());
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mount refused here; the scripted file layer covers a full disk in tst_list_file");
        struct Unmount {
            QByteArray where;
            ~Unmount() { ::umount2(where.constData(), MNT_DETACH); }
        } unmount{where};

        const QByteArray before = "A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n";
        QVERIFY(WriteBytes(mountPoint.filePath(QStringLiteral("CvLst.lst")), before));
        {
            // Fill the rest of the disk.
            QFile fill(mountPoint.filePath(QStringLiteral("fill")));
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        }
        saveFromTheWindow(mountPoint.path(), before, platform::errDiskFull);
    }

    void readOnlyListFile() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(WriteBytes(path, before));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        saveFromTheWindow(dir.path(), before, platform::errPermissionDenied);
    }

    // The folder loses its write permission while the program runs: the save fails clearly.
    void folderWithoutWritePermission() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(WriteBytes(path, before));
        saveFromTheWindow(dir.path(), before, platform::errPermissionDenied, [&] {
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        });
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // A program folder that is not writable from the start (an install under /usr): the list moves to the
    // user's data folder, which the first save creates; the next start reads it from there.
    void readOnlyProgramFolderUsesTheDataFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QStandardPaths::setTestModeEnabled(true);
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
        QTemporaryDir dir;
        QVERIFY(WriteBytes(dir.filePath(QStringLiteral("CvLst.lst")), "A|http://127.0.0.1/a\r\n"));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        platform::SetProgramDirectory(dir.path());
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        {
            frmMain form;
            form.Form_Load();
            QCOMPARE(form.lst_Play->ListItems().Count(), 1); // read from beside the program
            m_dialogs.inputAnswers.push_back(QStringLiteral("B|http://127.0.0.1/b"));
            form.menu_NetUrl->trigger();
            form.menu_SaveList->trigger();
            QCOMPARE(m_dialogs.shown.size(), size_t(1)); // no error
        }
        const QString own = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                                .filePath(QStringLiteral("CvLst.lst"));
        QCOMPARE(ReadBytes(own), QByteArray("A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n"));
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("CvLst.lst"))),
                 QByteArray("A|http://127.0.0.1/a\r\n"));
        {
            frmMain form;
            form.Form_Load();
            QCOMPARE(form.lst_Play->ListItems().Count(), 2);
        }
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
        platform::SetDialogs(nullptr);
    }

    // There, an emptied list stays empty across a restart: the save keeps an empty file in the data folder,
    // where no file would make the next start read the old list beside the program again.
    void emptyListStaysEmptyInTheDataFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QStandardPaths::setTestModeEnabled(true);
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(dataDir).removeRecursively();
        QTemporaryDir dir;
        const QByteArray beside = "A|http://127.0.0.1/a\r\n";
        QVERIFY(WriteBytes(dir.filePath(QStringLiteral("CvLst.lst")), beside));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QDir(dataDir).removeRecursively();
            platform::SetDialogs(nullptr);
        });
        platform::SetProgramDirectory(dir.path());
        m_dialogs = {};
        platform::SetDialogs(&m_dialogs);
        {
            frmMain form;
            form.Form_Load();
            QCOMPARE(form.lst_Play->ListItems().Count(), 1);
            form.menu_CleanList->trigger();
            form.menu_SaveList->trigger();
            QCOMPARE(m_dialogs.shown.size(), size_t(0)); // no error
            QCOMPARE(form.ListModified, true);           // no line written
        }
        QCOMPARE(ReadBytes(QDir(dataDir).filePath(QStringLiteral("CvLst.lst"))), QByteArray());
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("CvLst.lst"))), beside);
        frmMain form;
        form.Form_Load();
        QCOMPARE(form.lst_Play->ListItems().Count(), 0);
    }

    // With HOME unset there is no data folder to move to: the save beside the program fails with a report
    // that says why, instead of trying a folder under "/" and reporting a missing file.
    void noHomeAndAReadOnlyProgramFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        const QByteArray home = qgetenv("HOME");
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qunsetenv("HOME");
        qunsetenv("XDG_DATA_HOME");
        QTemporaryDir dir;
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(WriteBytes(dir.filePath(QStringLiteral("CvLst.lst")), before));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            if (!home.isNull()) qputenv("HOME", home);
            if (!dataHome.isNull()) qputenv("XDG_DATA_HOME", dataHome);
        });
        QString listFilePath;
        saveFromTheWindow(dir.path(), before, platform::errPermissionDenied, {}, &listFilePath);
        if (QTest::currentTestFailed()) return;
        const QString report = m_dialogs.shown.back().text;
        QVERIFY2(report.contains(QStringLiteral("HOME")), qPrintable(report));
        QVERIFY2(report.contains(QDir::toNativeSeparators(dir.path())), qPrintable(report));
        QCOMPARE(listFilePath, QDir(dir.path()).filePath(QStringLiteral("CvLst.lst")));
    }
};

QTEST_MAIN(TstSaveFaults)
#include "tst_save_faults.moc"
