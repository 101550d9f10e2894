// tests/app: a save from the window that cannot finish never costs the user the old file or the list in the
// window: on a full disk, over a read-only file, in a folder without write permission, with no home to move to;
// and a program folder that is not writable moves the list to the user's data folder.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "stations/list_view.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace {
// Root may write anything: the permission cases run again as nobody, in tst_saving_from_the_window_unprivileged.
constexpr char RootWritesAnything[] =
    "root writes anything; this case runs as an unprivileged user (tst_saving_from_the_window_unprivileged)";

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

constexpr QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ExeOwner;
constexpr QFile::Permissions Writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Gives the folder its write permission back however the case ends, so that it can be removed.
auto KeepWritable(const QString& dir) {
    return qScopeGuard([dir] { QFile::setPermissions(dir, Writable); });
}
} // namespace

class TstSavingFromTheWindow : public QObject {
    Q_OBJECT

    std::optional<WindowFixture> m_fx;

    frmMain* form() const { return m_fx->form(); }

    // The window on the list before, edited once, then saved through the menu; listFilePath receives where the
    // window meant to save.
    void saveFromTheWindow(const QByteArray& before, int expectedError, const std::function<void()>& beforeSaving = {},
                           QString* listFilePath = nullptr) {
        QVERIFY(m_fx->load());
        if (listFilePath) *listFilePath = form()->ListFilePath;
        const int loaded = form()->lst_Play->ListItems().Count();
        auto& dialogs = m_fx->dialogs();
        dialogs.inputAnswers.push_back(QStringLiteral("新电台|http://127.0.0.1/new"));
        form()->menu_NetUrl->trigger();
        if (beforeSaving) beforeSaving();
        form()->menu_SaveList->trigger();

        QCOMPARE(dialogs.shown.size(), size_t(2)); // the input box, then the error report
        QCOMPARE(dialogs.shown[1].style, 16);
        QVERIFY2(dialogs.shown[1].text.contains(QString::number(expectedError)), qPrintable(dialogs.shown[1].text));
        QCOMPARE(form()->lst_Play->ListItems().Count(), loaded + 1);
        QCOMPARE(form()->ListModified, true);
        QCOMPARE(m_fx->listBytes(), before);
        // Nor is its temporary file left beside it.
        const QStringList left = QDir(m_fx->folder()).entryList(
            {platform::SaveTemporaryPrefix(QStringLiteral("CvLst.lst")) + u'*'}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }

private slots:
    void init() { m_fx.emplace(); }
    void cleanup() { m_fx.reset(); }

    void fullDisk() {
        if (::geteuid() != 0) QSKIP("mounting a small tmpfs needs root");
        const QByteArray where = QFile::encodeName(m_fx->folder());
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mount refused here; the scripted file layer covers a full disk in tst_list_file");
        const auto unmount = qScopeGuard([where] { ::umount2(where.constData(), MNT_DETACH); });

        const QByteArray before = "A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n";
        QVERIFY(m_fx->writeList(before));
        {
            // Fill the rest of the disk.
            QFile fill(QDir(m_fx->folder()).filePath(QStringLiteral("fill")));
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        }
        saveFromTheWindow(before, platform::errDiskFull);
        m_fx->destroy(); // before the unmount: nothing of the window may still hold the disk
    }

    void readOnlyListFile() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(before));
        QVERIFY(QFile::setPermissions(m_fx->listPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        saveFromTheWindow(before, platform::errPermissionDenied);
    }

    // The folder loses its write permission while the program runs: the save fails clearly.
    void folderWithoutWritePermission() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(before));
        const auto writable = KeepWritable(m_fx->folder());
        saveFromTheWindow(before, platform::errPermissionDenied,
                          [&] { QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly)); });
        QVERIFY(QFile::setPermissions(m_fx->folder(), Writable));
    }

    // A program folder that is not writable from the start (an install under /usr): the list moves to the
    // user's data folder, which the first save creates; the next start reads it from there.
    void readOnlyProgramFolderUsesTheDataFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QStandardPaths::setTestModeEnabled(true);
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(dataDir).removeRecursively();
        const auto removeData = qScopeGuard([dataDir] { QDir(dataDir).removeRecursively(); });
        QVERIFY(m_fx->writeList("A|http://127.0.0.1/a\r\n"));
        const auto writable = KeepWritable(m_fx->folder());
        QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 1); // read from beside the program
        m_fx->dialogs().inputAnswers.push_back(QStringLiteral("B|http://127.0.0.1/b"));
        form()->menu_NetUrl->trigger();
        form()->menu_SaveList->trigger();
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(1)); // no error
        m_fx->destroy();
        QCOMPARE(ReadBytes(QDir(dataDir).filePath(QStringLiteral("CvLst.lst"))),
                 QByteArray("A|http://127.0.0.1/a\r\nB|http://127.0.0.1/b\r\n"));
        QCOMPARE(m_fx->listBytes(), QByteArray("A|http://127.0.0.1/a\r\n"));
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 2);
    }

    // There, an emptied list stays empty across a restart: the save keeps an empty file in the data folder,
    // where no file would make the next start read the old list beside the program again.
    void emptyListStaysEmptyInTheDataFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        QStandardPaths::setTestModeEnabled(true);
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(dataDir).removeRecursively();
        const auto removeData = qScopeGuard([dataDir] { QDir(dataDir).removeRecursively(); });
        const QByteArray beside = "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(beside));
        const auto writable = KeepWritable(m_fx->folder());
        QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 1);
        form()->menu_CleanList->trigger();
        form()->menu_SaveList->trigger();
        QCOMPARE(m_fx->dialogs().shown.size(), size_t(0)); // no error
        QCOMPARE(form()->ListModified, true);              // no line written
        m_fx->destroy();
        QCOMPARE(ReadBytes(QDir(dataDir).filePath(QStringLiteral("CvLst.lst"))), QByteArray());
        QCOMPARE(m_fx->listBytes(), beside);
        QVERIFY(m_fx->load());
        QCOMPARE(form()->lst_Play->ListItems().Count(), 0);
    }

    // With HOME unset there is no data folder to move to: the save beside the program fails with a report
    // that says why, instead of trying a folder under "/" and reporting a missing file.
    void noHomeAndAReadOnlyProgramFolder() {
        if (::geteuid() == 0) QSKIP(RootWritesAnything);
        const QByteArray home = qgetenv("HOME");
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qunsetenv("HOME");
        qunsetenv("XDG_DATA_HOME");
        const auto restore = qScopeGuard([&] {
            if (!home.isNull()) qputenv("HOME", home);
            if (!dataHome.isNull()) qputenv("XDG_DATA_HOME", dataHome);
        });
        const QByteArray before = "A|http://127.0.0.1/a\r\n";
        QVERIFY(m_fx->writeList(before));
        const auto writable = KeepWritable(m_fx->folder());
        QVERIFY(QFile::setPermissions(m_fx->folder(), ReadOnly));
        QString listFilePath;
        saveFromTheWindow(before, platform::errPermissionDenied, {}, &listFilePath);
        if (QTest::currentTestFailed()) return;
        const QString report = m_fx->dialogs().shown.back().text;
        QVERIFY2(report.contains(QStringLiteral("HOME")), qPrintable(report));
        QVERIFY2(report.contains(QDir::toNativeSeparators(m_fx->folder())), qPrintable(report));
        QCOMPARE(listFilePath, m_fx->listPath());
    }
};

QTEST_MAIN(TstSavingFromTheWindow)
#include "tst_saving_from_the_window.moc"
