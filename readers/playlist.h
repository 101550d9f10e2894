// readers/: playlists of every format and text from servers, read from bytes alone: no network, no files.
//
// Everything here reads what a server chose to send: any bytes, of any length. Each reader is linear in its
// input and bounded in what it returns.
#pragma once

#include "readers/markup.h"
#include "readers/server_text.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace readers {

// The longest title CleanTitle returns, in UTF-16 code units.
inline constexpr qsizetype MaxTitleLength = 256;

// A title or name from a server as it may be shown on one line: without control characters and without the
// marks that reorder text (U+202E shows "evil.exe" as "exe.live"), line breaks and tabs as spaces, runs of
// white space as one, no space at either end; longer than MaxTitleLength it is cut, never inside a surrogate
// pair, and ends in "…".
QString CleanTitle(const QString& text);

struct ParsedPlaylist {
    // Which reader took the body. AddressLines is an M3U without its header: text of nothing but addresses and
    // comments, which any text of links is too. Hls is never recognized; it says what the body was.
    enum class Format { None, Pls, Reference, M3u, AddressLines, Asx, Xspf, Hls };

    bool recognized = false; // a playlist this reader knows; HLS is not one of them (the engine plays it)
    Format format = Format::None;
    QStringList entries; // in playing order, as written (relative addresses unresolved), at most MaxEntries
    // One for each of entries, as written (not cleaned): PLS TitleN, M3U #EXTINF's, the title of the ASX
    // <entry> holding it; empty where the playlist gave none.
    QStringList titles;
    QString title; // the playlist's own: the title of an ASX or an XSPF outside its entries
    // XSPF: for each of entries, the track it is a <location> of (a track's locations are mirrors of it).
    QList<int> tracks;
    qsizetype total = 0; // entries seen in all, also those beyond the ones kept
};

// More entries than any station lists; the rest of a longer playlist is ignored.
inline constexpr qsizetype MaxPlaylistEntries = 64;

// Playlists as radio stations serve them: PLS ("[playlist]", File1=...), M3U ("#EXTM3U", or just lines of
// addresses), ASX as Windows Media Player wrote and read it (XML in name only: any case, unescaped "&",
// unclosed elements), the "[Reference]" form (Ref1=...) Windows Media Services sent, and XSPF (<track>s of
// <location>s), read as leniently as ASX.
ParsedPlaylist ParsePlaylist(const QByteArray& body);

} // namespace readers
