// stations/: reading, parsing and saving the station list file.
#include "stations/list_file.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/filesystem.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <optional>
#include <unistd.h>

namespace mod_Function {

QByteArray ReadTextFile(const QString& path) {
    platform::FileSystem& fs = platform::CurrentFileSystem();
    if (fs.FileLen(path) <= 0) return QByteArray();
    return fs.ReadAll(path);
}

} // namespace mod_Function

namespace stations {

namespace {
const QString kFileName = QStringLiteral("CvLst.lst");

bool WritableDir(const QString& dir) {
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

// The user's data folder, or none when the environment names no home: with HOME unset, QStandardPaths
// answers a folder under "/" ("//.local/share/..."), where no list of the user's belongs.
QString UserDataFolder() {
    if (!qEnvironmentVariable("HOME").startsWith(u'/') &&
        !qEnvironmentVariable("XDG_DATA_HOME").startsWith(u'/'))
        return QString();
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
} // namespace

ListFileLocation LocateListFile(const QString& programDir, const QString& dataDir) {
    const QString besideProgram = QDir::toNativeSeparators(QDir(programDir).filePath(kFileName));
    if (WritableDir(programDir)) return {besideProgram, besideProgram, {}};
    if (dataDir.isEmpty()) {
        SaveRules rules;
        rules.whyHere =
            QStringLiteral("程序所在的文件夹不可写, 而环境变量 HOME 未设置, 没有用户数据文件夹可以存放列表");
        return {besideProgram, besideProgram, rules};
    }
    const QString own = QDir::toNativeSeparators(QDir(dataDir).filePath(kFileName));
    SaveRules rules;
    rules.emptyListAsEmptyFile = true;
    return {own, QFileInfo(own).isFile() ? own : besideProgram, rules};
}

ListFileLocation DefaultListFileLocation() {
    return LocateListFile(platform::ProgramDirectory(), UserDataFolder());
}

Station SplitEntry(QStringView line) {
    const qsizetype bar = line.indexOf(u'|');
    const qsizetype second = line.indexOf(u'|', bar + 1);
    const QStringView address = second < 0 ? line.sliced(bar + 1) : line.sliced(bar + 1, second - bar - 1);
    return {line.first(bar).toString(), address.toString()};
}

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

// A character code page 936 has no reading for is carried as an escape (codepage.h).
bool HasEscapedByte(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; });
}

// One line's text in the file's encoding, or nothing when the line is not text in it (only a file marked as
// UTF-8 can hold such lines: every other file is read in an encoding that reads every line).
std::optional<QString> LineText(QByteArrayView line, ListEncoding encoding) {
    if (encoding == ListEncoding::Cp936) return platform::FromAnsi(line);
    if (!line.isValidUtf8()) return std::nullopt;
    // A U+FEFF that opens a line is part of the line: QString::fromUtf8 would drop it as a byte-order mark.
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return QString(decode(line));
}

QByteArray Encoded(const QString& text, ListEncoding encoding) {
    return encoding == ListEncoding::Cp936 ? platform::ToAnsi(text) : text.toUtf8();
}

} // namespace

ListEncoding DetectListEncoding(QByteArrayView bytes) {
    if (bytes.startsWith(kUtf8Mark)) return ListEncoding::Utf8WithMark;
    const auto multiByte = std::find_if(bytes.begin(), bytes.end(), [](char b) { return uchar(b) >= 0x80; });
    if (multiByte == bytes.end() || !bytes.isValidUtf8()) return ListEncoding::Cp936;
    // In valid UTF-8 a byte E0..EF starts a three-byte sequence. Code page 936 text is valid UTF-8 only by
    // chance, and then nearly always in two-byte pairs, each of which is also a code page 936 character: 682
    // of the 3,755 commonest characters are such a pair alone, so a short name proves nothing by itself.
    if (std::any_of(multiByte, bytes.end(), [](char b) { return uchar(b) >= 0xE0 && uchar(b) <= 0xEF; }))
        return ListEncoding::Utf8;
    return HasEscapedByte(platform::FromAnsi(bytes)) ? ListEncoding::Utf8 : ListEncoding::Cp936;
}

ParsedListFile ParseListFile(QByteArrayView bytes) {
    ParsedListFile out;
    out.format.encoding = DetectListEncoding(bytes);
    if (out.format.encoding == ListEncoding::Utf8WithMark) bytes = bytes.sliced(kUtf8Mark.size());
    // CR and LF never occur inside a character of either encoding, so the bytes split where the text would.
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p != end) {
        const char* lineEnd = std::find_if(p, end, [](char b) { return b == '\r' || b == '\n'; });
        const QByteArrayView line(p, lineEnd - p);
        p = lineEnd;
        if (p != end && *p++ == '\r' && p != end && *p == '\n') ++p;
        if (line.isEmpty()) continue;
        const std::optional<QString> text = LineText(line, out.format.encoding);
        const qsizetype bar = text ? text->indexOf(u'|') : -1;
        if (bar > 0)
            out.stations.push_back({text->first(bar), text->sliced(bar + 1)});
        else
            out.format.unreadLines.emplace_back(line.toByteArray());
    }
    return out;
}

QByteArray ListFileBytes(const std::vector<Station>& stations, const ListFileFormat& format,
                         qsizetype* lines) {
    QString text;
    qsizetype written = 0;
    qsizetype size = 0;
    for (const Station& s : stations)
        size += s.name.size() + s.address.size() + 3;
    text.reserve(size);
    for (const Station& s : stations) {
        if (s.name.isEmpty()) continue;
        text += s.name;
        text += u'|';
        text += s.address;
        text += u"\r\n";
        ++written;
    }
    if (lines) *lines = written;
    // Nothing to keep is no bytes at all, not even a byte-order mark.
    if (written == 0 && format.unreadLines.empty()) return {};
    QByteArray bytes = Encoded(text, format.encoding);
    for (const QByteArray& line : format.unreadLines)
        bytes.append(line).append("\r\n");
    if (format.encoding == ListEncoding::Utf8WithMark)
        bytes.prepend(kUtf8Mark);
    else if (bytes.startsWith(kUtf8Mark))
        // A first line that begins with the bytes of a byte-order mark would have the next load read the file
        // as marked UTF-8; a blank first line, which loads as nothing, keeps it read the way it was.
        bytes.prepend("\r\n");
    return bytes;
}

ListFileFormat LoadList(ListView& list, const QString& path) {
    if (!platform::CurrentFileSystem().FileExists(path)) return {};
    ParsedListFile file = ParseListFile(mod_Function::ReadTextFile(path));
    list.ListItems().AddMany(std::move(file.stations));
    return std::move(file.format);
}

SaveOutcome SaveList(ListView& list, const QString& path, const SaveRules& rules,
                     const ListFileFormat& format) {
    platform::FileSystem& fs = platform::CurrentFileSystem();
    qsizetype lines = 0;
    const QByteArray bytes = ListFileBytes(list.stationModel().stations(), format, &lines);
    try {
        if (bytes.isEmpty() && !rules.emptyListAsEmptyFile) {
            // Nothing named to keep: the list is stored as no file at all, and it still counts as modified.
            if (fs.FileExists(path)) fs.DeleteFile(path);
            return SaveOutcome::NothingNamed;
        }
        // The user's data folder may not exist yet when the list first moves there.
        const QDir folder = QFileInfo(path).absoluteDir();
        if (!folder.exists()) QDir().mkpath(folder.path());
        fs.ReplaceFile(path, bytes);
    } catch (const platform::RuntimeError& e) {
        if (rules.whyHere.isEmpty() || e.number() != platform::errPermissionDenied) throw;
        throw platform::RuntimeError(e.number(), e.message() + QStringLiteral(" (") + rules.whyHere + u')');
    }
    // An empty file written for an empty list, or one of unread lines only, counts as no line: the list
    // still counts as modified.
    return lines > 0 ? SaveOutcome::EntriesWritten : SaveOutcome::NothingNamed;
}

} // namespace stations

namespace stations {

QByteArray NamedEntriesDigest(ListView& list) {
    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (const Station& station : list.stationModel().stations()) {
        // The save skips entries without a name.
        if (station.name.isEmpty()) continue;
        for (const QString* text : {&station.name, &station.address}) {
            const qsizetype size = text->size();
            digest.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            digest.addData(QByteArrayView(reinterpret_cast<const char*>(text->utf16()), size * 2));
        }
    }
    return digest.result();
}

} // namespace stations
