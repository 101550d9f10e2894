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
    qint64 clicks = 0;
};

// More than any search shows; the rest of a longer answer is not read.
inline constexpr qsizetype MaxDirectoryStations = 100;

struct DirectoryAnswer {
    bool ok = false; // false: not the documented shape, and no stations
    QList<DirectoryStation> stations;
};

DirectoryAnswer ReadDirectoryStations(const QByteArray& json);

} // namespace readers
