// player/: ASX playlists the engine cannot read, and server text decoding; no network here (PlaylistFetch).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace player {

// Text from a server or a playlist (stream titles, entries): UTF-8 when it is valid UTF-8, otherwise GB18030,
// the code page Chinese stations and their Windows tools wrote.
QString DecodeServerText(const QByteArray& bytes);

struct ParsedPlaylist {
    bool recognized = false; // an ASX document or a "[Reference]" redirection file
    QStringList entries;     // in playing order, as written (relative addresses unresolved)
};

// ASX as Windows Media Player wrote and read it: XML in name only (any case, unescaped "&", unclosed
// elements), so read leniently. Also the "[Reference]" form (Ref1=..., Ref2=...) that Windows Media Services
// sent.
ParsedPlaylist ParsePlaylist(const QByteArray& body);

} // namespace player
