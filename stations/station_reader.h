// stations/: what a drop on the list or a paste into it holds, read into stations (readers/ reads the text):
// at most one platform wait for the formats on offer and one for the single format chosen, local playlist
// files opened without ever waiting on something that is not a file, and the bounds of a batch (stations,
// bytes) held over the whole drop, its files and text together.
#pragma once

#include "readers/station_links.h"

#include <QString>
#include <QStringList>

class QMimeData;

namespace stations {

// The one format read of a drop or a paste, from those on offer, the one that names stations best first: an M3U
// list with names (what Corvana copies), a browser's link with its text (text/x-moz-url, _NETSCAPE_URL), a page's
// links, links, plain text; empty when none is there. On X11, Qt lists a browser's text/x-moz-url as
// text/uri-list and hands over its address alone: where a page's markup comes with it, the markup is read.
QString ChosenFormat(const QStringList& formats);

struct Dropped {
    readers::FoundStations found;
    // A part refused by itself (a folder, a pipe, an unreadable file), in words that name it: it refuses the
    // whole.
    QString refusal;
};

// Reads data, asking it for its formats once and for the chosen one once; for the links themselves once more
// when the markup read for them named none.
Dropped ReadDropped(const QMimeData& data);
// The same for the bytes of a format already chosen.
Dropped ReadDroppedFormat(const QString& format, const QByteArray& bytes);

} // namespace stations
