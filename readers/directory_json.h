// readers/: what the community's station directory (the radio-browser API) answers a search with: a JSON array
// of station objects, read into rows the search window shows as plain text. Only the documented shape is read:
// anything else is refused whole, and an entry without what a station needs (its id, its name, an address of a
// station on the network) is left out.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace readers {

struct DirectoryStation {
    QString uuid;       // stationuuid: what the directory counts a listener's click by
    QString name;       // as the list shows and keeps it (StationName)
    QString address;    // url, or url_resolved when url is empty: the station's own address
    QString country;    // as the directory gives it
    QString codec;      // "MP3"; empty when not given
    qint64 bitrate = 0; // kbit/s; 0 when not given
    QString tags;       // as the directory gives them, comma-separated
    QString language;   // as the directory gives it: "chinese,mandarin"
    qint64 clicks = 0;
};

// More than any search shows; the rest of a longer answer is not read.
inline constexpr qsizetype MaxDirectoryStations = 100;

struct DirectoryAnswer {
    bool ok = false; // false: not the documented shape, and no stations
    QList<DirectoryStation> stations;
};

DirectoryAnswer ReadDirectoryStations(const QByteArray& json);

// What two names of one station share: no spaces at their ends, full-width letters and digits as their narrow
// forms, case folded ("ＣＮＲ 中国之声 " and "cnr 中国之声").
QString NameKey(const QString& name);

// The directory's stations named name (by NameKey), best first: those in a Chinese language first, then the most
// listened. One is clearly best when it is the only one, or has twice the listeners of the next and no fewer
// Chinese languages.
struct Proposals {
    QList<DirectoryStation> stations;
    bool clearlyBest = false;
};
Proposals ProposalsFor(const QString& name, const QList<DirectoryStation>& found);

} // namespace readers
