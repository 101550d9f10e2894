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
const QByteArray kUtf16LeMark("\xFF\xFE");
const QByteArray kUtf16BeMark("\xFE\xFF");

bool IsUtf16(ListEncoding encoding) {
    return encoding == ListEncoding::Utf16Le || encoding == ListEncoding::Utf16Be;
}

QByteArrayView MarkOf(ListEncoding encoding) {
    switch (encoding) {
    case ListEncoding::Utf8WithMark:
        return kUtf8Mark;
    case ListEncoding::Utf16Le:
        return kUtf16LeMark;
    case ListEncoding::Utf16Be:
        return kUtf16BeMark;
    default:
        return {};
    }
}

char16_t Utf16Unit(const char* p, ListEncoding encoding) {
    const uchar first = uchar(p[0]), second = uchar(p[1]);
    return encoding == ListEncoding::Utf16Le ? char16_t(second << 8 | first) : char16_t(first << 8 | second);
}

// Calls line() with each line of the file's text (after its mark), without its end: CR LF, a lone LF and a
// lone CR each end one. CR and LF are never part of a character in code page 936 or UTF-8, so their bytes
// split where the text would; UTF-16 is split by its two-byte units, and an odd byte at its end stays with
// the last line.
template <typename Line> void ForEachLine(QByteArrayView bytes, ListEncoding encoding, Line line) {
    const qsizetype width = IsUtf16(encoding) ? 2 : 1;
    const qsizetype end = bytes.size() - (width - 1);
    const auto unit = [&](qsizetype i) {
        return width == 1 ? char16_t(uchar(bytes[i])) : Utf16Unit(bytes.data() + i, encoding);
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < end;) {
        const char16_t u = unit(i);
        i += width;
        if (u != u'\r' && u != u'\n') continue;
        line(bytes.sliced(start, i - width - start));
        if (u == u'\r' && i < end && unit(i) == u'\n') i += width;
        start = i;
    }
    if (start < bytes.size()) line(bytes.sliced(start));
}

bool IsAsciiLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// A character code page 936 has no reading for is carried as an escape (codepage.h).
bool HasEscapedByte(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; });
}

// Whether a line of valid UTF-8 that is not ASCII shows it is UTF-8 rather than code page 936 that happens to
// be valid UTF-8. Code page 936 text is valid UTF-8 only by chance, and then nearly always in two-byte pairs,
// each also a GB2312 character (682 of the 3,755 commonest characters are such a pair alone), so a short name
// proves nothing by itself. What does: a character of three or four bytes (every Chinese one); a two-byte one
// whose second byte is below A1, which code page 936 reads as a character outside GB2312 (half the Cyrillic
// and Greek letters, the accented capitals); a letter of two bytes beside an ASCII letter, as in "Café" (in
// code page 936 that is a Chinese character beside a letter, and the whole name is valid UTF-8 only by
// chance); or bytes code page 936 cannot read. tests/fixtures/names.txt measures the rule.
bool ShowsUtf8(QByteArrayView line) {
    const QString text = QString::fromUtf8(line);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) continue;
        // A two-byte character of UTF-8 is C0 | c >> 6, 80 | (c & 3F).
        if (c >= 0x800 || (c & 0x3F) < 0x21) return true;
        if (text[i].isLetter() &&
            ((i > 0 && IsAsciiLetter(text[i - 1])) || (i + 1 < text.size() && IsAsciiLetter(text[i + 1]))))
            return true;
    }
    return HasEscapedByte(platform::FromAnsi(line));
}

// One line's text in the file's encoding, or nothing when the line is not text in it (a UTF-8 file's line
// that is not UTF-8, a UTF-16 file's line with half a surrogate pair or half a unit; code page 936 reads
// every line).
std::optional<QString> LineText(QByteArrayView line, ListEncoding encoding) {
    if (encoding == ListEncoding::Cp936) return platform::FromAnsi(line);
    if (IsUtf16(encoding)) {
        if (line.size() % 2) return std::nullopt;
        QString text(line.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = Utf16Unit(line.data() + 2 * i, encoding);
        if (!QStringView(text).isValidUtf16()) return std::nullopt;
        return text;
    }
    if (!line.isValidUtf8()) return std::nullopt;
    // A U+FEFF that opens a line is part of the line: QString::fromUtf8 would drop it as a byte-order mark.
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return QString(decode(line));
}

QByteArray Encoded(const QString& text, ListEncoding encoding) {
    if (encoding == ListEncoding::Cp936) return platform::ToAnsi(text);
    if (!IsUtf16(encoding)) return text.toUtf8();
    // Unit by unit, as they are: a lone surrogate the list holds goes to the file rather than becoming "?".
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    const int high = encoding == ListEncoding::Utf16Be ? 0 : 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bytes[2 * i + high] = char(text[i].unicode() >> 8);
        bytes[2 * i + 1 - high] = char(text[i].unicode());
    }
    return bytes;
}

} // namespace

ListEncoding DetectListEncoding(QByteArrayView bytes) {
    if (bytes.startsWith(kUtf8Mark)) return ListEncoding::Utf8WithMark;
    if (bytes.startsWith(kUtf16LeMark)) return ListEncoding::Utf16Le;
    if (bytes.startsWith(kUtf16BeMark)) return ListEncoding::Utf16Be;
    // Line by line, so that one stray line (a station an old version wrote in code page 936) neither makes a
    // UTF-8 file code page 936 nor, alone, makes a code page 936 file UTF-8; and so that a save, which
    // writes the same lines in another order, leaves the answer as it was.
    qsizetype valid = 0, invalid = 0;
    bool shown = false;
    ForEachLine(bytes, ListEncoding::Cp936, [&](QByteArrayView line) {
        if (std::all_of(line.begin(), line.end(), [](char b) { return uchar(b) < 0x80; })) return;
        if (!line.isValidUtf8()) {
            ++invalid;
            return;
        }
        ++valid;
        shown = shown || ShowsUtf8(line);
    });
    return shown && invalid < valid ? ListEncoding::Utf8 : ListEncoding::Cp936;
}

ParsedListFile ParseListFile(QByteArrayView bytes) {
    ParsedListFile out;
    out.format.encoding = DetectListEncoding(bytes);
    ForEachLine(bytes.sliced(MarkOf(out.format.encoding).size()), out.format.encoding,
                [&](QByteArrayView line) {
                    if (line.isEmpty()) return;
                    const std::optional<QString> text = LineText(line, out.format.encoding);
                    const qsizetype bar = text ? text->indexOf(u'|') : -1;
                    if (bar > 0)
                        out.stations.push_back({text->first(bar), text->sliced(bar + 1)});
                    else
                        out.format.unreadLines.emplace_back(line.toByteArray());
                });
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
    const QByteArray lineEnd = Encoded(QStringLiteral("\r\n"), format.encoding);
    for (const QByteArray& line : format.unreadLines) {
        bytes.append(line);
        // A UTF-16 line of an odd number of bytes ended the file, half a unit at its end: a line end after it
        // would be read out of step, so it stays the last thing in the file, as it was.
        if (!IsUtf16(format.encoding) || line.size() % 2 == 0) bytes.append(lineEnd);
    }
    if (const QByteArrayView mark = MarkOf(format.encoding); !mark.isEmpty()) return bytes.prepend(mark);
    // A first line that begins with the bytes of a byte-order mark would have the next load read the file
    // in that mark's encoding; a blank first line, which loads as nothing, keeps it read the way it was.
    if (bytes.startsWith(kUtf8Mark) || bytes.startsWith(kUtf16LeMark) || bytes.startsWith(kUtf16BeMark))
        bytes.prepend("\r\n");
    // A UTF-8 file the user took the evidence out of (its one Cyrillic name deleted, say) would be read as
    // code page 936 next time: it gets the mark, which keeps it UTF-8 whatever it holds.
    if (format.encoding == ListEncoding::Utf8 && DetectListEncoding(bytes) != ListEncoding::Utf8)
        bytes.prepend(kUtf8Mark);
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
