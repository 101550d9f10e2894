// stations/: the station list file CvLst.lst: where it lives, how it reads and how it is written.
//
// Format: one line per named entry, "name|address" + CR LF, in the ANSI code page; no header, nothing else.
// The loader accepts more than the save writes (lines without "|" are passed over, a third field is dropped).
// The file is touched only through the file-system layer of platform/.
#pragma once

#include "stations/list_view.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace mod_Function {
// The full path of the list file, set once at start-up.
extern QString ListFilePath;
// The list changed since the last save: a 16-bit Boolean, True is -1, False is 0.
extern qint16 ListModified;
inline constexpr qint16 True = -1;
inline constexpr qint16 False = 0;

// The whole file as text, or the empty text for a file of length 0 (which is then not opened).
QString ReadTextFile(const QString& path);
} // namespace mod_Function

namespace stations {

// How a save treats the list file's place.
struct SaveRules {
    // A list with no named entry is stored as an empty file rather than as no file: in the user's data
    // folder no file means "read the one beside the program", which would bring the old list back.
    bool emptyListAsEmptyFile = false;
    // Added to the report of a save the folder refused: why the list is not kept somewhere else.
    QString whyHere;
};

// The list file's place: the program's folder joined with CvLst.lst; for an install where that folder is not
// writable, the user's data folder (reading the one beside the program until the user's own exists). An
// empty dataDir means the user has no data folder.
struct ListFileLocation {
    QString savePath; // where saves go
    QString loadPath; // where start-up reads from
    SaveRules rules;
};
ListFileLocation LocateListFile(const QString& programDir, const QString& dataDir);
// The location for this program as it runs.
ListFileLocation DefaultListFileLocation();
// The rules of the list file's place, set at start-up with ListFilePath.
extern SaveRules ListFileRules;

// The split of one line that holds "|": the name before the first "|", the address up to the second or the
// end.
Station SplitEntry(QStringView line);
// Splits decoded text into entries: lines end at CR LF only; a line with "|" gives (before the first "|",
// between the first and the second); a line without gives nothing.
std::vector<Station> ParseListText(const QString& text);
// The bytes a save writes for these entries, and how many lines that is (entries with an empty name are
// skipped).
QByteArray ListFileBytes(const std::vector<Station>& stations, qsizetype* lines = nullptr);

// Start-up step 3: when a file exists at path, append its entries to the list. ListModified is not touched.
void LoadList(ListView& list, const QString& path);
// The save: rewrites path with the list's named entries (or removes it when there are none, unless the rules
// keep an empty file), all or nothing. ListModified becomes False only when at least one line was written
// and the file was replaced.
void SaveList(ListView& list, const QString& path, const SaveRules& rules = {});

} // namespace stations
