// stations/: stations put on the clipboard or dragged out of the list, in the forms other programs read: the
// addresses as plain text (a chat, a browser's address bar), as text/uri-list (a file manager, a player), and
// an M3U list with their names (audio/x-mpegurl), which a paste into Corvana reads first, so that the names come
// back with them. Qt on X11 offers text/x-moz-url from the uri-list, addresses alone: the names travel in the M3U.
#pragma once

#include "stations/list_view.h"

#include <QString>

#include <vector>

class QMimeData;

namespace stations {

// The stations that have an address, in the forms above; nullptr when none has one. The caller owns it.
QMimeData* StationsMimeData(const std::vector<Station>& stations);

} // namespace stations
