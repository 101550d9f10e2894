// stations/: reading, parsing and saving the station list file.
#include "stations/list_file.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/filesystem.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace mod_Function {

QString ListFilePath;
qint16 ListModified = False;

QString ReadTextFile(const QString& path) {
    platform::FileSystem& fs = platform::CurrentFileSystem();
    if (fs.FileLen(path) <= 0) return QString();
    return platform::FromAnsi(fs.ReadAll(path));
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

SaveRules ListFileRules;

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

std::vector<Station> ParseListText(const QString& text) {
    std::vector<Station> out;
    const QStringView all(text);
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = all.indexOf(u"\r\n", start);
        if (end < 0) end = all.size();
        const QStringView line = all.sliced(start, end - start);
        if (line.contains(u'|')) out.push_back(SplitEntry(line));
        if (end == all.size()) break;
        start = end + 2;
    }
    return out;
}

QByteArray ListFileBytes(const std::vector<Station>& stations, qsizetype* lines) {
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
    return platform::ToAnsi(text);
}

void LoadList(ListView& list, const QString& path) {
    if (!platform::CurrentFileSystem().FileExists(path)) return;
    list.ListItems().AddMany(ParseListText(mod_Function::ReadTextFile(path)));
}

void SaveList(ListView& list, const QString& path, const SaveRules& rules) {
    platform::FileSystem& fs = platform::CurrentFileSystem();
    qsizetype lines = 0;
    const QByteArray bytes = ListFileBytes(list.model().stations(), &lines);
    try {
        if (lines == 0 && !rules.emptyListAsEmptyFile) {
            // Nothing named to keep: the list is stored as no file at all, and it still counts as modified.
            if (fs.FileExists(path)) fs.DeleteFile(path);
            return;
        }
        // The user's data folder may not exist yet when the list first moves there.
        const QDir folder = QFileInfo(path).absoluteDir();
        if (!folder.exists()) QDir().mkpath(folder.path());
        fs.ReplaceFile(path, bytes);
    } catch (const platform::RuntimeError& e) {
        if (rules.whyHere.isEmpty() || e.number() != platform::errPermissionDenied) throw;
        throw platform::RuntimeError(e.number(), e.message() + QStringLiteral(" (") + rules.whyHere + u')');
    }
    // An empty file written for an empty list counts as no line: the list still counts as modified.
    if (lines > 0) mod_Function::ListModified = mod_Function::False;
}

} // namespace stations
