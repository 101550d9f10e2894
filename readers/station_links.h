// readers/: stations as people find them: links, a playlist's text copied from a browser, a playlist file. Read
// here into stations, with no network and no files: what needs the web (a playlist address, a stream's own name)
// is marked for StationFinder.
//
// A drop or a paste may hold anything a user could select, of any length: each reader is linear in its input and
// bounded in what it returns.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace readers {

// At most this many stations come from one drop or paste: the first ones; the rest are left out, and counted.
inline constexpr qsizetype MaxFoundStations = 64;
// At most this much text (or local playlist files, all together) is read of one drop or paste.
inline constexpr qsizetype MaxFoundTextBytes = 1024 * 1024;

struct FoundStation {
    QString name;    // as the list shows it (StationName); empty while nothing has named it
    QString address; // as the list keeps it: trimmed, otherwise as written
    // An http(s) address that ends in a playlist's name (.pls, .m3u, .m3u8, .asx, .xspf): StationFinder reads it.
    bool playlist = false;
    // The text of the link that gave the address, on a web page or a drag; names the station when its playlist
    // does not. Empty when there was none, or when it was only the address again.
    QString linkName;
    // Of an untitled playlist's station: the first entry, whose stream may name it (icy-name).
    QString nameFrom;
};

struct FoundStations {
    enum class Refusal {
        None,
        Nothing,  // no address in it
        TooLarge, // text over MaxFoundTextBytes
    };
    // Stations beyond MaxFoundStations that were left out; how many is known when a text or a file held them.
    static constexpr qsizetype SomeLeftOut = -1;

    Refusal refusal = Refusal::None;
    QList<FoundStation> stations; // at most MaxFoundStations, the first ones; empty when refused
    qsizetype leftOut = 0;        // or SomeLeftOut
    // The stations are a playlist's own playlists: what they hold is merged by name, mirrors being one station.
    bool mirrorsByName = false;
};

// Text pasted or dropped. The text of a playlist (what a .pls, .m3u with #EXTM3U, .asx or [Reference] file
// holds) is read as that playlist; any other text gives one station for each address in it (http, https, mms,
// mmsh, mmst, rtsp, rtmp), in order, found among other words and stripped of the punctuation that ends a
// sentence around it. Addresses given twice count once; the first MaxFoundStations are kept.
FoundStations ReadFoundText(const QString& text);

// A browser's link drag (text/x-moz-url): UTF-16, each address followed on the next line by the link's text.
FoundStations ReadFoundMozUrl(const QByteArray& utf16);
// The same pairs as text (an X11 browser drag's _NETSCAPE_URL, in UTF-8).
FoundStations ReadFoundLinkPairs(const QString& text);

// A page's markup as a browser copies it (text/html): each <a href> whose address a station may have (http,
// https, mms, mmsh, mmst, rtsp, rtmp) with its link text as the name; relative, javascript: and mailto: links
// are no stations. Markup without such a link is read for the addresses in its text, as plain text is.
FoundStations ReadFoundHtml(const QString& html);

// A playlist's bytes: a local file's (origin is its file: URL) or what origin, an http(s) address, served.
// Titles are read without the "(#n - a/b)" prefix of directory servers. Entries that all name one station (one
// title or none: mirrors of one stream; the locations of an XSPF's one track) become one station, named by that
// title, else the playlist's; its address is origin when origin is on the web, else the first entry. Otherwise
// entries of equal titles (and the locations of one XSPF track) are one station each, untitled ones one each.
// Untitled entries that are all playlists are given as such, to be read each on its own (mirrorsByName).
// Entries relative to a remote origin are resolved against it, those of a local file against its folder; a
// remote playlist's entries never name local files. HLS served from origin is one stream: origin is the
// station. Nothing, when body is not a playlist this program reads. Of a longer playlist
// the first MaxFoundStations entries are read, and the rest counted as left out.
FoundStations ReadFoundPlaylist(const QByteArray& body, const QUrl& origin);

// A name as the list shows and the list file keeps it: cleaned as a stream title is (CleanTitle), and "|",
// which would end the name in the list file, written "｜".
QString StationName(const QString& raw);

// Whether address is one a station on the network may have, as the program takes it from outside (a page, a
// playlist, the directory): absolute, http, https, mms, mmsh, mmst, rtsp or rtmp, with a host, on one line. A
// local file, a device or a share is no station anyone hands out.
bool IsStationLink(const QString& address);

// An address from outside without the marks that reorder text (U+202A..U+202E, U+2066..U+2069): shown, they
// would make one address read as another.
QString WithoutDirectionMarks(QString address);

// The host of address, as the name of a station nothing else named ("radio.example.com"); empty when it has
// none.
QString HostName(const QString& address);

} // namespace readers
