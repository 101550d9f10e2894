// tests/stations: the list file on bytes (load, save, what a save reports, failures).
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/error_number.h"
#include "support/faulty_file_system.h"
#include "support/names_table.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using platform::ErrorNumberOf;
using stations::SaveOutcome;
using stations::Station;

Q_DECLARE_METATYPE(std::vector<Station>)

namespace {
QStringList Rows(stations::ListView& list) {
    QStringList rows;
    for (int i = 1; i <= list.ListItems().Count(); ++i)
        rows << list.ListItems().Item(i).Text() + QStringLiteral(" ⇒ ") +
                    list.ListItems().Item(i).SubItems(1);
    return rows;
}

} // namespace

class TstListFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    stations::ListView* m_list = nullptr;

    int saveError() {
        return ErrorNumberOf([&] { stations::SaveList(*m_list, m_path); });
    }
    void addEntries(const std::vector<Station>& entries) {
        for (const Station& s : entries)
            m_list->ListItems().Add(s.name).SetSubItems(1, s.address);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("CvLst.lst"));
        QFile::remove(m_path);
        m_list = new stations::ListView;
        m_list->SetWidth(4215);
        stations::SetUpColumns(*m_list);
        platform::SetFileSystem(nullptr);
    }
    void cleanup() {
        delete m_list;
        platform::SetFileSystem(nullptr);
        if (QFile::exists(m_path)) QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    }

    // The two-station example, both ways.
    void exampleBytesBothWays() {
        const QByteArray bytes = QByteArray::fromHex("417C75310D0AB5E7CCA87C75320D0A");
        addEntries(
            {{QStringLiteral("A"), QStringLiteral("u1")}, {QStringLiteral("电台"), QStringLiteral("u2")}});
        stations::SaveList(*m_list, m_path);
        QCOMPARE(ReadBytes(m_path), bytes);

        m_list->ListItems().Clear();
        stations::LoadList(*m_list, m_path);
        QCOMPARE(Rows(*m_list), QStringList({QStringLiteral("A ⇒ u1"), QStringLiteral("电台 ⇒ u2")}));
    }

    // Each file: the rows the window shows, the bytes a save right after the load writes, and the bytes a
    // save writes after the first row is deleted ("-" for no file), and a station added where one is given.
    // No line is lost that the user did not delete: lines that give no station come back after the
    // stations, as they were.
    void loadThenSave_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QByteArray>("savedLessFirst");
        QTest::addColumn<QString>("added");
        const auto row = [](const char* tag, const QByteArray& bytes, const QStringList& rows,
                            const QByteArray& saved, const QByteArray& savedLessFirst,
                            const char* added = "") {
            QTest::newRow(tag) << bytes << rows << saved << savedLessFirst << QString::fromUtf8(added);
        };
        const QByteArray bom("\xEF\xBB\xBF");
        // UTF-16 with its mark; "%1" stands for a line with half a surrogate pair.
        const auto utf16 = [](QStringEncoder::Encoding order, const char* text) -> QByteArray {
            return QStringEncoder(order, QStringEncoder::Flag::WriteBom)
                .encode(QString::fromUtf8(text).arg(QStringLiteral("half %1|x").arg(QChar(0xD83D))));
        };
        const auto le = QStringEncoder::Utf16LE, be = QStringEncoder::Utf16BE;
        row("UTF-16 LE, a line with half a surrogate pair kept", utf16(le, "A|1\r\n%1\n电台|2"),
            {"A ⇒ 1", "电台 ⇒ 2"}, utf16(le, "A|1\r\n电台|2\r\n%1\r\n"), utf16(le, "电台|2\r\n%1\r\n"));
        row("UTF-16 BE, CR ends, an odd last byte kept", utf16(be, "A|1\r😀|2\r") + 'z', {"A ⇒ 1", "😀 ⇒ 2"},
            utf16(be, "A|1\r\n😀|2\r\n") + 'z', utf16(be, "😀|2\r\n") + 'z');
        row("UTF-8, a line that is not kept; one valid line left: the mark keeps it UTF-8",
            "广播中|http://a\nB\xB5\xE7|x\nCafé|y\n", {"广播中 ⇒ http://a", "Café ⇒ y"},
            "广播中|http://a\r\nCafé|y\r\nB\xB5\xE7|x\r\n", bom + "Café|y\r\nB\xB5\xE7|x\r\n");
        row("two-byte UTF-8 only, a Chinese station added", "Café Radio|a\nМосква FM|b\n",
            {"Café Radio ⇒ a", "Москва FM ⇒ b"}, "Café Radio|a\r\nМосква FM|b\r\n",
            "Москва FM|b\r\n中国之声|c\r\n", "中国之声|c");
        row("GBK that is valid UTF-8 (\"С˵\")", "\xD0\xA1\xCB\xB5|x\r\nB|u\r\n", {"小说 ⇒ x", "B ⇒ u"},
            "\xD0\xA1\xCB\xB5|x\r\nB|u\r\n", "B|u\r\n\xD6\xD0|c\r\n", "中|c");
        row("last line without CRLF", "A|u1\r\nB|u2", {"A ⇒ u1", "B ⇒ u2"}, "A|u1\r\nB|u2\r\n", "B|u2\r\n");
        row("LF line ends", "A|http://a\nB|http://b\nC|http://c\n",
            {"A ⇒ http://a", "B ⇒ http://b", "C ⇒ http://c"}, "A|http://a\r\nB|http://b\r\nC|http://c\r\n",
            "B|http://b\r\nC|http://c\r\n");
        row("CR line ends", "A|u1\rB|u2", {"A ⇒ u1", "B ⇒ u2"}, "A|u1\r\nB|u2\r\n", "B|u2\r\n");
        row("mixed line ends, blank lines dropped", "A|1\r\nB|2\nC|3\r\r\n\n\rD|4",
            {"A ⇒ 1", "B ⇒ 2", "C ⇒ 3", "D ⇒ 4"}, "A|1\r\nB|2\r\nC|3\r\nD|4\r\n", "B|2\r\nC|3\r\nD|4\r\n");
        row("bar alone and empty names kept unread", "|\r\n|x\r\nA|\r\n", {"A ⇒ "}, "A|\r\n|\r\n|x\r\n",
            "|\r\n|x\r\n");
        row("three bars: all after the first is the address", "three|x|y\r\nA|u1|x|\r\n",
            {"three ⇒ x|y", "A ⇒ u1|x|"}, "three|x|y\r\nA|u1|x|\r\n", "A|u1|x|\r\n");
        row("full-width bar is no separator", "A\xA9\xA6u1\r\nB|u2\r\n", {"B ⇒ u2"},
            "B|u2\r\nA\xA9\xA6u1\r\n", "A\xA9\xA6u1\r\n");
        row("spaces kept", "  A  |  u1 \r\n", {"  A   ⇒   u1 "}, "  A  |  u1 \r\n", "-");
        row("lines without bar kept in order", "\r\nstray\r\n\r\nA|u\nmore\r\n\r\n", {"A ⇒ u"},
            "A|u\r\nstray\r\nmore\r\n", "stray\r\nmore\r\n");
        row("億 is 83 7C and stays whole", "\x83\x7C|mms://h/\x83\x7C\r\n", {"億 ⇒ mms://h/億"},
            "\x83\x7C|mms://h/\x83\x7C\r\n", "-");
        row("GBK trail 7C right before the bar", "A|x\x83\x7C|z\r\n\x83\x7C\x83\x7C|u",
            {"A ⇒ x億|z", "億億 ⇒ u"}, "A|x\x83\x7C|z\r\n\x83\x7C\x83\x7C|u\r\n", "\x83\x7C\x83\x7C|u\r\n");
        // The source is UTF-8: these literals are the UTF-8 bytes.
        row("UTF-8, names ending in a GBK lead byte before the bar", "广播中|http://a\nCafé|http://b\n",
            {"广播中 ⇒ http://a", "Café ⇒ http://b"}, "广播中|http://a\r\nCafé|http://b\r\n",
            "Café|http://b\r\n");
        row("UTF-8 with a byte-order mark", bom + "é|1\nB|2\n", {"é ⇒ 1", "B ⇒ 2"},
            bom + "\xC3\xA9|1\r\nB|2\r\n", bom + "B|2\r\n");
        row("marked UTF-8, a line that is not UTF-8 kept as it was", bom + "A|1\n\xB5\xE7|x\n", {"A ⇒ 1"},
            bom + "A|1\r\n\xB5\xE7|x\r\n", bom + "\xB5\xE7|x\r\n");
        row("Latin-1 é swallows the bar in code page 936: kept", "Caf\xE9|x\r\nB|y\r\n", {"B ⇒ y"},
            "B|y\r\nCaf\xE9|x\r\n", "Caf\xE9|x\r\n");
        row("duplicates", "A|u\r\nA|u\r\n", {"A ⇒ u", "A ⇒ u"}, "A|u\r\nA|u\r\n", "A|u\r\n");
        row("empty file", QByteArray(), {}, "-", "-");
    }
    void loadThenSave() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, savedLessFirst);
        QFETCH(QString, added);
        const auto fileOrDash = [&] { return QFile::exists(m_path) ? ReadBytes(m_path) : QByteArray("-"); };
        QVERIFY(WriteBytes(m_path, bytes));
        const stations::ListFileFormat format = stations::LoadList(*m_list, m_path);
        QCOMPARE(Rows(*m_list), rows);
        // A save writes the list back in kind; it counts as saved only with an entry line in it.
        QCOMPARE(stations::SaveList(*m_list, m_path, {}, format),
                 rows.isEmpty() ? SaveOutcome::NothingNamed : SaveOutcome::EntriesWritten);
        QCOMPARE(fileOrDash(), saved);
        if (m_list->ListItems().Count() > 0) m_list->ListItems().Remove(1);
        if (!added.isEmpty()) addEntries({stations::SplitEntry(added)});
        stations::SaveList(*m_list, m_path, {}, format);
        QCOMPARE(fileOrDash(), savedLessFirst);
    }

    // A file is read in the encoding it was written in: names as code page 936 and as UTF-8 write them.
    void encodingOfNames_data() {
        QTest::addColumn<QString>("name");
        for (
            const char* name :
            {"中国之声",     "经济之声",     "音乐之声",     "中华之声",     "神州之声",       "华夏之声",
             "香港之声",     "文艺之声",     "老年之声",     "藏语广播",     "北京新闻广播",   "北京交通广播",
             "北京音乐广播", "上海东方广播", "上海交通广播", "广东新闻广播", "珠江经济台",     "江苏新闻广播",
             "浙江之声",     "湖南交通频道", "天津相声广播", "央广都市",     "四川私家车广播", "郑州交通广播",
             "轻松调频",     "乐",           "台",           "啊",           "电台",           "新闻",
             "中国"})
            QTest::newRow(name) << QString::fromUtf8(name);
    }
    void encodingOfNames() {
        QFETCH(QString, name);
        const QByteArray rest("|http://h/\r\nB|http://b\r\n");
        QCOMPARE(stations::DetectListEncoding(platform::ToAnsi(name) + rest), stations::ListEncoding::Cp936);
        QCOMPARE(stations::DetectListEncoding(name.toUtf8() + rest), stations::ListEncoding::Utf8);
    }
    // The rule measured on one-line files of the names table: every GBK name must stay code page 936, and
    // each name of two-byte UTF-8 only should read as UTF-8.
    void encodingOnTheNamesTable() {
        const auto read = [](const QByteArray& name) {
            return stations::DetectListEncoding(name + "|http://radio.example/live\r\n");
        };
        int gbk = 0, gbkMisread = 0, twoByte = 0, twoByteMisread = 0;
        for (const support::SentName& name : support::NamesTable()) {
            const QByteArray utf8 = name.text.toUtf8();
            if (name.kind == "gbk") {
                ++gbk;
                gbkMisread += read(name.bytes) != stations::ListEncoding::Cp936;
            }
            if (utf8.size() > name.text.size() &&
                std::all_of(utf8.begin(), utf8.end(), [](char b) { return uchar(b) < 0xE0; })) {
                ++twoByte;
                twoByteMisread += read(utf8) != stations::ListEncoding::Utf8;
            }
        }
        qInfo("misread: GBK %d of %d, two-byte UTF-8 %d of %d", gbkMisread, gbk, twoByteMisread, twoByte);
        QCOMPARE(gbkMisread, 0);
        QCOMPARE(twoByteMisread, 2);
    }
    // Every one- and two-character name of the 3,755 commonest characters (GB2312 level 1) stays code page
    // 936, although 682 of them alone are valid UTF-8 (so are the pairs of those), and so does every
    // one-character name of GB2312.
    void shortCodePage936NamesNeverPassForUtf8() {
        std::vector<QByteArray> validAlone;
        int utf8 = 0;
        for (int lead = 0xB0; lead <= 0xF7; ++lead)
            for (int trail = 0xA1; trail <= 0xFE; ++trail) {
                const QByteArray c = QByteArray(1, char(lead)) + char(trail);
                utf8 += stations::DetectListEncoding(c + "|x\r\n") != stations::ListEncoding::Cp936;
                if (lead <= 0xD7 && !(lead == 0xD7 && trail > 0xF9) && c.isValidUtf8())
                    validAlone.push_back(c);
            }
        QCOMPARE(validAlone.size(), size_t(682));
        for (const QByteArray& first : validAlone)
            for (const QByteArray& second : validAlone)
                utf8 +=
                    stations::DetectListEncoding(first + second + "|x\r\n") != stations::ListEncoding::Cp936;
        QCOMPARE(utf8, 0);
    }

    void charactersOutsideCodePage936Survive() {
        const QString name = QStringLiteral("Radio 😀 €");
        addEntries({{name, QStringLiteral("http://h/€")}});
        stations::SaveList(*m_list, m_path);
        QVERIFY(!ReadBytes(m_path).contains('?'));
        m_list->ListItems().Clear();
        stations::LoadList(*m_list, m_path);
        QCOMPARE(Rows(*m_list), QStringList{name + QStringLiteral(" ⇒ http://h/€")});
    }

    void saveAndListModified() {
        // Three entries, the second unnamed: two lines, and the list counts as saved.
        addEntries({{QStringLiteral("A"), QStringLiteral("1")},
                    {QString(), QStringLiteral("2")},
                    {QStringLiteral("C"), QStringLiteral("3")}});
        QCOMPARE(stations::SaveList(*m_list, m_path), SaveOutcome::EntriesWritten);
        QCOMPARE(ReadBytes(m_path), QByteArray("A|1\r\nC|3\r\n"));
        QCOMPARE(m_list->ListItems().Count(), 3); // the save leaves the list itself alone

        // A list with no named entry is stored as no file, and still counts as modified.
        m_list->ListItems().Clear();
        m_list->ListItems().Add(QString()).SetSubItems(1, QStringLiteral("x"));
        QCOMPARE(stations::SaveList(*m_list, m_path), SaveOutcome::NothingNamed);
        QVERIFY(!QFile::exists(m_path));
        // Saving it again with no file present writes nothing and raises nothing.
        QCOMPARE(stations::SaveList(*m_list, m_path), SaveOutcome::NothingNamed);
        QVERIFY(!QFile::exists(m_path));
    }

    void readOnlyFileRefusesTheSave() {
        QVERIFY(WriteBytes(m_path, "old|file\r\n"));
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        addEntries({{QStringLiteral("new"), QStringLiteral("x")}});
        QCOMPARE(saveError(), int(platform::errPermissionDenied));
        QCOMPARE(ReadBytes(m_path), QByteArray("old|file\r\n"));

        // Even an empty list does not delete a read-only file.
        m_list->ListItems().Clear();
        QCOMPARE(saveError(), int(platform::errPermissionDenied));
        QVERIFY(QFile::exists(m_path));
    }

    void failedWriteKeepsOldFileAndFlag() {
        QVERIFY(WriteBytes(m_path, "old|file\r\n"));
        platform::FaultyFileSystem faulty;
        faulty.failReplace = ENOSPC;
        platform::SetFileSystem(&faulty);
        addEntries({{QStringLiteral("new"), QStringLiteral("x")}});
        QCOMPARE(saveError(), int(platform::errDiskFull));
        QCOMPARE(faulty.replaceCalls, 1);
        QCOMPARE(ReadBytes(m_path), QByteArray("old|file\r\n"));

        // The same on the disk itself, the write failing halfway (a file size limit: EFBIG after the first
        // bytes): the temporary file it wrote into goes too.
        platform::SetFileSystem(nullptr);
        addEntries({{QStringLiteral("another"), QStringLiteral("http://127.0.0.1/another")}});
        rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        int error = 0;
        {
            const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &before);
                std::signal(SIGXFSZ, oldSignal);
            });
            const rlimit small = {4, before.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            error = saveError();
        }
        QCOMPARE(error, int(platform::errPathFileAccess));
        QCOMPARE(ReadBytes(m_path), QByteArray("old|file\r\n"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"CvLst.lst"});
    }

    void saveLeavesNoTemporaryBehind() {
        addEntries({{QStringLiteral("A"), QStringLiteral("1")}});
        stations::SaveList(*m_list, m_path);
        stations::SaveList(*m_list, m_path);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"CvLst.lst"});
    }

    // The user's own files beside the list, however close their names come to a temporary file's, keep
    // their bytes; so does the temporary file of a save still in progress in another copy of the program.
    void filesBesideTheListKeepTheirBytes() {
        const QStringList names = {"CvLst.lst.backup", "CvLst.lst.201501", "CvLst.lst.bak",
                                   "CvLst.lst~",       "CvLst.lst.old123", ".CvLst.lst.swp"};
        for (const QString& name : names)
            QVERIFY(WriteBytes(m_dir.filePath(name), name.toUtf8() + " is the user's\r\n"));
        const QString busy =
            m_dir.filePath(platform::SaveTemporaryPrefix(QStringLiteral("CvLst.lst")) + "Ab12Cd");
        QVERIFY(WriteBytes(busy, "half a list"));
        const int lock = ::open(QFile::encodeName(busy).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(lock >= 0);
        QCOMPARE(::flock(lock, LOCK_EX), 0);

        addEntries({{QStringLiteral("A"), QStringLiteral("1")}});
        stations::SaveList(*m_list, m_path);
        stations::SaveList(*m_list, m_path);
        QCOMPARE(ReadBytes(m_path), QByteArray("A|1\r\n"));
        for (const QString& name : names)
            QCOMPARE(ReadBytes(m_dir.filePath(name)), name.toUtf8() + " is the user's\r\n");
        QCOMPARE(ReadBytes(busy), QByteArray("half a list"));

        // Once no save holds it, it is a leftover, and the next save clears it away.
        ::close(lock);
        stations::SaveList(*m_list, m_path);
        QVERIFY(!QFile::exists(busy));
        for (const QString& name : names)
            QVERIFY(QFile::remove(m_dir.filePath(name)));
    }

    // What stands at the list file's place and is no regular file is never replaced, and the report says
    // what it is and where. A link to a regular file is followed, the link kept.
    void oddThingsAtTheListsPlace_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("says");
        const auto row = [](const char* tag, const char* kind, int error, const char* says) {
            QTest::newRow(tag) << QString::fromUtf8(kind) << error << QString::fromUtf8(says);
        };
        row("a folder", "folder", platform::errPathFileAccess, "是一个文件夹");
        row("a pipe", "fifo", platform::errPathFileAccess, "是一个管道");
        row("a link to a pipe", "link to fifo", platform::errPathFileAccess, "指向的 %1 是一个管道");
        row("a link to a device node", "link to device", platform::errPathFileAccess,
            "指向的 %1 是一个字符设备");
        row("a dangling link", "dangling link", platform::errFileNotFound, "是一个链接, 它指向的 %1 不存在");
    }
    void oddThingsAtTheListsPlace() {
        QFETCH(QString, kind);
        QFETCH(int, error);
        QFETCH(QString, says);
        const QString other = m_dir.filePath(QStringLiteral("other"));
        const QByteArray native = QFile::encodeName(m_path);
        const QByteArray otherNative = QFile::encodeName(other);
        const auto removeBoth = qScopeGuard([&] {
            QDir(m_path).removeRecursively();
            ::unlink(native.constData());
            ::unlink(otherNative.constData());
        });
        if (kind == "folder") QVERIFY(QDir().mkdir(m_path));
        if (kind == "fifo") QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        if (kind == "link to fifo") QCOMPARE(::mkfifo(otherNative.constData(), 0644), 0);
        if (kind == "link to device" && ::mknod(otherNative.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("no right to make a device node here");
        if (kind.startsWith(QStringLiteral("link")) || kind == "dangling link")
            QCOMPARE(::symlink(otherNative.constData(), native.constData()), 0);
        struct stat before {};
        QCOMPARE(::lstat(native.constData(), &before), 0);

        addEntries({{QStringLiteral("A"), QStringLiteral("1")}});
        QString report;
        try {
            stations::SaveList(*m_list, m_path);
        } catch (const platform::RuntimeError& e) {
            QCOMPARE(e.number(), error);
            report = e.message();
        }
        QVERIFY2(report.contains(m_path), qPrintable(report));
        const QString said = says.contains(QStringLiteral("%1")) ? says.arg(other) : says;
        QVERIFY2(report.contains(said), qPrintable(report));
        struct stat after {};
        QCOMPARE(::lstat(native.constData(), &after), 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        if (kind == "dangling link")
            QVERIFY(!QFileInfo::exists(other));
        else if (kind != "folder" && kind != "fifo") {
            QCOMPARE(::stat(otherNative.constData(), &after), 0);
            QVERIFY(!S_ISREG(after.st_mode));
        }
        // An emptied list is not stored by removing it either.
        m_list->ListItems().Clear();
        saveError();
        QCOMPARE(::lstat(native.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void aLinkToARegularFileIsFollowed() {
        const QString other = m_dir.filePath(QStringLiteral("elsewhere.lst"));
        QVERIFY(WriteBytes(other, "old|file\r\n"));
        // A relative link, read from the link's own folder.
        QCOMPARE(::symlink("elsewhere.lst", QFile::encodeName(m_path).constData()), 0);
        addEntries({{QStringLiteral("A"), QStringLiteral("1")}});
        stations::SaveList(*m_list, m_path);
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(ReadBytes(other), QByteArray("A|1\r\n"));
        QVERIFY(QFile::remove(m_path));
        QVERIFY(QFile::remove(other));
    }

    void savedFileKeepsItsPermissions() {
        QVERIFY(WriteBytes(m_path, "old|file\r\n"));
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        addEntries({{QStringLiteral("A"), QStringLiteral("1")}});
        stations::SaveList(*m_list, m_path);
        // Owner, group and others (the "user" bits only mirror the owner's for whoever runs the test).
        QCOMPARE(QFile::permissions(m_path) & QFile::Permissions(0xF0FF),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }

    void readTextFile() {
        // A file of length 0 is not even opened.
        QVERIFY(WriteBytes(m_path, QByteArray()));
        platform::FaultyFileSystem faulty;
        faulty.failRead = EACCES;
        platform::SetFileSystem(&faulty);
        QCOMPARE(mod_Function::ReadTextFile(m_path), QByteArray());
        // A file that cannot be read is an error, never an empty list.
        QVERIFY(WriteBytes(m_path, "A|1\r\n"));
        QCOMPARE(ErrorNumberOf([&] { stations::LoadList(*m_list, m_path); }),
                 int(platform::errPermissionDenied));
        QCOMPARE(m_list->ListItems().Count(), 0);
        platform::SetFileSystem(nullptr);
        // A missing file is an error for ReadTextFile, and nothing at all for the loader.
        QFile::remove(m_path);
        QCOMPARE(ErrorNumberOf([&] { mod_Function::ReadTextFile(m_path); }), int(platform::errFileNotFound));
        stations::LoadList(*m_list, m_path);
        QCOMPARE(m_list->ListItems().Count(), 0);
        // A directory of that name counts as no file.
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("CvLst.lst")));
        stations::LoadList(*m_list, m_path);
        QCOMPARE(m_list->ListItems().Count(), 0);
        QVERIFY(QDir(m_path).removeRecursively());
    }

    void location() {
        const auto beside = stations::LocateListFile(m_dir.path(), QStringLiteral("/nowhere"));
        QCOMPARE(beside.savePath, m_dir.path() + QDir::separator() + QStringLiteral("CvLst.lst"));
        QCOMPARE(beside.loadPath, beside.savePath);
    }

    // Files no save of ours writes: each loads (or is refused with an error), and a save right after writes
    // back every named entry the window showed.
    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("entries");
        QByteArray longLine =
            "long|" + QByteArray(1 << 20, 'a') + "\r\n" + QByteArray(1 << 20, '\xB5') + "|x\r\n";
        QTest::newRow("1 MB lines") << longLine << 2;
        QTest::newRow("NUL bytes") << QByteArray("A\0B|u\0v\r\n\0|\0\r\n\0\0\0", 15) << 2;
        QTest::newRow("invalid GB18030")
            << QByteArray("\x81\x30|\xFF\xFE\x81\r\n\x80\x80|\x81\x30\x81\r\n\xFE") << 2;
        QByteArray million;
        million.reserve(12 * 1000000);
        for (int i = 0; i < 1000000; ++i)
            million += "s" + QByteArray::number(i % 1000) + "|u\r\n";
        QTest::newRow("1,000,000 lines") << million << 1000000;
    }
    void hostileFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, entries);
        QVERIFY(WriteBytes(m_path, bytes));
        const stations::ListFileFormat format = stations::LoadList(*m_list, m_path);
        QCOMPARE(m_list->ListItems().Count(), entries);
        const std::vector<Station>& shown = m_list->stationModel().stations();

        stations::SaveList(*m_list, m_path, {}, format);
        const stations::ParsedListFile back = stations::ParseListFile(ReadBytes(m_path));
        QCOMPARE(back.stations.size(), shown.size());
        for (size_t i = 0; i < back.stations.size(); ++i) {
            QCOMPARE(back.stations[i].name, shown[i].name);
            QCOMPARE(back.stations[i].address, shown[i].address);
        }
        QCOMPARE(back.format.unreadLines, format.unreadLines);
    }
};

QTEST_MAIN(TstListFile)
#include "tst_list_file.moc"
