// stations/: the station list file CvLst.lst: where it lives, how it reads and how it is written.
//
// Format: one line per named entry, "name|address" + CR LF, in the ANSI code page (code page 936); no header,
// nothing else. The loader accepts what editors write as well: LF or CR line ends, UTF-8 and UTF-16 (a file
// keeps the encoding it was found in, and a save writes every line in it). A line that gives no station is
// kept as it was and written back after the stations, so a save loses nothing the user did not delete. The
// file is touched only through the file-system layer of platform/.
#pragma once

#include "stations/list_view.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace mod_Function {
// The whole file as it lies on disk, or nothing for a file of length 0 (which is then not opened). The
// loader decodes it: it must see the bytes to tell the encoding and to keep unread lines as they were.
QByteArray ReadTextFile(const QString& path);
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

// The split of a typed entry that holds "|": the name before the first "|", the address up to the second or
// the end.
Station SplitEntry(QStringView line);

// How the list file's text is encoded. A file that starts with a byte-order mark is in the mark's encoding:
// UTF-8, or UTF-16 little- or big-endian. Without one, a file is UTF-8 only on evidence code page 936 text
// does not give, and only when its lines that are not UTF-8 are fewer than its lines of UTF-8 beyond ASCII:
// a line of valid UTF-8 holding a character of three or four bytes (every Chinese character in UTF-8 is
// one), a two-byte character code page 936 reads as one outside GB2312, a two-byte letter beside an ASCII
// letter, or bytes code page 936 cannot read. Anything else, and a new file, is code page 936.
enum class ListEncoding { Cp936, Utf8, Utf8WithMark, Utf16Le, Utf16Be };
ListEncoding DetectListEncoding(QByteArrayView bytes);

// What a save needs of the file the list came from besides its stations.
struct ListFileFormat {
    ListEncoding encoding = ListEncoding::Cp936;
    // The lines that gave no station (no "|", an empty name, or not readable in the file's encoding), as
    // they were, without their line ends, in file order.
    std::vector<QByteArray> unreadLines;
};

struct ParsedListFile {
    std::vector<Station> stations;
    ListFileFormat format;
};
// Splits a list file's bytes: CR LF, a lone LF and a lone CR each end a line (in UTF-16, as two-byte units);
// a line whose text holds "|" after a non-empty name gives (before the first "|", everything after it); empty
// lines give nothing; every other line is kept unread.
ParsedListFile ParseListFile(QByteArrayView bytes);
// The bytes a save writes: the named entries, then the unread lines, each ending in CR LF, in the format's
// encoding with its mark; and how many entry lines that is (entries with an empty name are skipped). A UTF-8
// file without a mark that would no longer read as UTF-8 gets one.
QByteArray ListFileBytes(const std::vector<Station>& stations, const ListFileFormat& format = {},
                         qsizetype* lines = nullptr);

// A digest of what a save writes of the list: its named entries, in order. Equal digests, equal stations in the
// file.
QByteArray NamedEntriesDigest(ListView& list);

// Start-up step 3: when a file exists at path, append its entries to the list and return what the save needs
// to write the file back in kind. A loaded list is as saved.
ListFileFormat LoadList(ListView& list, const QString& path);
// What a save did; a save that failed throws platform::RuntimeError and changed nothing.
enum class SaveOutcome {
    EntriesWritten, // the file was replaced and holds at least one entry line: the list is saved
    NothingNamed,   // no entry line to keep: no file, an empty one, or only the unread lines
};
// The save: rewrites path with the list's named entries and the format's unread lines (or removes it when
// there are none, unless the rules keep an empty file), all or nothing.
SaveOutcome SaveList(ListView& list, const QString& path, const SaveRules& rules = {},
                     const ListFileFormat& format = {});

} // namespace stations
