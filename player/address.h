// player/: which addresses the player component hands to its engine, and in what form (no engine; local
// addresses are looked up in the file system, nothing is read).
//
// The engine (libmpv) understands far more than a radio needs: its own schemes (av://, lavf://, edl://,
// memory://, fd:// ...) can open devices, read arbitrary files through filters or run FFmpeg graphs. Only
// what a station list holds gets through; everything else is refused here, before the engine sees it.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace player {

struct EngineAddress {
    enum Kind {
        Refused, // never reaches the engine
        Network, // a stream from a server: reconnects when it drops
        Local,   // a file on this machine the user typed: ends when it ends
    };
    Kind kind = Refused;
    // What the engine loads, in order: later ones are fallbacks the engine tries when an earlier one fails
    // (mms:// first as MMS over HTTP, then over TCP).
    QStringList candidates;
};

// The longest address the player accepts, in UTF-16 code units (after trimming). No station needs more: Linux
// paths end at 4096 bytes (PATH_MAX), FFmpeg keeps at most 4096 bytes of an address (MAX_URL_SIZE), and
// Apache and nginx refuse a request line beyond about 8 KB by default. A longer one is a mistake or an
// attack, and the engine would be handed megabytes to copy and parse.
inline constexpr qsizetype MaxAddressLength = 8192;

// An address as the user typed it (a list entry, the URL member); refused beyond MaxAddressLength.
EngineAddress ClassifyAddress(const QString& typed);

// An entry of a playlist the component read itself, relative to the playlist's own address. A playlist from a
// server may only point at servers, never at this machine's files.
EngineAddress ClassifyPlaylistEntry(const QString& entry, const QUrl& playlistAddress);

// All entries of such a playlist, in order, the refused ones left out. Entries of a local playlist may be
// local files; a list with any stream in it is a stream (it reconnects).
EngineAddress ClassifyPlaylistEntries(const QStringList& entries, const QUrl& playlistAddress);

} // namespace player
